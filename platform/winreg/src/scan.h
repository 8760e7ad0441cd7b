// The hive reader's byte scanner: every compare that looks at many bytes at
// once (SSE2 where the target has it) lives here, each beside a plain scalar
// twin that gives the same answer for every input. The reader calls the wide
// ones; tests/winreg/scan_test.cpp holds the two to the same answers.
// No function reads past text + size. All are inline: the reader calls them
// for nearly every line.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace winreg::scan {

inline constexpr std::array<int8_t, 256> kHexValue = [] {
    std::array<int8_t, 256> table{};
    table.fill(-1);
    for (int c = 0; c < 10; ++c)
        table[static_cast<size_t>('0' + c)] = static_cast<int8_t>(c);
    for (int c = 0; c < 6; ++c) {
        table[static_cast<size_t>('a' + c)] = static_cast<int8_t>(10 + c);
        table[static_cast<size_t>('A' + c)] = static_cast<int8_t>(10 + c);
    }
    return table;
}();

// Characters that stand for themselves inside quoted text: printable ASCII
// and tab, but not a backslash.
inline constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c)
        table[static_cast<size_t>(c)] = c != '\\';
    table['\t'] = true;
    return table;
}();

// The value of a hex digit, or -1 for any other byte.
inline int hexDigit(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

namespace scalar {

// The number of plain characters at text, none of them close.
inline size_t plainRun(const char *text, size_t size, char close) {
    size_t n = 0;
    while (n < size && kPlain[static_cast<unsigned char>(text[n])] && text[n] != close)
        ++n;
    return n;
}

// The number of hex digits at text.
inline size_t hexDigits(const char *text, size_t size) {
    size_t n = 0;
    while (n < size && hexDigit(text[n]) >= 0)
        ++n;
    return n;
}

// The length of the run of "hh," (two hex digits and a comma) at text.
inline size_t hexByteRun(const char *text, size_t size) {
    size_t n = 0;
    while (size - n >= 3 && hexDigit(text[n]) >= 0 && hexDigit(text[n + 1]) >= 0 && text[n + 2] == ',')
        n += 3;
    return n;
}

// The number of bytes a and b start with alike, of the first size.
inline size_t commonPrefix(const char *a, const char *b, size_t size) {
    size_t n = 0;
    while (n < size && a[n] == b[n])
        ++n;
    return n;
}

} // namespace scalar

namespace wide {

#if defined(__SSE2__)

inline __m128i load16(const char *text) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(text)); }

inline unsigned bitsOf(__m128i lanes) { return static_cast<unsigned>(_mm_movemask_epi8(lanes)); }

// Bit i: text[i] ends a plain run, being close, a backslash, a control
// character other than a tab, or a byte of 0x80 and above (the last two
// found by one signed compare with a blank).
inline unsigned plainStops16(const char *text, char close) {
    const __m128i bytes = load16(text);
    const __m128i closing = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(close));
    const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
    const __m128i notPlain =
        _mm_andnot_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')), _mm_cmplt_epi8(bytes, _mm_set1_epi8(' ')));
    return bitsOf(_mm_or_si128(_mm_or_si128(closing, backslash), notPlain));
}

// Bit i: text[i] is a hex digit.
inline unsigned hexDigits16(const char *text) {
    const __m128i bytes = load16(text);
    const __m128i lower = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    const __m128i digit =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    return bitsOf(_mm_or_si128(digit, letter));
}

// Whether the first 15 of the 16 bytes at text are "hh," five times.
inline bool fiveHexBytes(const char *text) {
    constexpr unsigned kDigits = 0b011011011011011;
    constexpr unsigned kCommas = 0b100100100100100;
    const unsigned commas = bitsOf(_mm_cmpeq_epi8(load16(text), _mm_set1_epi8(',')));
    return (hexDigits16(text) & 0x7FFF) == kDigits && (commas & 0x7FFF) == kCommas;
}

inline size_t plainRun(const char *text, size_t size, char close) {
    size_t n = 0;
    for (; size - n >= 16; n += 16) {
        if (const unsigned stops = plainStops16(text + n, close))
            return n + static_cast<size_t>(std::countr_zero(stops));
    }
    return n + scalar::plainRun(text + n, size - n, close);
}

inline size_t hexDigits(const char *text, size_t size) {
    size_t n = 0;
    for (; size - n >= 16; n += 16) {
        if (const unsigned digits = hexDigits16(text + n); digits != 0xFFFF)
            return n + static_cast<size_t>(std::countr_one(digits));
    }
    return n + scalar::hexDigits(text + n, size - n);
}

inline size_t hexByteRun(const char *text, size_t size) {
    size_t n = 0;
    while (size - n >= 16 && fiveHexBytes(text + n))
        n += 15;
    return n + scalar::hexByteRun(text + n, size - n);
}

inline size_t commonPrefix(const char *a, const char *b, size_t size) {
    size_t n = 0;
    for (; size - n >= 16; n += 16) {
        if (const unsigned same = bitsOf(_mm_cmpeq_epi8(load16(a + n), load16(b + n))); same != 0xFFFF)
            return n + static_cast<size_t>(std::countr_one(same));
    }
    return n + scalar::commonPrefix(a + n, b + n, size - n);
}

#else // without SSE2 the wide scanner is the scalar one

using scalar::commonPrefix;
using scalar::hexByteRun;
using scalar::hexDigits;
using scalar::plainRun;

#endif

} // namespace wide

using wide::commonPrefix;
using wide::hexByteRun;
using wide::hexDigits;
using wide::plainRun;

} // namespace winreg::scan
