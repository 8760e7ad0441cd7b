// Helpers shared by the engine tests: temporary registry folders, file
// access and small wrappers around the A functions.
#pragma once

#include "vantor_registry.h"
#include "winreg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace winreg_test {

std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &text);
bool fileExists(const std::string &path);
std::string testDataPath(const std::string &name);

// A fresh folder below /tmp, removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

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
