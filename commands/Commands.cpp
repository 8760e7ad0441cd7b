// The five registry commands and the buttons and menu items that run them.
#include "Registry.h"
#include "Unit1.h"

void TForm1::DoCreateKey() {} // not built yet
void TForm1::DoReadValue() {} // not built yet
void TForm1::DoChangeValue() {} // not built yet
void TForm1::DoDeleteValue() {} // not built yet
void TForm1::DoDeleteKey() {} // not built yet

void TForm1::Button1Click() {} // not built yet
void TForm1::Button2Click() {} // not built yet
void TForm1::Button3Click() {} // not built yet
void TForm1::Button4Click() {} // not built yet
void TForm1::Button5Click() {} // not built yet

void TForm1::N4Click() {} // not built yet
void TForm1::N5Click() {} // not built yet
void TForm1::N6Click() {} // not built yet
void TForm1::N7Click() {} // not built yet
void TForm1::N8Click() {} // not built yet
