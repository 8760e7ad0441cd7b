// The interface languages.
#pragma once

// In the order of their stored codes "0", "1", "2"; also the order of the
// caption table's text columns.
enum TLanguage { lgRussian = 0, lgUkrainian = 1, lgEnglish = 2 };

inline constexpr int LanguageCount = 3;
