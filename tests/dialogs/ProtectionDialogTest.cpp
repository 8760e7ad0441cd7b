// The protection dialog: Apply and Remove protection, with the right and the
// wrong current password.
#include "DialogFixture.h"
#include "PersistedState.h"
#include "TestInput.h"
#include "Unit5.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTest>
#include <QTimer>

namespace {

const QString ApplyWrongText = QStringLiteral("Неправильный пароль / невірний пароль / wrong password");
const QString RemoveWrongText = QStringLiteral("Неправилньый пароль / невірний пароль / wrong password");

using PersistedState::PasswordValue;
using PersistedState::ProtectionFlagValue;

class ProtectionDialogTest : public DialogFixture<TForm5> {
protected:
    ProtectionDialogTest() : DialogFixture(Form5)
    {
        SetStoreText(PasswordValue, "Secret pass");
        SetStoreText(ProtectionFlagValue, "0");
        dialog_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
    }

    void Apply(const QString &current, const QString &fresh)
    {
        Retype(dialog_->Edit1, current);
        Retype(dialog_->Edit2, fresh);
        QTest::mouseClick(dialog_->Button1, Qt::LeftButton);
    }

    void Remove(const QString &current)
    {
        Retype(dialog_->Edit1, current);
        QTest::mouseClick(dialog_->Button2, Qt::LeftButton);
    }

    void ExpectStore(const std::string &password, const std::string &flag)
    {
        EXPECT_EQ(StoreText(PasswordValue), password);
        EXPECT_EQ(StoreText(ProtectionFlagValue), flag);
    }

    void ExpectOneMessage(const QString &text)
    {
        ASSERT_EQ(boxes_.boxes.size(), 1u);
        EXPECT_EQ(boxes_.boxes[0].icon, QMessageBox::NoIcon);
        EXPECT_EQ(boxes_.boxes[0].text, text);
        boxes_.boxes.clear();
    }
};

TEST_F(ProtectionDialogTest, ApplyWithTheRightPasswordStoresTheNewOneAndTurnsProtectionOnSilently)
{
    Apply(QStringLiteral("Secret pass"), QStringLiteral("Новый пароль 2"));

    ExpectStore("Новый пароль 2", "1");
    EXPECT_TRUE(boxes_.boxes.empty());
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(dialog_->Edit1->text(), QStringLiteral("Secret pass"));
    EXPECT_EQ(dialog_->Edit2->text(), QStringLiteral("Новый пароль 2"));
}

TEST_F(ProtectionDialogTest, ApplyWithAWrongPasswordTellsSoAndWritesNothing)
{
    for (const QString &wrong : {QStringLiteral("secret pass"), QStringLiteral("Secret pass "),
                                 QStringLiteral("Secret"), QString()}) {
        Apply(wrong, QStringLiteral("other"));
        ExpectOneMessage(ApplyWrongText);
        ExpectStore("Secret pass", "0");
        EXPECT_TRUE(dialog_->isVisible());
        EXPECT_EQ(dialog_->Edit1->text(), wrong);
        EXPECT_EQ(dialog_->Edit2->text(), QStringLiteral("other"));
    }
}

TEST_F(ProtectionDialogTest, RemoveWithTheRightPasswordTurnsProtectionOffAndKeepsThePassword)
{
    SetStoreText(ProtectionFlagValue, "1");
    Remove(QStringLiteral("Secret pass"));
    ExpectStore("Secret pass", "0");
    EXPECT_TRUE(boxes_.boxes.empty());

    // The kept password is the one a later Apply asks for.
    Apply(QStringLiteral("Secret pass"), QStringLiteral("x"));
    ExpectStore("x", "1");
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ProtectionDialogTest, RemoveWithAWrongPasswordTellsSoInItsOwnWordsAndWritesNothing)
{
    SetStoreText(ProtectionFlagValue, "1");
    for (const QString &wrong : {QStringLiteral("SECRET PASS"), QStringLiteral("Secret pass "),
                                 QStringLiteral(" Secret pass")}) {
        Remove(wrong);
        ExpectOneMessage(RemoveWrongText);
        ExpectStore("Secret pass", "1");
    }
}

TEST_F(ProtectionDialogTest, AnEmptyNewPasswordIsStoredAsItIs)
{
    Apply(QStringLiteral("Secret pass"), QString());
    ExpectStore("", "1");

    // Until the next start, only an empty current password matches it.
    Remove(QStringLiteral("brightcanoe"));
    ExpectOneMessage(RemoveWrongText);
    Remove(QString());
    ExpectStore("", "0");
}

TEST_F(ProtectionDialogTest, EveryOpenerShowsTheDialogModallyAndCloseHidesIt)
{
    dialog_->hide();
    const std::vector<std::pair<const char *, std::function<void()>>> openers = {
        {"SpeedButton4", [this] { QTest::mouseClick(form1_->SpeedButton4, Qt::LeftButton); }},
        {"N26", [this] { form1_->N26->trigger(); }},
        {"F9", [this] { QTest::keyClick(form1_.get(), Qt::Key_F9); }},
    };
    form1_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form1_.get()));
    for (const auto &[name, open] : openers) {
        bool sawModal = false;
        QTimer::singleShot(0, dialog_.get(), [this, &sawModal] {
            sawModal = dialog_->isVisible() && dialog_->isModal();
            QTest::mouseClick(dialog_->Button3, Qt::LeftButton);
        });
        open();
        EXPECT_TRUE(sawModal) << name;
        EXPECT_FALSE(dialog_->isVisible()) << name;
    }
}

TEST_F(ProtectionDialogTest, AnUnreadablePasswordIsReportedAndTheDialogStaysOpen)
{
    SetStoreNumber(PasswordValue, 7);
    Apply(QStringLiteral("Secret pass"), QStringLiteral("new"));
    Remove(QStringLiteral("Secret pass"));

    ASSERT_EQ(boxes_.boxes.size(), 2u);
    for (const ShownBox &box : boxes_.boxes) {
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.text, QStringLiteral("Invalid data type for 'configuration'"));
    }
    EXPECT_EQ(StoreText(ProtectionFlagValue), "0");
    EXPECT_TRUE(dialog_->isVisible());
}

} // namespace
