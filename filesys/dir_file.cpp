#include "dir_file.h"

#include "event_yield.h"

namespace tavirel {

std::u16string Dir_File::GetExtName(std::u16string strFileName) {
    std::size_t i = strFileName.size();
    for (; i > 0; --i) {
        yieldToEventLoop();
        if (strFileName[i - 1] == u'.') break;
    }
    return strFileName.substr(i);
}

}  // namespace tavirel
