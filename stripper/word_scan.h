// SPDX-License-Identifier: MIT
// Passing over text sixteen or eight bytes at a time: how most of a source file is skipped on the way to the
// next character that matters. For bytes and for 16-bit code units alike.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    if constexpr (sizeof(Char) == 1 && N == 1) {
        // The C library's own search is wider still.
        if (i >= n) return n;
        const void* hit = std::memchr(s + i, static_cast<unsigned char>(targets[0]), n - i);
        return hit ? static_cast<Index>(static_cast<const Char*>(hit) - s) : n;
    }
#if defined(__SSE2__)
    // Sixteen bytes a step, the width every x86-64 processor has.
    constexpr Index units = 16 / sizeof(Char);
    if (i + units <= n) {
        __m128i wanted[N];
        for (std::size_t t = 0; t < N; ++t) {
            wanted[t] = sizeof(Char) == 1 ? _mm_set1_epi8(static_cast<char>(targets[t]))
                                          : _mm_set1_epi16(static_cast<short>(targets[t]));
        }
        for (; i + units <= n; i += units) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            __m128i hits = _mm_setzero_si128();
            for (const __m128i& w : wanted) {
                hits = _mm_or_si128(hits,
                                    sizeof(Char) == 1 ? _mm_cmpeq_epi8(block, w) : _mm_cmpeq_epi16(block, w));
            }
            if (const int mask = _mm_movemask_epi8(hits))
                return i + static_cast<Index>(__builtin_ctz(static_cast<unsigned>(mask)) / sizeof(Char));
        }
    }
#endif
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
