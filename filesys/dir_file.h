// File-system access of the tool: the extension of a name (and, later, the folder search, the
// folder picker and folder creation). Keeps no data of its own: one instance serves any number
// of calls, nested ones included.
#pragma once

#include <string>

namespace tavirel {

class Dir_File {
public:
    /// The characters after the last "." of `strFileName`, in their own case; the whole text when
    /// it holds no dot. "/" is an ordinary character, so a whole path reaches back to the last dot
    /// anywhere in it. Yields once per character examined, the dot included.
    std::u16string GetExtName(std::u16string strFileName);
};

}  // namespace tavirel
