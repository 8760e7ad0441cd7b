// Recall of the three fields from the program key, and clearing them.
//
// The close handler stores the fields as "Path", "Name" and "Word"; each
// recall reads one of them back into its field. A missing value empties it.
#include "PersistedState.h"
#include "Registry.h"
#include "Unit1.h"

#include <QLineEdit>

namespace {

void Recall(QLineEdit *field, const char *valueName)
{
    TRegistry programKey;
    programKey.SelectRoot(PersistedState::ProgramKeyRoot);
    programKey.EnterKey(PersistedState::ProgramKeyPath, true);
    const std::string text = programKey.ReadText(valueName);
    field->setText(QString::fromStdString(text));
}

void ClearAll(TForm1 &form)
{
    form.Edit2->clear();
    form.Edit3->clear();
    form.Edit4->clear();
}

} // namespace

void TForm1::Edit2DblClick() { Recall(Edit2, PersistedState::LastPathValue); }
void TForm1::Edit3DblClick() { Recall(Edit3, PersistedState::LastNameValue); }
void TForm1::Edit4DblClick() { Recall(Edit4, PersistedState::LastWordValue); }

void TForm1::N12Click() { Recall(Edit2, PersistedState::LastPathValue); }
void TForm1::N13Click() { Recall(Edit3, PersistedState::LastNameValue); }
void TForm1::N14Click() { Recall(Edit4, PersistedState::LastWordValue); }

void TForm1::SpeedButton1Click() { ClearAll(*this); }
void TForm1::N20Click() { ClearAll(*this); }
