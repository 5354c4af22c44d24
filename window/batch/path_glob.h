// SPDX-License-Identifier: MIT
// The patterns of --exclude, matched on a path inside the folder searched.
#pragma once

#include <string_view>

namespace tavirel {

/// Whether `pattern` matches `path` (a path inside a searched folder, its parts joined by the
/// separator): "*" stands for any characters but a separator, "?" for one, "[abc]", "[a-z]" and
/// "[!abc]" for one of a set; "/" matches either separator. A pattern without a separator
/// matches any one part of the path (a file's name or a folder's); one with a separator matches
/// the path from its start, whole or up to a separator, so that a folder takes what it holds.
/// Letter case counts, but on Windows, where names do not.
bool pathMatches(std::u16string_view pattern, std::u16string_view path);

}  // namespace tavirel
