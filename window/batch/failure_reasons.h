// SPDX-License-Identifier: MIT
// The windows speak Chinese, failures included: the reasons that the engine and the system give
// in English, told in Chinese. The command line keeps them as the system's other tools give them.
#pragma once

#include <string>
#include <string_view>

namespace tavirel {

/// `reason` in Chinese when it is one the engine or the system gives; otherwise as it came,
/// decoded from the system code page (a system message already in the user's language).
std::u16string reasonInChinese(std::string_view reason);

}  // namespace tavirel
