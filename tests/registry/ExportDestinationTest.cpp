// Where an export may be sent, and what becomes of what stood there: a file
// is replaced in one step, a symbolic link stays, a FIFO is written to, a
// directory is refused, and no other file is touched.
#ifndef _WIN32
#include "RegFile.h"
#include "ScratchRegistry.h"

#include "files/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const fs::path &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

// What stands at a path, as far as an export may change it.
std::string Describe(const fs::path &path)
{
    const fs::file_status status = fs::symlink_status(path);
    switch (status.type()) {
    case fs::file_type::not_found: return "nothing";
    case fs::file_type::directory: return "a directory";
    case fs::file_type::fifo: return "a FIFO";
    case fs::file_type::symlink: return "a link to " + fs::read_symlink(path).string();
    default: return "a file of mode " + std::to_string(static_cast<int>(status.permissions())) + ": " + Read(path);
    }
}

// The files of the folders whose name marks them as our temporary files.
std::vector<std::string> Leftovers(const std::vector<fs::path> &folders)
{
    std::vector<std::string> names;
    for (const fs::path &folder : folders)
        for (const fs::directory_entry &entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().find(".vantor-") != std::string::npos)
                names.push_back(entry.path().string());
    return names;
}

// Every write fails, as on /dev/full.
struct FullDevice : files::FileSystem {
    ssize_t writev(int, const iovec *, int) override
    {
        errno = ENOSPC;
        return -1;
    }
};

class ExportDestination : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Exported", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key_, "greeting", 0, REG_SZ, reinterpret_cast<const BYTE *>("hello"), 6),
                  ERROR_SUCCESS);
        fs::create_directory(elsewhere_);
    }
    void TearDown() override
    {
        files::useFileSystem(nullptr);
        if (reader_ >= 0)
            close(reader_);
        RegCloseKey(key_);
    }

    // A FIFO at path, with its reader already there, so the export's open
    // does not wait.
    void MakeFifo(const fs::path &path)
    {
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        reader_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader_, 0);
    }
    // All the FIFO's reader gets until its writer is gone, or "(waited)".
    std::string ReadFifo() const
    {
        std::string text;
        char buffer[4096];
        for (;;) {
            pollfd ready{reader_, POLLIN, 0};
            if (poll(&ready, 1, 10000) != 1)
                return "(waited)";
            const ssize_t n = read(reader_, buffer, sizeof buffer);
            if (n <= 0)
                return text;
            text.append(buffer, static_cast<size_t>(n));
        }
    }

    ScratchRegistry registry_;
    const fs::path elsewhere_ = registry_.Path() / "elsewhere";
    HKEY key_ = nullptr;
    int reader_ = -1;
};

TEST_F(ExportDestination, ReplacesAFileKeepsALinkWritesAFifoAndRefusesAFolder)
{
    enum class Lands { InTheFile, InTheLinkTarget, InBothLinks, AtTheReader, Nowhere };
    struct Case {
        const char *name;
        enum { Nothing, File, Link, HardLink, Fifo, Folder } stands;
        bool diskFull;
        const char *failure; // the reason the export fails with
        Lands lands;
    } cases[] = {
        {"a new name", Case::Nothing, false, nullptr, Lands::InTheFile},
        {"a file", Case::File, false, nullptr, Lands::InTheFile},
        {"a symbolic link", Case::Link, false, nullptr, Lands::InTheLinkTarget},
        {"a file with a second hard link", Case::HardLink, false, nullptr, Lands::InBothLinks},
        {"a FIFO", Case::Fifo, false, nullptr, Lands::AtTheReader},
        {"a FIFO that takes no byte, like dev-full", Case::Fifo, true, "No space left on device", Lands::Nowhere},
        {"a file on a full disk", Case::File, true, "No space left on device", Lands::Nowhere},
        {"a directory", Case::Folder, false, "Is a directory", Lands::Nowhere},
    };
    const std::string text = regfile::ExportKey(key_, "HKEY_CURRENT_USER\\Software\\Exported", regfile::Format::Unicode);
    const fs::path target = elsewhere_ / "target.reg";
    const fs::path secondLink = elsewhere_ / "second link.reg";
    FullDevice fullDevice;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = registry_.Path() / (std::string(c.name) + ".reg");
        // A file of the user's own, named as exports once named their temporary file.
        Write(path.string() + ".tmp", "mine");
        fs::remove(target);
        fs::remove(secondLink);
        switch (c.stands) {
        case Case::Nothing: break;
        case Case::File:
            Write(path, "old");
            fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
            break;
        case Case::Link:
            Write(target, "old");
            fs::create_symlink(target, path);
            break;
        case Case::HardLink:
            Write(path, "old");
            fs::create_hard_link(path, secondLink);
            break;
        case Case::Fifo: MakeFifo(path); break;
        case Case::Folder: fs::create_directory(path); break;
        }
        const std::string before = Describe(path);

        files::useFileSystem(c.diskFull ? &fullDevice : nullptr);
        std::string failure;
        try {
            regfile::ExportKeyToFile(key_, "HKEY_CURRENT_USER\\Software\\Exported", regfile::Format::Unicode,
                                     path.string());
        } catch (const regfile::FileError &error) {
            failure = error.what();
        }
        files::useFileSystem(nullptr);

        EXPECT_EQ(failure, c.failure ? path.string() + ": " + c.failure : "");
        switch (c.lands) {
        case Lands::InTheFile:
            EXPECT_EQ(Read(path), text);
            if (c.stands == Case::File) {
                EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                              fs::perms::group_read);
            }
            break;
        case Lands::InTheLinkTarget:
            EXPECT_EQ(Describe(path), before);
            EXPECT_EQ(Read(target), text);
            break;
        case Lands::InBothLinks:
            EXPECT_TRUE(fs::equivalent(path, secondLink));
            EXPECT_EQ(Read(secondLink), text);
            break;
        case Lands::AtTheReader:
            EXPECT_EQ(Describe(path), before);
            EXPECT_EQ(ReadFifo(), text);
            break;
        case Lands::Nowhere: EXPECT_EQ(Describe(path), before); break;
        }
        EXPECT_EQ(Read(path.string() + ".tmp"), "mine");
        EXPECT_EQ(Leftovers({registry_.Path(), elsewhere_}), std::vector<std::string>{});
        if (reader_ >= 0)
            close(std::exchange(reader_, -1));
    }
}

} // namespace
#endif
