// The start-up password gate, step 1 of the main window's activation.
#include "Registry.h"
#include "Unit1.h"

void TForm1::RunPasswordGate(TRegistry &) {} // not built yet
