#include "Captions.h"

#include "CaptionTable.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

const CaptionEntry &MarkerEntry()
{
    static const CaptionEntry &entry = *std::ranges::find_if(MainCaptionSet(), [](const CaptionEntry &candidate) {
        return candidate.window == CaptionWindow::Main && candidate.control
               && std::strcmp(candidate.control, "N15") == 0;
    });
    return entry;
}

} // namespace

QString LanguageMarker(TLanguage language)
{
    return CaptionText(MarkerEntry(), language);
}

std::optional<TLanguage> LanguageFromMarker(const QString &marker)
{
    for (TLanguage language : {lgRussian, lgUkrainian, lgEnglish}) {
        if (marker == LanguageMarker(language))
            return language;
    }
    return std::nullopt;
}

QString ReadOnlyHiveNotice(TLanguage language, const QString &file, const QString &reason)
{
    static const std::array<const char *, LanguageCount> patterns{
        "Файл реестра %1 не будет изменён программой.\nПричина: %2",
        "Файл реєстру %1 не буде змінено програмою.\nПричина: %2",
        "The registry file %1 will not be changed by the program.\nReason: %2",
    };
    return QString::fromUtf8(patterns[language]).arg(file, reason);
}
