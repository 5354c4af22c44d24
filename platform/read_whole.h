// SPDX-License-Identifier: MIT
// Reading an open regular file whole, for both platforms' SourceFile.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace tavirel {

struct WholeFile {
    // Memory that is not cleared first: every byte of it is read before it is used.
    std::unique_ptr<char[]> buffer;
    std::size_t size = 0;
    bool tooLarge = false;
};

/// Reads a file that held `size` bytes when last looked at, through `readSome(to, want)`, which
/// returns how many bytes it read (0 at the end) and throws on a failure. One read of one byte
/// more than the size: a short read is the file's end. A file that grows past `limit` while it is
/// read comes back as too large, with nothing kept.
template <typename ReadSome>
WholeFile readWhole(std::size_t size, std::size_t limit, ReadSome readSome) {
    constexpr std::size_t kMostAtOnce = std::size_t{1} << 24;
    WholeFile whole;
    std::size_t room = size + 1;
    whole.buffer.reset(new char[room]);
    for (;;) {
        const std::size_t want = std::min(room - whole.size, kMostAtOnce);
        const std::size_t got = readSome(whole.buffer.get() + whole.size, want);
        whole.size += got;
        if (got < want) break;
        if (whole.size < room) continue;
        if (whole.size > limit) return WholeFile{nullptr, 0, true};  // grew while we read it
        std::unique_ptr<char[]> larger(new char[2 * room]);
        std::memcpy(larger.get(), whole.buffer.get(), whole.size);
        whole.buffer = std::move(larger);
        room *= 2;
    }
    return whole;
}

}  // namespace tavirel
