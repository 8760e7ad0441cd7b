// The password gate comes before the language step at start-up.
#include "ProgramFixture.h"

#include "ExpectedCaptions.h"
#include "PersistedState.h"
#include "Unit1.h"
#include "Unit6.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace {

using PersistedState::LastLanguageValue;

// The password gate comes before the language step, so the prompt shows its
// creation texts whatever language is stored; the language follows it.
TEST_F(ProgramFixture, PromptAtStartShowsItsCreationTexts)
{
    SetStoreText(PersistedState::PasswordValue, "secret");
    SetStoreText(PersistedState::ProtectionFlagValue, "1");
    SetProgramText(LastLanguageValue, "2");
    StartProgram();

    QString title, ok, cancel, marker;
    WhenModalShown([&] {
        EXPECT_EQ(QApplication::activeModalWidget(), Form6);
        title = Form6->windowTitle();
        ok = Form6->Button1->text();
        cancel = Form6->Button2->text();
        marker = Form1->N15->title();
        Form6->Edit1->setText(QStringLiteral("secret"));
        Form6->Button1->click();
    });
    Activate();

    EXPECT_EQ(title, QStringLiteral("Введите пароль"));
    EXPECT_EQ(ok, QStringLiteral("OK"));
    EXPECT_EQ(cancel, QStringLiteral("Отмена"));
    EXPECT_EQ(marker, QStringLiteral("Язык"));
    ExpectEntriesIn(lgEnglish, 1, 69);
}

} // namespace
