#include "Unit6.h"

TForm6 *Form6 = nullptr;

TForm6::TForm6(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Введите пароль"));
    setFixedSize(282, 140);
}
