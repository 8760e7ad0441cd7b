#include "textconv.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Ill-formed UTF-8 as Wine 8 decodes it (its reg add, one row per argument).
TEST(Utf8, IllFormedBytesBecomeWhatWineMakesOfThem) {
    const struct {
        const char *bytes;
        std::u16string units;
    } rows[] = {
        {"x\xC3(yz", u"x\uFFFD(yz"},
        {"x\xED\xA0\x80y", u"x\uFFFD\uFFFDy"},     // a surrogate: its first two bytes go together
        {"x\xC0\xAFy", u"x\uFFFD\uFFFDy"},         // C0 and C1 start nothing
        {"x\xE2\x82y", u"x\uFFFDy"},               // cut short
        {"x\xF0\x9F\x98y", u"x\uFFFDy"},
        {"x\xFF\xFEy", u"x\uFFFD\uFFFDy"},
        {"x\xF4\x90\x80\x80y", u"x\uFFFD\uFFFD\uFFFDy"}, // above U+10FFFF
        {"x\xE0\x80\xAFy", u"x\uFFFD\uFFFDy"},     // overlong
        {"x\xF0\x80\x80\x80y", u"x\uFFFD\uFFFD\uFFFDy"},
        {"x\x80\x80y", u"x\uFFFD\uFFFDy"},
        {"x\xF5\x80\x80\x80y", u"x\uFFFD\uFFFD\uFFFD\uFFFDy"},
        {"\xE0\xA0", u"\uFFFD"},
        {"\xED\x9F\xBFy", u"\uD7FFy"},
        {"\xF4\x8F\xBF\xBFy", u"\U0010FFFFy"},
        {"\xEF\xBF\xBD", u"\uFFFD"},
        {"caf\xC3\xA9 \xD0\x9A \xE6\x97\xA5 \xF0\x9F\x98\x80", u"café К 日 😀"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(textconv::toUtf16(row.bytes), row.units) << row.bytes;
        EXPECT_EQ(textconv::decodeCodePage(textconv::kUtf8CodePage, row.bytes), row.units) << row.bytes;
        std::string bytes;
        textconv::appendUtf16Bytes(std::string(row.bytes) + "01234567", bytes);
        EXPECT_EQ(bytes, textconv::toBytes(row.units + u"01234567")) << row.bytes;
        EXPECT_EQ(textconv::isValidUtf8(row.bytes), textconv::toUtf8(row.units) == row.bytes) << row.bytes;
    }
}

// Any UTF-16, well-formed or not, survives WTF-8; well-formed text is the
// same in UTF-8 and WTF-8; both byte forms agree with the unit forms.
TEST(Utf8, Wtf8KeepsEveryUnitAndUtf8KeepsWellFormedText) {
    std::mt19937 random(7);
    const char16_t pool[] = {u'a', u'\\', 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF, 0};
    for (int round = 0; round < 2000; ++round) {
        // The first long enough to be measured before it is converted.
        std::u16string text(round == 0 ? 100000 : random() % 12, u'\0');
        for (char16_t &unit : text)
            unit = pool[random() % std::size(pool)];
        const std::string wtf8 = textconv::toWtf8(text);
        EXPECT_EQ(textconv::fromWtf8(wtf8), text);
        const std::string utf8 = textconv::toUtf8(text);
        EXPECT_TRUE(textconv::isValidUtf8(utf8));
        EXPECT_EQ(utf8.size(), textconv::utf8Length(text));
        EXPECT_EQ(textconv::isValidUtf8(wtf8), utf8 == wtf8);
        if (utf8 == wtf8) {
            EXPECT_EQ(textconv::toUtf16(utf8), text);
        }
        std::string fromBytes;
        textconv::appendUtf8FromBytes(textconv::toBytes(text), fromBytes, true);
        EXPECT_EQ(fromBytes, wtf8);
        EXPECT_EQ(textconv::utf8LengthOfBytes(textconv::toBytes(text)), utf8.size());
        EXPECT_EQ(textconv::fromBytes(textconv::toBytes(text) + 'x'), text);
    }
}

TEST(CodePages, BytesDecodeAsWineDecodesThemAndEncodeBack) {
    const struct {
        unsigned page;
        unsigned char byte;
        char16_t unit;
    } rows[] = {
        {1252, 0x80, 0x20AC}, {1252, 0xE9, 0xE9},   {1252, 0x81, 0x81},   {1251, 0xE9, 0x439},  {1251, 0x98, 0x98},
        {1250, 0xC0, 0x154},  {1253, 0xAA, 0xF8F9}, {1255, 0xCA, 0x5BA},  {1256, 0x81, 0x67E}, {1257, 0xC0, 0x104},
        {1257, 0xA1, 0xF8FC}, {1258, 0xC3, 0x102},  {1254, 0xD0, 0x11E},  {874, 0xE9, 0xE49},  {874, 0xFF, 0xF8C8},
    };
    for (const auto &row : rows)
        EXPECT_EQ(textconv::decodeCodePage(row.page, std::string(1, static_cast<char>(row.byte))), std::u16string(1, row.unit))
            << row.page << " " << int(row.byte);
    for (unsigned page : {874u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u}) {
        std::string every(256, '\0');
        for (int b = 0; b < 256; ++b)
            every[b] = static_cast<char>(b);
        EXPECT_EQ(textconv::encodeCodePage(page, textconv::decodeCodePage(page, every).value()), every) << page;
    }
    EXPECT_FALSE(textconv::encodeCodePage(1252, u"Ж"));
    EXPECT_FALSE(textconv::encodeCodePage(1251, u"\xD800"));
    EXPECT_FALSE(textconv::decodeCodePage(932, "\x80"));
}

TEST(CodePages, LocalesGiveTheAnsiPageWineGives) {
    const struct {
        const char *locale;
        unsigned page;
    } rows[] = {
        {"C", 1252},           {"POSIX", 1252},     {"C.UTF-8", 1252}, {"en_US.UTF-8", 1252}, {"sr_RS.UTF-8", 1252},
        {"ru_RU.UTF-8", 1251}, {"uk_UA", 1251},     {"ru_RU.KOI8-R", 1251}, {"pl_PL.UTF-8", 1250}, {"el_GR", 1253},
        {"tr_TR", 1254},       {"he_IL", 1255},     {"fa_IR", 1256},   {"lt_LT", 1257},       {"vi_VN", 1258},
        {"th_TH", 874},        {"ja_JP.UTF-8", 932}, {"zh_CN", 936},   {"zh_TW.UTF-8", 950},  {"zh_HK", 950},
        {"ko_KR", 949},        {"hi_IN", 65001},
    };
    for (const auto &row : rows)
        EXPECT_EQ(textconv::ansiCodePageOfLocale(row.locale), row.page) << row.locale;
}

} // namespace
