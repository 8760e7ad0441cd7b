// The folder of a Wine server for a prefix, as Debian's Wine lays it out:
// /tmp/<the text of prefix/wineserver>/server-<dev>-<ino>/lock, the server
// running while somebody holds a write lock on that file. No server is
// started: start() takes the lock from this process, as a server's own is
// seen, and the lock goes with the object.
#pragma once

#include "ScratchFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

class FakeWineServer {
public:
    explicit FakeWineServer(const std::string &prefix) : top_("vantor-fake-wineserver", "/tmp")
    {
        writeFile(prefix + "/wineserver", std::filesystem::path(top_.path()).filename().string() + "\n");
        struct stat info{};
        stat(prefix.c_str(), &info);
        char folder[64];
        std::snprintf(folder, sizeof folder, "server-%llx-%llx", static_cast<unsigned long long>(info.st_dev),
                      static_cast<unsigned long long>(info.st_ino));
        std::filesystem::create_directory(top_.file(folder));
        lockPath_ = top_.file(folder) + "/lock";
        writeFile(lockPath_, "");
    }
    ~FakeWineServer()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FakeWineServer(const FakeWineServer &) = delete;
    FakeWineServer &operator=(const FakeWineServer &) = delete;

    const std::string &lockPath() const { return lockPath_; }

    // An open file description's lock, which the engine sees even in this
    // process; false when it could not be taken.
    bool start()
    {
        fd_ = open(lockPath_.c_str(), O_RDWR | O_CLOEXEC);
        struct flock lock{};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        return fd_ >= 0 && fcntl(fd_, F_OFD_SETLK, &lock) == 0;
    }

private:
    TempDir top_;
    std::string lockPath_;
    int fd_ = -1;
};
