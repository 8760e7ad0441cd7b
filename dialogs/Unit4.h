// TForm4: the settings dialog. It shows or hides the main window's extra
// flat buttons and root-key box, sets the main window's transparency and
// applies a main-window caption set. It stores nothing itself.
#pragma once

#include "StrToInt.h"

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

// The transparency level typed in the dialog. A value outside 0 to 255 raises
// EConvertError "'<text>' is not between 0 and 255" rather than being cut to
// its low eight bits, which would turn 256 into an invisible main window.
std::uint8_t TransparencyLevelFromText(const QString &text);

// The lowest level Apply gives the main window: below about a tenth it could
// no longer be seen, and nothing on screen would bring it back.
inline constexpr std::uint8_t VisibleTransparencyFloor = 26;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget *parent = nullptr);

    QGroupBox *GroupBox1 = nullptr;
    QCheckBox *CheckBox2 = nullptr;
    QCheckBox *CheckBox3 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label1 = nullptr;
    QCheckBox *CheckBox4 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QRadioButton *RadioButton3 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

public slots:
    // Loads the controls from the main window; runs on every opening.
    void FormActivate();
    // Apply: applies the controls to the main window and closes the dialog.
    void Button1Click();
    // Cancel: closes the dialog, applying nothing.
    void Button2Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void CreateControls();
};

extern TForm4 *Form4;
