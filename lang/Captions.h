// Reading the language back from the interface: the caption of the Language
// menu title N15 is the only record of the current language.
#pragma once

#include "Language.h"

#include <QString>

#include <optional>

// The caption a set in that language leaves on N15: the language marker.
QString LanguageMarker(TLanguage language);

// Whole-text, case-sensitive comparison with the three markers, in the order
// Russian, Ukrainian, English. No language when none matches.
std::optional<TLanguage> LanguageFromMarker(const QString &marker);
