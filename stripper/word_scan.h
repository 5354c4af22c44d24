// SPDX-License-Identifier: MIT
// Passing over text sixteen or eight bytes at a time: how most of a source file is skipped on the way to the
// next character that matters. For bytes and for 16-bit code units alike.
#pragma once

#include <array>
#include <cstddef>
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

/// The positions of `targets` in s[0, n), asked for in rising order: each 64-unit block is
/// compared once and its marks kept, so that text dense with them (comments, short lines) costs
/// a few instructions a mark rather than a search each. On 16-bit units, a search each. No
/// target is 0, which pads the last block.
template <typename Char, std::size_t N>
class Marks {
public:
    Marks(const Char* s, std::size_t n, const std::array<unsigned char, N>& targets)
        : s_(s), n_(n), targets_(targets) {
#if defined(__SSE2__)
        for (std::size_t t = 0; t < N; ++t) wanted_[t] = _mm_set1_epi8(static_cast<char>(targets[t]));
#endif
    }

    /// The first position from `i` on that holds a target, or n.
    template <typename Index>
    Index next(Index i) {
        if constexpr (sizeof(Char) != 1) {
            return findAny(s_, i, static_cast<Index>(n_), targets_);
        } else {
            for (std::size_t at = i; at < n_;) {
                const std::size_t block = at & ~std::size_t{63};
                if (block != block_) {
                    block_ = block;
                    marks_ = marksOf(block);
                }
                if (const std::uint64_t m = marks_ & (~std::uint64_t{0} << (at & 63)))
                    return static_cast<Index>(block + static_cast<std::size_t>(__builtin_ctzll(m)));
                at = block + 64;
            }
            return static_cast<Index>(n_);
        }
    }

private:
    std::uint64_t marksOf(std::size_t block) const {
        const char* p = reinterpret_cast<const char*>(s_) + block;
        char tail[64];
        if (block + 64 > n_) {
            // The file's end, padded with units no target is.
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, p, n_ - block);
            p = tail;
        }
        std::uint64_t marks = 0;
#if defined(__SSE2__)
        // Unrolled, so that the targets stay in registers: this is most of a lexer's time.
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * q));
            __m128i hits = _mm_cmpeq_epi8(bytes, wanted_[0]);
#pragma GCC unroll 8
            for (std::size_t t = 1; t < N; ++t) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, wanted_[t]));
            marks |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits))) << (16 * q);
        }
#else
        for (int k = 0; k < 64; ++k) {
            for (unsigned char t : targets_) {
                if (static_cast<unsigned char>(p[k]) == t) marks |= std::uint64_t{1} << k;
            }
        }
#endif
        return marks;
    }

    const Char* s_;
    std::size_t n_;
    std::array<unsigned char, N> targets_;
#if defined(__SSE2__)
    __m128i wanted_[N];
#endif
    std::size_t block_ = SIZE_MAX;
    std::uint64_t marks_ = 0;
};

}  // namespace tavirel
