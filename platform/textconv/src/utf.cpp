#include "textconv.h"

#include <cstdint>
#include <cstring>

namespace textconv {

namespace {

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool isContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// One character decoded from UTF-8: its value, or U+FFFD for an ill-formed
// sequence, and the bytes it took.
struct Decoded {
    char32_t value;
    size_t length;
};

// Decodes the sequence at text[at] (not ASCII). A sequence ends at the first
// byte that does not fit it; the check of what the first two bytes allow (no
// overlong form, no surrogate unless kept, nothing above U+10FFFF) is made
// once both are taken, so that they go together into one U+FFFD.
Decoded decodeSequence(std::string_view text, size_t at, bool keepSurrogates) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t need;
    char32_t value;
    if (lead >= 0xC2 && lead <= 0xDF)
        need = 1, value = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        need = 2, value = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        need = 3, value = lead & 0x07;
    else
        return {kReplacement, 1};
    size_t length = 1;
    for (size_t taken = 0; taken < need; ++taken) {
        if (at + length >= text.size() || !isContinuation(byte(at + length)))
            return {kReplacement, length};
        value = (value << 6) | (byte(at + length) & 0x3F);
        ++length;
        if (length == 2) {
            // value holds the lead's bits and the first continuation's six.
            const bool overlong = (need == 2 && value < 0x20) || (need == 3 && value < 0x10);
            const bool surrogate = need == 2 && value >= 0x360 && value < 0x380 && !keepSurrogates;
            const bool tooLarge = need == 3 && value >= 0x110;
            if (overlong || surrogate || tooLarge)
                return {kReplacement, length};
        }
    }
    return {value, length};
}

// Calls put with each UTF-16 unit of UTF-8 text.
template <typename Put> void eachUnitOf(std::string_view text, bool keepSurrogates, Put put) {
    for (size_t at = 0; at < text.size();) {
        const auto b = static_cast<uint8_t>(text[at]);
        if (b < 0x80) {
            put(static_cast<char16_t>(b));
            ++at;
            continue;
        }
        const Decoded c = decodeSequence(text, at, keepSurrogates);
        at += c.length;
        if (c.value >= 0x10000) {
            put(static_cast<char16_t>(0xD800 + ((c.value - 0x10000) >> 10)));
            put(static_cast<char16_t>(0xDC00 + ((c.value - 0x10000) & 0x3FF)));
        } else {
            put(static_cast<char16_t>(c.value));
        }
    }
}

// Writes one code point as UTF-8 at to; returns the end of what it wrote.
char *putUtf8(char32_t c, char *to) {
    if (c < 0x80) {
        *to++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *to++ = static_cast<char>(0xC0 | (c >> 6));
        *to++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *to++ = static_cast<char>(0xE0 | (c >> 12));
        *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *to++ = static_cast<char>(0xF0 | (c >> 18));
        *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return to;
}

// UTF-16 units held as little-endian bytes, read in place.
struct LittleEndianUnits {
    std::string_view bytes;
    size_t size() const { return bytes.size() / 2; }
    char16_t operator[](size_t i) const {
        return static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
};

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

// From this many units on, text is measured before it is converted: the room
// of three bytes a unit, which ASCII text fills a third of, would cost page
// faults for memory never used.
constexpr size_t kMeasuredFrom = size_t{1} << 16;

template <typename Units> void appendUnitsAsUtf8(const Units &text, std::string &out, bool keepSurrogates) {
    const size_t start = out.size();
    // A unit gives three bytes at most, a pair four.
    out.resize(start + (text.size() < kMeasuredFrom ? text.size() * 3 : utf8LengthOfUnits(text)));
    char *to = out.data() + start;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            *to++ = static_cast<char>(c);
        } else if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            to = putUtf8(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00), to);
            ++i;
        } else if ((isHighSurrogate(c) || isLowSurrogate(c)) && !keepSurrogates) {
            to = putUtf8(kReplacement, to);
        } else {
            to = putUtf8(c, to);
        }
    }
    out.resize(static_cast<size_t>(to - out.data()));
}

} // namespace

void appendUtf16(std::string_view utf8, std::u16string &out, bool keepSurrogates) {
    eachUnitOf(utf8, keepSurrogates, [&out](char16_t unit) { out.push_back(unit); });
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    appendUtf16(utf8, out);
    return out;
}

std::u16string fromWtf8(std::string_view wtf8) {
    std::u16string out;
    out.reserve(wtf8.size());
    appendUtf16(wtf8, out, true);
    return out;
}

void appendUtf8(std::u16string_view text, std::string &out, bool keepSurrogates) {
    appendUnitsAsUtf8(text, out, keepSurrogates);
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    appendUtf8(text, out);
    return out;
}

std::string toWtf8(std::u16string_view text) {
    std::string out;
    appendUtf8(text, out, true);
    return out;
}

size_t utf8Length(std::u16string_view text) { return utf8LengthOfUnits(text); }

bool isValidUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        if (static_cast<uint8_t>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        const Decoded c = decodeSequence(text, at, false);
        // U+FFFD stands for ill-formed bytes, unless it was written itself.
        if (c.value == kReplacement && text.compare(at, 3, "\xEF\xBF\xBD") != 0)
            return false;
        at += c.length;
    }
    return true;
}

void appendUtf16Bytes(std::string_view utf8, std::string &out, bool keepSurrogates) {
    const size_t start = out.size();
    out.resize(start + utf8.size() * 2); // no byte of UTF-8 gives more than two
    char *to = out.data() + start;
    size_t at = 0;
    while (at < utf8.size()) {
        // Plain ASCII, the common case, eight bytes at a time.
        uint64_t word;
        while (utf8.size() - at >= 8 && (std::memcpy(&word, utf8.data() + at, 8), (word & 0x8080808080808080u) == 0)) {
            for (int k = 0; k < 8; ++k, to += 2) {
                to[0] = utf8[at + k];
                to[1] = 0;
            }
            at += 8;
        }
        for (; at < utf8.size() && static_cast<uint8_t>(utf8[at]) < 0x80; ++at, to += 2) {
            to[0] = utf8[at];
            to[1] = 0;
        }
        size_t end = at;
        while (end < utf8.size() && static_cast<uint8_t>(utf8[end]) >= 0x80)
            ++end;
        eachUnitOf(utf8.substr(at, end - at), keepSurrogates, [&to](char16_t unit) {
            to[0] = static_cast<char>(unit & 0xFF);
            to[1] = static_cast<char>(unit >> 8);
            to += 2;
        });
        at = end;
    }
    out.resize(static_cast<size_t>(to - out.data()));
}

void appendUtf8FromBytes(std::string_view utf16, std::string &out, bool keepSurrogates) {
    appendUnitsAsUtf8(LittleEndianUnits{utf16}, out, keepSurrogates);
}

size_t utf8LengthOfBytes(std::string_view utf16) { return utf8LengthOfUnits(LittleEndianUnits{utf16}); }

std::string toBytes(std::u16string_view text) {
    std::string out;
    appendBytes(text, out);
    return out;
}

void appendBytes(std::u16string_view text, std::string &out) {
    const size_t start = out.size();
    out.resize(start + 2 * text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out[start + 2 * i] = static_cast<char>(text[i] & 0xFF);
        out[start + 2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
}

std::u16string fromBytes(std::string_view bytes) {
    const LittleEndianUnits units{bytes};
    std::u16string out(units.size(), u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = units[i];
    return out;
}

} // namespace textconv
