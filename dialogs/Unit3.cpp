#include "Unit3.h"

TForm3 *Form3 = nullptr;

TForm3::TForm3(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Заготовки"));
    setFixedSize(395, 377);
}
