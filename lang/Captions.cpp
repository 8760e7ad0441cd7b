// The caption sets in three languages and the Language menu.
//
// A set walks the caption table in order and hands each entry to the setter
// bound to it below; the setters know which window, control and property the
// entry names. A window that does not exist is passed over.
#include "Captions.h"

#include "CaptionTable.h"
#include "Text3D.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <array>

namespace {

void SetCaption(QMenu *menu, const QString &text) { menu->setTitle(text); }
void SetCaption(QAction *item, const QString &text) { item->setText(text); }
void SetCaption(QAbstractButton *button, const QString &text) { button->setText(text); }

// A label placed by hand sizes itself to its new text, as it did to its
// creation text; one in a layout is sized by the layout.
void SetCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    if (!label->parentWidget() || !label->parentWidget()->layout())
        label->adjustSize();
}

void SetCaption(QGroupBox *box, const QString &text) { box->setTitle(text); }
void SetCaption(TText3D *text3d, const QString &text) { text3d->SetCaption(text); }

using EntrySetter = void (*)(TForm1 &main, const CaptionEntry &entry, int language);

template <auto Control>
void MainCaption(TForm1 &main, const CaptionEntry &entry, int language)
{
    SetCaption(main.*Control, CaptionText(entry, language));
}

template <auto Control>
void MainHint(TForm1 &main, const CaptionEntry &entry, int language)
{
    (main.*Control)->setToolTip(CaptionText(entry, language));
}

template <auto Item>
void MainCheckMark(TForm1 &main, const CaptionEntry &entry, int language)
{
    (main.*Item)->setChecked(CaptionChecked(entry, language));
}

// Window is the address of the dialog's global pointer, read when the set
// runs: the dialogs are created after the main window.
template <auto *Window, auto Control>
void DialogCaption(TForm1 &, const CaptionEntry &entry, int language)
{
    if (auto *window = *Window)
        SetCaption(window->*Control, CaptionText(entry, language));
}

template <auto *Window, auto Control>
void DialogHint(TForm1 &, const CaptionEntry &entry, int language)
{
    if (auto *window = *Window)
        (window->*Control)->setToolTip(CaptionText(entry, language));
}

template <auto *Window>
void DialogTitle(TForm1 &, const CaptionEntry &entry, int language)
{
    if (auto *window = *Window)
        window->setWindowTitle(CaptionText(entry, language));
}

// One setter per table entry, in the table's order.
constexpr std::array<EntrySetter, FullCaptionSetSize> setters = {{
    MainCaption<&TForm1::N1>,                      // 1
    MainCaption<&TForm1::N2>,                      // 2
    MainCaption<&TForm1::N3>,                      // 3
    MainCaption<&TForm1::N4>,                      // 4
    MainCaption<&TForm1::N5>,                      // 5
    MainCaption<&TForm1::N6>,                      // 6
    MainCaption<&TForm1::N7>,                      // 7
    MainCaption<&TForm1::N8>,                      // 8
    MainCaption<&TForm1::N9>,                      // 9
    MainCaption<&TForm1::N10>,                     // 10
    MainCaption<&TForm1::N11>,                     // 11
    MainCaption<&TForm1::N12>,                     // 12
    MainCaption<&TForm1::N13>,                     // 13
    MainCaption<&TForm1::N14>,                     // 14
    MainCaption<&TForm1::N15>,                     // 15, the language marker
    MainCaption<&TForm1::N16>,                     // 16
    MainCaption<&TForm1::N17>,                     // 17
    MainCaption<&TForm1::N18>,                     // 18
    MainCaption<&TForm1::Label2>,                  // 19
    MainCaption<&TForm1::Label3>,                  // 20
    MainCaption<&TForm1::Label4>,                  // 21
    MainCaption<&TForm1::Button1>,                 // 22
    MainCaption<&TForm1::Button2>,                 // 23
    MainCaption<&TForm1::Button3>,                 // 24
    MainCaption<&TForm1::Button4>,                 // 25
    MainCaption<&TForm1::Button5>,                 // 26
    MainCaption<&TForm1::Button6>,                 // 27
    MainCaption<&TForm1::RadioGroup1>,             // 28
    MainCaption<&TForm1::N24>,                     // 29
    MainCaption<&TForm1::N19>,                     // 30
    MainCaption<&TForm1::N20>,                     // 31
    MainCheckMark<&TForm1::N16>,                   // 32
    MainCheckMark<&TForm1::N17>,                   // 33
    MainCheckMark<&TForm1::N18>,                   // 34
    MainCaption<&TForm1::N23>,                     // 35
    MainCaption<&TForm1::N22>,                     // 36
    MainCaption<&TForm1::N26>,                     // 37
    MainHint<&TForm1::SpeedButton2>,               // 38
    MainHint<&TForm1::SpeedButton3>,               // 39
    MainHint<&TForm1::SpeedButton4>,               // 40
    DialogCaption<&AboutBox, &TAboutBox::Text3D1>, // 41
    DialogCaption<&Form3, &TForm3::Label1>,        // 42
    DialogCaption<&Form3, &TForm3::RadioButton3>,  // 43
    DialogCaption<&Form3, &TForm3::RadioButton4>,  // 44
    DialogCaption<&Form3, &TForm3::RadioButton5>,  // 45
    DialogCaption<&Form3, &TForm3::RadioButton6>,  // 46
    DialogCaption<&Form3, &TForm3::RadioButton9>,  // 47
    DialogCaption<&Form3, &TForm3::RadioButton11>, // 48
    DialogCaption<&Form3, &TForm3::RadioButton12>, // 49
    DialogHint<&Form3, &TForm3::RadioButton9>,     // 50
    DialogCaption<&Form4, &TForm4::GroupBox1>,     // 51
    DialogCaption<&Form4, &TForm4::GroupBox2>,     // 52
    DialogCaption<&Form4, &TForm4::GroupBox3>,     // 53
    DialogCaption<&Form4, &TForm4::Button1>,       // 54
    DialogCaption<&Form4, &TForm4::Button2>,       // 55
    DialogCaption<&Form4, &TForm4::CheckBox2>,     // 56
    DialogCaption<&Form4, &TForm4::CheckBox3>,     // 57
    DialogCaption<&Form4, &TForm4::CheckBox4>,     // 58
    DialogCaption<&Form4, &TForm4::Label1>,        // 59
    DialogTitle<&Form3>,                           // 60
    DialogTitle<&Form4>,                           // 61
    DialogTitle<&Form5>,                           // 62
    DialogCaption<&Form5, &TForm5::Button1>,       // 63
    DialogCaption<&Form5, &TForm5::Button2>,       // 64
    DialogCaption<&Form5, &TForm5::Button3>,       // 65
    DialogCaption<&Form5, &TForm5::Label1>,        // 66
    DialogCaption<&Form5, &TForm5::Label2>,        // 67
    DialogTitle<&Form6>,                           // 68
    DialogCaption<&Form6, &TForm6::Button2>,       // 69
}};

void ApplyCaptionSet(TForm1 &main, std::span<const CaptionEntry> set, TLanguage language)
{
    for (const CaptionEntry &entry : set)
        setters[entry.number - 1](main, entry, language);
}

const CaptionEntry &MarkerEntry()
{
    return CaptionTable()[14]; // entry 15: N15
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

std::optional<TLanguage> MarkedLanguage(const TForm1 &form)
{
    return LanguageFromMarker(form.N15->title());
}

void TForm1::ApplyMainCaptions(TLanguage language)
{
    ApplyCaptionSet(*this, MainCaptionSet(), language);
}

void TForm1::ApplyFullCaptions(TLanguage language)
{
    ApplyCaptionSet(*this, FullCaptionSet(), language);
}

void TForm1::N16Click() { ApplyFullCaptions(lgRussian); }
void TForm1::N17Click() { ApplyFullCaptions(lgUkrainian); }
void TForm1::N18Click() { ApplyFullCaptions(lgEnglish); }
