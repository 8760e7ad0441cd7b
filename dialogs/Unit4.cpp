#include "Unit4.h"

TForm4 *Form4 = nullptr;

TForm4::TForm4(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Настройки VTR 1.5"));
    setFixedSize(386, 359);
}
