/* The part of <windows.h> that registry programs need on this platform. */
#ifndef VANTOR_WINDOWS_H
#define VANTOR_WINDOWS_H
#include "winreg.h"
#endif
