// The caption table: every interface text that changes with the language,
// one entry per window, control and property, in the order a caption set
// applies them.
#pragma once

#include "Language.h"

#include <QString>

#include <array>
#include <span>


enum class CaptionWindow { Main, AboutBox, Presets, Settings, Protection, Prompt };

// Caption: the text of a menu item or control. Hint: its tooltip. Title: the
// window's own caption. CheckMark: the checked state of a menu item.
enum class CaptionProperty { Caption, Hint, Title, CheckMark };

struct CaptionEntry {
    int number;
    CaptionWindow window;
    const char *control; // nullptr for the window's own title
    CaptionProperty property;
    std::array<const char *, LanguageCount> texts; // UTF-8; unused for check marks
    std::array<bool, LanguageCount> checked{};     // check marks only
};

inline constexpr int MainCaptionSetSize = 34; // entries 1 to 34: the main window only
inline constexpr int FullCaptionSetSize = 69; // entries 1 to 69: every window

const std::array<CaptionEntry, FullCaptionSetSize> &CaptionTable();

// The entries a set applies: the first 34 for the main-window set, all 69
// for the full set.
std::span<const CaptionEntry> MainCaptionSet();
std::span<const CaptionEntry> FullCaptionSet();

QString CaptionText(const CaptionEntry &entry, int language);
bool CaptionChecked(const CaptionEntry &entry, int language);
