// The presets dialog: each preset fills the main window's path and name and
// checks its root key; only a change of choice does anything.
#include "DialogFixture.h"
#include "Unit3.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

struct Preset {
    const char *caption;
    QRadioButton *TForm3::*button;
    QString path;
    QString name;
    QRadioButton *TForm1::*root;
};

const QString NtCurrentVersion = QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion");

// Screen order.
const std::vector<Preset> &Presets()
{
    static const std::vector<Preset> presets = {
        {"registered owner", &TForm3::RadioButton3, NtCurrentVersion, QStringLiteral("RegisteredOwner"),
         &TForm1::RadioButton3},
        {"organisation", &TForm3::RadioButton4, NtCurrentVersion, QStringLiteral("RegisteredOrganization"),
         &TForm1::RadioButton3},
        {"system folder", &TForm3::RadioButton9, NtCurrentVersion, QStringLiteral("PathName"),
         &TForm1::RadioButton3},
        {"CD autorun", &TForm3::RadioButton5, QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\CDRom"),
         QStringLiteral("AutoRun "), &TForm1::RadioButton3},
        {"start-up", &TForm3::RadioButton6, QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"),
         QString(), &TForm1::RadioButton3},
        {"open with", &TForm3::RadioButton12,
         QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts"), QString(),
         &TForm1::RadioButton2},
        {"typed URLs", &TForm3::RadioButton11, QStringLiteral("Software\\Microsoft\\Internet Explorer\\TypedURLs"),
         QString(), &TForm1::RadioButton2},
    };
    return presets;
}

class PresetsDialogTest : public DialogFixture<TForm3> {
protected:
    PresetsDialogTest() : DialogFixture(Form3) {}

    void ShowBoth()
    {
        form1_->show();
        dialog_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
    }

    // A click on the round mark, where a click always lands on the button.
    static void Choose(QRadioButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }

    void Choose(const Preset &preset) { Choose(dialog_.get()->*preset.button); }

    void FillFields(const QString &path, const QString &name, const QString &value)
    {
        form1_->Edit2->setText(path);
        form1_->Edit3->setText(name);
        form1_->Edit4->setText(value);
    }

    void ExpectFilledBy(const Preset &preset)
    {
        EXPECT_EQ(form1_->Edit2->text(), preset.path) << preset.caption;
        EXPECT_EQ(form1_->Edit3->text(), preset.name) << preset.caption;
        for (QRadioButton *root : {form1_->RadioButton1, form1_->RadioButton2, form1_->RadioButton3,
                                   form1_->RadioButton4, form1_->RadioButton5})
            EXPECT_EQ(root->isChecked(), root == form1_.get()->*preset.root) << preset.caption;
    }
};

TEST_F(PresetsDialogTest, EachPresetFillsPathAndNameAndChecksItsRootLeavingTheValue)
{
    ShowBoth();
    form1_->RadioButton5->setChecked(true);
    for (const Preset &preset : Presets()) {
        FillFields(QStringLiteral("typed path"), QStringLiteral("typed name"), QStringLiteral("typed value"));
        Choose(preset);
        EXPECT_TRUE((dialog_.get()->*preset.button)->isChecked()) << preset.caption;
        ExpectFilledBy(preset);
        EXPECT_EQ(form1_->Edit4->text(), QStringLiteral("typed value")) << preset.caption;
        EXPECT_TRUE(dialog_->isVisible()) << preset.caption;
    }
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(PresetsDialogTest, PresetsCheckTheRootAlsoWhileTheRootBoxIsHidden)
{
    ShowBoth();
    // As the settings dialog hides it: the frame and its five buttons.
    form1_->RadioGroup1->hide();
    for (QRadioButton *root : {form1_->RadioButton1, form1_->RadioButton2, form1_->RadioButton3,
                               form1_->RadioButton4, form1_->RadioButton5})
        root->hide();
    for (const Preset &preset : Presets()) {
        Choose(preset);
        ExpectFilledBy(preset);
    }
}

TEST_F(PresetsDialogTest, ChoosingTheCheckedPresetAgainChangesNothing)
{
    ShowBoth();
    const Preset &owner = Presets()[0];
    Choose(owner);
    FillFields(QStringLiteral("edited path"), QStringLiteral("edited name"), QStringLiteral("v"));
    form1_->RadioButton1->setChecked(true);

    Choose(owner);
    QTest::keyClick(dialog_.get()->*owner.button, Qt::Key_Space);

    EXPECT_EQ(form1_->Edit2->text(), QStringLiteral("edited path"));
    EXPECT_EQ(form1_->Edit3->text(), QStringLiteral("edited name"));
    EXPECT_TRUE(form1_->RadioButton1->isChecked());

    // Another choice first, then the same preset applies again.
    Choose(Presets()[4]);
    Choose(owner);
    ExpectFilledBy(owner);
}

TEST_F(PresetsDialogTest, AStartUpPresetEmptiesTheNameAnEarlierPresetFilled)
{
    ShowBoth();
    Choose(Presets()[0]);
    EXPECT_EQ(form1_->Edit3->text(), QStringLiteral("RegisteredOwner"));
    Choose(Presets()[4]);
    EXPECT_EQ(form1_->Edit3->text(), QString());
}

TEST_F(PresetsDialogTest, TheLastChoiceStaysCheckedWhenTheDialogOpensAgain)
{
    form1_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form1_.get()));
    const Preset &autorun = Presets()[3];

    // First opening by the tool button: choose, then O K.
    QTimer::singleShot(0, dialog_.get(), [&] {
        Choose(autorun);
        QTest::mouseClick(dialog_->Button1, Qt::LeftButton);
    });
    QTest::mouseClick(form1_->SpeedButton2, Qt::LeftButton);
    ASSERT_FALSE(dialog_->isVisible());
    ExpectFilledBy(autorun);

    // The user edits; the second opening, by the menu, shows the same choice
    // and a click on it leaves the edits alone.
    FillFields(QStringLiteral("mine"), QStringLiteral("mine too"), QString());
    bool stillChecked = false;
    QTimer::singleShot(0, dialog_.get(), [&] {
        stillChecked = (dialog_.get()->*autorun.button)->isChecked();
        Choose(autorun);
        dialog_->close();
    });
    form1_->N22->trigger();
    EXPECT_TRUE(stillChecked);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(form1_->Edit2->text(), QStringLiteral("mine"));
    EXPECT_EQ(form1_->Edit3->text(), QStringLiteral("mine too"));
}

} // namespace
