// The caption sets in three languages and the Language menu.
#include "Unit1.h"

#include <QAction>

namespace {

void CheckLanguageItem(TForm1 &form, TLanguage language)
{
    form.N16->setChecked(language == lgRussian);
    form.N17->setChecked(language == lgUkrainian);
    form.N18->setChecked(language == lgEnglish);
}

} // namespace

// Only the check marks for now; the caption table is not built yet.
void TForm1::ApplyMainCaptions(TLanguage language) { CheckLanguageItem(*this, language); }
void TForm1::ApplyFullCaptions(TLanguage language) { CheckLanguageItem(*this, language); }

void TForm1::N16Click() { ApplyFullCaptions(lgRussian); }
void TForm1::N17Click() { ApplyFullCaptions(lgUkrainian); }
void TForm1::N18Click() { ApplyFullCaptions(lgEnglish); }
