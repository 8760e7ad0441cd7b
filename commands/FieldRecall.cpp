// Recall of the three fields from the program key, and clearing them.
#include "Registry.h"
#include "Unit1.h"

void TForm1::Edit2DblClick() {} // not built yet
void TForm1::Edit3DblClick() {} // not built yet
void TForm1::Edit4DblClick() {} // not built yet

void TForm1::N12Click() {} // not built yet
void TForm1::N13Click() {} // not built yet
void TForm1::N14Click() {} // not built yet

void TForm1::SpeedButton1Click() {} // not built yet
void TForm1::N20Click() {} // not built yet
