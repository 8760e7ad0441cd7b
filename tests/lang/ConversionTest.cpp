// The settings dialog's text-to-integer conversion and the level taken from it.
#include "ErrorReporting.h"
#include "Unit4.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ConversionFailure(const QString &text)
{
    try {
        StrToInt(text);
    } catch (const EConvertError &failure) {
        return failure.Message();
    }
    return "(accepted)";
}

std::string LevelFailure(const QString &text)
{
    try {
        TransparencyLevelFromText(text);
    } catch (const EConvertError &failure) {
        return failure.Message();
    }
    return "(accepted)";
}

TEST(Conversion, AcceptsDecimalWithLeadingBlanksAndSign)
{
    EXPECT_EQ(StrToInt("255"), 255);
    EXPECT_EQ(StrToInt("  42"), 42);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("-0"), 0);
    EXPECT_EQ(StrToInt("-1"), -1);
    EXPECT_EQ(StrToInt("007"), 7);
    EXPECT_EQ(StrToInt("  -12"), -12);
}

TEST(Conversion, AcceptsTheFiveHexadecimalForms)
{
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x1f"), 31);
    EXPECT_EQ(StrToInt("0X1F"), 31);
    EXPECT_EQ(StrToInt("x10"), 16);
    EXPECT_EQ(StrToInt("X10"), 16);
    EXPECT_EQ(StrToInt(" $a"), 10);
    EXPECT_EQ(StrToInt("0"), 0);
}

TEST(Conversion, KeepsToThirtyTwoBits)
{
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("$80000000"), -2147483647 - 1);
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_THROW(StrToInt("-2147483649"), EConvertError);
    EXPECT_THROW(StrToInt("4294967296"), EConvertError);
    EXPECT_THROW(StrToInt("$100000000"), EConvertError);
    EXPECT_THROW(StrToInt("99999999999999999999"), EConvertError);
}

TEST(Conversion, RefusesEverythingElseWithTheTextInTheMessage)
{
    EXPECT_EQ(ConversionFailure("12a"), "'12a' is not a valid integer value");
    EXPECT_EQ(ConversionFailure("42 "), "'42 ' is not a valid integer value");
    EXPECT_EQ(ConversionFailure(""), "'' is not a valid integer value");
    EXPECT_EQ(ConversionFailure("4294967296"), "'4294967296' is not a valid integer value");
    EXPECT_EQ(ConversionFailure("   "), "'   ' is not a valid integer value");
    EXPECT_EQ(ConversionFailure("Сто"), "'Сто' is not a valid integer value");
    for (const char *text : {"+", "-", "$", "x", "0x", "+$FF", "-0x1", "--1", "+-1", "1 2", "\t5",
                             "5\t", "0x1g", "$FFg", "1e3", "١٢"}) {
        EXPECT_THROW(StrToInt(QString::fromUtf8(text)), EConvertError) << text;
    }
}

// Cutting an out-of-range number to its low eight bits would turn 256 into
// level 0, an invisible main window; such a number is refused instead.
TEST(Conversion, LevelIsRefusedOutsideZeroTo255)
{
    EXPECT_EQ(TransparencyLevelFromText("255"), 255);
    EXPECT_EQ(TransparencyLevelFromText("$FF"), 255);
    EXPECT_EQ(TransparencyLevelFromText("0"), 0);
    EXPECT_EQ(TransparencyLevelFromText("-0"), 0);
    EXPECT_EQ(TransparencyLevelFromText("  42"), 42);
    EXPECT_EQ(LevelFailure("256"), "'256' is not between 0 and 255");
    EXPECT_EQ(LevelFailure("-1"), "'-1' is not between 0 and 255");
    EXPECT_EQ(LevelFailure("$FFFFFFFF"), "'$FFFFFFFF' is not between 0 and 255");
    EXPECT_EQ(LevelFailure("12a"), "'12a' is not a valid integer value");
}

TEST(Conversion, ErrorBoxShowsTheMessagesWithAPeriod)
{
    EXPECT_EQ(ErrorBoxText(LevelFailure("12a")), QStringLiteral("'12a' is not a valid integer value."));
    EXPECT_EQ(ErrorBoxText(LevelFailure("256")), QStringLiteral("'256' is not between 0 and 255."));
}

} // namespace
