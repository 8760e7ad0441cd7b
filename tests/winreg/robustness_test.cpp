// What must hold whatever happens: concurrent writers, writers killed in the
// middle of a save, garbled files, read-only hives and a running Wine server.
#include "test_support.h"

#include "FakeWineServer.h"
#include "files/file_system.h"
#include "format.h"
#include "text.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace winreg_test;

namespace {

class Robustness : public RegistryTest {};

ino_t inodeOf(const std::string &path) {
    struct stat st{};
    stat(path.c_str(), &st);
    return st.st_ino;
}

std::vector<std::string> filesIn(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d)) {
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool parses(const std::string &text) {
    winreg::Key root;
    return winreg::loadHiveText(text, root).ok;
}

LSTATUS setString(HKEY key, const char *name, const std::string &text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

// Reads every key and value below key, as a curious program would; writes
// down what it read in dump when given.
void readEverything(HKEY key, int depth, size_t &visited, std::string *dump = nullptr) {
    if (depth > 600 || visited > 20000)
        return;
    ++visited;
    DWORD subKeys = 0, maxName = 0, values = 0, maxValueName = 0, maxData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxName, nullptr, &values, &maxValueName,
                         &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    // Lengths come in characters; UTF-8 needs up to three bytes for each.
    std::vector<char> name(3 * maxValueName + 1);
    std::vector<BYTE> data(maxData + 1);
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
        EXPECT_EQ(RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
        if (dump)
            dump->append(name.data(), nameLength).append(std::to_string(type)).append(reinterpret_cast<char *>(data.data()), size);
    }
    std::vector<char> keyName(3 * maxName + 1);
    for (DWORD i = 0; i < subKeys; ++i) {
        DWORD length = static_cast<DWORD>(keyName.size());
        ASSERT_EQ(RegEnumKeyExA(key, i, keyName.data(), &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
        HKEY child = nullptr;
        if (dump)
            dump->append("\n[").append(keyName.data(), length).append("]");
        if (RegOpenKeyExA(key, keyName.data(), 0, KEY_READ, &child) == ERROR_SUCCESS) {
            readEverything(child, depth + 1, visited, dump);
            RegCloseKey(child);
        }
    }
}

class ChildProcess {
public:
    template <typename Body> explicit ChildProcess(Body body) {
        pid_ = fork();
        if (pid_ == 0)
            _exit(body());
    }
    ~ChildProcess() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            wait();
        }
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    pid_t pid() const { return pid_; }
    int wait() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        waited_ = true;
        return status;
    }

private:
    pid_t pid_ = -1;
    bool waited_ = false;
};

} // namespace

TEST_F(Robustness, TwoProcessesWritingAtOnceBothKeepTheirWrites) {
    usePrefixCopy();
    VtrRegReset(dir_.path().c_str());
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    constexpr int kWrites = 20;
    const auto writer = [&](const char *who) {
        return [&, who] {
            close(go[1]);
            char start;
            if (read(go[0], &start, 1) < 0)
                return 2;
            VtrRegReset(dir_.path().c_str());
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                HKEY key = nullptr;
                failures += RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Race", 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, &key, nullptr) != ERROR_SUCCESS;
                failures += setString(key, (std::string(who) + std::to_string(i)).c_str(), who) != ERROR_SUCCESS;
                failures += RegCloseKey(key) != ERROR_SUCCESS;
            }
            failures += VtrRegFlushAll() != ERROR_SUCCESS;
            return failures == 0 ? 0 : 1;
        };
    };
    ChildProcess first(writer("A"));
    ChildProcess second(writer("B"));
    close(go[0]);
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    close(go[1]);
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(second.wait(), 0);

    restartEngine();
    HKEY race = openKey(HKEY_LOCAL_MACHINE, "Software\\Race");
    EXPECT_EQ(valueNames(race).size(), 2u * kWrites);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(readString(race, ("A" + std::to_string(i)).c_str()), "A");
        EXPECT_EQ(readString(race, ("B" + std::to_string(i)).c_str()), "B");
    }
    RegCloseKey(race);
    EXPECT_EQ(filesIn(dir_.path()), (std::vector<std::string>{"system.reg", "user.reg", "userdef.reg"}));
}

TEST_F(Robustness, WriterKilledDuringSavesLeavesTheOldOrTheNewFile) {
    usePrefixCopy();
    VtrRegReset(dir_.path().c_str());
    const std::string original = readFile(testDataPath("system.reg"));
    std::mt19937 random(20240607);
    long lastSeen = 0;
    for (int round = 0; round < 12; ++round) {
        ChildProcess writer([&] {
            VtrRegReset(dir_.path().c_str());
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Crash", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr) != ERROR_SUCCESS)
                return 1;
            for (long n = lastSeen + 1;; ++n) {
                setString(key, "n", std::to_string(n));
                RegFlushKey(key);
            }
        });
        usleep(std::uniform_int_distribution<int>(2000, 60000)(random));
        kill(writer.pid(), SIGKILL);
        writer.wait();

        const std::string text = readFile(dir_.file("system.reg"));
        ASSERT_TRUE(parses(text)) << "round " << round;
        const size_t block = text.find("\n[Software\\\\Crash] ");
        if (block == std::string::npos) {
            EXPECT_EQ(text, original);
            continue;
        }
        const size_t end = text.find("\n\n", block + 1);
        const std::string crashBlock = text.substr(block, end - block + 1);
        const size_t at = crashBlock.find("\"n\"=\"");
        if (at != std::string::npos) {
            const long n = std::stol(crashBlock.substr(at + 5));
            EXPECT_GE(n, lastSeen);
            lastSeen = n;
        }
        // Everything else is the prefix as it was.
        EXPECT_EQ(std::string(text).erase(block, crashBlock.size()), original);
    }
    // A later save clears the temporary files that the kills left behind.
    HKEY key = createKey(HKEY_LOCAL_MACHINE, "Software\\Crash");
    writeString(key, "n", "final");
    RegCloseKey(key);
    EXPECT_EQ(filesIn(dir_.path()), (std::vector<std::string>{"system.reg", "user.reg", "userdef.reg"}));
}

TEST_F(Robustness, GarbledFilesNeverCrashAndAreNeverOverwritten) {
    const std::string good = readFile(testDataPath("user.reg"));
    const std::string head = std::string(winreg::kSignature) + "\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
    std::vector<std::string> garbled;
    for (size_t cut = 30; cut < good.size(); cut += 61)
        garbled.push_back(good.substr(0, cut));
    garbled.push_back(head + "\n[Software\\\\Bad] 1\n\"v\"=\"bad \\q escape\"\n");
    garbled.push_back(head + "\n[Software\\\\Bad] 1\n\"v\"=\"\\x\"\n");
    garbled.push_back(head + "\n[Software\\\\Bad\\q] 1\n");
    garbled.push_back(head + "\n[Software\\\\Giant] 1\n\"v\"=\"" + std::string(8 << 20, 'g') + "\n");
    garbled.push_back(head + "\n[" + std::string(4 << 20, 'k') + "\n");
    std::string deep = head + "\n[";
    for (int i = 0; i < 20000; ++i)
        deep += "d\\\\";
    garbled.push_back(deep + "d] 1\n\"v\"=\"x\"\n");
    std::string hexes = head + "\n[Software\\\\Hex] 1\n\"h\"=hex:";
    for (int i = 0; i < 100000; ++i)
        hexes += "ff,\\\n  ";
    garbled.push_back(hexes + "zz\n");
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string junk(65536, '\0');
    for (char &c : junk)
        c = static_cast<char>(byte(random));
    garbled.push_back(junk);
    garbled.push_back(head + junk);
    garbled.push_back(head + "\n[Software\\\\Nul] 1\n\"v\"=\"a" + std::string(1, '\0') + "b\"\n");
    for (int i = 0; i < 150; ++i) {
        std::string mutated = good;
        for (int flips = 0; flips < 4; ++flips)
            mutated[std::uniform_int_distribution<size_t>(0, mutated.size() - 1)(random)] =
                static_cast<char>(byte(random));
        garbled.push_back(mutated);
    }

    size_t readOnly = 0;
    testing::internal::CaptureStderr(); // one complaint per file
    for (const std::string &text : garbled) {
        writeFile(dir_.file("user.reg"), text);
        const ino_t inode = inodeOf(dir_.file("user.reg"));
        restartEngine();
        size_t visited = 0;
        readEverything(HKEY_CURRENT_USER, 0, visited);
        HKEY key = nullptr;
        const LSTATUS created = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\NewKey", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                nullptr, &key, nullptr);
        const LSTATUS written = setString(HKEY_CURRENT_USER, "AtRoot", "x");
        if (key)
            RegCloseKey(key);
        VtrRegFlushAll();
        if (!parses(text)) {
            ++readOnly;
            EXPECT_EQ(created, ERROR_ACCESS_DENIED);
            EXPECT_EQ(written, ERROR_ACCESS_DENIED);
            VtrHiveState state{};
            ASSERT_EQ(VtrRegHiveState("user.reg", &state), ERROR_SUCCESS);
            EXPECT_EQ(state.cause, VTR_HIVE_NOT_UNDERSTOOD);
            EXPECT_NE(std::string(state.reason).find("(line " + std::to_string(state.line) + ": "), std::string::npos);
            EXPECT_EQ(readFile(dir_.file("user.reg")), text);
            EXPECT_EQ(inodeOf(dir_.file("user.reg")), inode);
        }
        if (HasFailure())
            break;
    }
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("could not be understood (line 1: not a Wine registry file"), std::string::npos);
    EXPECT_GT(readOnly, garbled.size() / 2);
}

TEST_F(Robustness, ReadOnlyFileRefusesWritesAndIsLeftAlone) {
    usePrefixCopy();
    ASSERT_EQ(chmod(dir_.file("user.reg").c_str(), 0444), 0); // holds for root too
    restartEngine();
    testing::internal::CaptureStderr();
    HKEY colors = openKey(HKEY_CURRENT_USER, "Control Panel\\Colors");
    EXPECT_EQ(readString(colors, "ActiveTitle"), "50 150 250");
    EXPECT_EQ(setString(colors, "ActiveTitle", "0 0 0"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(colors, "ActiveTitle"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(setString(colors, "New", "1"), ERROR_ACCESS_DENIED);
    ASSERT_NE(VtrRegFailureNote(), nullptr);
    EXPECT_EQ(std::string(VtrRegFailureNote()), dir_.file("user.reg") + ": read-only, because the file is not writable");
    VtrHiveState state{};
    ASSERT_EQ(VtrRegHiveState("user.reg", &state), ERROR_SUCCESS);
    EXPECT_EQ(state.cause, VTR_HIVE_FILE_NOT_WRITABLE);
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKeyExA(colors, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(colors);
    HKEY existing = createKey(HKEY_CURRENT_USER, "Control Panel\\Colors"); // opening by create is fine
    RegCloseKey(existing);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Control Panel\\Colors"), ERROR_ACCESS_DENIED);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("user.reg"), std::string::npos);
    EXPECT_NE(told.find("read-only"), std::string::npos);
    EXPECT_EQ(told.find("read-only"), told.rfind("read-only")) << told; // once

    HKEY machine = createKey(HKEY_LOCAL_MACHINE, "Software\\StillWritable");
    writeString(machine, "v", "1");
    RegCloseKey(machine);
    VtrRegFlushAll();
    EXPECT_EQ(readFile(dir_.file("user.reg")), readFile(testDataPath("user.reg")));
    EXPECT_NE(readFile(dir_.file("system.reg")), readFile(testDataPath("system.reg")));
}

TEST_F(Robustness, HiveMadeReadOnlyOnRequest) {
    usePrefixCopy();
    testing::internal::CaptureStderr();
    ASSERT_EQ(VtrRegSetReadOnly("system.reg", TRUE), ERROR_SUCCESS);
    EXPECT_EQ(VtrRegSetReadOnly("other.reg", TRUE), ERROR_FILE_NOT_FOUND);
    HKEY txt = openKey(HKEY_CLASSES_ROOT, ".txt");
    EXPECT_EQ(readString(txt, ""), "txtfile");
    EXPECT_EQ(setString(txt, "", "changed"), ERROR_ACCESS_DENIED);
    RegCloseKey(txt);
    EXPECT_EQ(setString(HKEY_CURRENT_USER, "Writable", "yes"), ERROR_SUCCESS);
    VtrHiveState state{};
    ASSERT_EQ(VtrRegHiveState("system.reg", &state), ERROR_SUCCESS);
    EXPECT_EQ(state.cause, VTR_HIVE_READ_ONLY_REQUESTED);
    ASSERT_EQ(VtrRegSetReadOnly(nullptr, FALSE), ERROR_SUCCESS);
    ASSERT_EQ(VtrRegHiveState("system.reg", &state), ERROR_SUCCESS);
    EXPECT_EQ(state.cause, VTR_HIVE_WRITABLE);
    EXPECT_EQ(setString(HKEY_LOCAL_MACHINE, "Writable", "again"), ERROR_SUCCESS);
    testing::internal::GetCapturedStderr();
}

// The cause a hive tells, for each state of its file and each request: a
// file not understood is told before a request, a request before what the
// file system says.
TEST_F(Robustness, ReadOnlyCauseOfEachFileStateAndRequest) {
    const std::string good = "WINE REGISTRY Version 2\n\n[Software\\\\A] 1\n\"v\"=\"x\"\n";
    const struct {
        std::string text;
        mode_t mode;
        bool requested;
        VtrHiveCause cause;
        DWORD line;
    } rows[] = {
        {good, 0644, false, VTR_HIVE_WRITABLE, 0},
        {good, 0644, true, VTR_HIVE_READ_ONLY_REQUESTED, 0},
        {good + "stray text\n", 0644, false, VTR_HIVE_NOT_UNDERSTOOD, 5},
        {good + "stray text\n", 0644, true, VTR_HIVE_NOT_UNDERSTOOD, 5},
        {good, 0444, false, VTR_HIVE_FILE_NOT_WRITABLE, 0},
        {good, 0444, true, VTR_HIVE_READ_ONLY_REQUESTED, 0},
    };
    testing::internal::CaptureStderr();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text + " mode " + std::to_string(row.mode) + (row.requested ? ", requested" : ""));
        writeFile(dir_.file("user.reg"), row.text);
        ASSERT_EQ(chmod(dir_.file("user.reg").c_str(), row.mode), 0);
        restartEngine();
        ASSERT_EQ(VtrRegSetReadOnly("user.reg", row.requested), ERROR_SUCCESS);
        VtrHiveState state{};
        ASSERT_EQ(VtrRegHiveState("user.reg", &state), ERROR_SUCCESS);
        EXPECT_EQ(state.cause, row.cause);
        EXPECT_EQ(state.line, row.line);
        ASSERT_EQ(chmod(dir_.file("user.reg").c_str(), 0644), 0);
    }
    testing::internal::GetCapturedStderr();
}

TEST_F(Robustness, RunningWineServerMakesThePrefixReadOnly) {
    usePrefixCopy();
    FakeWineServer fake(dir_.path());
    const std::string lockPath = fake.lockPath();

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    ChildProcess server([&] {
        const int fd = open(lockPath.c_str(), O_RDWR);
        struct flock lock{};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (fd < 0 || fcntl(fd, F_SETLK, &lock) != 0)
            return 1;
        if (write(ready[1], "r", 1) != 1)
            return 1;
        pause();
        return 0;
    });
    char signal;
    ASSERT_EQ(read(ready[0], &signal, 1), 1);
    restartEngine();
    testing::internal::CaptureStderr();
    HKEY txt = openKey(HKEY_CLASSES_ROOT, ".txt");
    EXPECT_EQ(readString(txt, ""), "txtfile");
    EXPECT_EQ(setString(txt, "", "changed"), ERROR_ACCESS_DENIED);
    RegCloseKey(txt);
    EXPECT_EQ(setString(HKEY_CURRENT_USER, "x", "y"), ERROR_ACCESS_DENIED);
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                              nullptr),
              ERROR_ACCESS_DENIED);
    VtrRegFlushAll();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Wine server"), std::string::npos);
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"})
        EXPECT_EQ(readFile(dir_.file(name)), readFile(testDataPath(name))) << name;

    // The server exits; its lock file stays, its lock does not.
    kill(server.pid(), SIGKILL);
    server.wait();
    EXPECT_EQ(setString(HKEY_CURRENT_USER, "x", "y"), ERROR_SUCCESS);

    // A lock held by this very process is seen as well.
    const int fd = open(lockPath.c_str(), O_RDWR);
    struct flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(fd, F_SETLK, &lock), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(setString(HKEY_CURRENT_USER, "x", "z"), ERROR_ACCESS_DENIED);
    testing::internal::GetCapturedStderr();
    close(fd);
}

// Inside a batch the engine trusts the checks it made first, but a save
// makes them all again under the lock.
TEST_F(Robustness, SavesInABatchCheckAgainWhatTheBatchTrusted) {
    const std::string hive = dir_.file("user.reg");
    const auto anotherProgramSaves = [&](FakeWineServer &) {
        writeFile(hive + ".new", readFile(hive) + "\n[Software\\\\Theirs] 1700000000\n\"theirs\"=\"2\"\n");
        return std::rename((hive + ".new").c_str(), hive.c_str()) == 0;
    };
    const struct {
        const char *name;
        std::function<bool(FakeWineServer &)> meanwhile;
        LSTATUS saved;
        std::vector<const char *> savedLines; // when the save succeeds
    } cases[] = {
        {"a Wine server starts", [](FakeWineServer &server) { return server.start(); }, ERROR_ACCESS_DENIED, {}},
        {"another program saves", anotherProgramSaves, ERROR_SUCCESS, {"\"theirs\"=\"2\"", "\"ours\"=\"1\""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        usePrefixCopy();
        FakeWineServer server(dir_.path());
        ASSERT_EQ(VtrRegBeginBatch(), ERROR_SUCCESS);
        HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Batch");
        ASSERT_TRUE(c.meanwhile(server));
        const std::string fileLeft = readFile(hive);
        testing::internal::CaptureStderr();
        EXPECT_EQ(setString(key, "ours", "1"), ERROR_SUCCESS); // trusted: nothing is looked at again
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        EXPECT_EQ(VtrRegEndBatch(), c.saved);
        testing::internal::GetCapturedStderr();
        const std::string saved = readFile(hive);
        if (c.saved != ERROR_SUCCESS) {
            EXPECT_TRUE(saved == fileLeft) << "the file changed";
        }
        for (const char *line : c.savedLines)
            EXPECT_NE(saved.find(line), std::string::npos) << line;
    }
}

TEST_F(Robustness, PendingChangesAreSavedAtProcessExit) {
    VtrRegReset(dir_.path().c_str());
    ChildProcess program([&] {
        VtrRegReset(dir_.path().c_str());
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\AtExit", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        setString(key, "v", "saved");
        std::exit(0); // the handle is still open
        return 0;
    });
    EXPECT_EQ(program.wait(), 0);
    EXPECT_NE(readFile(dir_.file("user.reg")).find("\"v\"=\"saved\""), std::string::npos);
}

TEST_F(Robustness, FilesThatAreNotRegularAreRefusedAtOnce) {
    const std::string hive = dir_.file("user.reg");
    const std::vector<std::pair<const char *, std::function<int()>>> cases = {
        {"fifo", [&] { return mkfifo(hive.c_str(), 0644); }},
        {"device", [&] { return symlink("/dev/zero", hive.c_str()); }},
        {"folder", [&] { return mkdir(hive.c_str(), 0755); }},
    };
    for (const auto &[name, make] : cases) {
        SCOPED_TRACE(name);
        ASSERT_EQ(make(), 0);
        restartEngine();
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2),
                  ERROR_ACCESS_DENIED);
        VtrRegReset(dir_.path().c_str());
        ASSERT_EQ(remove(hive.c_str()), 0);
    }
}

// A large hive is checked while it is read. Reads that come in odd steps or
// are interrupted give the tree the file holds; a read that fails, or finds
// the file grown or cut short since it was measured, gives what the file
// then holds, or a hive refused as unreadable.
TEST_F(Robustness, LargeHivesCheckedWhileReadGiveWhatTheFileHolds) {
    usePrefixCopy();
    const std::string hive = dir_.file("system.reg");
    const std::string text = readFile(hive);
    const size_t half = text.find("\n[", text.size() / 2) + 1;
    const auto dumpOfMachine = [] {
        std::string dump;
        size_t visited = 0;
        readEverything(HKEY_LOCAL_MACHINE, 0, visited, &dump);
        return dump;
    };
    // Each case reads through really, which reads at most the bytes it is
    // asked for; call counts the reads of the large file.
    using Really = std::function<ssize_t(size_t size)>;
    struct Case {
        const char *name;
        std::function<ssize_t(const Really &really, size_t size, int call)> read;
        const char *presentKey;
        const char *missingKey;
        bool writable;
    };
    const std::vector<Case> cases = {
        {"odd steps and interruptions",
         [](const Really &really, size_t size, int call) -> ssize_t {
             if (call % 7 == 3) {
                 errno = EINTR;
                 return -1;
             }
             return really(std::min<size_t>(size, 1 + call * 977 % 9000));
         },
         "Software\\Wine", nullptr, true},
        {"failures from the fifth read on",
         [](const Really &really, size_t size, int call) -> ssize_t {
             if (call >= 5) {
                 errno = EIO;
                 return -1;
             }
             return really(size);
         },
         nullptr, "Software", false},
        {"grown meanwhile",
         [&](const Really &really, size_t size, int call) {
             if (call == 0)
                 writeFile(hive, text + "\n[Software\\\\Grown] 1\n");
             return really(size);
         },
         "Software\\Grown", "Software\\Absent", true},
        {"cut short at a key meanwhile",
         [&](const Really &really, size_t size, int call) {
             if (call == 0 && truncate(hive.c_str(), static_cast<off_t>(half)) != 0)
                 return ssize_t{-1};
             return really(size);
         },
         nullptr, "System", true},
    };
    struct Reads : files::FileSystem {
        const Case *current = nullptr;
        bool inOneGo = false; // as a file that is not checked while read
        std::atomic<int> calls{0};
        static bool large(int fd) {
            struct stat st{};
            return ::fstat(fd, &st) == 0 && st.st_size >= (1 << 20);
        }
        ssize_t read(int fd, void *buffer, size_t size) override {
            if (!large(fd))
                return FileSystem::read(fd, buffer, size);
            if (inOneGo)
                return FileSystem::read(fd, buffer, size);
            return current->read([&](size_t n) { return ::read(fd, buffer, n); }, size, calls++);
        }
        ssize_t pread(int fd, void *buffer, size_t size, off_t offset) override {
            if (!large(fd))
                return FileSystem::pread(fd, buffer, size, offset);
            if (inOneGo) {
                errno = EIO;
                return -1;
            }
            return current->read([&](size_t n) { return ::pread(fd, buffer, n, offset); }, size, calls++);
        }
    } reads;
    reads.current = &cases.front();
    files::useFileSystem(&reads);
    const auto dumpInOneGo = [&] {
        reads.inOneGo = true;
        restartEngine();
        const std::string dump = dumpOfMachine();
        reads.inOneGo = false;
        restartEngine();
        return dump;
    };
    const std::string whole = dumpInOneGo();
    // A hive whose first pieces hold many more keys than the rest.
    std::string crowded = std::string(winreg::kSignature) + "\n";
    char line[160];
    for (int i = 0; i < 12000; ++i)
        crowded.append(line, std::snprintf(line, sizeof line, "\n[Crowded\\\\k%05d] 1\n", i));
    for (int i = 0; i < 8000; ++i)
        crowded.append(line, std::snprintf(line, sizeof line, "\n[Sparse\\\\k%05d] 1\n\"v\"=\"%0100d\"\n", i, i));
    writeFile(hive, crowded);
    const std::string crowdedInOneGo = dumpInOneGo();
    EXPECT_TRUE(dumpOfMachine() == crowdedInOneGo) << "the crowded hive's tree differs from the file's";
    EXPECT_GT(crowdedInOneGo.size(), crowded.size() / 2);
    testing::internal::CaptureStderr(); // the failed read's complaint
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(hive, text);
        reads.current = &c;
        reads.calls = 0;
        files::useFileSystem(&reads);
        restartEngine();
        HKEY key = nullptr;
        if (c.presentKey) {
            EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.presentKey, 0, KEY_READ, &key), ERROR_SUCCESS);
            RegCloseKey(key);
        }
        if (c.missingKey)
            EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.missingKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        else
            EXPECT_TRUE(dumpOfMachine() == whole) << "the tree differs from the file's";
        EXPECT_EQ(setString(HKEY_LOCAL_MACHINE, "v", "x") == ERROR_SUCCESS, c.writable);
        files::useFileSystem(nullptr);
        VtrRegReset(dir_.path().c_str());
    }
    testing::internal::GetCapturedStderr();
}
