// The settings dialog against the main window: loading, applying, the
// refused level and cancelling.
#include "ProgramFixture.h"

#include "Captions.h"
#include "ErrorReporting.h"
#include "Unit1.h"
#include "Unit4.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

// The opacity the window manager is told (_NET_WM_WINDOW_OPACITY); none is opaque.
double AnnouncedOpacity(QWidget &window)
{
    xcb_connection_t *x = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const char name[] = "_NET_WM_WINDOW_OPACITY";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, sizeof name - 1, name), nullptr), &std::free);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property(
        xcb_get_property_reply(x, xcb_get_property(x, 0, window.winId(), atom->atom, XCB_ATOM_CARDINAL, 0, 1), nullptr),
        &std::free);
    if (xcb_get_property_value_length(property.get()) != 4)
        return 1;
    return *static_cast<const uint32_t *>(xcb_get_property_value(property.get())) / double(UINT32_MAX);
}

class SettingsDialog : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        StartProgram();
        // The main window as the fade-in leaves it.
        Form1->SetAlphaBlendValue(255);
        Form1->SetAlphaBlend(false);
    }

    static void Open()
    {
        Form4->show();
        QApplication::processEvents();
    }

    // The controls as an opening leaves them.
    static void ExpectLoaded(bool extraButtons, bool rootKeyBox, const QString &level, bool off, QRadioButton *language)
    {
        EXPECT_EQ(Form4->CheckBox2->isChecked(), extraButtons);
        EXPECT_EQ(Form4->CheckBox3->isChecked(), rootKeyBox);
        EXPECT_EQ(Form4->Edit1->text(), level);
        EXPECT_EQ(Form4->CheckBox4->isChecked(), off);
        EXPECT_TRUE(language->isChecked());
    }

    static bool ExtraButtonsShown()
    {
        const bool shown = !Form1->SpeedButton2->isHidden();
        EXPECT_EQ(!Form1->SpeedButton3->isHidden(), shown);
        EXPECT_EQ(!Form1->SpeedButton4->isHidden(), shown);
        return shown;
    }

    static bool RootKeyBoxShown()
    {
        const bool shown = !Form1->RadioGroup1->isHidden();
        for (QRadioButton *button : {Form1->RadioButton1, Form1->RadioButton2, Form1->RadioButton3,
                                     Form1->RadioButton4, Form1->RadioButton5})
            EXPECT_EQ(!button->isHidden(), shown);
        return shown;
    }
};

TEST_F(SettingsDialog, LooksAsCreated)
{
    EXPECT_EQ(Form4->windowTitle(), QStringLiteral("Настройки VTR 1.5"));
    EXPECT_EQ(Form4->size(), QSize(386, 359));
    EXPECT_EQ(Form4->minimumSize(), Form4->maximumSize());
    EXPECT_EQ(Form4->palette().color(QPalette::Window), QColor(233, 255, 210));
    EXPECT_EQ(Form4->Edit1->palette().color(QPalette::Base), QColor(227, 244, 251));
    EXPECT_FALSE(Form4->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(Form4->RadioButton1->isChecked() || Form4->RadioButton2->isChecked()
                 || Form4->RadioButton3->isChecked());
    EXPECT_EQ(Form4->CheckBox2->parentWidget(), Form4->GroupBox1);
    EXPECT_EQ(Form4->CheckBox4->parentWidget(), Form4->GroupBox2);
    EXPECT_EQ(Form4->RadioButton3->parentWidget(), Form4->GroupBox3);
}

TEST_F(SettingsDialog, OpensFromButtonMenuAndKey)
{
    EXPECT_EQ(Form1->N23->shortcut(), QKeySequence(Qt::Key_F6));

    QWidget *modal = nullptr;
    WhenModalShown([&modal] {
        modal = QApplication::activeModalWidget();
        Form4->Button2->click();
    });
    Form1->SpeedButton3->click();
    EXPECT_EQ(modal, Form4);
    EXPECT_FALSE(Form4->isVisible());

    // Apply ends the modal showing too.
    modal = nullptr;
    WhenModalShown([&modal] {
        modal = QApplication::activeModalWidget();
        Form4->RadioButton2->setChecked(true);
        Form4->Button1->click();
    });
    Form1->N23->trigger();
    EXPECT_EQ(modal, Form4);
    EXPECT_FALSE(Form4->isVisible());
    EXPECT_EQ(Form1->N15->title(), QStringLiteral("Мова"));
}

TEST_F(SettingsDialog, LoadsTheMainWindowOnEveryOpening)
{
    Open();
    ExpectLoaded(true, true, QStringLiteral("255"), true, Form4->RadioButton1);
    Form4->close();

    Form1->SpeedButton2->hide();
    Form1->SpeedButton3->hide();
    Form1->SpeedButton4->hide();
    Form1->SetAlphaBlend(true);
    Form1->SetAlphaBlendValue(7);
    Form1->ApplyFullCaptions(lgUkrainian);
    Open();
    ExpectLoaded(false, true, QStringLiteral("7"), false, Form4->RadioButton2);
    EXPECT_FALSE(Form4->RadioButton1->isChecked());
    Form4->close();

    // A marker that names no language leaves the buttons as they were.
    Form1->N15->setTitle(QStringLiteral("?"));
    Open();
    EXPECT_TRUE(Form4->RadioButton2->isChecked());
}

TEST_F(SettingsDialog, ApplyHidesShowsSetsTheLevelAndLanguage)
{
    Form1->RadioButton3->setChecked(true);
    Open();
    Form4->CheckBox2->setChecked(false);
    Form4->CheckBox3->setChecked(false);
    Form4->Edit1->setText(QStringLiteral(" 128"));
    Form4->CheckBox4->setChecked(false);
    Form4->RadioButton3->setChecked(true);
    QTest::mouseClick(Form4->Button1, Qt::LeftButton);

    EXPECT_FALSE(Form4->isVisible());
    EXPECT_FALSE(ExtraButtonsShown());
    EXPECT_FALSE(RootKeyBoxShown());
    EXPECT_TRUE(Form1->RadioButton3->isChecked()); // hidden, still the root key
    EXPECT_EQ(Form1->AlphaBlendValue(), 128);
    EXPECT_TRUE(Form1->AlphaBlend()); // unchecked "Отключить": the level takes effect
    EXPECT_EQ(Form1->N15->title(), QStringLiteral("Language"));
    EXPECT_EQ(Form1->Button1->text(), QStringLiteral("Create the key"));

    // Reopened: the dialog shows what was applied; Apply at once changes nothing.
    Open();
    ExpectLoaded(false, false, QStringLiteral("128"), false, Form4->RadioButton3);
    Form4->CheckBox3->setChecked(true);
    Form4->CheckBox4->setChecked(true);
    Form4->Edit1->setText(QStringLiteral("$FF"));
    Form4->Button1->click();
    EXPECT_FALSE(ExtraButtonsShown());
    EXPECT_TRUE(RootKeyBoxShown());
    EXPECT_EQ(Form1->AlphaBlendValue(), 255);
    EXPECT_FALSE(Form1->AlphaBlend());

    Open();
    Form4->CheckBox2->setChecked(true);
    Form4->Button1->click();
    EXPECT_TRUE(ExtraButtonsShown());

    // Level 0 with the transparency on would hide the window for good: Apply
    // raises it to the floor, and the dialog shows what was applied.
    Open();
    Form4->Edit1->setText(QStringLiteral("0"));
    Form4->CheckBox4->setChecked(false);
    Form4->Button1->click();
    EXPECT_EQ(Form1->AlphaBlendValue(), VisibleTransparencyFloor);
    EXPECT_TRUE(Form1->AlphaBlend());
    EXPECT_GE(AnnouncedOpacity(*Form1), VisibleTransparencyFloor / 255.0 - 0.001);
    Open();
    EXPECT_EQ(Form4->Edit1->text(), QString::number(VisibleTransparencyFloor));
}

// A text that is no number, or a number outside 0..255, is reported; only the
// two visibility steps have run, and the dialog stays open with the input.
TEST_F(SettingsDialog, RefusedLevelStopsApplyAfterTheVisibilitySteps)
{
    for (const char *text : {"12a", "", "42 ", "4294967296", "256", "-1"}) {
        Form1->ApplyMainCaptions(lgRussian);
        Form1->SpeedButton2->show();
        Form1->SpeedButton3->show();
        Form1->SpeedButton4->show();
        Form1->RadioGroup1->show();
        Form1->SetAlphaBlendValue(255);
        Form1->SetAlphaBlend(false);

        Open();
        Form4->CheckBox2->setChecked(false);
        Form4->CheckBox3->setChecked(true);
        Form4->Edit1->setText(QString::fromUtf8(text));
        Form4->CheckBox4->setChecked(false);
        Form4->RadioButton3->setChecked(true);
        QTest::mouseClick(Form4->Button1, Qt::LeftButton);

        ASSERT_EQ(boxes_.boxes.size(), 1u) << text;
        const QString shown = boxes_.boxes[0].text;
        boxes_.boxes.clear();
        const bool range = QByteArray(text) == "256" || QByteArray(text) == "-1";
        EXPECT_EQ(shown, QStringLiteral("'%1' is not %2.")
                                    .arg(QString::fromUtf8(text),
                                         range ? QStringLiteral("between 0 and 255")
                                               : QStringLiteral("a valid integer value")));
        EXPECT_FALSE(ExtraButtonsShown()) << text;
        EXPECT_TRUE(RootKeyBoxShown()) << text;
        EXPECT_EQ(Form1->AlphaBlendValue(), 255) << text;
        EXPECT_FALSE(Form1->AlphaBlend()) << text;
        EXPECT_EQ(Form1->N15->title(), QStringLiteral("Язык")) << text;
        EXPECT_TRUE(Form4->isVisible()) << text;
        EXPECT_EQ(Form4->Edit1->text(), QString::fromUtf8(text));
        Form4->close();
    }
}

TEST_F(SettingsDialog, CancelAndCloseBoxApplyNothing)
{
    for (bool byCloseBox : {false, true}) {
        Open();
        Form4->CheckBox2->setChecked(false);
        Form4->CheckBox3->setChecked(false);
        Form4->Edit1->setText(QStringLiteral("10"));
        Form4->CheckBox4->setChecked(false);
        Form4->RadioButton2->setChecked(true);
        if (byCloseBox)
            Form4->close();
        else
            QTest::mouseClick(Form4->Button2, Qt::LeftButton);

        EXPECT_FALSE(Form4->isVisible());
        EXPECT_TRUE(ExtraButtonsShown());
        EXPECT_TRUE(RootKeyBoxShown());
        EXPECT_EQ(Form1->AlphaBlendValue(), 255);
        EXPECT_FALSE(Form1->AlphaBlend());
        EXPECT_EQ(Form1->N15->title(), QStringLiteral("Язык"));

        // The next opening shows the main window again, not the edits.
        Open();
        ExpectLoaded(true, true, QStringLiteral("255"), true, Form4->RadioButton1);
        Form4->close();
    }
}

// The dialog's language switch is a main-window set: its own texts keep the
// language of the last full set while its buttons follow the marker.
TEST_F(SettingsDialog, LanguageSwitchChangesOnlyTheMainWindow)
{
    Form1->ApplyFullCaptions(lgEnglish);
    Open();
    EXPECT_TRUE(Form4->RadioButton3->isChecked());
    Form4->RadioButton2->setChecked(true);
    Form4->Button1->click();

    EXPECT_EQ(Form1->N15->title(), QStringLiteral("Мова"));
    EXPECT_EQ(Form1->Button2->text(), QStringLiteral("Читать значення"));
    EXPECT_TRUE(Form1->N17->isChecked());
    EXPECT_FALSE(Form1->N18->isChecked());
    EXPECT_EQ(Form1->N26->text(), QStringLiteral("Sequrity"));
    EXPECT_EQ(Form1->SpeedButton3->toolTip(), QStringLiteral("Options..."));

    Open();
    EXPECT_TRUE(Form4->RadioButton2->isChecked());
    EXPECT_EQ(Form4->windowTitle(), QStringLiteral("Show"));
    EXPECT_EQ(Form4->GroupBox3->title(), QStringLiteral("Language"));
    EXPECT_EQ(Form4->Button1->text(), QStringLiteral("Apply"));
}

// Cutting an out-of-range number to its low eight bits would turn 256 into
// level 0, an invisible main window; such a number is refused instead, and
// the error box shows the message with a period.
TEST(TransparencyLevel, IsRefusedOutsideZeroTo255)
{
    const auto failure = [](const char *text) {
        try {
            TransparencyLevelFromText(QString::fromUtf8(text));
        } catch (const EConvertError &refusal) {
            return ErrorBoxText(refusal.Message());
        }
        return QStringLiteral("(accepted)");
    };
    EXPECT_EQ(TransparencyLevelFromText("255"), 255);
    EXPECT_EQ(TransparencyLevelFromText("$FF"), 255);
    EXPECT_EQ(TransparencyLevelFromText("-0"), 0);
    EXPECT_EQ(TransparencyLevelFromText("  42"), 42);
    EXPECT_EQ(failure("256"), QStringLiteral("'256' is not between 0 and 255."));
    EXPECT_EQ(failure("-1"), QStringLiteral("'-1' is not between 0 and 255."));
    EXPECT_EQ(failure("$FFFFFFFF"), QStringLiteral("'$FFFFFFFF' is not between 0 and 255."));
    EXPECT_EQ(failure("12a"), QStringLiteral("'12a' is not a valid integer value."));
}

} // namespace
