// Where an export may be sent: a file is replaced whole, a symbolic link
// stays, a FIFO is written to, a directory is refused, and no file but the
// destination is touched.
#ifndef _WIN32
#include "RegFile.h"
#include "ScratchRegistry.h"

#include "files/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
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

TEST(ExportDestination, ReplacesAFileKeepsALinkWritesAFifoAndRefusesAFolder)
{
    enum Stands { Nothing, File, Link, HardLink, Fifo, Folder };
    const struct {
        const char *name;
        Stands stands;
        bool diskFull;
        const char *failure; // the reason the export fails with
        const char *after;   // what the destination then holds (null: the text)
    } cases[] = {
        {"a new name", Nothing, false, nullptr, nullptr},
        {"a file", File, false, nullptr, nullptr},
        {"a symbolic link", Link, false, nullptr, nullptr},
        {"a file with a second hard link", HardLink, false, nullptr, nullptr},
        {"a FIFO", Fifo, false, nullptr, nullptr},
        {"a FIFO that takes no byte, like dev-full", Fifo, true, "No space left on device", ""},
        {"a file on a full disk", File, true, "No space left on device", "old"},
        {"a directory", Folder, false, "Is a directory", ""},
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
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    FullDevice fullDevice;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = folder / c.name;
        const fs::path target = folder / (std::string(c.name) + " target");
        const fs::path secondLink = folder / (std::string(c.name) + " 2");
        // A file of the user's own, named as exports once named their temporary file.
        writeFile(path.string() + ".tmp", "mine");
        int reader = -1;
        switch (c.stands) {
        case Nothing: break;
        case File: writeFile(path, "old"), fs::permissions(path, mode); break;
        case Link: writeFile(target, "old"), fs::create_symlink(target, path); break;
        case HardLink: writeFile(path, "old"), fs::create_hard_link(path, secondLink); break;
        case Fifo:
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            reader = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); // so that the export's open goes on
            break;
        case Folder: fs::create_directory(path); break;
        }
        const fs::file_type type = c.stands == Nothing ? fs::file_type::regular : fs::symlink_status(path).type();

        files::useFileSystem(c.diskFull ? &fullDevice : nullptr);
        std::string failure;
        try {
            regfile::ExportKeyToFile(key, keyName, regfile::Format::Unicode, path.string());
        } catch (const regfile::FileError &error) {
            failure = error.what();
        }
        files::useFileSystem(nullptr);

        EXPECT_EQ(failure, c.failure ? path.string() + ": " + c.failure : "");
        EXPECT_EQ(fs::symlink_status(path).type(), type);
        std::string holds;
        if (reader >= 0) {
            char buffer[4096];
            holds.assign(buffer, static_cast<size_t>(std::max<ssize_t>(read(reader, buffer, sizeof buffer), 0)));
            close(reader);
        } else if (c.stands != Folder) {
            holds = readFile(c.stands == Link ? target : path);
        }
        EXPECT_EQ(holds, c.after ? c.after : text);
        if (c.stands == File) {
            EXPECT_EQ(fs::status(path).permissions(), mode);
        }
        if (c.stands == HardLink) {
            EXPECT_TRUE(fs::equivalent(path, secondLink));
        }
        EXPECT_EQ(readFile(path.string() + ".tmp"), "mine");
    }
    RegCloseKey(key);
    for (const fs::directory_entry &entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().string().find(".vantor-"), std::string::npos) << entry.path();
}

} // namespace
#endif
