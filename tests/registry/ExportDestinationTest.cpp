// Where an export may be sent: what stands there is looked at once, and is
// then replaced whole (a file, a link's target), written into (a descriptor,
// a FIFO, a device, a file with a second hard link) or refused; no file but
// the destination is touched.
#ifndef _WIN32
#include "RegFile.h"
#include "ScratchRegistry.h"

#include "files/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Every write fails, as on /dev/full.
struct FullDevice : files::FileSystem {
    ssize_t writev(int, const iovec *, int) override
    {
        errno = ENOSPC;
        return -1;
    }
};

// Once the destination has been looked at, a file of someone else's takes its name.
struct SwapAfterLooking : files::FileSystem {
    fs::path swapIn;
    fs::path destination;
    int openat(int dirFd, const std::string &name, int flags, mode_t mode) override
    {
        const int fd = FileSystem::openat(dirFd, name, flags, mode);
        if ((flags & O_PATH) && !swapIn.empty())
            fs::rename(std::exchange(swapIn, {}), destination);
        return fd;
    }
};

TEST(ExportDestination, ReplacesWritesIntoOrRefusesWhatStandsThereAsItWasFound)
{
    enum Stands {
        Nothing, File, Link, Dangling, HardLink, Fifo, FifoNoReader, FifoSwapped, Folder, Socket,
        StdoutOnFile, ClosedDescriptor, DevNull
    };
    enum Outcome { Replaced, WrittenInto, Refused };
    const struct {
        const char *name;
        Stands stands;
        mode_t mode; // of the file that stands there
        bool diskFull;
        Outcome outcome;
        const char *failure; // the reason a refusal gives
    } cases[] = {
        {"a new name", Nothing, 0, false, Replaced, nullptr},
        {"a file", File, 0640, false, Replaced, nullptr},
        {"a read-only file", File, 0444, false, Replaced, nullptr},
        {"a set-user-id file", File, 04755, false, Replaced, nullptr},
        {"a symbolic link", Link, 0640, false, Replaced, nullptr},
        {"a link that points nowhere", Dangling, 0, false, Refused, "No such file or directory"},
        {"a file with a second hard link", HardLink, 0640, false, WrittenInto, nullptr},
        {"a FIFO", Fifo, 0, false, WrittenInto, nullptr},
        {"a FIFO that takes no byte, like dev-full", Fifo, 0, true, Refused, "No space left on device"},
        {"a FIFO that nobody reads", FifoNoReader, 0, false, Refused, "No such device or address"},
        {"a FIFO swapped for a file once looked at", FifoSwapped, 0, false, WrittenInto, nullptr},
        {"a file on a full disk", File, 0640, true, Refused, "No space left on device"},
        {"a directory", Folder, 0, false, Refused, "Is a directory"},
        {"a socket", Socket, 0, false, Refused, "Operation not supported"},
        {"standard output on a file with text in it", StdoutOnFile, 0640, false, WrittenInto, nullptr},
        {"a closed descriptor", ClosedDescriptor, 0, false, Refused, "Bad file descriptor"},
        {"the null device", DevNull, 0, false, WrittenInto, nullptr},
    };
    ScratchRegistry registry;
    const fs::path folder = registry.Path() / "exports";
    fs::create_directory(folder);
    const std::string keyName = "HKEY_CURRENT_USER\\Software\\Exported";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Exported", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "greeting", 0, REG_SZ, reinterpret_cast<const BYTE *>("hello"), 6), ERROR_SUCCESS);
    const std::string text = regfile::ExportKey(key, keyName, regfile::Format::Unicode);
    FullDevice fullDevice;
    SwapAfterLooking swap;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fs::path path = folder / c.name;
        const fs::path target = folder / (std::string(c.name) + " target");
        const fs::path secondLink = folder / (std::string(c.name) + " 2");
        // Files of the user's own, named as temporary files once were, or nearly as ours are.
        writeFile(path.string() + ".tmp", "mine");
        writeFile(path.string() + ".vantor-backup-mine", "mine");
        int reader = -1;
        int savedStdout = -1;
        int sock = -1;
        files::FileSystem *seam = c.diskFull ? &fullDevice : nullptr;
        switch (c.stands) {
        case Nothing: break;
        case File: writeFile(path, "old"), chmod(path.c_str(), c.mode); break;
        case Link: writeFile(target, "old"), fs::create_symlink(target, path); break;
        case Dangling: fs::create_symlink(target, path); break;
        case HardLink: writeFile(path, "old"), fs::create_hard_link(path, secondLink); break;
        case Fifo:
        case FifoNoReader:
        case FifoSwapped:
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            if (c.stands != FifoNoReader)
                reader = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); // so that the export's open goes on
            if (c.stands == FifoSwapped) {
                writeFile(target, "theirs");
                swap.swapIn = target;
                swap.destination = path;
                seam = &swap;
            }
            break;
        case Folder: fs::create_directory(path); break;
        case Socket: {
            sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
            ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            break;
        }
        case StdoutOnFile: {
            writeFile(target, "before\n");
            const int out = open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            savedStdout = dup(1);
            ASSERT_EQ(dup2(out, 1), 1);
            close(out);
            path = "/dev/stdout";
            break;
        }
        case ClosedDescriptor: {
            const int closed = open("/dev/null", O_RDONLY | O_CLOEXEC);
            close(closed);
            path = "/proc/self/fd/" + std::to_string(closed);
            break;
        }
        case DevNull: path = "/dev/null"; break;
        }
        const fs::file_type type = c.stands == Nothing ? fs::file_type::regular : fs::symlink_status(path).type();
        struct stat before{};
        lstat(path.c_str(), &before);

        files::useFileSystem(seam);
        std::string failure;
        try {
            regfile::ExportKeyToFile(key, keyName, regfile::Format::Unicode, path.string());
        } catch (const regfile::FileError &error) {
            failure = error.what();
        }
        files::useFileSystem(nullptr);
        if (savedStdout >= 0) {
            std::fflush(stdout);
            dup2(savedStdout, 1);
            close(savedStdout);
        }
        if (sock >= 0)
            close(sock);

        EXPECT_EQ(failure, c.failure ? path.string() + ": " + c.failure : "");
        struct stat after{};
        lstat(path.c_str(), &after);
        if (c.stands != Nothing && c.stands != FifoSwapped) {
            EXPECT_EQ(fs::symlink_status(path).type(), type);
            EXPECT_EQ(after.st_ino == before.st_ino, c.outcome != Replaced || c.stands == Link) << "replaced";
        }
        std::string holds;
        if (reader >= 0) {
            char buffer[4096];
            holds.assign(buffer, static_cast<size_t>(std::max<ssize_t>(read(reader, buffer, sizeof buffer), 0)));
            close(reader);
        }
        switch (c.stands) {
        case Nothing:
        case File:
        case HardLink: holds = readFile(path); break;
        case Link:
        case StdoutOnFile: holds = readFile(target); break;
        default: break;
        }
        const std::string old = c.stands == StdoutOnFile ? "before\n" : c.stands == Fifo ? "" : "old";
        if (c.outcome == Refused) {
            EXPECT_TRUE(holds.empty() || holds == old) << holds;
        } else if (c.stands != DevNull) {
            EXPECT_EQ(holds, c.stands == StdoutOnFile ? old + text : text);
        }
        if (c.stands == File) {
            EXPECT_EQ(after.st_mode & 07777, c.mode);
        }
        if (c.stands == HardLink) {
            EXPECT_TRUE(fs::equivalent(path, secondLink));
        }
        if (c.stands == Dangling) {
            EXPECT_FALSE(fs::exists(target));
        }
        if (c.stands == FifoSwapped) {
            EXPECT_EQ(readFile(path), "theirs") << "the file that took its place";
        }
        EXPECT_EQ(readFile(folder / (std::string(c.name) + ".tmp")), "mine");
        EXPECT_EQ(readFile(folder / (std::string(c.name) + ".vantor-backup-mine")), "mine");
    }
    RegCloseKey(key);
    for (const fs::directory_entry &entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.find(".vantor-") == std::string::npos || name.ends_with(".vantor-backup-mine")) << name;
    }
}

} // namespace
#endif
