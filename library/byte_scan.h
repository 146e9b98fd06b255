// The look for the first of a few bytes in a range, sixteen bytes a step
// where the processor has the vector instructions for it (every x86-64
// does), a byte a step elsewhere and over the last few. The writers' runs
// of plain text and the lexer's look for a code line's end spend most of
// their time in such looks, over runs tens of bytes long.
#pragma once

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace byte_scan {

// A table of the bytes `Stops`, for the byte-a-step look.
template <unsigned char... Stops>
constexpr std::array<bool, 256> stop_table() {
    std::array<bool, 256> stops{};
    ((stops[Stops] = true), ...);
    return stops;
}

template <unsigned char... Stops>
inline constexpr std::array<bool, 256> kStopTable = stop_table<Stops...>();

// The first byte in [p, end) that is one of `Stops`, or `end`. Reads no
// byte at or past `end`.
template <unsigned char... Stops>
inline const char *find_first_of(const char *p, const char *end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i hits = _mm_setzero_si128();
        ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(Stops))))),
         ...);
        if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)))
            return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    const std::array<bool, 256> &stops = kStopTable<Stops...>;
    while (p < end && !stops[static_cast<unsigned char>(*p)])
        p++;
    return p;
}

}  // namespace byte_scan
