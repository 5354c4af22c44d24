// SPDX-License-Identifier: MIT
// Passing over text eight bytes at a time: how most of a source file is skipped on the way to the
// next character that matters. For bytes and for 16-bit code units alike.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tavirel {

/// Marks, with its high bit, each lane of `word` (bytes or 16-bit units) equal to `value`, which
/// fits a lane; the lowest mark is exact.
template <typename Char>
inline std::uint64_t lanesEqual(std::uint64_t word, std::uint64_t value) {
    constexpr std::uint64_t ones = sizeof(Char) == 1 ? 0x0101010101010101ULL : 0x0001000100010001ULL;
    constexpr std::uint64_t highs = sizeof(Char) == 1 ? 0x8080808080808080ULL : 0x8000800080008000ULL;
    const std::uint64_t x = word ^ (ones * value);
    return (x - ones) & ~x & highs;
}

/// The first position from `i` on, before `n`, that holds one of `targets` (each fits a unit of
/// `Char`, taken as unsigned), or `n`.
template <typename Char, typename Index, typename Target, std::size_t N>
Index findAny(const Char* s, Index i, Index n, const std::array<Target, N>& targets) {
    static_assert(sizeof(Char) == 1 || sizeof(Char) == 2);
    constexpr Index lanes = 8 / sizeof(Char);
    for (; i + lanes <= n; i += lanes) {
        std::uint64_t word;
        std::memcpy(&word, s + i, 8);
        std::uint64_t hits = 0;
        for (Target t : targets) hits |= lanesEqual<Char>(word, t);
        if (hits) return i + static_cast<Index>(__builtin_ctzll(hits) / (8 * sizeof(Char)));
    }
    for (; i < n; ++i) {
        for (Target t : targets) {
            if (static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(s[i])) ==
                static_cast<std::uint32_t>(t))
                return i;
        }
    }
    return n;
}

/// The first position from `from` on, before `n`, that holds the ASCII unit `c`, or `n`.
template <typename Unit>
std::size_t nextUnit(const Unit* s, std::size_t from, std::size_t n, char c) {
    if constexpr (sizeof(Unit) == 1) {
        const void* hit = std::memchr(s + from, c, n - from);
        return hit ? static_cast<std::size_t>(static_cast<const Unit*>(hit) - s) : n;
    } else {
        // Markers often stand side by side ("/**/"): the next unit is tried before a word.
        if (from < n && s[from] == static_cast<Unit>(c)) return from;
        return findAny(s, from, n, std::array<unsigned char, 1>{static_cast<unsigned char>(c)});
    }
}

}  // namespace tavirel
