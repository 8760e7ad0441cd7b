// A registry of its own for one test: a new, empty folder that the engine
// works on while the object lives, removed afterwards. Built for Windows, the
// tests run in a throw-away Wine prefix and the object does nothing.
#pragma once

#ifdef _WIN32
class ScratchRegistry {};
#else
#include "ScratchFiles.h"

#include <vantor_registry.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

class ScratchRegistry {
public:
    ScratchRegistry()
    {
        // What the program keeps beside the registry stays in the folder too.
        setenv("XDG_STATE_HOME", dir_.file("state").c_str(), 1);
        Reload();
    }
    ~ScratchRegistry() { VtrRegReset(nullptr); }
    ScratchRegistry(const ScratchRegistry &) = delete;
    ScratchRegistry &operator=(const ScratchRegistry &) = delete;

    std::filesystem::path Path() const { return dir_.path(); }
    std::filesystem::path File(const char *name) const { return dir_.file(name); }

    // Saves everything and forgets what is held in memory, as at the end of
    // one run of the program and the start of the next.
    void Reload() { Check(VtrRegReset(dir_.path().c_str()), "switch to"); }

    // Makes a hive file unreadable for the engine, which then keeps the hive
    // read-only: every write is refused.
    void GarbleHive(const char *file)
    {
        writeFile(dir_.file(file), "\x01\x02 this is no registry file \xff\n");
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
            throw std::runtime_error(std::string("cannot ") + what + " the scratch registry " + dir_.path());
    }

    TempDir dir_;
};
#endif
