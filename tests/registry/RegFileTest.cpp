// .reg files on the registry API: whatever a key holds comes back byte for
// byte from its export, and files are read as Wine's reg reads them.
#include "RegFile.h"
#include "RegistryTree.h"
#include "ScratchRegistry.h"
#include "textconv.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "ScratchFiles.h"

#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kPath = "Software\\VantorRegFile";
const std::string kFullName = "HKEY_CURRENT_USER\\" + kPath;

class RegFileTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteKeyTree(HKEY_CURRENT_USER, kPath); }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, kPath); }

    static HKEY Open()
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    // The key's values by name: type and stored bytes.
    static std::map<std::string, std::pair<DWORD, std::string>> Stored()
    {
        std::map<std::string, std::pair<DWORD, std::string>> values;
        const HKEY key = Open();
        for (const regfile::Value &value : regfile::ValuesOf(key))
            values[value.name] = {value.type, value.data};
        RegCloseKey(key);
        return values;
    }

    static void SetW(HKEY key, const std::u16string &name, DWORD type, const std::string &data)
    {
        ASSERT_EQ(RegSetValueExW(key, reinterpret_cast<const WCHAR *>(name.c_str()), 0, type,
                                 reinterpret_cast<const BYTE *>(data.data()), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    static regfile::ImportReport ImportUnicode(const std::string &wtf8)
    {
        return regfile::Import("\xFF\xFE" + textconv::toBytes(textconv::fromWtf8(wtf8)));
    }

    ScratchRegistry registry_;
};

// Random names and data of every type, well-formed text or not: an export
// imported again gives back the same bytes.
TEST_F(RegFileTest, ExportThenImportKeepsEveryByte)
{
    std::mt19937 random(20);
    const std::u16string pool[] = {u"a", u"\"", u"\\", u"\r", u"\n", u";", std::u16string(1, u'\0'), u"\xD800",
                                   u"\xDC00", u"é", u"й", u"😀", u"0", u"f", u"=", u"[x]"};
    const auto text = [&](size_t maxUnits) {
        std::u16string out;
        for (size_t n = random() % (maxUnits + 1); n > 0; --n)
            out += pool[random() % std::size(pool)];
        return out;
    };
    const DWORD types[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_NONE, REG_QWORD, 0x12345};
    for (int round = 0; round < 25; ++round) {
        std::map<std::string, std::pair<DWORD, std::string>> wanted;
        const HKEY key = Open();
        for (int i = 0; i < 16; ++i) {
            std::u16string name = text(3);
            std::replace(name.begin(), name.end(), u'\0', u'_');
            name = std::u16string(1, static_cast<char16_t>(u'A' + i)) + name;
            const DWORD type = types[random() % std::size(types)];
            std::string data = textconv::toBytes(text(6));
            if (random() % 2)
                data.append(2, '\0');
            if (random() % 4 == 0)
                data += 'x';
            if (type == REG_DWORD && random() % 2)
                data = std::string("\x01\x02\x03\x04", 4);
            SetW(key, name, type, data);
            wanted[textconv::toWtf8(name)] = {type, data};
        }
#ifdef _WIN32
        wanted = Stored(); // Wine's own RegSetValueExW adds a missing terminator to strings
#endif
        const std::string file = regfile::ExportKey(key, kFullName, regfile::Format::Unicode);
        RegCloseKey(key);
        DeleteKeyTree(HKEY_CURRENT_USER, kPath);
        const regfile::ImportReport report = regfile::Import(file);
        EXPECT_TRUE(report.complete()) << (report.problems.empty() ? "" : report.problems.front());
        EXPECT_EQ(Stored(), wanted) << "round " << round;
        DeleteKeyTree(HKEY_CURRENT_USER, kPath);
    }
}

// A string that holds CR, LF, quotes and backslashes is written as Wine's reg
// writes it, in escapes on one line.
TEST_F(RegFileTest, StringsAreWrittenWithWinesEscapes)
{
    const HKEY key = Open();
    const std::string data = textconv::toBytes(u"a\r\nb\"c\\d") + std::string(2, '\0');
    SetW(key, u"s", REG_SZ, data);
    const std::u16string file = textconv::fromBytes(regfile::ExportKey(key, kFullName, regfile::Format::Unicode));
    RegCloseKey(key);
    EXPECT_NE(file.find(u"\r\n\"s\"=\"a\\r\\nb\\\"c\\\\d\"\r\n"), std::u16string::npos);
}

// Lines as Wine's reg import takes them: escapes, comments, continued hex
// data; and data kept as given where Wine would change it.
TEST_F(RegFileTest, ValueLinesAreReadAsWineReadsThem)
{
    const struct {
        const char *line;
        DWORD type;
        std::string data; // UTF-16 for strings; empty type: the line is refused
    } rows[] = {
        {R"("v"="a\rb\nc")", REG_SZ, textconv::toBytes(u"a\rb\nc") + std::string(2, '\0')},
        {R"("v"="x\ty")", REG_SZ, textconv::toBytes(u"xty") + std::string(2, '\0')},
        {R"("v"="a\0b")", 0, ""},
        {R"("v"="after";c)", REG_SZ, textconv::toBytes(u"after") + std::string(2, '\0')},
        {R"("v"="semi;colon" ; c)", REG_SZ, textconv::toBytes(u"semi;colon") + std::string(2, '\0')},
        {"\"v\"=dword:  1 ; c", REG_DWORD, std::string("\x01\0\0\0", 4)},
        {"\"v\"=hex:01,02;x", REG_BINARY, "\x01\x02"},
        {"\"v\"=hex:01,02,\\\r\n; a comment line\r\n\r\n  03,04", REG_BINARY, "\x01\x02\x03\x04"},
        {"\"v\"=hex:01,\\ ; c\r\n  02 ;c", REG_BINARY, "\x01\x02"},
        {"\"v\"=hex(1):00,dc", REG_SZ, std::string("\x00\xdc", 2)},
        {"\"v\"=hex(1):61,00,62", REG_SZ, std::string("a\0b", 3)},
        {"\"v\"=hex(7):61,00,00,d8,00,00", REG_MULTI_SZ, std::string("a\0\0\xd8\0\0", 6)},
        {"\"v\"=\"x\xED\xB0\x80y\"", REG_SZ, textconv::toBytes(u"x\xDC00y") + std::string(2, '\0')},
    };
    for (const auto &row : rows) {
        const std::string file =
            "Windows Registry Editor Version 5.00\r\n\r\n[" + kFullName + "] ; c\r\n" + row.line + "\r\n";
        const regfile::ImportReport report = ImportUnicode(file);
        const auto stored = Stored();
        if (row.type == 0) {
            EXPECT_TRUE(stored.empty()) << row.line;
            EXPECT_FALSE(report.complete()) << row.line;
        } else {
            EXPECT_TRUE(report.complete()) << row.line;
            EXPECT_EQ(stored, (std::map<std::string, std::pair<DWORD, std::string>>{{"v", {row.type, row.data}}}))
                << row.line;
        }
        DeleteKeyTree(HKEY_CURRENT_USER, kPath);
    }
}

// Whole files, as Wine 8's reg import stores them, by line breaks,
// continuations, byte-order marks and encodings, and hex(N) forms: each value
// as "name|type|bytes", and the lines reported as not applied. Encodings are
// those of code page 1251.
TEST_F(RegFileTest, FilesStoreWhatWineStores)
{
    const std::string k = "[" + kFullName + "]", v5 = "Windows Registry Editor Version 5.00";
    const auto file = [&](const std::string &eol, const std::vector<std::string> &body, const std::string &head) {
        std::string text = head + eol + eol + k + eol;
        for (const std::string &line : body)
            text += line + eol;
        return text;
    };
    const auto u16 = [](const std::string &text) { return "\xFF\xFE" + textconv::toBytes(textconv::fromWtf8(text)); };
    const std::vector<std::string> abc = {R"("a"="1")", R"("b"=hex:01,\)", "  02", R"("c"=dword:00000003)"};
    const std::vector<std::string> storedAbc = {"a|1|31000000", "b|3|0102", "c|4|03000000"};
    const struct {
        std::string bytes;
        std::vector<std::string> stored;
        std::vector<size_t> problemLines;
    } rows[] = {
        // Line breaks.
        {u16(file("\r", abc, v5)), storedAbc, {}},
        {u16(file("\n\r", abc, v5)), storedAbc, {}},
        {file("\r", abc, "REGEDIT4"), storedAbc, {}},
        {file("\n\r", abc, "REGEDIT4"), storedAbc, {}},
        {"REGEDIT4\r\n" + k + "\r\"a\"=\"1\"\n\r\"b\"=hex:01,\\\r  02\n\"c\"=dword:00000003\r\n", storedAbc, {}},
        {u16(file("\r\n", {"\"a\"=\"x\ry\"", R"("b"="2")"}, v5)), {"b|1|32000000"}, {4, 5}},
        // Continuations: whatever the blanks and names; a key line ends the
        // value (Wine's reg loses both), a bad line joins it, which is
        // reported on its first line.
        {u16(file("\r\n", {R"("a" = hex:01,\)", " 02", "\"b\"\t=\thex(2):41,00,\\", " 00,00", R"(@ = hex:07,\)", " 08"}, v5)),
         {"a|3|0102", "b|2|41000000", "|3|0708"}, {}},
        {u16(file("\r\n", {R"("x;y"=hex:01,\)", " 02", R"("=hex;"=hex:03,\)", " 04", R"("q\"=hex;"=hex:09,\)", " 0a"}, v5)),
         {"x;y|3|0102", "=hex;|3|0304", "q\"=hex;|3|090a"}, {}},
        {u16(file("\r\n", {R"("a"=hex:01,\)", "[" + kFullName + "\\Sub]", R"("b"="2")"}, v5)), {"a|3|01"}, {}},
        {u16(file("\r\n", {R"("z"="1")", R"("a"=hex:01,\)", "  zz", R"("b"="2")"}, v5)), {"z|1|31000000", "b|1|32000000"}, {5}},
        {u16(file("\r\n", {R"("a"=hex:01,02 \)", " 03", R"("b"=hex:01\)", " 02"}, v5)), {}, {4, 6}},
        // Byte-order marks and encodings. A UTF-8 one, and version 5 text
        // that is well-formed UTF-8, are read as UTF-8 (where Wine's reg
        // refuses the one and reads the other in the ANSI code page).
        {"\xEF\xBB\xBF" + file("\r\n", {"\"a\"=\"caf\xC3\xA9\""}, v5), {"a|1|630061006600e9000000"}, {}},
        {file("\r\n", {"\"\xD0\x9A\"=hex(2):41,00,00,00"}, v5), {"\xD0\x9A|2|41000000"}, {}},
        {file("\r\n", {"\"caf\xE9\"=\"\xCA\"", R"("b"=hex(2):41,00,00,00)"}, v5),
         {"caf\xD0\xB9|1|1a040000", "b|2|4100000000000000"}, {}},
        {u16(file("\r\n", {R"("a"="1")"}, "REGEDIT4")), {"a|1|31000000"}, {}},
        // hex(N) forms and the bytes after them.
        {u16(file("\r\n", {"\"a\"=hex( 2):41,00,00,00", "\"b\"=hex(+2):41,00,00,00", "\"c\"=hex(-1):01",
                           "\"d\"=hex(000000002):41,00,00,00",
                           "\"e\"=hex():01", "\"f\"=hex(\t7fffffff):01", "\"g\"=hex(-0):", "\"h\"=hex(0x2):01",
                           "\"i\"=hex(100000000):01", "\"j\"=hex(2 ):01", "\"k\"=hex(2) :01", "\"l\"=HEX(2):01",
                           "\"m\"=hex(-ffffffff):01", "\"n\"=hex(  ):01", "\"o\"=Hex:01"}, v5)),
         {"a|2|41000000", "b|2|41000000", "c|4294967295|01", "d|2|41000000", "e|0|01", "f|2147483647|01", "g|0|"},
         {11, 12, 13, 14, 15, 16, 17, 18}},
        {u16(file("\r\n", {"\"a\"=hex:0001", "\"b\"=hex:0x1", "\"c\"=hex:+1", "\"d\"=hex:01,2,003", "\"e\"=hex: 01,\t02",
                           "\"f\"=hex:100", "\"g\"=hex:01 ,02", "\"h\"=hex:-1", "\"i\"=hex:,01", "\"j\"=hex:01,,"}, v5)),
         {"a|3|01", "b|3|01", "c|3|01", "d|3|010203", "e|3|0102"}, {9, 10, 11, 12, 13}},
    };
#ifndef _WIN32
    setenv("LC_ALL", "ru_RU.UTF-8", 1); // the test runs under Wine with it
#endif
    for (const auto &row : rows) {
        SCOPED_TRACE(row.bytes);
        const regfile::ImportReport report = regfile::Import(row.bytes);
        std::map<std::string, std::pair<DWORD, std::string>> wanted;
        for (const std::string &value : row.stored) {
            const size_t bar = value.find('|'), type = value.rfind('|');
            std::string bytes;
            for (size_t i = type + 1; i + 1 < value.size(); i += 2)
                bytes += static_cast<char>(std::stoi(value.substr(i, 2), nullptr, 16));
            wanted[value.substr(0, bar)] = {static_cast<DWORD>(std::stoul(value.substr(bar + 1, type - bar - 1))), bytes};
        }
        EXPECT_EQ(Stored(), wanted);
        std::vector<size_t> lines;
        for (const std::string &problem : report.problems)
            lines.push_back(std::stoul(problem.substr(5)));
        EXPECT_EQ(lines, row.problemLines);
        DeleteKeyTree(HKEY_CURRENT_USER, kPath);
    }
#ifndef _WIN32
    unsetenv("LC_ALL");
#endif
}

#ifndef _WIN32
// A REGEDIT4 file is read in the ANSI code page of the locale, as Wine reads it.
TEST_F(RegFileTest, Regedit4IsReadInTheLocalesCodePage)
{
    const std::string file = "REGEDIT4\r\n\r\n[" + kFullName + "]\r\n\"caf\xe9\"=\"caf\xe9\"\r\n\"x\"=hex(2):41,e9,00\r\n";
    const struct {
        const char *locale;
        std::u16string letter; // of the byte 0xE9; empty: the file is refused
    } rows[] = {{"C", u"é"}, {"en_US.UTF-8", u"é"}, {"ru_RU.UTF-8", u"й"}, {"el_GR", u"ι"}, {"ja_JP.UTF-8", u""}};
    const char *saved = std::getenv("LC_ALL");
    const std::string before = saved ? saved : "";
    for (const auto &row : rows) {
        setenv("LC_ALL", row.locale, 1);
        if (row.letter.empty()) {
            EXPECT_THROW(regfile::Import(file), regfile::Error) << row.locale;
            continue;
        }
        ASSERT_TRUE(regfile::Import(file).complete()) << row.locale;
        const std::string name = textconv::toUtf8(u"caf" + row.letter);
        const auto stored = Stored();
        EXPECT_EQ(stored.at(name).second, textconv::toBytes(u"caf" + row.letter + u'\0')) << row.locale;
        EXPECT_EQ(stored.at("x").second, textconv::toBytes(u"A" + row.letter + u'\0')) << row.locale;
        DeleteKeyTree(HKEY_CURRENT_USER, kPath);
    }
    if (saved)
        setenv("LC_ALL", before.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

// A file that is no .reg file is refused from its first bytes: 4 GiB of
// zeros (a sparse file) are never read whole.
TEST_F(RegFileTest, FileThatIsNoRegFileIsRefusedFromItsFirstBytes)
{
    const TempDir dir("vantor-regfile");
    const std::string path = dir.file("zeros.reg");
    writeFile(path, "");
    ASSERT_EQ(truncate(path.c_str(), 4LL << 30), 0);
    struct rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_THROW(regfile::ImportFile(path), regfile::Error);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 << 10) << "kB more at the peak";
}

// Over our engine alone: Wine's server has been seen to crash on a line that deletes a root.
TEST_F(RegFileTest, ALineDeletingARootOrAHiveDeletesNothingAndTheRestIsApplied)
{
    const std::pair<HKEY, std::string> kept[] = {
        {HKEY_CURRENT_USER, kPath}, {HKEY_LOCAL_MACHINE, "Software\\B"}, {HKEY_USERS, ".Default\\C"}};
    ASSERT_TRUE(
        regfile::Import("REGEDIT4\r\n[" + kFullName + "]\r\n[HKLM\\Software\\B]\r\n[HKU\\.Default\\C]\r\n[HKU\\.Default\\Gone]\r\n")
            .complete());
    const std::vector<std::string> roots = {"HKEY_LOCAL_MACHINE", "hkey_current_user\\", "HKCU", "Hkcr", "HKCC\\",
                                            "HKU", "HKEY_USERS\\.Default", "hku\\S-1-5-21-0-0-0-1000\\",
                                            "HKU\\\\.DEFAULT"};
    std::string file = "REGEDIT4\r\n";
    for (const std::string &root : roots)
        file += "[-" + root + "]\r\n";
    const regfile::ImportReport report =
        regfile::Import(file + "[-HKU\\.Default\\Gone]\r\n[" + kFullName + "\\After]\r\n");
    EXPECT_EQ(report.keptRoots, roots);
    EXPECT_EQ(report.problems, std::vector<std::string>{});
    for (const auto &[root, path] : kept)
        EXPECT_TRUE(KeyExists(root, path)) << path;
    EXPECT_FALSE(KeyExists(HKEY_USERS, ".Default\\Gone"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kPath + "\\After"));
}

TEST_F(RegFileTest, DeleteTreeTakesALinkAndLeavesWhatItPointsTo)
{
    HKEY link = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Link", 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS,
                              nullptr, &link, nullptr),
              ERROR_SUCCESS);
    SetW(link, u"SymbolicLinkValue", REG_LINK, textconv::toBytes(u"\\Registry\\Machine\\Software\\Target"));
    RegCloseKey(link);
    ASSERT_TRUE(regfile::Import("REGEDIT4\r\n[HKLM\\Software\\Target\\Branch]\r\n").complete());
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Link\\Branch"));

    EXPECT_EQ(regfile::DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Link"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Link"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Target\\Branch"));
    EXPECT_EQ(regfile::DeleteTree(HKEY_USERS, ".Default"), ERROR_ACCESS_DENIED);
}
#else
// The single-byte code pages that files are read in, against the system's
// own (Wine's, where the tests run): every byte from 0x80 on in each page.
TEST(RegFileCodePages, BytesDecodeAsMultiByteToWideCharDecodesThem)
{
    const auto system = [](unsigned page, const std::string &bytes) {
        std::wstring units(bytes.size() + 1, L'\0');
        const int n = MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), units.data(),
                                          static_cast<int>(units.size()));
        return std::optional<std::u16string>(std::u16string(units.begin(), units.begin() + n));
    };
    for (const unsigned page : {874u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u})
        for (int byte = 0x80; byte <= 0xFF; ++byte)
            EXPECT_EQ(textconv::decodeCodePage(page, std::string(1, static_cast<char>(byte))),
                      system(page, std::string(1, static_cast<char>(byte))))
                << "page " << page << ", byte " << byte;
}
#endif

} // namespace
