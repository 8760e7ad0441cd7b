// The caption table as the user sees it: every entry, in every language, read
// back from its control and property and compared with the separate copy in
// ExpectedCaptions.cpp.
#include "ProgramFixture.h"

#include "Captions.h"
#include "ExpectedCaptions.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace {

class CaptionTable : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        StartProgram();
    }
};

TEST_F(CaptionTable, ExpectedCopyIsComplete)
{
    ASSERT_EQ(ExpectedTable().size(), 69u);
    for (std::size_t i = 0; i < ExpectedTable().size(); ++i) {
        EXPECT_EQ(ExpectedTable()[i].number, static_cast<int>(i) + 1);
        EXPECT_NE(ExpectedTable()[i].read, nullptr);
    }
}

// The windows are created with the Russian texts, except the settings
// dialog's title and the three unchecked Language items.
TEST_F(CaptionTable, CreationTextsAreRussianWithTwoExceptions)
{
    for (const Expected &entry : ExpectedTable()) {
        QString expected = entry.In(lgRussian);
        if (entry.number == 61)
            expected = QStringLiteral("Настройки VTR 1.5");
        if (entry.number >= 32 && entry.number <= 34)
            expected = QStringLiteral("off");
        EXPECT_EQ(entry.read(), expected) << "entry " << entry.number;
    }
    EXPECT_EQ(MarkedLanguage(*Form1), lgRussian);
}

TEST_F(CaptionTable, FullSetWritesEveryEntryInEveryLanguage)
{
    // Each language after each other one, so that no text is left behind.
    for (TLanguage before : languages) {
        for (TLanguage language : languages) {
            Form1->ApplyFullCaptions(before);
            Form1->ApplyFullCaptions(language);
            ExpectEntriesIn(language, 1, 69);
        }
    }
}

TEST_F(CaptionTable, MainSetWritesOnlyTheMainWindowEntries)
{
    for (TLanguage full : languages) {
        for (TLanguage main : languages) {
            Form1->ApplyFullCaptions(full);
            Form1->ApplyMainCaptions(main);
            ExpectEntriesIn(main, 1, 34);
            ExpectEntriesIn(full, 35, 69);
        }
    }
}

TEST_F(CaptionTable, MarkerFollowsEveryKindOfSet)
{
    for (TLanguage language : languages) {
        Form1->ApplyFullCaptions(language);
        EXPECT_EQ(MarkedLanguage(*Form1), language);
        Form1->ApplyMainCaptions(language == lgEnglish ? lgRussian : lgEnglish);
        Form1->ApplyMainCaptions(language);
        EXPECT_EQ(MarkedLanguage(*Form1), language);
    }
    Form1->N17->trigger();
    EXPECT_EQ(Form1->N15->title(), QStringLiteral("Мова"));
    Form1->N18->trigger();
    EXPECT_EQ(Form1->N15->title(), QStringLiteral("Language"));
    Form1->N16->trigger();
    EXPECT_EQ(Form1->N15->title(), QStringLiteral("Язык"));

    // Any other caption names no language, letter case included.
    for (const char *other : {"language", "Язык ", "", "Мова1"})
        EXPECT_EQ(LanguageFromMarker(QString::fromUtf8(other)), std::nullopt) << other;
}

TEST_F(CaptionTable, LanguageMenuAppliesTheFullSetByMenuAndKey)
{
    EXPECT_EQ(Form1->N16->shortcut(), QKeySequence(Qt::Key_F10));
    EXPECT_EQ(Form1->N17->shortcut(), QKeySequence(Qt::Key_F11));
    EXPECT_EQ(Form1->N18->shortcut(), QKeySequence(Qt::Key_F12));

    Form1->N18->trigger();
    ExpectEntriesIn(lgEnglish, 1, 69);
    Form1->N17->trigger();
    ExpectEntriesIn(lgUkrainian, 1, 69);

    // Choosing the language already shown brings back what a main-window
    // set had left behind.
    Form1->ApplyMainCaptions(lgEnglish);
    Form1->N17->trigger();
    ExpectEntriesIn(lgUkrainian, 1, 69);
}

// Texts outside the table keep their creation texts in every language.
TEST_F(CaptionTable, TextsOutsideTheTableNeverChange)
{
    const QString title = Form1->windowTitle();
    for (TLanguage language : languages) {
        Form1->ApplyFullCaptions(language);
        EXPECT_EQ(Form1->windowTitle(), title);
        EXPECT_EQ(Form1->SpeedButton1->text(), QStringLiteral("CLEAN  ALL "));
        EXPECT_EQ(Form1->RadioButton1->text(), QStringLiteral(" HKCR"));
        EXPECT_EQ(Form1->RadioButton3->toolTip(), QStringLiteral("HKEY_LOCAL_MACHINE"));
        EXPECT_EQ(Form1->RadioButton5->text(), QStringLiteral(" HKCC"));
        const auto recall = Form1->TemplateRecallItems();
        const auto store = Form1->TemplateStoreItems();
        for (int slot = 1; slot <= 10; ++slot) {
            EXPECT_EQ(recall[slot - 1]->text(), QString::number(slot));
            EXPECT_EQ(store[slot - 1]->text(), QString::number(slot));
        }
        EXPECT_EQ(Form4->RadioButton1->text(), QStringLiteral("Русский"));
        EXPECT_EQ(Form4->RadioButton2->text(), QStringLiteral("Українська"));
        EXPECT_EQ(Form4->RadioButton3->text(), QStringLiteral("English"));
        EXPECT_EQ(Form4->Edit1->text(), QStringLiteral("255"));
        EXPECT_EQ(Form3->Button1->text(), QStringLiteral("O K"));
        EXPECT_EQ(Form6->Button1->text(), QStringLiteral("OK"));
        EXPECT_EQ(AboutBox->windowTitle(), QStringLiteral("About VTR"));
    }
}

} // namespace
