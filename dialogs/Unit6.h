// The password prompt: asked once at start-up while protection is on.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget *parent = nullptr);

    QLineEdit *Edit1;
    QPushButton *Button1;
    QPushButton *Button2;

public slots:
    void Button1Click();
    void Button2Click();
    // Runs whenever the prompt closes: lets the start-up go on only when the
    // field holds the stored password, and ends the program otherwise.
    void FormClose();

protected:
    // OK, Cancel, Esc, the close box and the system's close command all end
    // here, so FormClose runs for every one of them.
    void done(int result) override;
    void showEvent(QShowEvent *event) override;

private:
    bool FieldHoldsPassword() const;
    void EndProgram();
};

extern TForm6 *Form6;
