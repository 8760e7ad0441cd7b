// A registry of its own for one test: a new, empty folder that the engine
// works on while the object lives, removed afterwards. Built for Windows, the
// tests run in a throw-away Wine prefix and the object does nothing.
#pragma once

#ifdef _WIN32
class ScratchRegistry {};
#else
#include <vantor_registry.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class ScratchRegistry {
public:
    ScratchRegistry()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantor-test.XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("no folder for a scratch registry");
        dir_ = pattern;
        // What the program keeps beside the registry stays in the folder too.
        setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
        Reload();
    }
    ~ScratchRegistry()
    {
        VtrRegReset(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    ScratchRegistry(const ScratchRegistry &) = delete;
    ScratchRegistry &operator=(const ScratchRegistry &) = delete;

    const std::filesystem::path &Path() const { return dir_; }
    std::filesystem::path File(const char *name) const { return dir_ / name; }

    // Saves everything and forgets what is held in memory, as at the end of
    // one run of the program and the start of the next.
    void Reload() { Check(VtrRegReset(dir_.c_str()), "switch to"); }

    // Makes a hive file unreadable for the engine, which then keeps the hive
    // read-only: every write is refused.
    void GarbleHive(const char *file)
    {
        std::ofstream(File(file), std::ios::binary) << "\x01\x02 this is no registry file \xff\n";
        Reload();
    }

    // Saves the registry and takes the write permission from a hive file
    // that holds something, so that every later write there is refused.
    void MakeHiveReadOnly(const char *file)
    {
        Check(VtrRegFlushAll(), "save");
        using std::filesystem::perms;
        std::filesystem::permissions(File(file), perms::owner_read | perms::group_read | perms::others_read);
        Reload();
    }

private:
    void Check(LSTATUS status, const char *what) const
    {
        if (status != ERROR_SUCCESS)
            throw std::runtime_error(std::string("cannot ") + what + " the scratch registry " + dir_.string());
    }

    std::filesystem::path dir_;
};
#endif
