#include "Captions.h"

#include "CaptionTable.h"

#include <algorithm>
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
