// Helpers of the main-window tests: the program key as the tests see it.
#pragma once

#include "Registry.h"
#include "Unit1.h"
#include "Unit3.h"
#include "WindowTestSupport.h"

#include <QPushButton>

#include <string>

inline std::string ReadProgramValue(const std::string &name)
{
    TRegistry access;
    access.SelectRoot(HKEY_LOCAL_MACHINE);
    access.EnterKey("Software\\VTR", true);
    return access.ReadText(name);
}

inline bool HasProgramValue(const std::string &name)
{
    TRegistry access;
    access.SelectRoot(HKEY_LOCAL_MACHINE);
    access.EnterKey("Software\\VTR", true);
    return access.HasValue(name);
}

inline void WriteProgramValue(const std::string &name, const std::string &text)
{
    TRegistry access;
    access.SelectRoot(HKEY_LOCAL_MACHINE);
    access.EnterKey("Software\\VTR", true);
    access.WriteText(name, text);
}
