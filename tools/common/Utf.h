// UTF-8 and UTF-16 conversion for the registry tools and checks, which talk
// to the engine's A functions in UTF-8 and print or compare UTF-16 units.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace utf {

// The character that starts at text[i], taking the bytes its first byte
// announces as far as there are any; i moves past them.
inline char32_t NextCharacter(std::string_view text, size_t &i)
{
    const auto b = static_cast<unsigned char>(text[i++]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    char32_t c = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
    for (; extra > 0 && i < text.size(); --extra, ++i)
        c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    return c;
}

template <typename Put> void PutUtf16Units(char32_t c, Put put)
{
    if (c >= 0x10000) {
        put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        put(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
        put(static_cast<char16_t>(c));
    }
}

// Calls put with each UTF-16 unit of text, in order.
template <typename Put> void EachUtf16Unit(std::string_view text, Put put)
{
    for (size_t i = 0; i < text.size();)
        PutUtf16Units(NextCharacter(text, i), put);
}

inline std::u16string ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    EachUtf16Unit(text, [&out](char16_t unit) { out += unit; });
    return out;
}

inline size_t Utf16Length(std::string_view text)
{
    size_t length = 0;
    EachUtf16Unit(text, [&length](char16_t) { ++length; });
    return length;
}

// Appends text as UTF-16LE bytes; no byte of UTF-8 gives more than two.
inline void AppendUtf16Le(std::string_view text, std::string &out)
{
    const size_t start = out.size();
    out.resize(start + text.size() * 2);
    char *const begin = out.data() + start;
    char *to = begin;
    const char *from = text.data();
    const char *const end = from + text.size();
    while (from < end) {
#ifdef __SSE2__
        // Plain ASCII, the common case, goes straight through, sixteen bytes at a time.
        for (; end - from >= 16; from += 16, to += 32) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
            if (_mm_movemask_epi8(bytes) != 0)
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i *>(to), _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 16), _mm_unpackhi_epi8(bytes, _mm_setzero_si128()));
        }
#endif
        // Then eight bytes at a time where it can.
        for (std::uint64_t word; end - from >= 8 && (std::memcpy(&word, from, 8), (word & 0x8080808080808080u) == 0);
             from += 8, to += 16) {
            for (int half = 0; half < 2; ++half) {
                // Four bytes spread to every other byte: the low byte of each unit.
                std::uint64_t units = (word >> (32 * half)) & 0xFFFFFFFFu;
                units = (units | (units << 16)) & 0x0000FFFF0000FFFFu;
                units = (units | (units << 8)) & 0x00FF00FF00FF00FFu;
                if constexpr (std::endian::native == std::endian::little) {
                    std::memcpy(to + 8 * half, &units, 8);
                } else {
                    for (int k = 0; k < 8; ++k)
                        to[8 * half + k] = static_cast<char>(units >> (8 * k));
                }
            }
        }
        for (; from < end && static_cast<unsigned char>(*from) < 0x80; ++from, to += 2) {
            to[0] = *from;
            to[1] = 0;
        }
        if (from == end)
            break;
        size_t i = static_cast<size_t>(from - text.data());
        char16_t units[2];
        int count = 0;
        PutUtf16Units(NextCharacter(text, i), [&units, &count](char16_t unit) { units[count++] = unit; });
        for (int k = 0; k < count; ++k, to += 2) {
            to[0] = static_cast<char>(units[k] & 0xFF);
            to[1] = static_cast<char>(units[k] >> 8);
        }
        from = text.data() + i;
    }
    out.resize(start + static_cast<size_t>(to - begin));
}

inline void AppendUtf8(char32_t c, std::string &out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character whose first unit is unitAt(i), of count units; i moves to
// its last unit. A high surrogate takes the next unit whatever it is.
template <typename UnitAt> char32_t CharacterAt(UnitAt unitAt, size_t count, size_t &i)
{
    char32_t c = unitAt(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count)
        c = 0x10000 + ((c - 0xD800) << 10) + (unitAt(++i) - 0xDC00);
    return c;
}

inline std::string ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    const auto unitAt = [text](size_t i) { return text[i]; };
    for (size_t i = 0; i < text.size(); ++i)
        AppendUtf8(CharacterAt(unitAt, text.size(), i), out);
    return out;
}

// Appends UTF-16LE bytes as UTF-8, as ToUtf8 converts their units (an odd
// last byte is left out).
inline void AppendUtf8FromUtf16Le(std::string_view bytes, std::string &out)
{
    const size_t count = bytes.size() / 2;
    const auto unitAt = [bytes](size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    // Four units of plain ASCII: every high byte zero, every low byte below 0x80.
    const auto fourAscii = [bytes](size_t i) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + 2 * i, 8);
        return std::endian::native == std::endian::little && (word & 0xFF80FF80FF80FF80u) == 0;
    };
    out.reserve(out.size() + count);
    for (size_t i = 0; i < count; ++i) {
        size_t run = i;
        while (count - run >= 4 && fourAscii(run))
            run += 4;
        if (run > i) {
            const size_t at = out.size();
            out.resize(at + (run - i));
            for (char *to = out.data() + at; i < run; ++i)
                *to++ = bytes[2 * i];
            if (i == count)
                break;
        }
        AppendUtf8(CharacterAt(unitAt, count, i), out);
    }
}

} // namespace utf
