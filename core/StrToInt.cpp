#include "StrToInt.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace {

std::optional<int> HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return std::nullopt;
}

bool IsDecimalDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// Parses text[pos..] as the hexadecimal digits of a number; none or more
// than eight of them is no number.
std::optional<int> ParseHexDigits(const QString &text, qsizetype pos)
{
    const qsizetype digits = text.size() - pos;
    if (digits < 1 || digits > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (; pos < text.size(); ++pos) {
        const auto digit = HexDigitValue(text[pos]);
        if (!digit)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(*digit);
    }
    return static_cast<int>(value);
}

// Parses text[pos..] as decimal digits with the given sign; the value must
// fit a signed 32-bit integer.
std::optional<int> ParseDecimalDigits(const QString &text, qsizetype pos, bool negative)
{
    if (pos >= text.size())
        return std::nullopt;
    const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<int>::min()}
                                        : std::int64_t{std::numeric_limits<int>::max()};
    std::int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        if (!IsDecimalDigit(text[pos]))
            return std::nullopt;
        magnitude = magnitude * 10 + (text[pos].unicode() - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

std::optional<int> ParseInteger(const QString &text)
{
    qsizetype pos = 0;
    while (pos < text.size() && text[pos] == u' ')
        ++pos;
    if (pos == text.size())
        return std::nullopt;

    const QChar first = text[pos];
    if (first == u'+' || first == u'-')
        return ParseDecimalDigits(text, pos + 1, first == u'-');
    if (first == u'$' || first == u'x' || first == u'X')
        return ParseHexDigits(text, pos + 1);
    if (first == u'0' && pos + 1 < text.size() && (text[pos + 1] == u'x' || text[pos + 1] == u'X'))
        return ParseHexDigits(text, pos + 2);
    return ParseDecimalDigits(text, pos, false);
}

} // namespace

int StrToInt(const QString &text)
{
    if (const auto value = ParseInteger(text))
        return *value;
    throw EConvertError("'" + text.toStdString() + "' is not a valid integer value");
}
