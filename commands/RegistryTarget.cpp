// The root key of a command's target, taken from the five root-key buttons.
#include "ErrorReporting.h"
#include "Registry.h"
#include "Unit1.h"

#include <QRadioButton>

void TForm1::ApplyRootChoice(TRegistry &access)
{
    if (RadioButton1->isChecked())
        access.SelectRoot(HKEY_CLASSES_ROOT);
    if (RadioButton2->isChecked())
        access.SelectRoot(HKEY_CURRENT_USER);
    if (RadioButton3->isChecked())
        access.SelectRoot(HKEY_LOCAL_MACHINE);
    if (RadioButton4->isChecked())
        access.SelectRoot(HKEY_USERS);
    if (RadioButton5->isChecked())
        access.SelectRoot(HKEY_CURRENT_CONFIG);
    if (!RadioButton1->isChecked() && !RadioButton2->isChecked() && !RadioButton3->isChecked()
        && !RadioButton4->isChecked() && !RadioButton5->isChecked())
        ShowMessage(QStringLiteral("Не указан корневой ключ! Поставьте нужную галочку справа"));
}
