// The ten template slots: store the three fields into a slot, recall a slot.
//
// Slot n is the triple "Paths"n, "Names"n, "Words"n in the program key, always
// written and read whole, in that order. A slot never stored reads as three
// empty texts.
#include "PersistedState.h"
#include "Registry.h"
#include "Unit1.h"

#include <QLineEdit>

namespace {

void OpenProgramKey(TRegistry &programKey)
{
    programKey.SelectRoot(PersistedState::ProgramKeyRoot);
    programKey.EnterKey(PersistedState::ProgramKeyPath, true);
}

void StoreTemplate(TForm1 &form, int slot)
{
    const std::string path = form.Edit2->text().toStdString();
    const std::string name = form.Edit3->text().toStdString();
    const std::string word = form.Edit4->text().toStdString();
    TRegistry programKey;
    OpenProgramKey(programKey);
    programKey.WriteText(PersistedState::TemplatePathValue(slot), path);
    programKey.WriteText(PersistedState::TemplateNameValue(slot), name);
    programKey.WriteText(PersistedState::TemplateWordValue(slot), word);
}

// Each field is filled as soon as its value is read, so a failing read leaves
// the fields before it recalled and the ones after it as they were.
void RecallTemplate(TForm1 &form, int slot)
{
    TRegistry programKey;
    OpenProgramKey(programKey);
    form.Edit2->setText(QString::fromStdString(programKey.ReadText(PersistedState::TemplatePathValue(slot))));
    form.Edit3->setText(QString::fromStdString(programKey.ReadText(PersistedState::TemplateNameValue(slot))));
    form.Edit4->setText(QString::fromStdString(programKey.ReadText(PersistedState::TemplateWordValue(slot))));
}

} // namespace

void TForm1::N111Click() { StoreTemplate(*this, 1); }
void TForm1::N21Click() { StoreTemplate(*this, 2); }
void TForm1::N32Click() { StoreTemplate(*this, 3); }
void TForm1::N42Click() { StoreTemplate(*this, 4); }
void TForm1::N52Click() { StoreTemplate(*this, 5); }
void TForm1::N62Click() { StoreTemplate(*this, 6); }
void TForm1::N72Click() { StoreTemplate(*this, 7); }
void TForm1::N82Click() { StoreTemplate(*this, 8); }
void TForm1::N92Click() { StoreTemplate(*this, 9); }
void TForm1::N102Click() { StoreTemplate(*this, 10); }

void TForm1::N110Click() { RecallTemplate(*this, 1); }
void TForm1::N25Click() { RecallTemplate(*this, 2); }
void TForm1::N31Click() { RecallTemplate(*this, 3); }
void TForm1::N41Click() { RecallTemplate(*this, 4); }
void TForm1::N51Click() { RecallTemplate(*this, 5); }
void TForm1::N61Click() { RecallTemplate(*this, 6); }
void TForm1::N71Click() { RecallTemplate(*this, 7); }
void TForm1::N81Click() { RecallTemplate(*this, 8); }
void TForm1::N91Click() { RecallTemplate(*this, 9); }
void TForm1::N101Click() { RecallTemplate(*this, 10); }
