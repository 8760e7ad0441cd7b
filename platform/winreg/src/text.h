// Text helpers of the registry engine: UTF-8 <-> UTF-16 and the
// case-insensitive ordering that registry names follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace winreg {

// UTF-8 to UTF-16. Bytes that do not form valid UTF-8 become U+FFFD, one per
// byte, as the Windows UTF-8 code page does.
std::u16string utf8ToUtf16(std::string_view text);
void appendUtf8AsUtf16(std::string_view text, std::u16string &out);
// The same as little-endian bytes.
std::string utf8ToUtf16Bytes(std::string_view text);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);
void appendUtf16AsUtf8(std::u16string_view text, std::string &out);
size_t utf8LengthOf(std::u16string_view text);
// The same for UTF-16 held as little-endian bytes (an odd last byte is left out).
void appendUtf16BytesAsUtf8(std::string_view bytes, std::string &out);
size_t utf8LengthOfUtf16Bytes(std::string_view bytes);

// Whether text is valid UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);

// The lower-case form of one UTF-16 code unit, for the letters of the scripts
// registry names are written in (Latin, Greek, Cyrillic, Armenian, full-width).
char16_t foldCase(char16_t c);

// Case-insensitive three-way comparison: <0, 0, >0.
int compareNames(std::u16string_view a, std::u16string_view b);
inline bool sameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && compareNames(a, b) == 0;
}

// UTF-16 code units <-> little-endian bytes.
std::string utf16ToBytes(std::u16string_view text);
std::u16string bytesToUtf16(const uint8_t *data, size_t size);

} // namespace winreg
