// The case-insensitive ordering that registry names follow. (Conversions
// between UTF-8 and UTF-16 are textconv's.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace winreg {

// The lower-case form of one UTF-16 code unit, for the letters of the scripts
// registry names are written in (Latin, Greek, Cyrillic, Armenian, full-width).
char16_t foldCase(char16_t c);

// Case-insensitive three-way comparison: <0, 0, >0.
int compareNames(std::u16string_view a, std::u16string_view b);
inline bool sameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && compareNames(a, b) == 0;
}

} // namespace winreg
