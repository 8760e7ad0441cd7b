// The interface languages.
#pragma once

#include <optional>
#include <string>

// In the order of their stored codes "0", "1", "2"; also the order of the
// caption table's text columns.
enum TLanguage { lgRussian = 0, lgUkrainian = 1, lgEnglish = 2 };

inline constexpr int LanguageCount = 3;

// The stored code of a language, and the language a stored code names; any
// other text names none.
inline std::string LanguageCode(TLanguage language)
{
    return std::string(1, static_cast<char>('0' + language));
}

inline std::optional<TLanguage> LanguageFromCode(const std::string &code)
{
    for (TLanguage language : {lgRussian, lgUkrainian, lgEnglish}) {
        if (code == LanguageCode(language))
            return language;
    }
    return std::nullopt;
}
