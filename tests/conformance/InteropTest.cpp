// Our engine and the real Wine on one prefix: what either writes, the other
// reads; a running Wine server keeps our hands off the prefix; and the files
// we save load in Wine without a complaint.
//
// The prefix comes from the state file named by $VANTOR_WINE_PREFIX_STATE (the
// set-up step of this folder makes it); $WINE64 names Wine's loader. Wine is
// asked through `reg export`, whose UTF-16 files carry every value exactly,
// and `reg import` / `reg add`.
#include "RegFile.h"
#include "Registry.h"
#include "ScratchFiles.h"

#include <vantor_registry.h>
#include <winreg.h>

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "textconv.h"

namespace {

using namespace std::string_literals;

// ---------------------------------------------------------------------------
// Text.

std::u16string Utf16(const std::string &text) { return textconv::toUtf16(text); }

std::string Utf8(const std::u16string &text) { return textconv::toUtf8(text); }

std::string Utf16LeBytes(const std::u16string &text)
{
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// ---------------------------------------------------------------------------
// The values both sides write: every type, odd sizes, escapes, Cyrillic and
// Ukrainian text, a character outside the BMP. Text data is UTF-8 here.

struct Sample {
    std::string name;
    DWORD type;
    std::string data;

    // The data as Wine keeps it: text as UTF-16LE.
    std::string Stored() const { return IsText(type) ? Utf16LeBytes(Utf16(data)) : data; }
};

std::vector<Sample> Samples()
{
    std::string longBinary;
    for (int i = 0; i < 200; ++i)
        longBinary += static_cast<char>(i * 37);
    // More than a first buffer of 4 KB or a pipe's 64 KB hold.
    std::string largeBinary;
    for (int i = 0; i < 70000; ++i)
        largeBinary += static_cast<char>(i * 31 + i / 256);
    return {
        {"", REG_SZ, "the default value\0"s},
        {"sz", REG_SZ, "plain text\0"s},
        {"sz-escapes", REG_SZ, "quote \" backslash \\ tab\t cr\r lf\n bell\a [brackets] = ; end\0"s},
        {"sz-empty", REG_SZ, "\0"s},
        {"sz-unterminated", REG_SZ, "raw"s},
        {"sz-embedded-nul", REG_SZ, "abc\0def\0"s},
        {"expand", REG_EXPAND_SZ, "%SystemRoot%\\system32;%PATH%\0"s},
        {"multi", REG_MULTI_SZ, "one\0two\0three\0\0"s},
        {"dword", REG_DWORD, "\x78\x56\x34\x12"s},
        {"dword-short", REG_DWORD, "\x01\x02"s},
        {"dword-be", REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78"s},
        {"qword", REG_QWORD, "\x88\x77\x66\x55\x44\x33\x22\x11"s},
        {"binary", REG_BINARY, longBinary},
        {"binary-empty", REG_BINARY, ""s},
        {"binary-large", REG_BINARY, largeBinary},
        {"none", REG_NONE, "\x01\x02\x03"s},
        {"odd-type", 0x12345, "\xab\xcd"s},
        {"Имя \"значення\"", REG_SZ, "Привіт, світе! Ґанок, їжак, Ёлка, Єнот\0"s},
        {"emoji", REG_EXPAND_SZ, "smile \xF0\x9F\x98\x80 outside the BMP\0"s},
        {"name with \\ backslash", REG_SZ, "x\0"s},
    };
}

// Keys in every root; the Cyrillic key and the one with brackets test key
// names in the files.
struct Place {
    const char *rootName; // as `reg` spells it
    HKEY root;
    std::string path;
    bool allSamples;
};

std::vector<Place> Places(const std::string &base)
{
    return {
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, "Software\\" + base, true},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, "Software\\" + base + "\\Ключ ґ [1]", false},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, "Software\\" + base, false},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, base + "Class", false},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG, "Software\\" + base, false},
        {"HKEY_USERS", HKEY_USERS, ".Default\\Software\\" + base, false},
    };
}

std::vector<Sample> SamplesFor(const Place &place)
{
    if (place.allSamples)
        return Samples();
    return {{"where", REG_SZ, std::string(place.rootName) + "\\" + place.path + '\0'},
            {"Текст", REG_SZ, "Значення ґ\0"s},
            {"dword", REG_DWORD, "\x01\x00\x00\x00"s}};
}

// ---------------------------------------------------------------------------
// The regedit format of `reg export` and `reg import` (UTF-16LE, CR LF).

std::string Quoted(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string RegeditValue(const Sample &sample)
{
    std::string line = sample.name.empty() ? "@=" : Quoted(sample.name) + "=";
    const std::string &data = sample.data;
    const bool plainText = sample.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1 &&
                           data.find_first_of("\r\n") == std::string::npos;
    if (plainText)
        return line + Quoted(data.substr(0, data.size() - 1));
    if (sample.type == REG_DWORD && data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x",
                      static_cast<unsigned>(static_cast<unsigned char>(data[0]) |
                                            static_cast<unsigned char>(data[1]) << 8 |
                                            static_cast<unsigned char>(data[2]) << 16 |
                                            static_cast<unsigned>(static_cast<unsigned char>(data[3])) << 24));
        return line + buf;
    }
    char head[24];
    if (sample.type == REG_BINARY)
        std::snprintf(head, sizeof head, "hex:");
    else
        std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(sample.type));
    line += head;
    const std::string stored = sample.Stored();
    for (size_t i = 0; i < stored.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(stored[i]));
        line += (i ? "," : "") + std::string(buf);
    }
    return line;
}

// What regdump.exe printed: keys by full name, values by name, each with its
// type and stored bytes (text as UTF-16LE).
struct Seen {
    DWORD type = 0;
    std::string stored;
    bool operator==(const Seen &) const = default;
};
using SeenKeys = std::map<std::string, std::map<std::string, Seen>>;

std::string FromHex(const std::string &hex)
{
    std::string out;
    if (hex == "-")
        return out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string FromHexUnits(const std::string &hex)
{
    std::u16string units;
    if (hex != "-")
        for (size_t i = 0; i + 3 < hex.size(); i += 4)
            units += static_cast<char16_t>(std::stoul(hex.substr(i, 4), nullptr, 16));
    return Utf8(units);
}

SeenKeys ParseDump(const std::string &text)
{
    SeenKeys keys;
    std::istringstream in(text);
    std::string kind;
    std::string key;
    while (in >> kind) {
        std::string name;
        in >> name;
        if (kind == "key") {
            key = FromHexUnits(name);
            keys[key];
        } else if (kind == "value") {
            Seen value;
            std::string data;
            in >> value.type >> data;
            value.stored = FromHex(data);
            keys[key][FromHexUnits(name)] = value;
        }
    }
    return keys;
}

// ---------------------------------------------------------------------------
// Hives as other programs leave them: keys in Wine's order, then perturbed.

struct GeneratedHive {
    std::string blocks;     // the key blocks, below .Default\Gen
    bool malformed = false; // holds a line that Wine's loader skips as malformed
};

GeneratedHive GenerateHive(std::mt19937 &random)
{
    const auto chance = [&](unsigned percent) { return random() % 100 < percent; };
    const auto number = [&](unsigned below) { return std::to_string(random() % below); };
    std::set<std::string> paths; // tree order, for names such as these
    for (size_t wanted = 2 + random() % 12; paths.size() < wanted;)
        paths.insert("Gen\\\\" + std::string(1, static_cast<char>('a' + random() % 3)) +
                     (chance(50) ? "\\\\b" + number(2) : "") + (chance(30) ? "\\\\c" + number(2) : ""));
    const std::string stamps[] = {" 1796707998", " 1796707998 673823", "1796707998junk", " 5 x y", "", " words"};
    // Hex data continued on a next line, as Wine wraps it, among them.
    const std::string values[] = {"\"text\"", "dword:0000002a", "str(2):\"%PATH%\"", "hex(7):61,00,00,00,00,00",
                                  "hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n  15"};
    std::vector<std::string> blocks;
    for (const std::string &path : paths) {
        blocks.push_back("[" + path + "]" + stamps[chance(60) ? 0 : 1 + random() % 5] + "\n");
        for (size_t i = random() % 4; i > 0; --i)
            blocks.back() += (chance(15) ? "; a comment\n\n" : "") + (chance(20) ? "@" : "\"v" + number(3) + "\"") +
                             "=" + values[random() % std::size(values)] + "\n";
    }
    if (chance(25)) { // a key written twice, its second block last
        const std::string &twice = blocks[random() % blocks.size()];
        blocks.push_back(twice.substr(0, twice.find('\n') + 1) + "\"again\"=\"second block\"\n");
    }
    if (chance(25)) // keys out of order
        std::swap(blocks[random() % blocks.size()], blocks[random() % blocks.size()]);
    GeneratedHive hive;
    // (A value line whose data is not understood is no such line: Wine keeps
    // its name as an empty value.)
    if ((hive.malformed = chance(25)))
        blocks[random() % blocks.size()] += chance(50) ? "stray text\n" : "\n[Gen\\\\broken\n\"x\"=\"1\"\n";
    for (const std::string &block : blocks)
        hive.blocks += block + "\n";
    return hive;
}

// ---------------------------------------------------------------------------
// Running Wine.

std::string ShellQuoted(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class InteropTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *state = std::getenv("VANTOR_WINE_PREFIX_STATE");
        if (state) {
            std::ifstream in(state);
            std::getline(in, prefix_);
        }
        const char *wine = std::getenv("WINE64");
        wine64_ = wine && *wine ? wine : "/usr/lib/wine/wine64";
        const char *regdump = std::getenv("VANTOR_REGDUMP");
        regdump_ = regdump ? regdump : "";
        const char *vantorReg = std::getenv("VANTOR_REG");
        vantorReg_ = vantorReg ? vantorReg : "vantor-reg";
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml,winemenubuilder.exe=d", 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        if (!prefix_.empty())
            setenv("WINEPREFIX", prefix_.c_str(), 1);
        work_ = std::make_unique<TempDir>("vantor-interop");
    }

    static void TearDownTestSuite()
    {
        VtrRegReset(nullptr);
        work_.reset();
    }

    void SetUp() override
    {
        if (prefix_.empty() || !std::filesystem::exists(prefix_ + "/system.reg"))
            GTEST_FAIL() << "no Wine prefix: set VANTOR_WINE_PREFIX_STATE to the state file of wine-prefix.sh";
        StopServer();
    }

    void TearDown() override { VtrRegReset(nullptr); }

    // Runs a shell command; its standard output, and its exit status.
    static int Shell(const std::string &command, std::string *output = nullptr)
    {
        FILE *pipe = popen(command.c_str(), "r");
        if (!pipe)
            return -1;
        std::string text;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
            text.append(buf, n);
        const int status = pclose(pipe);
        if (output)
            *output = text;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // `reg` in the prefix, whatever WINEPREFIX the test has set meanwhile; the
    // server it starts writes its complaints into serverLog when one is given.
    // C.UTF-8 is the one UTF-8 locale sure to be installed: Wine passes UTF-8
    // arguments on correctly only in an installed one.
    static int Reg(const std::string &arguments, const std::string &serverLog = "/dev/null")
    {
        return Shell("env WINEPREFIX=" + ShellQuoted(prefix_) + " LC_ALL=C.UTF-8 " + ShellQuoted(wine64_) + " reg " +
                     arguments + " >/dev/null 2>" + ShellQuoted(serverLog));
    }

    // Ends the server; it saves its registry as it goes.
    static void StopServer() { Shell("wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1"); }

    // Whether the server holds the lock in its folder, the way our engine
    // tells too (Debian's layout).
    static bool ServerRunning()
    {
        std::ifstream named(prefix_ + "/wineserver");
        std::string folder;
        std::getline(named, folder);
        struct stat info{};
        if (folder.empty() || stat(prefix_.c_str(), &info) != 0)
            return false;
        char lock[512];
        std::snprintf(lock, sizeof lock, "/tmp/%s/server-%llx-%llx/lock", folder.c_str(),
                      static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino));
        const int fd = open(lock, O_RDWR);
        if (fd < 0)
            return false;
        struct flock probe{};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        const bool running = fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
        close(fd);
        return running;
    }

    // Lines such as "user.reg:12: Unrecognized input '...'" or "Malformed
    // value": Wine's loader skipped something.
    static std::vector<std::string> LoaderComplaints(const std::string &log)
    {
        std::vector<std::string> found;
        std::istringstream in(readFile(log));
        std::string line;
        while (std::getline(in, line))
            if (line.find(".reg:") != std::string::npos)
                found.push_back(line);
        return found;
    }

    static void WriteWithEngine(const std::string &base)
    {
        ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
        for (const Place &place : Places(base)) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExA(place.root, place.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr),
                      ERROR_SUCCESS)
                << place.rootName << "\\" << place.path;
            for (const Sample &sample : SamplesFor(place))
                EXPECT_EQ(RegSetValueExA(key, sample.name.c_str(), 0, sample.type,
                                         reinterpret_cast<const BYTE *>(sample.data.data()),
                                         static_cast<DWORD>(sample.data.size())),
                          ERROR_SUCCESS)
                    << sample.name;
            RegCloseKey(key);
        }
        ASSERT_EQ(VtrRegReset(nullptr), ERROR_SUCCESS);
    }

    // Kills the bridge that the engine started, and waits until it is gone.
    static void KillBridge()
    {
        for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
            if (!std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0])))
                continue;
            std::string stat = readFile(entry.path().string() + "/stat");
            const size_t close = stat.rfind(')');
            if (close == std::string::npos || readFile(entry.path().string() + "/cmdline").find("vantor-wine-bridge") ==
                                                  std::string::npos)
                continue;
            std::istringstream fields(stat.substr(close + 2));
            char state = 0;
            pid_t parent = 0;
            fields >> state >> parent;
            if (parent != getpid())
                continue;
            const pid_t pid = std::stoi(entry.path().filename().string());
            ASSERT_EQ(kill(pid, SIGKILL), 0);
            for (int i = 0; i < 200 && readFile(entry.path().string() + "/stat").find(") Z") == std::string::npos; ++i)
                usleep(10000);
            return;
        }
        FAIL() << "no bridge is running";
    }

    static void StartServer()
    {
        ASSERT_EQ(Shell("wineserver -p >/dev/null 2>&1"), 0);
        ASSERT_TRUE(ServerRunning());
    }

    // What Wine's own registry API shows of the keys of Places(base), from one
    // run of regdump.
    static std::string DumpWithWine(const std::string &base, const std::string &log)
    {
        std::string keys;
        for (const Place &place : Places(base))
            keys += " " + ShellQuoted(std::string(place.rootName) + "\\" + place.path);
        std::string dump;
        EXPECT_EQ(Shell("env LC_ALL=C.UTF-8 " + ShellQuoted(wine64_) + " " + ShellQuoted(regdump_) + keys + " 2>" +
                            ShellQuoted(log),
                        &dump),
                  0)
            << dump;
        return dump;
    }

    static void ExpectWineSees(const std::string &base, const std::string &dump)
    {
        const SeenKeys seen = ParseDump(dump);
        for (const Place &place : Places(base)) {
            const std::string keyName = std::string(place.rootName) + "\\" + place.path;
            ASSERT_TRUE(seen.count(keyName)) << keyName << " is missing from what Wine sees";
            const auto &values = seen.at(keyName);
            const std::vector<Sample> samples = SamplesFor(place);
            EXPECT_EQ(values.size(), samples.size()) << keyName;
            for (const Sample &sample : samples) {
                SCOPED_TRACE(keyName + " value \"" + sample.name + "\"");
                ASSERT_TRUE(values.count(sample.name));
                EXPECT_EQ(values.at(sample.name).type, sample.type);
                EXPECT_EQ(values.at(sample.name).stored, sample.Stored());
            }
        }
    }

    // Wine's `reg import` writes the samples of Places(base), and `reg add`
    // one value more, whose text it returns.
    static std::string WriteWithWine(const std::string &base)
    {
        std::string regedit = "Windows Registry Editor Version 5.00\n";
        for (const Place &place : Places(base)) {
            regedit += "\n[" + std::string(place.rootName) + "\\" + place.path + "]\n";
            for (const Sample &sample : SamplesFor(place))
                regedit += RegeditValue(sample) + "\n";
        }
        std::string file = "\xFF\xFE"s;
        std::u16string units;
        for (char16_t c : Utf16(regedit)) {
            if (c == u'\n')
                units += u'\r';
            units += c;
        }
        file += Utf16LeBytes(units);
        const std::string path = work_->file("import.reg");
        writeFile(path, file);
        EXPECT_EQ(Reg("import " + ShellQuoted(path)), 0);

        // A value given on reg's command line, in UTF-8 like any argument here.
        const std::string added = "Додано через reg add: ґ є ї і";
        EXPECT_EQ(Reg("add " + ShellQuoted("HKEY_CURRENT_USER\\Software\\" + base) + " /v " +
                      ShellQuoted("Додано") + " /d " + ShellQuoted(added) + " /f"),
                  0);
        return added;
    }

    static void ExpectEngineReads(const std::string &base, const std::string &added)
    {
        ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
        for (const Place &place : Places(base)) {
            HKEY key = nullptr;
            ASSERT_EQ(RegOpenKeyExA(place.root, place.path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS)
                << place.rootName << "\\" << place.path;
            for (const Sample &sample : SamplesFor(place)) {
                SCOPED_TRACE(std::string(place.rootName) + "\\" + place.path + " value \"" + sample.name + "\"");
                std::string data(1 << 17, '\0');
                DWORD size = static_cast<DWORD>(data.size());
                DWORD type = 0;
                ASSERT_EQ(RegQueryValueExA(key, sample.name.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE *>(data.data()), &size),
                          ERROR_SUCCESS);
                data.resize(size);
                EXPECT_EQ(type, sample.type);
                // reg import gives text that lacks its terminator one.
                const bool unterminated = (sample.type == REG_SZ || sample.type == REG_EXPAND_SZ) &&
                                          (sample.data.empty() || sample.data.back() != '\0');
                EXPECT_EQ(data, unterminated ? sample.data + '\0' : sample.data);
            }
            RegCloseKey(key);
        }
        TRegistry reg;
        ASSERT_TRUE(reg.EnterKey("Software\\" + base, false));
        EXPECT_EQ(reg.ReadText("Додано"), added);
    }

    // What each side serves below HKEY_USERS\.Default\Gen, named as regdump names it.
    static void DumpWithEngine(HKEY key, const std::string &name, SeenKeys &seen)
    {
        for (const regfile::Value &value : regfile::ValuesOf(key))
            seen[name][value.name] = {value.type, value.data};
        seen[name];
        regfile::EachSubkey(key, name, [&](HKEY sub, const std::string &child) { DumpWithEngine(sub, name + "\\" + child, seen); });
    }

    static SeenKeys GeneratedKeysSeenByEngine()
    {
        SeenKeys seen;
        EXPECT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, ".Default\\Gen", 0, KEY_READ, &key), ERROR_SUCCESS);
        DumpWithEngine(key, "HKEY_USERS\\.Default\\Gen", seen);
        RegCloseKey(key);
        EXPECT_EQ(VtrRegReset(nullptr), ERROR_SUCCESS);
        return seen;
    }

    static SeenKeys GeneratedKeysSeenByWine()
    {
        std::string dump;
        Shell(ShellQuoted(wine64_) + " " + ShellQuoted(regdump_) + " 'HKEY_USERS\\.Default\\Gen' 2>/dev/null", &dump);
        StopServer(); // which saves the files in its own way
        return ParseDump(dump);
    }

    static inline std::string prefix_;
    static inline std::string wine64_;
    static inline std::string regdump_;
    static inline std::string vantorReg_;
    static inline std::unique_ptr<TempDir> work_;
};

// The check of the next test is only worth something if the server's
// complaints do reach the log.
TEST_F(InteropTest, ServerComplaintsReachTheLog)
{
    {
        std::ofstream out(prefix_ + "/userdef.reg", std::ios::app);
        out << "\n[Software\\\\VantorInteropBroken] 1700000000\nthis line means nothing\n";
    }
    const std::string log = work_->file("broken.log");
    Reg("query \"HKEY_USERS\\.Default\\Software\\VantorInteropBroken\"", log);
    StopServer();
    EXPECT_EQ(LoaderComplaints(log).size(), 1u) << readFile(log);
    Reg("delete \"HKEY_USERS\\.Default\\Software\\VantorInteropBroken\" /f");
    StopServer();
}

// Generated hives, perturbed as other programs leave them (stamps after a key
// line's number, keys out of order or written twice, a line Wine skips,
// comments and blank lines): Wine's loader and ours serve the same keys and
// values, before and after our engine adds to them and saves. Set
// VANTOR_HIVE_SEED and VANTOR_HIVE_RUNS for a longer run by hand.
TEST_F(InteropTest, PerturbedHivesServeWhatWineServes)
{
    const char *seedText = std::getenv("VANTOR_HIVE_SEED");
    const char *runsText = std::getenv("VANTOR_HIVE_RUNS");
    const unsigned seed = seedText ? static_cast<unsigned>(std::stoul(seedText)) : 26u;
    const int runs = runsText ? std::stoi(runsText) : 4;
    std::mt19937 random(seed);
    const std::string file = prefix_ + "/userdef.reg";
    const std::string original = readFile(file);
    const size_t firstBlock = original.find("\n[") + 1;
    for (int run = 0; run < runs; ++run) {
        const GeneratedHive hive = GenerateHive(random);
        const std::string text = original.substr(0, firstBlock) + hive.blocks + original.substr(firstBlock);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", run " + std::to_string(run) + ":\n" + hive.blocks);
        writeFile(file, text);
        SeenKeys expected = GeneratedKeysSeenByWine();
        writeFile(file, text); // as it was before Wine saved it
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(GeneratedKeysSeenByEngine(), expected);

        // A value and a key added to the last key, which has a line; a hive
        // with a line not understood refuses both and keeps its file.
        const LSTATUS status = hive.malformed ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        const std::string last = expected.rbegin()->first;
        ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
        HKEY key = nullptr, added = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, last.c_str() + std::strlen("HKEY_USERS\\"), 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, "added", 0, REG_BINARY, reinterpret_cast<const BYTE *>("\x01"), 1), status);
        EXPECT_EQ(RegCreateKeyExA(key, "added", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &added, nullptr), status);
        RegCloseKey(added);
        RegCloseKey(key);
        ASSERT_EQ(VtrRegReset(nullptr), ERROR_SUCCESS);
        if (!hive.malformed) {
            expected[last]["added"] = {REG_BINARY, "\x01"};
            expected[last + "\\added"];
        }
        EXPECT_EQ(readFile(file) == text, hive.malformed);
        EXPECT_EQ(GeneratedKeysSeenByEngine(), expected);
        EXPECT_EQ(GeneratedKeysSeenByWine(), expected);
    }
    writeFile(file, original);
}

TEST_F(InteropTest, EngineWritesAreSeenByWineAndLoadWithoutComplaint)
{
    const std::string base = "VantorInterop";
    WriteWithEngine(base);
    // The server that regdump starts loads the files we saved and complains
    // into the log about anything it skips.
    const std::string log = work_->file("server.log");
    const std::string dump = DumpWithWine(base, log);
    StopServer();
    EXPECT_TRUE(LoaderComplaints(log).empty()) << readFile(log);
    ExpectWineSees(base, dump);
}

TEST_F(InteropTest, EngineWritesReachARunningServerAtOnce)
{
    const std::string base = "VantorLiveInterop";
    StartServer();
    WriteWithEngine(base);
    ExpectWineSees(base, DumpWithWine(base, "/dev/null"));
}

TEST_F(InteropTest, WineWritesAreReadByEngineOnceTheServerHasSaved)
{
    const std::string base = "VantorFromWine";
    const std::string added = WriteWithWine(base);
    StopServer();
    ExpectEngineReads(base, added);
}

TEST_F(InteropTest, WineWritesToARunningServerAreReadAtOnce)
{
    const std::string base = "VantorLiveFromWine";
    StartServer();
    const std::string added = WriteWithWine(base);
    ExpectEngineReads(base, added);

    std::string shown;
    EXPECT_EQ(Shell(ShellQuoted(vantorReg_) + " --prefix " + ShellQuoted(prefix_) + " query " +
                        ShellQuoted("HKCU\\Software\\" + base) + " /v " + ShellQuoted("Додано"),
                    &shown),
              0);
    EXPECT_NE(shown.find(added), std::string::npos) << shown;
}

// A hive loaded from the files before the server started stays on the
// files, which the server will overwrite: its handles refuse every write.
TEST_F(InteropTest, HandleOnTheFilesRefusesWritesOnceTheServerRuns)
{
    const std::string base = "VantorWhileRunning";
    WriteWithEngine(base);
    const std::string before = readFile(prefix_ + "/user.reg");
    ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
    HKEY early = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\" + base).c_str(), 0, KEY_ALL_ACCESS, &early),
              ERROR_SUCCESS);
    StartServer();

    EXPECT_EQ(RegSetValueExA(early, "late", 0, REG_SZ, reinterpret_cast<const BYTE *>("lost?"), 6),
              ERROR_ACCESS_DENIED);
    RegCloseKey(early);
    EXPECT_EQ(VtrRegReset(nullptr), ERROR_SUCCESS);
    EXPECT_EQ(readFile(prefix_ + "/user.reg"), before);
}

// What a call answers is the same whether the prefix's files serve it or its
// running server does.
TEST_F(InteropTest, FilesAndRunningServerAnswerAlike)
{
    const std::string path = "Software\\VantorAnswers";
    const std::string missing = path + "\\Missing";
    const std::string notAPrefix = work_->file("not-a-prefix");
    writeFile(notAPrefix, "");
    const auto create = [](const std::string &at) {
        HKEY key = nullptr;
        const LSTATUS status =
            RegCreateKeyExA(HKEY_CURRENT_USER, at.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS)
            RegCloseKey(key);
        return status;
    };
    const auto open = [](const std::string &at) {
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, at.c_str(), 0, KEY_READ, &key);
        if (status == ERROR_SUCCESS)
            RegCloseKey(key);
        return status;
    };
    // Written by the engine, then found by Wine's reg.
    const auto writeForWine = [&]() -> LSTATUS {
        HKEY key = nullptr;
        LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key);
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExA(key, "written", 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);
            RegCloseKey(key);
        }
        VtrRegReset(nullptr); // the files take it here when they serve
        if (status != ERROR_SUCCESS)
            return status;
        return Reg("query " + ShellQuoted("HKCU\\" + path) + " /v written") == 0 ? ERROR_SUCCESS
                                                                                  : ERROR_FILE_NOT_FOUND;
    };
    const struct {
        const char *what;
        bool readOnly;          // user.reg made read-only on request first
        std::string wineprefix; // the caller's own during the call
        std::function<LSTATUS()> call;
        LSTATUS expected;
    } rows[] = {
        {"creating a missing key of a read-only hive", true, prefix_, [&] { return create(missing); },
         ERROR_ACCESS_DENIED},
        {"opening a missing key of a read-only hive", true, prefix_, [&] { return open(missing); },
         ERROR_FILE_NOT_FOUND},
        {"creating a present key of a read-only hive", true, prefix_, [&] { return create(path); }, ERROR_SUCCESS},
        {"writing while the caller's WINEPREFIX names no prefix", false, notAPrefix, writeForWine, ERROR_SUCCESS},
    };
    for (const bool live : {false, true}) {
        StopServer(); // the one that reg started
        if (live)
            StartServer();
        ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
        ASSERT_EQ(create(path), ERROR_SUCCESS);
        for (const auto &row : rows) {
            SCOPED_TRACE(std::string(row.what) + (live ? ", the server serving" : ", the files serving"));
            ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
            ASSERT_EQ(VtrRegSetReadOnly("user.reg", row.readOnly), ERROR_SUCCESS);
            setenv("WINEPREFIX", row.wineprefix.c_str(), 1);
            EXPECT_EQ(row.call(), row.expected);
            setenv("WINEPREFIX", prefix_.c_str(), 1);
        }
        ASSERT_EQ(VtrRegReset(nullptr), ERROR_SUCCESS);
    }
}

TEST_F(InteropTest, CommandPathWriteIsSeenByRegQueryBeforeAnySave)
{
    StartServer();
    ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.EnterKey("Software\\VantorLiveCommand", true));
        reg.WriteText("fromCommand", "written by a command");
    }
    // reg prints in the console's code page; text beyond ASCII is compared
    // exactly by the tests that use regdump.
    std::string shown;
    EXPECT_EQ(Shell(ShellQuoted(wine64_) + " reg query 'HKCU\\Software\\VantorLiveCommand' /v fromCommand",
                    &shown),
              0);
    EXPECT_NE(shown.find("written by a command"), std::string::npos) << shown;
}

TEST_F(InteropTest, BridgeKilledBetweenTwoCallsIsStartedAgain)
{
    StartServer();
    ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VantorLiveRestart", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    KillBridge();
    EXPECT_EQ(RegSetValueExA(key, "after", 0, REG_SZ, reinterpret_cast<const BYTE *>("kill"), 5), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Reg("query 'HKCU\\Software\\VantorLiveRestart' /v after"), 0);
}

TEST_F(InteropTest, ServerEndingHandsThePrefixBackToTheFiles)
{
    StartServer();
    ASSERT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VantorLiveEnd", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "live", 0, REG_SZ, reinterpret_cast<const BYTE *>("1"), 2), ERROR_SUCCESS);
    StopServer();

    EXPECT_EQ(RegSetValueExA(key, "stale", 0, REG_SZ, reinterpret_cast<const BYTE *>("2"), 2), ERROR_BROKEN_PIPE);
    ASSERT_NE(VtrRegFailureNote(), nullptr);
    EXPECT_NE(std::string(VtrRegFailureNote()).find("Wine server"), std::string::npos);
    RegCloseKey(key);

    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("Software\\VantorLiveEnd", false));
    EXPECT_EQ(reg.ReadText("live"), "1");
    reg.WriteText("files", "3");
    reg.LeaveKey();
    ASSERT_EQ(VtrRegReset(nullptr), ERROR_SUCCESS);
    const std::string saved = readFile(prefix_ + "/user.reg");
    EXPECT_NE(saved.find("\"files\"=\"3\""), std::string::npos);
    EXPECT_EQ(saved.find("\"stale\""), std::string::npos);
}

// A server of a Wine elsewhere (a launcher's own build, here a copy of this
// one) is reached with the loader beside it, even when none is on PATH;
// without a loader or a bridge, every call fails clearly and the files stay
// as they were.
TEST_F(InteropTest, ServerOfAnotherWineIsReachedWithItsOwnLoader)
{
    namespace fs = std::filesystem;
    const fs::path system = fs::path(wine64_).parent_path();
    const fs::path other = fs::path(work_->path()) / "other-wine";
    fs::create_directories(other / "lib/wine");
    fs::create_directories(other / "lib/x86_64-linux-gnu");
    fs::create_directories(other / "share");
    fs::copy_file(system / "wineserver64", other / "lib/wine/wineserver64", fs::copy_options::overwrite_existing);
    fs::create_directory_symlink(fs::canonical(system / "../x86_64-linux-gnu/wine"), other / "lib/x86_64-linux-gnu/wine");
    fs::create_directory_symlink(fs::canonical(system / "../../share/wine"), other / "share/wine");
    ASSERT_EQ(Shell(ShellQuoted((other / "lib/wine/wineserver64").string()) + " -p >/dev/null 2>&1"), 0);
    const std::string before = readFile(prefix_ + "/user.reg");
    const std::string path = std::getenv("PATH");
    setenv("PATH", "/nonexistent", 1);

    const auto write = [] {
        EXPECT_EQ(VtrRegReset(prefix_.c_str()), ERROR_SUCCESS);
        HKEY key = nullptr;
        const LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VantorOtherWine", 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        const char *note = VtrRegFailureNote();
        std::string told = note ? note : "";
        RegCloseKey(key);
        return std::make_pair(rc, told);
    };
    const auto [noLoader, noLoaderNote] = write();
    fs::copy_file(wine64_, other / "lib/wine/wine64");
    setenv("VANTOR_WINE_BRIDGE", "/nonexistent.exe", 1);
    const auto [noBridge, noBridgeNote] = write();
    const std::string afterFailures = readFile(prefix_ + "/user.reg");
    unsetenv("VANTOR_WINE_BRIDGE");
    const auto [reached, reachedNote] = write();
    setenv("PATH", path.c_str(), 1);

    EXPECT_EQ(noLoader, ERROR_NOT_SUPPORTED);
    EXPECT_NE(noLoaderNote.find("no Wine loader"), std::string::npos) << noLoaderNote;
    EXPECT_EQ(noBridge, ERROR_NOT_SUPPORTED);
    EXPECT_NE(noBridgeNote.find("bridge"), std::string::npos) << noBridgeNote;
    EXPECT_EQ(reached, ERROR_SUCCESS) << reachedNote;
    EXPECT_EQ(afterFailures, before);
    EXPECT_EQ(VtrRegReset(nullptr), ERROR_SUCCESS);
    StopServer();
}

} // namespace
