// Files, roots and persistence: where each change lands, when it lands, and
// that another program's saves are seen and kept.
#include "test_support.h"

#include "format.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace winreg_test;

namespace {

class Persistence : public RegistryTest {};

ino_t inodeOf(const std::string &path) {
    struct stat st{};
    stat(path.c_str(), &st);
    return st.st_ino;
}

// The blocks of a registry file: the header, then one entry per key.
std::vector<std::string> blocksOf(const std::string &text) {
    std::vector<std::string> blocks;
    size_t start = 0;
    for (size_t at = text.find("\n\n[", 0); at != std::string::npos; at = text.find("\n\n[", start)) {
        blocks.push_back(text.substr(start, at + 1 - start));
        start = at + 2;
    }
    blocks.push_back(text.substr(start));
    return blocks;
}

// Replaces a file the way Wine and our own saves do: write aside, rename over.
void replaceFile(const std::string &path, const std::string &text) {
    writeFile(path + ".new", text);
    ASSERT_EQ(rename((path + ".new").c_str(), path.c_str()), 0);
}

void replaceAll(std::string &text, const std::string &from, const std::string &to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

// Each key line's time followed by a second number, as a launcher writes it.
std::string withStampedKeyLines(std::string text) {
    for (size_t at = text.find("\n["); at != std::string::npos; at = text.find("\n[", at + 1)) {
        const size_t end = text.find('\n', at + 1);
        if (end != std::string::npos && text[end - 1] != ']')
            text.insert(end, " 673823");
    }
    return text;
}

} // namespace

TEST_F(Persistence, WinePrefixLoadsAndSavesByteIdentical) {
    usePrefixCopy();
    const ino_t before = inodeOf(dir_.file("system.reg"));
    HKEY txt = openKey(HKEY_CLASSES_ROOT, ".txt");
    EXPECT_EQ(readString(txt, ""), "txtfile");
    EXPECT_EQ(readString(txt, "Content Type"), "text/plain");
    RegCloseKey(txt);
    HKEY colors = openKey(HKEY_CURRENT_USER, "Control Panel\\Colors");
    EXPECT_EQ(readString(colors, "ActiveTitle"), "50 150 250");
    RegCloseKey(colors);
    HKEY folders = openKey(HKEY_USERS, ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    EXPECT_EQ(readString(folders, "Fonts"), "C:\\windows\\Fonts");
    RegCloseKey(folders);
    // Unchanged hives are not rewritten at all.
    EXPECT_EQ(VtrRegFlushAll(), ERROR_SUCCESS);
    restartEngine();
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"})
        EXPECT_EQ(readFile(dir_.file(name)), readFile(testDataPath(name))) << name;
    EXPECT_EQ(inodeOf(dir_.file("system.reg")), before);
}

// Each save writes the blocks of the keys it changed anew and takes every
// other block as the file had it, also blocks that a save before moved, and
// key lines that a launcher stamped with a second number.
TEST_F(Persistence, ChangingOneValueChangesOnlyThatKeysBlock) {
    usePrefixCopy();
    writeFile(dir_.file("system.reg"), withStampedKeyLines(readFile(testDataPath("system.reg"))));
    struct Step {
        HKEY root;
        const char *path;
        const char *name;
        const char *data;
        const char *keyLine;
        const char *valueLine;
    };
    const Step steps[] = {
        {HKEY_CLASSES_ROOT, ".txt", "Content Type", "text/x-changed", "[Software\\\\Classes\\\\.txt] ",
         "\n@=\"txtfile\"\n\"Content Type\"=\"text/x-changed\"\n"},
        {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager\\Environment", "TEMP", "T",
         "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment] ", "\n\"TEMP\"=\"T\"\n"},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "RegisteredOwner", "Owner",
         "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] ", "\n\"RegisteredOwner\"=\"Owner\"\n"},
    };
    const auto before = blocksOf(readFile(dir_.file("system.reg")));
    for (size_t done = 1; done <= std::size(steps); ++done) {
        const Step &step = steps[done - 1];
        HKEY key = openKey(step.root, step.path);
        writeString(key, step.name, step.data);
        RegCloseKey(key);

        const auto after = blocksOf(readFile(dir_.file("system.reg")));
        ASSERT_EQ(before.size(), after.size());
        std::vector<std::string> changed;
        for (size_t i = 0; i < before.size(); ++i) {
            if (before[i] != after[i])
                changed.push_back(after[i]);
        }
        ASSERT_EQ(changed.size(), done) << "after step " << done;
        for (size_t i = 0; i < done; ++i) {
            const auto block = std::find_if(changed.begin(), changed.end(),
                                            [&](const std::string &b) { return b.starts_with(steps[i].keyLine); });
            ASSERT_NE(block, changed.end()) << steps[i].keyLine;
            EXPECT_NE(block->find(steps[i].valueLine), std::string::npos) << *block;
        }
    }
    EXPECT_EQ(readFile(dir_.file("user.reg")), readFile(testDataPath("user.reg")));
    EXPECT_EQ(readFile(dir_.file("userdef.reg")), readFile(testDataPath("userdef.reg")));
}

TEST_F(Persistence, RootsLandInWinesFiles) {
    HKEY key = createKey(HKEY_CLASSES_ROOT, ".vtr");
    writeString(key, "", "vtrfile");
    RegCloseKey(key);
    key = createKey(HKEY_CURRENT_CONFIG, "Software\\Fonts");
    writeString(key, "LogPixels", "96");
    RegCloseKey(key);
    key = createKey(HKEY_USERS, ".Default\\Software\\DefaultOnly");
    writeString(key, "d", "1");
    RegCloseKey(key);
    key = createKey(HKEY_USERS, "S-1-5-21-0-0-0-1000\\Software\\ViaUsers");
    writeString(key, "u", "1");
    RegCloseKey(key);

    const std::string system = readFile(dir_.file("system.reg"));
    EXPECT_NE(system.find("[Software\\\\Classes\\\\.vtr] "), std::string::npos);
    EXPECT_NE(system.find("[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current\\\\Software\\\\Fonts] "),
              std::string::npos);
    EXPECT_EQ(system.rfind(std::string(winreg::kSignature) + "\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n", 0), 0u);
    EXPECT_NE(readFile(dir_.file("userdef.reg")).find("[Software\\\\DefaultOnly] "), std::string::npos);
    const std::string user = readFile(dir_.file("user.reg"));
    EXPECT_NE(user.find(";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"), std::string::npos);
    EXPECT_NE(user.find("[Software\\\\ViaUsers] "), std::string::npos);

    HKEY viaUser = openKey(HKEY_CURRENT_USER, "Software\\ViaUsers");
    EXPECT_EQ(readString(viaUser, "u"), "1");
    RegCloseKey(viaUser);
    HKEY users = openKey(HKEY_USERS, "");
    EXPECT_EQ(subKeyNames(users), (std::vector<std::string>{".Default", "S-1-5-21-0-0-0-1000"}));
    HKEY refused = nullptr;
    EXPECT_EQ(RegCreateKeyExA(users, "Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &refused, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(users);
}

TEST_F(Persistence, LinksAreFollowed) {
    usePrefixCopy();
    HKEY utc = openKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\UTC");
    EXPECT_EQ(readString(utc, "Display"), "(UTC) Coordinated Universal Time");
    RegCloseKey(utc);
    HKEY classes = openKey(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes");
    const auto names = subKeyNames(classes);
    EXPECT_NE(std::find(names.begin(), names.end(), "CLSID"), names.end());
    RegCloseKey(classes);
    HKEY link = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes", REG_OPTION_OPEN_LINK, KEY_READ, &link),
              ERROR_SUCCESS);
    EXPECT_EQ(readType(link, "SymbolicLinkValue"), static_cast<DWORD>(REG_LINK));
    RegCloseKey(link);
}

TEST_F(Persistence, ChangesReachTheFileWhenTheLastHandleCloses) {
    HKEY first = createKey(HKEY_CURRENT_USER, "Software\\Pending");
    HKEY second = openKey(HKEY_CURRENT_USER, "Software");
    writeString(first, "v", "written");
    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(readFile(dir_.file("user.reg")).find("\"v\"=\"written\""), std::string::npos);
    EXPECT_EQ(RegCloseKey(second), ERROR_SUCCESS);
    EXPECT_NE(readFile(dir_.file("user.reg")).find("\"v\"=\"written\""), std::string::npos);

    HKEY held = openKey(HKEY_CURRENT_USER, "Software\\Pending");
    writeString(held, "flushed", "yes");
    EXPECT_EQ(RegFlushKey(held), ERROR_SUCCESS);
    EXPECT_NE(readFile(dir_.file("user.reg")).find("\"flushed\"=\"yes\""), std::string::npos);
    RegCloseKey(held);

    // Through a predefined root, with no handle open: saved at once.
    writeString(HKEY_LOCAL_MACHINE, "AtMachineRoot", "m");
    EXPECT_NE(readFile(dir_.file("system.reg")).find("\n[] "), std::string::npos);
    restartEngine();
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "AtMachineRoot"), "m");
}

TEST_F(Persistence, AnotherProgramsSaveIsSeenByReads) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Shared\\Kept");
    writeString(key, "v", "old");
    RegCloseKey(createKey(HKEY_CURRENT_USER, "Software\\Shared\\Gone"));
    HKEY gone = openKey(HKEY_CURRENT_USER, "Software\\Shared\\Gone");
    RegCloseKey(key);
    HKEY kept = openKey(HKEY_CURRENT_USER, "Software\\Shared\\Kept");
    EXPECT_EQ(RegFlushKey(kept), ERROR_SUCCESS);

    std::string text = readFile(dir_.file("user.reg"));
    replaceAll(text, "\"v\"=\"old\"", "\"v\"=\"new\"");
    const size_t goneAt = text.find("\n[Software\\\\Shared\\\\Gone]");
    ASSERT_NE(goneAt, std::string::npos);
    text.erase(goneAt, text.find("\n\n", goneAt + 1) - goneAt + 1);
    replaceFile(dir_.file("user.reg"), text);

    EXPECT_EQ(readString(kept, "v"), "new");
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(gone, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(gone);
    RegCloseKey(kept);
}

TEST_F(Persistence, OurChangesGoOnTopOfAnotherProgramsSave) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Merge");
    writeString(key, "theirs", "1");
    RegFlushKey(key);
    writeString(key, "ours", "mine");
    writeString(key, "twice", "first");
    writeString(key, "twice", "second");
    writeString(key, "gone", "ours");
    ASSERT_EQ(RegDeleteValueA(key, "gone"), ERROR_SUCCESS);
    writeString(key, "back", "first");
    ASSERT_EQ(RegDeleteValueA(key, "back"), ERROR_SUCCESS);
    writeString(key, "back", "again");
    std::string text = readFile(dir_.file("user.reg"));
    replaceAll(text, "\"theirs\"=\"1\"",
               "\"theirs\"=\"2\"\n\"gone\"=\"theirs\"\n\"twice\"=\"theirs\"\n\"back\"=\"theirs\"");
    text += "\n[Software\\\\TheirKey] 1700000000\n\"t\"=\"x\"\n";
    replaceFile(dir_.file("user.reg"), text);
    RegCloseKey(key);

    restartEngine();
    HKEY merged = openKey(HKEY_CURRENT_USER, "Software\\Merge");
    EXPECT_EQ(readString(merged, "theirs"), "2");
    EXPECT_EQ(readString(merged, "ours"), "mine");
    EXPECT_EQ(readString(merged, "twice"), "second");
    EXPECT_EQ(readString(merged, "back"), "again");
    EXPECT_EQ(RegQueryValueExA(merged, "gone", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(merged);
    HKEY theirs = openKey(HKEY_CURRENT_USER, "Software\\TheirKey");
    EXPECT_EQ(readString(theirs, "t"), "x");
    RegCloseKey(theirs);
}

// The engine knows no program: a new registry is empty, writes no file of
// its own accord, and says it is new until a hive file exists.
TEST_F(Persistence, NewRegistryIsEmptyAndSaysSo) {
    EXPECT_TRUE(VtrRegIsNew());
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        EXPECT_TRUE(subKeyNames(root).empty());
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"})
        EXPECT_FALSE(fileExists(dir_.file(name))) << name;
    RegCloseKey(createKey(HKEY_CURRENT_USER, "Software\\Kept"));
    restartEngine();
    EXPECT_FALSE(VtrRegIsNew());
}

TEST_F(Persistence, LocationComesFromTheEnvironment) {
    TempDir place;
    const auto saved = [](const char *name) {
        const char *v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto registry = saved("VANTOR_REGISTRY"), prefix = saved("WINEPREFIX"), data = saved("XDG_DATA_HOME");
    const auto restore = [](const char *name, const std::optional<std::string> &v) {
        if (v)
            setenv(name, v->c_str(), 1);
        else
            unsetenv(name);
    };
    const auto directoryAfterReset = [] {
        VtrRegReset(nullptr);
        RegCloseKey(HKEY_CURRENT_USER); // first use
        return std::string(VtrRegDirectory());
    };

    setenv("VANTOR_REGISTRY", (place.path() + "/explicit").c_str(), 1);
    setenv("WINEPREFIX", (place.path() + "/prefix").c_str(), 1);
    EXPECT_EQ(directoryAfterReset(), place.path() + "/explicit");
    unsetenv("VANTOR_REGISTRY");
    EXPECT_EQ(directoryAfterReset(), place.path() + "/prefix");
    unsetenv("WINEPREFIX");
    setenv("XDG_DATA_HOME", (place.path() + "/data").c_str(), 1);
    EXPECT_EQ(directoryAfterReset(), place.path() + "/data/vantor/registry");
    RegCloseKey(createKey(HKEY_LOCAL_MACHINE, "Software\\Kept")); // the first change makes the folder
    EXPECT_TRUE(fileExists(place.path() + "/data/vantor/registry/system.reg"));
    restore("VANTOR_REGISTRY", registry);
    restore("WINEPREFIX", prefix);
    restore("XDG_DATA_HOME", data);
    VtrRegReset(dir_.path().c_str());
}

TEST_F(Persistence, SpellingsStayAfterAnUnrelatedWrite) {
    // Wine's files spell some levels differently in different blocks; the
    // first block read decides the name shown.
    const std::string head = "WINE REGISTRY Version 2\n\n";
    writeFile(dir_.file("user.reg"),
              head + "[SOFTWARE\\\\Zeta] 1\n\"z\"=\"1\"\n\n[Software\\\\Alpha] 1\n\"a\"=\"1\"\n");
    restartEngine();
    EXPECT_EQ(subKeyNames(HKEY_CURRENT_USER), std::vector<std::string>{"SOFTWARE"});
    RegCloseKey(createKey(HKEY_CURRENT_USER, "Other"));
    restartEngine();
    EXPECT_EQ(subKeyNames(HKEY_CURRENT_USER), (std::vector<std::string>{"Other", "SOFTWARE"}));
}

TEST_F(Persistence, LinksAreKeptWithModeAndEveryLinkSeesTheSave) {
    const TempDir elsewhere;
    const std::string target = elsewhere.file("user.reg");
    for (const bool symbolic : {true, false}) {
        SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
        writeFile(target, readFile(testDataPath("user.reg")));
        ASSERT_EQ(chmod(target.c_str(), 0640), 0);
        unlink(dir_.file("user.reg").c_str());
        ASSERT_EQ(symbolic ? symlink(target.c_str(), dir_.file("user.reg").c_str())
                           : link(target.c_str(), dir_.file("user.reg").c_str()),
                  0);
        restartEngine();
        HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Linked");
        writeString(key, "v", symbolic ? "sym" : "hard");
        ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

        struct stat st{};
        ASSERT_EQ(lstat(dir_.file("user.reg").c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), symbolic);
        EXPECT_EQ(inodeOf(dir_.file("user.reg")), inodeOf(target));
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_NE(readFile(target).find(symbolic ? "\"v\"=\"sym\"" : "\"v\"=\"hard\""), std::string::npos);
        for (const std::string &folder : {dir_.path(), elsewhere.path()})
            EXPECT_EQ(std::system(("ls -a " + folder + " | grep -q vantor-").c_str()) != 0, true) << folder;
        VtrRegReset(dir_.path().c_str());
    }
}

// A 10 MB value leaves many of the ranges a large hive is read in without a key line.
TEST_F(Persistence, AValueOfTenMegabytesIsReadBack) {
    const std::string data(10 << 20, 'x');
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Big");
    writeString(key, "v", data);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    restartEngine();
    key = openKey(HKEY_CURRENT_USER, "Software\\Big");
    EXPECT_TRUE(readString(key, "v") == data);
    RegCloseKey(key);
}
