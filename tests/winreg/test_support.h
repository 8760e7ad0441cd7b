// Helpers shared by the engine tests: a registry folder of each test's own,
// and small wrappers around the A functions.
#pragma once

#include "ScratchFiles.h"
#include "vantor_registry.h"
#include "winreg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace winreg_test {

bool fileExists(const std::string &path);
std::string testDataPath(const std::string &name);

// A test on its own registry folder, which the engine switches to.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Copies the Wine prefix files into the folder and starts over on them.
    void usePrefixCopy();
    // Forgets the loaded hives so that the next call reads the files again.
    void restartEngine();

    TempDir dir_;
};

// Value helpers on open keys.
std::string readString(HKEY key, const char *name);
DWORD readType(HKEY key, const char *name);
void writeString(HKEY key, const char *name, const std::string &text);
HKEY createKey(HKEY base, const char *path);
HKEY openKey(HKEY base, const char *path);
std::vector<std::string> subKeyNames(HKEY key);
std::vector<std::string> valueNames(HKEY key);

} // namespace winreg_test
