// TForm1: the program's main window.
//
// The controls are public members named as the rest of the program refers to
// them; the handlers are public slots. Their bodies live in the file of the
// subsystem they belong to:
//   app/Unit1.cpp            construction, activation, fade-in, close, dialog openers
//   app/PasswordGate.cpp     the start-up password gate
//   commands/RegistryTarget.cpp  ApplyRootChoice
//   commands/Commands.cpp    the five registry commands and their triggers
//   commands/FieldRecall.cpp recall and clearing of the three fields
//   commands/Templates.cpp   the ten template slots
//   app/Unit1.cpp            also the caption sets and the Language menu (the
//                            table and its setters are in lang/)
// Every connection (signals, shortcuts, double-clicks) is made in Unit1.cpp.
#pragma once

#include "Language.h"

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <optional>

class QAction;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;
class TRegistry;
enum class CaptionWindow;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Controls, in the order the window declares them.
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button4 = nullptr;
    QPushButton *Button5 = nullptr;
    QPushButton *Button6 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QLabel *Label4 = nullptr;
    QGroupBox *RadioGroup1 = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QRadioButton *RadioButton3 = nullptr;
    QRadioButton *RadioButton4 = nullptr;
    QRadioButton *RadioButton5 = nullptr;
    QTimer *Timer1 = nullptr;
    QMenuBar *MainMenu1 = nullptr;

    // Menu: top items and submenus are QMenu (their caption is title()),
    // the others QAction (their caption is text()).
    QMenu *N1 = nullptr;    // File
    QAction *N2 = nullptr;  // File: exit
    QMenu *N3 = nullptr;    // Actions
    QAction *N4 = nullptr;  // Actions: create key
    QAction *N5 = nullptr;  // Actions: read value
    QAction *N6 = nullptr;  // Actions: change value
    QAction *N7 = nullptr;  // Actions: delete value
    QAction *N8 = nullptr;  // Actions: delete key
    QMenu *N9 = nullptr;    // Info
    QAction *N10 = nullptr; // Info: About box
    QMenu *N11 = nullptr;   // Fill field
    QAction *N12 = nullptr; // Fill field: path
    QAction *N13 = nullptr; // Fill field: name
    QAction *N14 = nullptr; // Fill field: value
    QMenu *N15 = nullptr;   // Language; its title is the language marker
    QAction *N16 = nullptr; // Language: Russian
    QAction *N17 = nullptr; // Language: Ukrainian
    QAction *N18 = nullptr; // Language: English
    QMenu *N24 = nullptr;   // Templates
    // Recall items of the slots 1..10, directly under N24.
    QAction *N110 = nullptr;
    QAction *N25 = nullptr;
    QAction *N31 = nullptr;
    QAction *N41 = nullptr;
    QAction *N51 = nullptr;
    QAction *N61 = nullptr;
    QAction *N71 = nullptr;
    QAction *N81 = nullptr;
    QAction *N91 = nullptr;
    QAction *N101 = nullptr;
    QMenu *N19 = nullptr;   // Templates: remember as
    // Store items of the slots 1..10, under N19.
    QAction *N111 = nullptr;
    QAction *N21 = nullptr;
    QAction *N32 = nullptr;
    QAction *N42 = nullptr;
    QAction *N52 = nullptr;
    QAction *N62 = nullptr;
    QAction *N72 = nullptr;
    QAction *N82 = nullptr;
    QAction *N92 = nullptr;
    QAction *N102 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QAction *N20 = nullptr; // Fill field: clear all fields
    QToolButton *SpeedButton2 = nullptr;
    QAction *N22 = nullptr; // File: presets dialog
    QToolButton *SpeedButton3 = nullptr;
    QAction *N23 = nullptr; // File: settings dialog
    QAction *N26 = nullptr; // File: protection dialog
    QToolButton *SpeedButton4 = nullptr;

    // The template items by slot: index 0 is slot 1.
    std::array<QAction *, 10> TemplateRecallItems() const;
    std::array<QAction *, 10> TemplateStoreItems() const;

    // Layered-window transparency: the switch and the 8-bit level are the
    // record; the window's opacity is derived from them.
    bool AlphaBlend() const { return alphaBlend_; }
    void SetAlphaBlend(bool on);
    std::uint8_t AlphaBlendValue() const { return alphaBlendValue_; }
    void SetAlphaBlendValue(std::uint8_t level);

    // True once the activation sequence has run in this run of the program.
    bool Activated() const { return activated_; }

    // Set by the password prompt when it ends the program at start-up; the
    // close that follows then stores nothing.
    bool StartupRefused = false;

    // Registry target and caption sets, used by the commands and the dialogs.
    void ApplyRootChoice(TRegistry &access);
    void ApplyMainCaptions(TLanguage language);
    void ApplyFullCaptions(TLanguage language);

    // The five registry commands.
    void DoCreateKey();
    void DoReadValue();
    void DoChangeValue();
    void DoDeleteValue();
    void DoDeleteKey();

    // Step 1 of the activation: brings the password store into order and asks
    // for the password when protection is on. The store stays open in
    // passwordStore until the activation ends.
    void RunPasswordGate(TRegistry &passwordStore);

public slots:
    void FormActivate();
    void Timer1Timer();
    void FormClose();

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();

    void N2Click();
    void N4Click();
    void N5Click();
    void N6Click();
    void N7Click();
    void N8Click();
    void N10Click();
    void N12Click();
    void N13Click();
    void N14Click();
    void N16Click();
    void N17Click();
    void N18Click();
    void N20Click();
    void N22Click();
    void N23Click();
    void N26Click();

    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();

    void Edit2DblClick();
    void Edit3DblClick();
    void Edit4DblClick();

    // Templates: store into slot n.
    void N111Click();
    void N21Click();
    void N32Click();
    void N42Click();
    void N52Click();
    void N62Click();
    void N72Click();
    void N82Click();
    void N92Click();
    void N102Click();
    // Templates: recall slot n.
    void N110Click();
    void N25Click();
    void N31Click();
    void N41Click();
    void N51Click();
    void N61Click();
    void N71Click();
    void N81Click();
    void N91Click();
    void N101Click();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateControls();
    void CreateMenu();
    void ConnectHandlers();
    void SetTabOrder();
    void RunActivation();
    QWidget *CaptionWindowOf(CaptionWindow window);
    void ApplyOpacity();

    bool alphaBlend_ = true;
    std::uint8_t alphaBlendValue_ = 0;
    bool activated_ = false;
};

extern TForm1 *Form1;

// The language the main window's marker names, if any.
std::optional<TLanguage> MarkedLanguage(const TForm1 &form);
