// A throw-away registry for one test, and short ways to seed and inspect the
// two keys the program keeps its own values in.
#pragma once

#include "Registry.h"

#include <gtest/gtest.h>

#include <string>

class TestRegistry {
public:
    TestRegistry();   // switches the process to a new, empty registry
    ~TestRegistry();  // drops it again
    TestRegistry(const TestRegistry &) = delete;
    TestRegistry &operator=(const TestRegistry &) = delete;

    static void SetStoreText(const std::string &name, const std::string &value);
    static std::string StoreText(const std::string &name);
    static bool StoreHas(const std::string &name);
    // Puts a four-byte number where text is expected.
    static void SetStoreNumber(const std::string &name, DWORD value);

    // Saves the registry and takes the write permission from the file that
    // holds HKEY_CURRENT_USER, so that every later write there is refused.
    void MakeUserHiveReadOnly();

    static void SetProgramText(const std::string &name, const std::string &value);
    static std::string ProgramText(const std::string &name);
    static bool ProgramHas(const std::string &name);

private:
    std::string dir_;
};
