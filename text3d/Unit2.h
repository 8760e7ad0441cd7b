// TAboutBox: the About box, with the program's name, icon and version, two
// lines of credits and a TText3D control with three more in 3D letters.
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QPushButton;
class QTimer;
class TText3D;

// A panel with an outer lowered and an inner raised bevel.
class TBevelPanel : public QWidget {
    Q_OBJECT
public:
    explicit TBevelPanel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget *parent = nullptr);

    TBevelPanel *Panel1 = nullptr;
    QLabel *ProgramIcon = nullptr;
    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QLabel *Copyright = nullptr; // the first line of credits
    QLabel *Comments = nullptr;  // the second line of credits, wrapped
    QPushButton *Button1 = nullptr;
    TText3D *Text3D1 = nullptr;
    QTimer *Timer1 = nullptr;

    // The layered-window transparency: 255 is opaque.
    bool AlphaBlend() const { return FAlphaBlend; }
    std::uint8_t AlphaBlendValue() const { return FAlphaBlendValue; }

public slots:
    void FormActivate();
    void Button1Click();
    void Timer1Timer();
    void Text3D1Click();
    void Text3D1DblClick();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void ApplyAlphaBlend();

    bool FAlphaBlend = true;
    std::uint8_t FAlphaBlendValue = 255;
};

extern TAboutBox *AboutBox;
