// Saves under a file system that fails on purpose: every failure reaches the
// call that committed the change, and the file on disk stays as it was.
#include "files/file_system.h"
#include "files/safe_file.h"
#include "status.h"
#include "test_support.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using namespace winreg_test;

namespace {

// The real file system, with one step made to fail, a disk that takes only
// so many bytes more, and the steps recorded.
class FaultyFileSystem : public files::FileSystem {
public:
    std::string failingStep;
    int passing = 0; // how many times the failing step passes first; then it fails once
    int error = 0;
    size_t room = SIZE_MAX;
    std::vector<std::string> steps;
    bool onlyOnce = false;
    bool noReservation = false;

    ssize_t writev(int fd, const iovec *parts, int) override {
        const iovec part{parts[0].iov_base, std::min(parts[0].iov_len, room)};
        if (!step("write") || !hasRoom(1))
            return -1;
        const ssize_t n = FileSystem::writev(fd, &part, 1);
        room -= n > 0 ? static_cast<size_t>(n) : 0;
        return n;
    }
    int fallocate(int fd, int mode, off_t offset, off_t length) override {
        if (noReservation) {
            errno = EOPNOTSUPP;
            return -1;
        }
        const bool reserved = step("reserve") && hasRoom(static_cast<size_t>(length));
        return reserved ? FileSystem::fallocate(fd, mode, offset, length) : -1;
    }
    int fsync(int fd) override {
        struct stat st{};
        const bool folder = FileSystem::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        return step(folder ? "folder fsync" : "fsync") ? FileSystem::fsync(fd) : -1;
    }
    int renameat(int dirFd, const std::string &from, const std::string &to) override {
        return step("rename") ? FileSystem::renameat(dirFd, from, to) : -1;
    }
    int unlinkat(int dirFd, const std::string &name) override {
        return step("unlink") ? FileSystem::unlinkat(dirFd, name) : -1;
    }
    int tryLock(int fd) override { return step("lock") ? FileSystem::tryLock(fd) : -1; }
    std::chrono::milliseconds lockPatience() const override { return std::chrono::milliseconds(100); }

private:
    bool hasRoom(size_t bytes) {
        if (bytes <= room)
            return true;
        errno = ENOSPC;
        return false;
    }
    bool step(const std::string &name) {
        steps.push_back(name);
        if (name != failingStep)
            return true;
        if (passing > 0) {
            onlyOnce = --passing == 0;
            return true;
        }
        if (onlyOnce)
            failingStep.clear();
        errno = error;
        return false;
    }
};

// A process killed at one step of a save: every file-system call after call
// number `killedAfter` does nothing, or write number `tornWrite` writes only
// part of its bytes and nothing happens after it.
class KilledFileSystem : public files::FileSystem {
public:
    size_t killedAfter = SIZE_MAX;
    size_t tornWrite = SIZE_MAX;
    size_t calls = 0;
    size_t writes = 0;

    int open(const std::string &path, int flags, mode_t mode) override {
        return alive() ? FileSystem::open(path, flags, mode) : dead();
    }
    int openat(int dirFd, const std::string &name, int flags, mode_t mode) override {
        return alive() ? FileSystem::openat(dirFd, name, flags, mode) : dead();
    }
    ssize_t writev(int fd, const iovec *parts, int count) override {
        if (!alive())
            return dead();
        if (++writes != tornWrite)
            return FileSystem::writev(fd, parts, count);
        killedAfter = calls; // nothing after this one
        const iovec half{parts[0].iov_base, parts[0].iov_len / 2};
        return FileSystem::writev(fd, &half, 1);
    }
    int fsync(int fd) override { return alive() ? FileSystem::fsync(fd) : dead(); }
    int fchmod(int fd, mode_t mode) override { return alive() ? FileSystem::fchmod(fd, mode) : dead(); }
    int fchown(int fd, uid_t uid, gid_t gid) override { return alive() ? FileSystem::fchown(fd, uid, gid) : dead(); }
    int ftruncate(int fd, off_t size) override { return alive() ? FileSystem::ftruncate(fd, size) : dead(); }
    int fallocate(int fd, int mode, off_t offset, off_t length) override {
        return alive() ? FileSystem::fallocate(fd, mode, offset, length) : dead();
    }
    int renameat(int dirFd, const std::string &from, const std::string &to) override {
        return alive() ? FileSystem::renameat(dirFd, from, to) : dead();
    }
    int unlinkat(int dirFd, const std::string &name) override {
        return alive() ? FileSystem::unlinkat(dirFd, name) : dead();
    }

private:
    bool alive() { return ++calls <= killedAfter; }
    static int dead() {
        errno = EIO;
        return -1;
    }
};

class SaveFaults : public RegistryTest {
protected:
    void TearDown() override {
        files::useFileSystem(nullptr);
        RegistryTest::TearDown();
    }
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        DIR *dir = opendir(dir_.path().c_str());
        while (const dirent *entry = dir ? readdir(dir) : nullptr) {
            if (std::string(entry->d_name).find(".vantor-") != std::string::npos)
                names.emplace_back(entry->d_name);
        }
        if (dir)
            closedir(dir);
        return names;
    }
    FaultyFileSystem fs_;
};

} // namespace

TEST_F(SaveFaults, EveryFailingStepReachesTheCallerAndKeepsTheOldFile) {
    struct Case {
        const char *step;
        int error;
        LSTATUS expected;
    };
    std::vector<Case> cases;
    for (const char *step : {"write", "fsync", "rename"}) {
        cases.push_back({step, ENOSPC, winreg::status::diskFull});
        cases.push_back({step, EIO, winreg::status::writeFault});
        cases.push_back({step, EACCES, winreg::status::accessDenied});
    }
    // After the rename the file is replaced: the save stands.
    cases.push_back({"folder fsync", EIO, ERROR_SUCCESS});
    cases.push_back({"lock", EWOULDBLOCK, winreg::status::lockViolation});

    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Kept");
    writeString(key, "value", "old");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    files::useFileSystem(&fs_);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.step) + " fails with " + std::strerror(c.error));
        const std::string oldText = readFile(dir_.file("user.reg"));
        fs_.failingStep = c.step;
        fs_.error = c.error;
        key = openKey(HKEY_CURRENT_USER, "Software\\Kept");
        writeString(key, "value", "new");
        EXPECT_EQ(RegCloseKey(key), c.expected);
        // The folder's fsync comes after the rename: the new text is in place,
        // only its durability is unknown.
        const bool renamed = std::string(c.step) == "folder fsync";
        const std::string onDisk = renamed ? "new" : "old";
        if (!renamed) {
            EXPECT_EQ(readFile(dir_.file("user.reg")), oldText);
        }
        EXPECT_EQ(leftovers(), std::vector<std::string>{});
        key = openKey(HKEY_CURRENT_USER, "Software\\Kept");
        EXPECT_EQ(readString(key, "value"), onDisk) << "reads show what the file holds";
        RegCloseKey(key);
        // The same failure at once through the calls that commit directly.
        EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "direct", 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2),
                  c.expected);
        EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "direct", nullptr, nullptr, nullptr, nullptr),
                  renamed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        RegDeleteValueA(HKEY_CURRENT_USER, "direct");

        // With the fault gone the next write is saved, and the file loads.
        fs_.failingStep.clear();
        key = openKey(HKEY_CURRENT_USER, "Software\\Kept");
        writeString(key, "value", "old");
        ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        restartEngine();
        key = openKey(HKEY_CURRENT_USER, "Software\\Kept");
        EXPECT_EQ(readString(key, "value"), "old");
        RegCloseKey(key);
    }
}

// A hive with a second hard link is rewritten in place, so that both names
// see the save. The room for the new text is made sure of before its first
// byte changes: where there is none, the file stays as it was.
TEST_F(SaveFaults, AFullDiskLeavesAHardLinkedHiveAsItWas) {
    const struct {
        const char *name;
        const char *failingStep;
        int error;
        int passing; // times the failing step passes first
        bool diskFull; // the disk takes fewer bytes than the new text
        LSTATUS expected;
        bool noReservation = false;
    } cases[] = {
        {"room reserved", "", 0, 0, false, ERROR_SUCCESS},
        {"no room to reserve", "", 0, 0, true, winreg::status::diskFull},
        {"no reservation: the text fits a temporary file first", "reserve", EOPNOTSUPP, 0, false, ERROR_SUCCESS},
        {"no reservation and no room for the temporary file", "reserve", EOPNOTSUPP, 0, true, winreg::status::diskFull},
        {"no reservation in this kernel", "reserve", ENOSYS, 0, true, winreg::status::diskFull},
        // A copy-on-write file system needs new blocks to overwrite the reserved ones.
        {"a write fails even so", "write", ENOSPC, 2, false, winreg::status::diskFull},
        // The journal's fsync passes, the rewritten file's fails: its old text is put back.
        {"the rewritten file cannot be synced", "fsync", EIO, 1, false, winreg::status::writeFault},
        {"the journal cannot be synced", "fsync", EIO, 0, false, winreg::status::writeFault},
        // Past the temporary file that proves the room, and the journal.
        {"no reservation, and the rewritten file cannot be synced", "fsync", EIO, 2, false, winreg::status::writeFault,
         true},
    };
    const std::string secondLink = dir_.file("second link");
    const std::string newValue(200, 'n');
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Linked");
        writeString(key, "value", "old");
        ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        unlink(secondLink.c_str());
        ASSERT_EQ(link(dir_.file("user.reg").c_str(), secondLink.c_str()), 0);
        const std::string oldText = readFile(secondLink);

        files::useFileSystem(&fs_);
        fs_.failingStep = c.failingStep;
        fs_.passing = c.passing;
        fs_.onlyOnce = false;
        fs_.noReservation = c.noReservation;
        fs_.error = c.error;
        fs_.room = c.diskFull ? oldText.size() : SIZE_MAX;
        key = openKey(HKEY_CURRENT_USER, "Software\\Linked");
        writeString(key, "value", newValue);
        EXPECT_EQ(RegCloseKey(key), c.expected);
        files::useFileSystem(nullptr);
        if (c.diskFull) {
            EXPECT_EQ(readFile(secondLink), oldText);
        }
        EXPECT_EQ(readFile(secondLink).find(newValue) != std::string::npos, c.expected == ERROR_SUCCESS);
        EXPECT_EQ(leftovers(), std::vector<std::string>{});
    }
}

TEST_F(SaveFaults, FlushesReportTheFailureAndTheTextIsDurableBeforeItsRename) {
    RegCloseKey(createKey(HKEY_CURRENT_USER, "Software\\Open"));
    files::useFileSystem(&fs_);
    HKEY key = openKey(HKEY_CURRENT_USER, "Software\\Open");
    writeString(key, "value", "x");
    fs_.failingStep = "write";
    fs_.error = ENOSPC;
    EXPECT_EQ(RegFlushKey(key), winreg::status::diskFull);
    writeString(key, "value", "y");
    EXPECT_EQ(VtrRegFlushAll(), winreg::status::diskFull);

    fs_.failingStep.clear();
    fs_.steps.clear();
    writeString(key, "value", "z");
    EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    RegCloseKey(key);
    std::erase_if(fs_.steps, [](const std::string &s) { return s == "write"; });
    // The folder's lock, then the temporary file's.
    EXPECT_EQ(fs_.steps, (std::vector<std::string>{"lock", "lock", "fsync", "rename", "folder fsync"}));
}

// A name the writer draws for its temporary file may be taken already: the
// file there stays untouched, and another name is drawn.
TEST_F(SaveFaults, ATemporaryNameFoundTakenIsLeftToItsOwner) {
    struct Taken : files::FileSystem {
        std::string theirs;
        int openat(int dirFd, const std::string &name, int flags, mode_t mode) override {
            if ((flags & O_EXCL) && theirs.empty()) {
                theirs = name;
                close(FileSystem::openat(dirFd, name, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
            }
            return FileSystem::openat(dirFd, name, flags, mode);
        }
    } taken;
    files::useFileSystem(&taken);
    writeString(HKEY_CURRENT_USER, "value", "saved");
    files::useFileSystem(nullptr);
    ASSERT_TRUE(files::isTemporaryOf(taken.theirs, "user.reg")) << taken.theirs;
    EXPECT_TRUE(fileExists(dir_.file(taken.theirs.c_str())));
    restartEngine();
    EXPECT_EQ(readString(HKEY_CURRENT_USER, "value"), "saved");
}

TEST_F(SaveFaults, NoExceptionLeavesTheApi) {
    struct Exhausted : files::FileSystem {
        int stat(const std::string &, struct stat *) override { throw std::bad_alloc(); }
    } exhausted;
    files::useFileSystem(&exhausted);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), winreg::status::outOfMemory);
    files::useFileSystem(nullptr);
}

TEST_F(SaveFaults, SavesWrittenInShortPiecesThroughManyPartsKeepFileAndMemoryInStep) {
    // Writes a few bytes per call and notes the most parts one call was given.
    struct Trickle : files::FileSystem {
        int mostParts = 0;
        ssize_t writev(int fd, const iovec *parts, int count) override {
            mostParts = std::max(mostParts, count);
            iovec first = parts[0];
            first.iov_len = std::min<size_t>(first.iov_len, 7);
            return FileSystem::writev(fd, &first, 1);
        }
    } trickle;
    constexpr int kKeys = 3000;
    const std::string filler(100, 'f');
    const std::string odd(1000, 'o'); // the odd keys' blocks take more than one chunk of new text
    const auto number = [](int i) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04d", i);
        return std::string(digits);
    };
    const auto pathOf = [&](int i) { return "Software\\Many\\K" + number(i); };
    std::string text = "WINE REGISTRY Version 2\n";
    for (int i = 0; i < kKeys; ++i)
        text += "\n[Software\\\\Many\\\\K" + number(i) + "] 1\n\"v\"=\"" + filler + "\"\n";
    writeFile(dir_.file("user.reg"), text);
    restartEngine();
    // Every step-th key from the first gets the value; one save at the end.
    const auto rewrite = [&](int first, int step, const char *value) {
        HKEY hold = openKey(HKEY_CURRENT_USER, "Software");
        for (int i = first; i < kKeys; i += step) {
            HKEY key = openKey(HKEY_CURRENT_USER, pathOf(i).c_str());
            writeString(key, "v", value);
            RegCloseKey(key);
        }
        return RegCloseKey(hold);
    };
    files::useFileSystem(&trickle);
    EXPECT_EQ(rewrite(1, 2, odd.c_str()), ERROR_SUCCESS);
    // Most of the loaded text is dead after this save, so its text is copied into one buffer.
    EXPECT_EQ(rewrite(0, 4, "fourth"), ERROR_SUCCESS);
    files::useFileSystem(nullptr);
    EXPECT_EQ(trickle.mostParts, IOV_MAX);
    for (const bool reloaded : {false, true}) {
        if (reloaded)
            restartEngine();
        for (int i = 0; i < kKeys; ++i) {
            HKEY key = openKey(HKEY_CURRENT_USER, pathOf(i).c_str());
            ASSERT_EQ(readString(key, "v"), i % 2 ? odd : i % 4 ? filler : "fourth") << i << " " << reloaded;
            RegCloseKey(key);
        }
    }
}

// A batch saves when it ends, not when its last key closes: its end (or a
// flush) answers with the save's failure, and until then the file is as it was.
TEST_F(SaveFaults, ABatchSavesWhenItEndsAndAnswersWithTheSavesFailure) {
    const struct {
        const char *failingStep;
        LSTATUS ended;
        const char *onDisk;
    } cases[] = {{"", ERROR_SUCCESS, "new"}, {"write", winreg::status::diskFull, "old"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("failing step: ") + c.failingStep);
        HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Batch");
        writeString(key, "value", "old");
        ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        const std::string oldText = readFile(dir_.file("user.reg"));
        files::useFileSystem(&fs_);
        fs_.failingStep = c.failingStep;
        fs_.error = ENOSPC;
        ASSERT_EQ(VtrRegBeginBatch(), ERROR_SUCCESS);
        key = openKey(HKEY_CURRENT_USER, "Software\\Batch");
        writeString(key, "value", "new");
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        writeString(HKEY_CURRENT_USER, "direct", "x"); // a change made with no key open
        EXPECT_EQ(readFile(dir_.file("user.reg")), oldText) << "saved before the batch ended";
        EXPECT_EQ(VtrRegEndBatch(), c.ended);
        files::useFileSystem(nullptr);
        restartEngine();
        key = openKey(HKEY_CURRENT_USER, "Software\\Batch");
        EXPECT_EQ(readString(key, "value"), c.onDisk);
        RegCloseKey(key);
    }
}

namespace {

// The files our writers make in a folder: temporary files and journals.
std::vector<std::string> writersFiles(const std::string &folder, const std::string &name) {
    std::vector<std::string> found;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string entryName = entry.path().filename().string();
        if (files::isTemporaryOf(entryName, name) || entryName == name + std::string(files::kJournalSuffix))
            found.push_back(entryName);
    }
    return found;
}

// A hive's text without the times of its keys, which each save sets anew.
std::string withoutTimes(const std::string &text) {
    static const std::regex times(R"((\] \d+|#time=[0-9a-f]+)\n)");
    return std::regex_replace(text, times, "\n");
}

} // namespace

// A kill at any step of a save or an export, or within any of its writes:
// once the next load or save has undone an unfinished rewrite, the file holds
// its old text or the new one, and the next save leaves nothing behind but a
// user's own look-alike file.
TEST_F(SaveFaults, AKillAtAnyStepLeavesTheOldTextOrTheNew) {
    enum Layout { NewFile, Plain, LinkedGrows, LinkedShrinks, Symlinked, ExportLinked };
    const struct {
        const char *name;
        Layout layout;
    } layouts[] = {{"a new file", NewFile},         {"a regular file", Plain},
                   {"a hard-linked file that grows", LinkedGrows}, {"a hard-linked file that shrinks", LinkedShrinks},
                   {"a symlinked hive", Symlinked}, {"an export to a hard-linked file", ExportLinked}};
    const std::string shortValue = "short", longValue(9000, 'L'); // more than two pages
    const std::string folder = dir_.path(), elsewhere = dir_.file("real");
    mkdir(elsewhere.c_str(), 0700);
    for (const auto &l : layouts) {
        const bool exported = l.layout == ExportLinked;
        const bool linked = l.layout == LinkedGrows || l.layout == LinkedShrinks || exported;
        const std::string name = exported ? "export.reg" : "user.reg";
        const std::string target = (l.layout == Symlinked ? elsewhere : folder) + "/" + name;
        const std::string oldValue = l.layout == LinkedShrinks ? longValue : shortValue;
        const std::string newValue = l.layout == LinkedShrinks ? shortValue : longValue;
        // The file before: the engine's own text, with the old value among others.
        unlink(dir_.file("user.reg").c_str());
        for (int i = 0; i < 3; ++i)
            writeString(HKEY_CURRENT_USER, ("other" + std::to_string(i)).c_str(), std::string(3000, 'a' + i));
        writeString(HKEY_CURRENT_USER, "v", oldValue);
        const std::string oldText = exported ? "old export\n" : readFile(dir_.file("user.reg"));
        std::string newText = exported ? std::string(10000, 'E') : "";
        const auto prepare = [&] {
            unlink(dir_.file("user.reg").c_str());
            unlink(target.c_str());
            unlink((target + " 2").c_str());
            if (l.layout != NewFile)
                writeFile(target, oldText);
            if (linked) {
                ASSERT_EQ(link(target.c_str(), (target + " 2").c_str()), 0);
            }
            if (l.layout == Symlinked) {
                ASSERT_EQ(symlink(target.c_str(), dir_.file("user.reg").c_str()), 0);
            }
            writeFile(target + ".vantor-backup-mine", "mine");
            restartEngine();
        };
        const auto save = [&](const std::string &value) {
            if (exported)
                return files::writeFile(target, {{const_cast<char *>(value.data()), value.size()}}) == 0;
            return RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
        };
        // A clean run counts the calls and the writes, and gives the new text.
        prepare();
        KilledFileSystem counter;
        files::useFileSystem(&counter);
        ASSERT_TRUE(save(exported ? newText : newValue)) << l.name;
        files::useFileSystem(nullptr);
        if (!exported)
            newText = readFile(target);
        for (size_t k = 0; k < counter.calls + counter.writes; ++k) {
            const bool torn = k >= counter.calls;
            SCOPED_TRACE(std::string(l.name) + (torn ? ": write " : ": call ") +
                         std::to_string(torn ? k - counter.calls + 1 : k));
            prepare();
            KilledFileSystem killed;
            (torn ? killed.tornWrite : killed.killedAfter) = torn ? k - counter.calls + 1 : k;
            files::useFileSystem(&killed);
            save(exported ? newText : newValue);
            files::useFileSystem(nullptr);

            restartEngine(); // the next process
            if (exported) {
                EXPECT_EQ(files::finishRewritesIn(folder), 0);
            } else {
                const std::string value = readString(HKEY_CURRENT_USER, "v");
                EXPECT_TRUE(value == newValue || value == (l.layout == NewFile ? "<missing>" : oldValue));
                EXPECT_EQ(readString(HKEY_CURRENT_USER, "other1"), l.layout == NewFile ? "<missing>" : std::string(3000, 'b'));
            }
            const std::string holds = readFile(target);
            if (l.layout != NewFile || !holds.empty()) {
                EXPECT_TRUE(withoutTimes(holds) == withoutTimes(oldText) || withoutTimes(holds) == withoutTimes(newText))
                    << holds.size();
            }
            EXPECT_TRUE(save(exported ? oldText : "next"));
            EXPECT_EQ(writersFiles(l.layout == Symlinked ? elsewhere : folder, name), std::vector<std::string>{});
            EXPECT_EQ(readFile(target + ".vantor-backup-mine"), "mine");
            if (linked) {
                EXPECT_TRUE(std::filesystem::equivalent(target, target + " 2"));
            }
        }
        unlink(target.c_str());
        unlink((target + " 2").c_str());
        unlink((target + ".vantor-backup-mine").c_str());
    }
}
