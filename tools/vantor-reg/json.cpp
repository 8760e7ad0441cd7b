// Values in their natural JSON form, and the raw bytes beside the text where
// the text would not give them back exactly.
#include "reg.h"

#include <cstdio>

#include "textconv.h"

namespace reg {

namespace {

std::string Hex(std::string_view bytes)
{
    std::string hex;
    for (const unsigned char b : bytes) {
        hex += "0123456789abcdef"[b >> 4];
        hex += "0123456789abcdef"[b & 15];
    }
    return hex;
}

// UTF-16LE bytes as text; unpaired surrogates become U+FFFD.
std::string Text(std::string_view utf16)
{
    std::string text;
    textconv::appendUtf8FromBytes(utf16, text);
    return text;
}

bool WellFormed(std::string_view utf16)
{
    std::string wtf8;
    textconv::appendUtf8FromBytes(utf16, wtf8, true);
    return utf16.size() % 2 == 0 && textconv::isValidUtf8(wtf8);
}

// Little-endian, REG_DWORD_BIG_ENDIAN too: Wine's reg add stores it so, and
// query shows it so.
unsigned long long Number(std::string_view bytes)
{
    unsigned long long number = 0;
    for (size_t i = bytes.size(); i-- > 0;)
        number = number << 8 | static_cast<unsigned char>(bytes[i]);
    return number;
}

// A string's text, and whether it gives back the bytes: one terminator, at
// the end, and nothing else amiss.
std::pair<std::string, bool> StringData(std::string_view bytes)
{
    const std::string_view even = bytes.substr(0, bytes.size() - bytes.size() % 2); // a last odd byte is no text
    const bool terminated = even.size() >= 2 && even.ends_with(std::string_view("\0\0", 2));
    const std::string_view body = terminated ? even.substr(0, even.size() - 2) : even;
    bool inner = false;
    for (size_t at = 0; at + 1 < body.size(); at += 2)
        inner = inner || (body[at] == '\0' && body[at + 1] == '\0');
    return {Text(body), even.size() == bytes.size() && terminated && !inner && WellFormed(body)};
}

// The strings of a REG_MULTI_SZ, and whether they give back its bytes: each
// ends in a terminator, and one more ends the list.
std::pair<std::vector<std::string>, bool> MultiData(std::string_view bytes)
{
    std::vector<std::string> items;
    if (bytes == std::string_view("\0\0", 2))
        return {items, true}; // no strings at all
    const bool closed = bytes.size() >= 4 && bytes.ends_with(std::string_view("\0\0\0\0", 4));
    std::string_view body = closed ? bytes.substr(0, bytes.size() - 2) : bytes;
    bool exact = closed && WellFormed(body);
    for (size_t start = 0; start < body.size();) {
        size_t end = start;
        while (end + 1 < body.size() && !(body[end] == '\0' && body[end + 1] == '\0'))
            end += 2;
        exact = exact && end > start; // an empty string inside would end the list
        items.push_back(Text(body.substr(start, end - start)));
        start = end + 2;
    }
    return {items, exact};
}

} // namespace

std::string JsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (const char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonValue(const regfile::Value &value)
{
    std::string out = "{\"name\": ";
    if (textconv::isValidUtf8(value.name)) {
        out += JsonString(value.name);
    } else {
        // WTF-8: an unpaired surrogate. Its nearest text, and the name as it is.
        std::string nearest;
        textconv::appendUtf8(textconv::fromWtf8(value.name), nearest);
        out += JsonString(nearest) + ", \"name_hex\": \"" + Hex(textconv::toBytes(textconv::fromWtf8(value.name))) + "\"";
    }
    out += ", \"type\": " + JsonString(TypeName(value.type)) + ", \"data\": ";
    const std::string_view bytes = value.data;
    bool exact = true;
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        auto [text, gives] = StringData(bytes);
        out += JsonString(text);
        exact = gives;
        break;
    }
    case REG_MULTI_SZ: {
        auto [items, gives] = MultiData(bytes);
        out += "[";
        for (size_t i = 0; i < items.size(); ++i)
            out += (i ? ", " : "") + JsonString(items[i]);
        out += "]";
        exact = gives;
        break;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        const size_t width = value.type == REG_QWORD ? 8 : 4;
        if (bytes.size() != width) {
            out += "\"" + Hex(bytes) + "\"";
            break;
        }
        const unsigned long long number = Number(bytes);
        const bool safe = number <= (1ULL << 53) - 1;
        out += safe ? std::to_string(number) : "\"" + std::to_string(number) + "\"";
        break;
    }
    default: out += "\"" + Hex(bytes) + "\"";
    }
    if (!exact)
        out += ", \"hex\": \"" + Hex(bytes) + "\"";
    return out + "}";
}

} // namespace reg
