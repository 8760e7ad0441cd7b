// The runtime's text-to-integer conversion: what it accepts, and the message
// of everything it refuses.
#include "StrToInt.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace {

// The number a text converts to, or the message of its refusal.
std::variant<int, std::string> Converted(const char *text)
{
    try {
        return StrToInt(QString::fromUtf8(text));
    } catch (const EConvertError &failure) {
        return failure.Message();
    }
}

std::string Refused(const char *text)
{
    return "'" + std::string(text) + "' is not a valid integer value";
}

TEST(StrToInt, AcceptsDecimalAndFiveHexadecimalFormsWithinThirtyTwoBits)
{
    const std::pair<const char *, int> accepted[] = {
        {"255", 255}, {"  42", 42}, {"+7", 7}, {"-0", 0}, {"-1", -1}, {"007", 7}, {"  -12", -12}, {"0", 0},
        {"$FF", 255}, {"0x1f", 31}, {"0X1F", 31}, {"x10", 16}, {"X10", 16}, {" $a", 10},
        {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"$FFFFFFFF", -1},
        {"$80000000", -2147483647 - 1},
    };
    for (const auto &[text, value] : accepted)
        EXPECT_EQ(Converted(text), (std::variant<int, std::string>(value))) << text;
}

TEST(StrToInt, RefusesEverythingElseWithTheTextInTheMessage)
{
    for (const char *text : {"2147483648", "-2147483649", "4294967296", "$100000000", "99999999999999999999",
                             "12a", "42 ", "", "   ", "Сто", "+", "-", "$", "x", "0x", "+$FF", "-0x1", "--1",
                             "+-1", "1 2", "\t5", "5\t", "0x1g", "$FFg", "1e3", "١٢"})
        EXPECT_EQ(Converted(text), (std::variant<int, std::string>(Refused(text)))) << text;
}

} // namespace
