#include "text.h"

#include <cstring>

namespace winreg {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[pos]; returns the code point or -1, and
// the number of bytes taken in len (1 for an invalid byte).
int32_t decodeUtf8(std::string_view text, size_t pos, size_t &len) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t b0 = byte(pos);
    len = 1;
    if (b0 < 0x80)
        return b0;
    int need;
    int32_t cp;
    int32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        need = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        need = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        need = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        return -1;
    }
    for (int i = 1; i <= need; ++i) {
        if (pos + i >= text.size())
            return -1;
        const uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    len = static_cast<size_t>(need) + 1;
    return cp;
}

// Writes one code point as UTF-8 at to; returns the end of what it wrote.
char *putUtf8(uint32_t cp, char *to) {
    if (cp < 0x80) {
        *to++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *to++ = static_cast<char>(0xC0 | (cp >> 6));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *to++ = static_cast<char>(0xE0 | (cp >> 12));
        *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *to++ = static_cast<char>(0xF0 | (cp >> 18));
        *to++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return to;
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-16 units stored as little-endian bytes, read in place.
struct LittleEndianUnits {
    std::string_view bytes;
    size_t size() const { return bytes.size() / 2; }
    char16_t operator[](size_t i) const {
        return static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
};

template <typename Units> void appendUnitsAsUtf8(const Units &text, std::string &out) {
    const size_t start = out.size();
    out.resize(start + text.size() * 3); // a unit gives three bytes at most, a pair four
    char *to = out.data() + start;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            *to++ = static_cast<char>(c);
        } else if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            const uint32_t cp = 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            to = putUtf8(cp, to);
            ++i;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            to = putUtf8(kReplacement, to);
        } else {
            to = putUtf8(c, to);
        }
    }
    out.resize(static_cast<size_t>(to - out.data()));
}

template <typename Units> size_t utf8LengthOfUnits(const Units &text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80)
            n += 1;
        else if (c < 0x800)
            n += 2;
        else if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1]))
            n += 4, ++i;
        else
            n += 3;
    }
    return n;
}

// Calls put with each UTF-16 unit of UTF-8 text.
template <typename Put> void eachUtf16UnitOf(std::string_view text, Put put) {
    size_t pos = 0;
    while (pos < text.size()) {
        const auto c = static_cast<uint8_t>(text[pos]);
        if (c < 0x80) {
            put(c);
            ++pos;
            continue;
        }
        size_t len;
        const int32_t cp = decodeUtf8(text, pos, len);
        pos += len;
        if (cp < 0) {
            put(kReplacement);
        } else if (cp >= 0x10000) {
            put(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            put(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            put(static_cast<char16_t>(cp));
        }
    }
}

} // namespace

void appendUtf8AsUtf16(std::string_view text, std::u16string &out) {
    eachUtf16UnitOf(text, [&out](char16_t unit) { out.push_back(unit); });
}

std::string utf8ToUtf16Bytes(std::string_view text) {
    std::string out(text.size() * 2, '\0'); // no byte of UTF-8 gives more than two
    char *to = out.data();
    eachUtf16UnitOf(text, [&to](char16_t unit) {
        to[0] = static_cast<char>(unit & 0xFF);
        to[1] = static_cast<char>(unit >> 8);
        to += 2;
    });
    out.resize(static_cast<size_t>(to - out.data()));
    return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    appendUtf8AsUtf16(text, out);
    return out;
}

void appendUtf16AsUtf8(std::u16string_view text, std::string &out) { appendUnitsAsUtf8(text, out); }

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    appendUtf16AsUtf8(text, out);
    return out;
}

void appendUtf16BytesAsUtf8(std::string_view bytes, std::string &out) {
    appendUnitsAsUtf8(LittleEndianUnits{bytes}, out);
}

size_t utf8LengthOf(std::u16string_view text) { return utf8LengthOfUnits(text); }

size_t utf8LengthOfUtf16Bytes(std::string_view bytes) { return utf8LengthOfUnits(LittleEndianUnits{bytes}); }

bool isValidUtf8(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<uint8_t>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        size_t len;
        if (decodeUtf8(text, pos, len) < 0)
            return false;
        pos += len;
    }
    return true;
}

char16_t foldCase(char16_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs capital/small; two runs pair odd with even.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? static_cast<char16_t>(c + 1) : c;
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (c == 0x178)
            return 0xFF;
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 0x50);
    if (c >= 0x410 && c <= 0x42F)
        return static_cast<char16_t>(c + 32);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    if (c >= 0x4C1 && c <= 0x4CE)
        return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x4C0)
        return 0x4CF;
    if (c >= 0x531 && c <= 0x556)
        return static_cast<char16_t>(c + 48);
    if (c >= 0xFF21 && c <= 0xFF3A)
        return static_cast<char16_t>(c + 32);
    return c;
}

int compareNames(std::u16string_view a, std::u16string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        const char16_t x = foldCase(a[i]);
        const char16_t y = foldCase(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string utf16ToBytes(std::u16string_view text) {
    std::string out(text.size() * 2, '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = static_cast<char>(text[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return out;
}

std::u16string bytesToUtf16(const uint8_t *data, size_t size) {
    std::u16string out(size / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return out;
}

} // namespace winreg
