// The protection dialog: sets a new start-up password or removes protection.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *Edit1;
    QLabel *Label2;
    QLineEdit *Edit2;
    QPushButton *Button1;
    QPushButton *Button2;
    QPushButton *Button3;

public slots:
    void Button1Click();
    void Button2Click();
    void Button3Click();

protected:
    void showEvent(QShowEvent *event) override;
};

extern TForm5 *Form5;
