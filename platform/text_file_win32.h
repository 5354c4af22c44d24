// SPDX-License-Identifier: MIT
// Seams of the Windows replacement for the tests: what a volume says of itself, and ReplaceFileW
// failing as it does on a volume that cannot do it or halfway through.
#pragma once

#include <windows.h>

#include <optional>

namespace tavirel::detail {

/// Tests only: called instead of ReplaceFileW with the old file's name; does to the files what
/// the failing system would and returns its error.
inline DWORD (*replaceFileFailureForTesting)(const wchar_t* replaced) = nullptr;
/// Tests only: the volume's flags as GetVolumeInformationW would give them.
inline std::optional<DWORD> volumeFlagsForTesting;

}  // namespace tavirel::detail
