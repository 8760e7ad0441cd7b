// The ten template slots: store the three fields into a slot, recall a slot.
#include "Registry.h"
#include "Unit1.h"

void TForm1::N111Click() {} // not built yet
void TForm1::N21Click() {} // not built yet
void TForm1::N32Click() {} // not built yet
void TForm1::N42Click() {} // not built yet
void TForm1::N52Click() {} // not built yet
void TForm1::N62Click() {} // not built yet
void TForm1::N72Click() {} // not built yet
void TForm1::N82Click() {} // not built yet
void TForm1::N92Click() {} // not built yet
void TForm1::N102Click() {} // not built yet

void TForm1::N110Click() {} // not built yet
void TForm1::N25Click() {} // not built yet
void TForm1::N31Click() {} // not built yet
void TForm1::N41Click() {} // not built yet
void TForm1::N51Click() {} // not built yet
void TForm1::N61Click() {} // not built yet
void TForm1::N71Click() {} // not built yet
void TForm1::N81Click() {} // not built yet
void TForm1::N91Click() {} // not built yet
void TForm1::N101Click() {} // not built yet
