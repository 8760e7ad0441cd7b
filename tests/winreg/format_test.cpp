// The Wine file format: reading, writing and the lossless round trip.
#include "format.h"
#include "hive.h"
#include "text.h"
#include "textconv.h"
#include "test_support.h"

#include <sys/stat.h>
#include <tuple>

using namespace winreg;
using namespace winreg_test;

namespace {

class NoListener : public HiveListener {
public:
    void hiveWillReload(Hive &) override {}
    void hiveDidReload(Hive &) override {}
    void hiveRefused(Hive &) override {}
};

std::string blockText(const std::string &text, const Key &key) { return text.substr(key.block.offset, key.block.length); }

// Decodes every block of a file again and writes it from the decoded form.
void expectEveryBlockRewritesIdentically(const std::string &text, Key &key, size_t &checked) {
    if (key.hasBlock()) {
        key.valuesLoaded = false;
        key.values.clear();
        decodeBlockValues(blockText(text, key), key);
        key.valuesLoaded = true;
        std::string out;
        appendKeyBlock(key, out);
        ASSERT_EQ(out, blockText(text, key));
        ++checked;
    }
    for (auto &child : key.children)
        expectEveryBlockRewritesIdentically(text, *child, checked);
}

Key loadText(const std::string &text, LoadResult *result = nullptr) {
    Key root;
    LoadResult r = loadHiveText(text, root);
    if (result)
        *result = r;
    return root;
}

Value valueOf(const std::string &text, const Key &key, const std::u16string &name) {
    Key copy;
    copy.values.clear();
    decodeBlockValues(text.substr(key.block.offset, key.block.length), copy);
    const Value *v = findValue(copy, name);
    return v ? *v : Value{u"<missing>", 0, false, {}};
}

std::string bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list)
        out.push_back(static_cast<char>(b));
    return out;
}

// The same blocks in reverse order: the same tree, which the loader must
// then read whole at once.
std::string withBlocksReversed(const std::string &text) {
    std::vector<std::string> blocks;
    size_t start = text.find("\n[") + 1;
    const std::string header = text.substr(0, start);
    for (size_t next; (next = text.find("\n[", start)) != std::string::npos; start = next + 1)
        blocks.push_back(text.substr(start, next + 1 - start));
    blocks.push_back(text.substr(start));
    std::string out = header;
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
        out += it->ends_with("\n\n") || it->ends_with("]\n") ? *it : *it + "\n";
    return out;
}

std::vector<Value> valuesOf(const std::string &text, const Key &key) {
    Key copy;
    if (key.hasBlock())
        decodeBlockValues(text.substr(key.block.offset, key.block.length), copy);
    return copy.values;
}

void expectSameTree(const std::string &textA, const Key &a, const std::string &textB, const Key &b,
                    const std::string &path) {
    SCOPED_TRACE(path);
    ASSERT_EQ(a.name, b.name);
    EXPECT_EQ(a.hasBlock(), b.hasBlock());
    EXPECT_EQ(a.valueCount(), b.valueCount());
    EXPECT_EQ(std::tie(a.unixTime, a.hasUnixTime, a.fileTime, a.hasFileTime, a.isLink),
              std::tie(b.unixTime, b.hasUnixTime, b.fileTime, b.hasFileTime, b.isLink));
    EXPECT_EQ(a.keyClass ? *a.keyClass : u"-", b.keyClass ? *b.keyClass : u"-");
    const auto va = valuesOf(textA, a), vb = valuesOf(textB, b);
    ASSERT_EQ(va.size(), vb.size());
    for (size_t i = 0; i < va.size(); ++i)
        EXPECT_EQ(std::tie(va[i].name, va[i].type, va[i].data), std::tie(vb[i].name, vb[i].type, vb[i].data));
    ASSERT_EQ(a.children.size(), b.children.size());
    for (size_t i = 0; i < a.children.size(); ++i)
        expectSameTree(textA, *a.children[i], textB, *b.children[i], path + "\\" + textconv::toUtf8(a.children[i]->name));
}

} // namespace

// Keys are made from a list of the file's key lines as they are first looked
// at; the tree they make must be the one read whole at once.
TEST(WineFormat, KeysMadeWhenFirstLookedAtAreTheKeysReadAtOnce) {
    std::string deepPath;
    for (int level = 0; level < 40; ++level)
        deepPath += "\\\\l" + std::to_string(level);
    const std::string shapes = "WINE REGISTRY Version 2\n\n"
                               "[A\\\\\\\\B] 3\n#link\n\n"                    // an empty name between two separators
                               "[A\\\\Implicit\\\\Leaf] 1\n#time=1d\n\"v\"=dword:00000001\n\n" // Implicit has no line
                               "[A\\\\Implicit\\\\Leaf\\\\Deeper]\n\n"
                               "[A\\\\x\\x5cy] 2\n#class=\"c\"\n@=\"d\"\n\n" // an escaped backslash separates too
                               "[A\\\\\\x0444\\\\z] 4\n\"\\x0444\"=hex:01,02\n\n"
                               "[D" + deepPath + "] 5\n\n"                     // more names than are seen at once
                               "[Esc\\x41b\\\\c] 5\n\n"                        // an escape among plain names
                               "[S" + std::string(62, 's') + "\\\\f] 5\n\n"    // a separator across 64 bytes
                               "[T" + std::string(62, '2') + "\\x41\\\\q] 5\n\n" // an escape across them
                               "[Tab\tname\\\\q] 5\n\n"
                               "[Zed] 6 673823\n\n"                         // stamped by a launcher
                               "[Zed\\\\a]junk\n\n"
                               "[\xc3\x9c" "ber\\\\x] 7\n\"" + std::string(40, 'p') + "\"=\"\"\n";
    for (const std::string &text : {shapes, readFile(testDataPath("system.reg")), readFile(testDataPath("user.reg"))}) {
        Key listed;
        KeyIndex index;
        ASSERT_TRUE(indexHiveText(text, listed, index).ok);
        ASSERT_FALSE(index.lines.empty()) << "not read key by key";
        makeAllChildren(listed, index, [&](size_t offset, size_t length) { return std::string_view(text).substr(offset, length); });
        const std::string reversed = withBlocksReversed(text);
        Key whole;
        KeyIndex none;
        ASSERT_TRUE(indexHiveText(reversed, whole, none).ok);
        ASSERT_TRUE(none.lines.empty()) << "a text out of order was read key by key";
        expectSameTree(text, listed, reversed, whole, "");
    }
    // What Wine does not write is read whole at once: an option after a
    // value, a name spelled in two ways.
    const std::string head = std::string(kSignature) + "\n\n";
    for (const std::string &text : {head + "[a] 1\n\"v\"=\"x\"\n#link\n", head + "[B] 1\n#link\n\n[b\\\\c] 2\n"}) {
        Key root;
        KeyIndex index;
        ASSERT_TRUE(indexHiveText(text, root, index).ok);
        EXPECT_TRUE(index.lines.empty()) << text;
        ASSERT_EQ(root.children.size(), 1u) << text;
        EXPECT_TRUE(root.children[0]->isLink) << text;
    }
}

TEST(WineFormat, EveryKeyOfTheWinePrefixIsWrittenBackExactly) {
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"}) {
        const std::string text = readFile(testDataPath(name));
        ASSERT_FALSE(text.empty()) << name;
        Key root;
        const LoadResult result = loadHiveText(text, root);
        ASSERT_TRUE(result.ok) << name << ": " << result.error;
        size_t checked = 0;
        expectEveryBlockRewritesIdentically(text, root, checked);
        EXPECT_GT(checked, 1u) << name;
    }
}

TEST(WineFormat, HivesOfTheWinePrefixRenderByteIdentical) {
    TempDir dir;
    NoListener listener;
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"}) {
        const std::string original = readFile(testDataPath(name));
        writeFile(dir.file(name), original);
        Hive hive(dir.path(), name, "unused", u"Root", listener);
        hive.refresh();
        EXPECT_TRUE(hive.understood()) << name;
        EXPECT_EQ(hive.render(), original) << name;
    }
}

TEST(WineFormat, ReadsAndWritesEveryValueEncodingAsWineDoes) {
    const std::string block = "[Software\\\\WineProbe\\\\Vals] 1796629373\n"
                              "#time=1dd861e91486394\n"
                              "@=\"default\"\n"
                              "\"dw\"=dword:12345678\n"
                              "\"exp\"=str(2):\"%PATH%;x\"\n"
                              "\"multi\"=str(7):\"one\\0two\\0\"\n"
                              "\"qw\"=hex(b):88,77,66,55,44,33,22,11\n"
                              "\"sz_embedded\"=\"abc\\0def\"\n"
                              "\"sz_zero\"=hex(1):\n"
                              "\"\\xc8\\xec\\xff\"=\"x\"\n";
    const std::string text = std::string(kSignature) + "\n\n" + block;
    LoadResult result;
    Key root = loadText(text, &result);
    ASSERT_TRUE(result.ok) << result.error;
    Key *key = findChild(*findChild(root, u"software"), u"WINEPROBE");
    ASSERT_NE(key, nullptr);
    key = findChild(*key, u"vals");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->unixTime, 1796629373);
    EXPECT_EQ(key->fileTime, 0x1dd861e91486394ULL);

    EXPECT_EQ(valueOf(text, *key, u"").data, textconv::toBytes(u"default") + bytes({0, 0}));
    EXPECT_EQ(valueOf(text, *key, u"dw").type, 4u);
    EXPECT_EQ(valueOf(text, *key, u"dw").data, bytes({0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(valueOf(text, *key, u"exp").type, 2u);
    EXPECT_EQ(valueOf(text, *key, u"multi").data, textconv::toBytes(std::u16string(u"one\0two\0\0", 9)));
    EXPECT_EQ(valueOf(text, *key, u"qw").type, 11u);
    EXPECT_EQ(valueOf(text, *key, u"sz_embedded").data, textconv::toBytes(std::u16string(u"abc\0def\0", 8)));
    EXPECT_EQ(valueOf(text, *key, u"sz_zero").type, 1u);
    EXPECT_TRUE(valueOf(text, *key, u"sz_zero").data.empty());
    EXPECT_EQ(valueOf(text, *key, u"\u00c8\u00ec\u00ff").data, textconv::toBytes(u"x") + bytes({0, 0}));

    decodeBlockValues(block, *key);
    key->valuesLoaded = true;
    std::string out;
    appendKeyBlock(*key, out);
    EXPECT_EQ(out, block);
}

TEST(WineFormat, EscapesSurviveWritingAndReadingBack) {
    std::u16string all;
    for (char16_t c = 0; c < 200; ++c)
        all.push_back(c);
    const std::u16string samples[] = {
        all,
        u"\u0430x\u04301\u0430",        // \x padding only before a hex digit
        std::u16string(u"\0" "7\0x", 4), // octal padding only before an octal digit
        u"\U0001F600 smile",             // surrogate pair
        u"\"quoted\" [bracketed] back\\slash",
        u"Привіт, ґанок! Їжак є.",
    };
    for (const auto &sample : samples) {
        Value value;
        value.name = sample;
        value.type = REG_SZ;
        value.data = textconv::toBytes(sample) + bytes({0, 0});
        std::string line;
        appendValueLine(value, line);
        EXPECT_EQ(line.find_first_of("\r"), std::string::npos);
        EXPECT_EQ(line.find('\n'), line.size() - 1);
        Key key;
        decodeBlockValues("[k]\n" + line, key);
        ASSERT_EQ(key.values.size(), 1u) << line;
        EXPECT_EQ(key.values[0].name, sample) << line;
        EXPECT_EQ(key.values[0].data, value.data) << line;
    }
    std::string padded;
    appendEscaped(u"\u0430x\u04301", "", padded);
    EXPECT_EQ(padded, "\\x430x\\x04301");
    std::string octal;
    appendEscaped(std::u16string(u"\0" "7\0x\x1b", 5), "", octal);
    EXPECT_EQ(octal, "\\0007\\0x\\e");
    std::string path;
    appendEscaped(u"a[b]\"c\\", "[]", path);
    EXPECT_EQ(path, "a\\[b\\]\"c\\\\");
}

TEST(WineFormat, LongHexDataWrapsAsWineWrapsIt) {
    Value value;
    value.name = u"Data";
    value.type = REG_BINARY;
    value.data = std::string(40, '\x01');
    std::string line;
    appendValueLine(value, line);
    const std::string expected = "\"Data\"=hex:01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,\\\n"
                                 "  01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01\n";
    EXPECT_EQ(line, expected);
}

TEST(WineFormat, LenientInputIsReadWithoutLoss) {
    const std::string text = std::string(kSignature) +
                             "\n"
                             ";; a comment\n"
                             "\n"
                             "[Soft\\\\No Time]\n"
                             "; comment inside a key\n"
                             "\"a\" = \"spaced\"\n"
                             "\"b\"=dword:00000001\n"
                             "\"c\"=hex: 01, 02 ,\\\n"
                             "   03\n"
                             "\"d\"=\"сирий UTF-8\"\n"
                             "[Soft\\\\br\\[ack\\]et]\n"
                             "[Soft\\\\Stamped] 1796707998 673823\n" // a launcher's stamp, which Wine ignores
                             "[Soft\\\\Word] 12x\n";
    LoadResult result;
    Key root = loadText(text, &result);
    ASSERT_TRUE(result.ok) << result.error;
    Key *key = findChild(*findChild(root, u"Soft"), u"No Time");
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->hasUnixTime);
    Key decoded;
    decodeBlockValues(text.substr(key->block.offset, key->block.length), decoded);
    ASSERT_EQ(decoded.values.size(), 4u);
    EXPECT_EQ(decoded.values[0].data, textconv::toBytes(u"spaced") + bytes({0, 0}));
    EXPECT_EQ(decoded.values[1].data, bytes({1, 0, 0, 0}));
    EXPECT_EQ(decoded.values[2].data, bytes({1, 2, 3}));
    EXPECT_EQ(decoded.values[3].data, textconv::toBytes(u"сирий UTF-8") + bytes({0, 0}));
    EXPECT_NE(findChild(*findChild(root, u"Soft"), u"br[ack]et"), nullptr);
    const Key *stamped = findChild(*findChild(root, u"Soft"), u"Stamped");
    ASSERT_NE(stamped, nullptr);
    EXPECT_TRUE(stamped->hasUnixTime);
    EXPECT_EQ(stamped->unixTime, 1796707998);
    EXPECT_NE(findChild(*findChild(root, u"Soft"), u"Word"), nullptr);
}

TEST(WineFormat, TextThatIsNotUnderstoodIsReported) {
    const std::string head = std::string(kSignature) + "\n\n";
    // Each with the line the problem is reported on.
    const std::pair<std::string, size_t> bad[] = {
        {"no signature\n[a]\n", 1},
        {head + "[a] 1\n\"v\"=\"bad \\q escape\"\n", 4},
        {head + "[a] 1\n\"v\"=\"unterminated\n", 4},
        {head + "[a] 1\n\"v\"=hex:zz\n", 4},
        {head + "[a] 1\n\"v\"=dword:123456789\n", 4},
        {head + "[a] 1\n#time=11111111111111111\n\"v\"=\"x\"\n", 4},
        {head + "[a] 1\n#time=1dz\n", 4},
        {head + "[a] 1\n\"v\"=hex:01,02,03,04,05,06,07,08,0g,0a,0b,0c,0d,0e,0f,10\n", 4},
        {head + "[a] 1\n\"v\"=hex:01,02,03,04,05,06,07,08,09,0a,0b\xc3\xa9,0d,0e,0f,10\n", 4},
        {head + "[a] 1\n\"v\"=\"x\" junk\n", 4},
        {head + "[a] 1\n\"v\"=\"a\x01b\"\n", 4},
        {head + "[a] 1\n\"v\"=\"" + std::string(90, 'a') + "\x01\"\n", 4},
        {head + "[a] 1\n@=\"a\"b\"\n", 4},
        {head + "[a] 1\n#unknown\n", 4},
        {head + "[a\n", 3},
        {head + "[a] 1\n\"v\"=\"\xff\xfe\"\n", 4},
        {head + "[a] 1\nstray text\n", 4},
        // A bad continuation line is the problem of the value it continues.
        {head + "[a] 1\n\"w\"=\"x\"\n\"v\"=hex:01,\\\n  zz\n", 5},
        // Cut short: no final line break, a short dword, a continuation
        // without its next line.
        {head + "[a] 1\n\"v\"=\"x\"", 4},
        {head + "[a] 1\n#time=1d2", 4},
        {head + "[a] 1\n\"v\"=dword:0000\n", 4},
        {head + "[a] 1\n\"v\"=hex:01,\\\n", 4},
        {head + "[a] 1\n\"v\"=hex:01,\\\n[b] 1\n", 4},
    };
    // Each again with a long good line after it, as most lines of a real
    // file have.
    const std::string goodLine = "\"pad\"=\"" + std::string(70, 'p') + "\"\n";
    for (const auto &[text, line] : bad) {
        for (const std::string &variant : {text, text.ends_with('\n') ? text + goodLine : text}) {
            LoadResult result;
            loadText(variant, &result);
            EXPECT_FALSE(result.ok) << variant;
            EXPECT_EQ(result.errorLine, line) << variant;
            EXPECT_TRUE(result.error.starts_with("line " + std::to_string(line) + ": ")) << result.error;
        }
    }
}

TEST(NameOrder, CaseFolds) {
    EXPECT_EQ(compareNames(u"ПРИВІТ Ґ", u"привіт ґ"), 0);
    EXPECT_EQ(compareNames(u"ÀÉÎ", u"àéî"), 0);
    // Names order by their lower-case form: '_' sorts before letters.
    EXPECT_LT(compareNames(u"A_", u"AB"), 0);
    EXPECT_LT(compareNames(u"a", u"AB"), 0);
}
