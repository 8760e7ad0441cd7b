// The presets dialog: fills the main window's path and name fields with
// well-known registry locations and checks the matching root key.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget *parent = nullptr);

    QLabel *Label1;
    QRadioButton *RadioButton3;
    QRadioButton *RadioButton4;
    QRadioButton *RadioButton9;
    QRadioButton *RadioButton5;
    QRadioButton *RadioButton6;
    QRadioButton *RadioButton12;
    QRadioButton *RadioButton11;
    QPushButton *Button1;

public slots:
    // Each preset handler runs only when its button becomes checked.
    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void RadioButton6Click();
    void RadioButton9Click();
    void RadioButton11Click();
    void RadioButton12Click();
    void Button1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QRadioButton *AddPreset(const char *name, void (TForm3::*handler)());
    static void FillMainWindow(const char *path, const char *name, QRadioButton *rootButton);
};

extern TForm3 *Form3;
