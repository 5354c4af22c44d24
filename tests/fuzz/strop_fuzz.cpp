// SPDX-License-Identifier: MIT
// libFuzzer target: the linear line cut and block removal against the literal versions.
// Build with -DTAVIREL_FUZZ=ON and clang; run ./strop_fuzz -max_total_time=60.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "../literal_strop.h"
#include "strop.h"

namespace {

constexpr char16_t kAlphabet[] = {u'/', u'*', u';', u'\r', u'\n', u' ', u'a', u'b'};

std::u16string take(const uint8_t*& data, std::size_t& size, std::size_t count) {
    std::u16string text;
    for (; count > 0 && size > 0; --count, ++data, --size) {
        // Mostly marker characters; a high bit passes the byte through as its own unit.
        text.push_back(*data & 0x80 ? char16_t(*data) : kAlphabet[*data % std::size(kAlphabet)]);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const uint8_t lengths = *data++;
    --size;
    const std::u16string start = take(data, size, lengths & 3);
    const std::u16string stop = take(data, size, (lengths >> 2) & 3);
    const std::u16string text = take(data, size, size);

    tavirel::StrOPT opt;
    int yields = 0;
    if (literal::deletStrMid(text, start, stop, yields) != opt.DeletStr_Mid(text, start, stop)) std::abort();
    if (literal::deletStrRight(text, start, yields) != opt.DeletStr_Right(text, start)) std::abort();
    return 0;
}
