// The language across runs: restored at start-up from "lastlang", stored at
// close from the marker, and the prompt at start-up in its creation texts.
#include "ProgramFixture.h"

#include "Captions.h"
#include "ExpectedCaptions.h"
#include "PersistedState.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QStyleOptionGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

namespace {

using PersistedState::LastLanguageValue;

class LanguageLifecycle : public ProgramFixture {
protected:
    static void ExpectCreationTexts()
    {
        EXPECT_EQ(Form1->N15->title(), QStringLiteral("Язык"));
        EXPECT_FALSE(Form1->N16->isChecked());
        EXPECT_FALSE(Form1->N17->isChecked());
        EXPECT_FALSE(Form1->N18->isChecked());
        EXPECT_EQ(Form4->windowTitle(), QStringLiteral("Настройки VTR 1.5"));
        ExpectEntriesIn(lgRussian, 1, 31);
        ExpectEntriesIn(lgRussian, 35, 60);
        ExpectEntriesIn(lgRussian, 62, 69);
    }
};

// Only "0", "1" and "2" exactly name a language; anything else is ignored at
// start-up and rewritten at close from the marker.
TEST_F(LanguageLifecycle, OtherStoredCodesLeaveTheCreationTexts)
{
    for (const char *stored : {"3", "01", " 1", "", "1 ", "English"}) {
        WriteProgramValue(LastLanguageValue, stored);
        StartProgram();
        Activate();
        ExpectCreationTexts();
        EndProgram();
        EXPECT_EQ(ReadProgramValue(LastLanguageValue), "0") << '"' << stored << '"';
    }
}

TEST_F(LanguageLifecycle, MissingCodeLeavesTheCreationTextsAndStoresRussian)
{
    StartProgram();
    Activate();
    ExpectCreationTexts();
    EndProgram();
    EXPECT_EQ(ReadProgramValue(LastLanguageValue), "0");
}

TEST_F(LanguageLifecycle, StoredCodeAppliesTheFullSet)
{
    for (TLanguage language : languages) {
        WriteProgramValue(LastLanguageValue, std::to_string(static_cast<int>(language)));
        StartProgram();
        Activate();
        ExpectEntriesIn(language, 1, 69);
        EXPECT_EQ(MarkedLanguage(*Form1), language);
        EndProgram();
        EXPECT_EQ(ReadProgramValue(LastLanguageValue), std::to_string(static_cast<int>(language)));
    }
}

TEST_F(LanguageLifecycle, LanguageChosenInTheSettingsDialogIsTheNextRunsLanguage)
{
    StartProgram();
    Activate();
    Form4->show();
    QApplication::processEvents();
    Form4->RadioButton3->setChecked(true);
    Form4->Button1->click();
    // Until the next full set only the main window speaks English.
    EXPECT_EQ(Form4->windowTitle(), QStringLiteral("Настройки VTR 1.5"));
    EndProgram();
    EXPECT_EQ(ReadProgramValue(LastLanguageValue), "2");

    StartProgram();
    Activate();
    ExpectEntriesIn(lgEnglish, 1, 69);
    Form4->show();
    QApplication::processEvents();
    EXPECT_TRUE(Form4->RadioButton3->isChecked());
}

TEST_F(LanguageLifecycle, LastChoiceOfEitherKindIsStored)
{
    StartProgram();
    Activate();
    Form1->N17->trigger();
    Form4->show();
    QApplication::processEvents();
    Form4->RadioButton1->setChecked(true);
    Form4->Button1->click();
    Form1->N18->trigger();
    EndProgram();
    EXPECT_EQ(ReadProgramValue(LastLanguageValue), "2");

    StartProgram();
    Activate();
    Form1->N18->trigger();
    Form4->show();
    QApplication::processEvents();
    Form4->RadioButton2->setChecked(true);
    Form4->Button1->click();
    EndProgram();
    EXPECT_EQ(ReadProgramValue(LastLanguageValue), "1");

    StartProgram();
    Activate();
    ExpectEntriesIn(lgUkrainian, 1, 69);
}

// Pictures of the main window in each language, for review.
TEST_F(LanguageLifecycle, ScreenshotsOfTheMainWindow)
{
    const QString dir = QStringLiteral(VANTOR_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    StartProgram();
    Form1->show();
    for (TLanguage language : languages) {
        Form1->ApplyFullCaptions(language);
        Form1->SetAlphaBlendValue(255);
        Form1->SetAlphaBlend(false);
        QApplication::processEvents();
        const QString file = dir + QStringLiteral("/main-%1.png").arg(QString::fromUtf8(NameOf(language)).toLower());
        EXPECT_TRUE(Form1->grab().save(file)) << file.toStdString();
    }
    Form4->show();
    QApplication::processEvents();
    EXPECT_TRUE(Form4->grab().save(dir + QStringLiteral("/settings-dialog.png")));
}

// The width a control's caption needs and the width it has; a wrapped label
// is measured by its height.
std::pair<int, int> CaptionRoom(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->wordWrap() ? std::pair(label->heightForWidth(label->width()), label->height())
                                 : std::pair(label->sizeHint().width(), label->width());
    if (const auto *box = qobject_cast<const QGroupBox *>(control)) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.textAlignment = box->alignment();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        return {title.x() + box->fontMetrics().horizontalAdvance(box->title()), box->width()};
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(control); button && !button->text().isEmpty())
        return {button->sizeHint().width(), button->width()};
    return {0, 0};
}

// Every caption of every window, in every language, has the room its text
// needs at its font.
TEST_F(LanguageLifecycle, CaptionsFitInEveryWindowAndLanguage)
{
    StartProgram();
    QWidget *windows[] = {Form1, AboutBox, Form3, Form4, Form5, Form6};
    for (TLanguage language : languages) {
        Form1->ApplyFullCaptions(language);
        for (QWidget *window : windows) {
            window->show();
            QApplication::processEvents();
            for (const QWidget *control : window->findChildren<QWidget *>()) {
                const auto [needed, room] = CaptionRoom(control);
                EXPECT_LE(needed, room) << NameOf(language) << ": "
                                        << control->property("text").toString().toStdString();
            }
            window->hide();
        }
    }
}

} // namespace
