// SPDX-License-Identifier: MIT
// The platform's lower-case mapping of a text, used for extension words and language keys.
#pragma once

#include <string>

namespace tavirel {

/// A to Z become a to z; other characters of the Basic Multilingual Plane follow the C library's
/// Unicode mapping. Surrogates (and so reserved units) stay as they are.
std::u16string toLower(std::u16string text);

}  // namespace tavirel
