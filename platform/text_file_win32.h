// SPDX-License-Identifier: MIT
// Seams of the Windows replacement for the tests: what a volume says of itself, and ReplaceFileW
// failing as it does on a volume that cannot do it.
#pragma once

#include <windows.h>

#include <optional>

namespace tavirel::detail {

/// Tests only: ReplaceFileW fails as on a volume without it, so the fallback runs.
inline bool replaceFileUnavailableForTesting = false;
/// Tests only: the volume's flags as GetVolumeInformationW would give them.
inline std::optional<DWORD> volumeFlagsForTesting;

}  // namespace tavirel::detail
