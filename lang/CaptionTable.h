// The caption table: every interface text that changes with the language,
// one entry per window, control and property, in the order a caption set
// applies them. An entry names its control and carries the setter of its
// property, so the table is the one place where a caption meets its target.
// The windows give their captioned controls these names (QObject::objectName)
// and take their creation texts from the table.
#pragma once

#include "Language.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <span>

class QObject;
class QWidget;

enum class CaptionWindow { Main, AboutBox, Presets, Settings, Protection, Prompt };

// Sets one property of a control to a text.
using CaptionSetter = void (*)(QObject &control, const QString &text);

struct CaptionEntry {
    CaptionWindow window;
    const char *control;    // the control's object name; nullptr for the window itself
    CaptionSetter property; // one of the four setters below
    std::array<const char *, LanguageCount> texts; // UTF-8, by language
    const char *creation = nullptr; // the creation text, where it is not the Russian one
};

namespace CaptionProperty {
// The text of a menu item or control.
void Caption(QObject &control, const QString &text);
// The tooltip.
void Hint(QObject &control, const QString &text);
// The window's own caption.
void Title(QObject &window, const QString &text);
// The checked state of a menu item: "on" or "off".
void CheckMark(QObject &item, const QString &state);
} // namespace CaptionProperty

inline constexpr int MainCaptionSetSize = 34; // the main window only
inline constexpr int FullCaptionSetSize = 69; // every window

std::span<const CaptionEntry> MainCaptionSet();
std::span<const CaptionEntry> FullCaptionSet();

QString CaptionText(const CaptionEntry &entry, TLanguage language);

// The window of that kind, or nullptr while it does not exist.
using CaptionWindows = std::function<QWidget *(CaptionWindow)>;

// Sets every entry of the set, in order, to its text in the language. A
// label placed by hand is sized to its new text; entries of a window that
// does not exist are passed over.
void ApplyCaptionSet(std::span<const CaptionEntry> set, TLanguage language, const CaptionWindows &windows);

// Gives a control the name the table knows it by.
template <typename Control>
Control *Captioned(Control *control, const char *name)
{
    control->setObjectName(QLatin1String(name));
    return control;
}

// The language the windows show until a caption set is applied.
inline constexpr TLanguage CreationLanguage = lgRussian;

// Gives a window just built its creation texts: the Russian ones, unless an
// entry says otherwise.
void ApplyCreationCaptions(CaptionWindow which, QWidget &window);
