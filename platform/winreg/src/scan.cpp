#include "scan.h"

#include <array>
#include <bit>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace winreg::scan {

namespace {

constexpr auto kHexValue = [] {
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

// Characters that stand for themselves inside quoted text.
constexpr auto kPlain = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c)
        table[static_cast<size_t>(c)] = c != '\\';
    table['\t'] = true;
    return table;
}();

bool isHexByte(const char *text) { return hexDigit(text[0]) >= 0 && hexDigit(text[1]) >= 0 && text[2] == ','; }

} // namespace

int hexDigit(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

namespace scalar {

size_t plainRun(const char *text, size_t size, char close) {
    size_t n = 0;
    while (n < size && kPlain[static_cast<unsigned char>(text[n])] && text[n] != close)
        ++n;
    return n;
}

size_t hexDigits(const char *text, size_t size) {
    size_t n = 0;
    while (n < size && hexDigit(text[n]) >= 0)
        ++n;
    return n;
}

size_t hexByteRun(const char *text, size_t size) {
    size_t n = 0;
    while (size - n >= 3 && isHexByte(text + n))
        n += 3;
    return n;
}

size_t commonPrefix(const char *a, const char *b, size_t size) {
    size_t n = 0;
    while (n < size && a[n] == b[n])
        ++n;
    return n;
}

} // namespace scalar

#if defined(__SSE2__)

namespace {

__m128i load16(const char *text) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(text)); }

unsigned bitsOf(__m128i lanes) { return static_cast<unsigned>(_mm_movemask_epi8(lanes)); }

// Bit i: text[i] ends a plain run, being close, a backslash, a control
// character other than a tab, or a byte of 0x80 and above (the last two
// found by one signed compare with a blank).
unsigned plainStops16(const char *text, char close) {
    const __m128i bytes = load16(text);
    const __m128i closing = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(close));
    const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
    const __m128i notPlain =
        _mm_andnot_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')), _mm_cmplt_epi8(bytes, _mm_set1_epi8(' ')));
    return bitsOf(_mm_or_si128(_mm_or_si128(closing, backslash), notPlain));
}

// Bit i: text[i] is a hex digit.
unsigned hexDigits16(const char *text) {
    const __m128i bytes = load16(text);
    const __m128i lower = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    const __m128i digit =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    return bitsOf(_mm_or_si128(digit, letter));
}

// Whether the first 15 of the 16 bytes at text are "hh," five times.
bool fiveHexBytes(const char *text) {
    constexpr unsigned kDigits = 0b011011011011011;
    constexpr unsigned kCommas = 0b100100100100100;
    const unsigned commas = bitsOf(_mm_cmpeq_epi8(load16(text), _mm_set1_epi8(',')));
    return (hexDigits16(text) & 0x7FFF) == kDigits && (commas & 0x7FFF) == kCommas;
}

} // namespace

namespace wide {

size_t plainRun(const char *text, size_t size, char close) {
    size_t n = 0;
    for (; size - n >= 16; n += 16) {
        if (const unsigned stops = plainStops16(text + n, close))
            return n + static_cast<size_t>(std::countr_zero(stops));
    }
    return n + scalar::plainRun(text + n, size - n, close);
}

size_t hexDigits(const char *text, size_t size) {
    size_t n = 0;
    for (; size - n >= 16; n += 16) {
        if (const unsigned digits = hexDigits16(text + n); digits != 0xFFFF)
            return n + static_cast<size_t>(std::countr_one(digits));
    }
    return n + scalar::hexDigits(text + n, size - n);
}

size_t hexByteRun(const char *text, size_t size) {
    size_t n = 0;
    while (size - n >= 16 && fiveHexBytes(text + n))
        n += 15;
    return n + scalar::hexByteRun(text + n, size - n);
}

size_t commonPrefix(const char *a, const char *b, size_t size) {
    size_t n = 0;
    for (; size - n >= 16; n += 16) {
        if (const unsigned same = bitsOf(_mm_cmpeq_epi8(load16(a + n), load16(b + n))); same != 0xFFFF)
            return n + static_cast<size_t>(std::countr_one(same));
    }
    return n + scalar::commonPrefix(a + n, b + n, size - n);
}

} // namespace wide

#else

// Without SSE2 the wide scanner is the scalar one.
namespace wide {
size_t plainRun(const char *text, size_t size, char close) { return scalar::plainRun(text, size, close); }
size_t hexDigits(const char *text, size_t size) { return scalar::hexDigits(text, size); }
size_t hexByteRun(const char *text, size_t size) { return scalar::hexByteRun(text, size); }
size_t commonPrefix(const char *a, const char *b, size_t size) { return scalar::commonPrefix(a, b, size); }
} // namespace wide

#endif

} // namespace winreg::scan
