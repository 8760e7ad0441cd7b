// add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]
#include "reg.h"

#include <cctype>

#include "textconv.h"

namespace reg {

// A whole number as Wine's reg takes it: hexadecimal when the second
// character is an x, else decimal (a leading 0 too); blanks before it and a
// sign are taken, nothing after it. Beyond `max` a positive number is
// refused and a negative one is -max. A DWORD may not start with '-'. No
// data is 0.
static bool ParseNumber(const std::string &text, unsigned long long max, bool signedStart,
                        unsigned long long &number)
{
    number = 0;
    if (text.empty())
        return true;
    if (!signedStart && text[0] == '-')
        return false;
    const unsigned base = text.size() > 1 && (text[1] | 0x20) == 'x' ? 16 : 10;
    size_t at = text.find_first_not_of(" \t\n\v\f\r");
    if (at == std::string::npos)
        return false;
    const bool negative = text[at] == '-';
    if (text[at] == '-' || text[at] == '+')
        ++at;
    const auto digit = [base](char c) -> int {
        const int value = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : std::isxdigit(static_cast<unsigned char>(c)) ? (c | 0x20) - 'a' + 10
                                                                         : 99;
        return value < static_cast<int>(base) ? value : -1;
    };
    if (base == 16 && at + 2 < text.size() && text[at] == '0' && (text[at + 1] | 0x20) == 'x' &&
        digit(text[at + 2]) >= 0)
        at += 2;
    const size_t first = at;
    bool overflow = false;
    for (; at < text.size() && digit(text[at]) >= 0; ++at) {
        const unsigned value = static_cast<unsigned>(digit(text[at]));
        overflow = overflow || number > (max - value) / base;
        number = overflow ? max : number * base + value;
    }
    if (at == first || at != text.size() || (overflow && !negative))
        return false;
    number = negative ? (0 - number) & max : number;
    return true;
}

// The data of /d as the type stores it, or the message that refuses it.
static std::optional<std::string> EncodeData(DWORD type, const std::string &text, const std::string &separator,
                                             std::string &problem)
{
    switch (type) {
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        const size_t width = type == REG_QWORD ? 8 : 4;
        unsigned long long number = 0;
        if (!ParseNumber(text, width == 8 ? ~0ULL : 0xFFFFFFFFULL, width == 8, number)) {
            problem = "reg: The option [/d] must be followed by a valid numeric value";
            return std::nullopt;
        }
        std::string bytes;
        for (size_t i = 0; i < width; ++i)
            bytes += static_cast<char>((number >> (8 * i)) & 0xFF);
        return bytes;
    }
    case REG_BINARY: {
        if (text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            problem = "reg: The option [/d] must be followed by a valid hexadecimal value";
            return std::nullopt;
        }
        // An odd count of digits takes the first one alone.
        const std::string digits = (text.size() % 2 ? "0" : "") + text;
        std::string bytes;
        for (size_t at = 0; at < digits.size(); at += 2)
            bytes += static_cast<char>(std::stoi(digits.substr(at, 2), nullptr, 16));
        return bytes;
    }
    case REG_MULTI_SZ: {
        std::string data;
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find(separator, start);
            const std::string item = text.substr(start, end - start);
            if (item.empty()) {
                problem = "reg: The option [/d] must be followed by a valid string";
                return std::nullopt;
            }
            data += item;
            data += '\0';
            start = end == std::string::npos ? text.size() : end + separator.size();
        }
        return data + '\0';
    }
    case REG_NONE: // stored as the text in UTF-16, whatever the API's code page
        return textconv::toBytes(textconv::toUtf16(text)) + std::string(2, '\0');
    default:
        return text + '\0';
    }
}

int Add(Console &console, const Arguments &args)
{
    const std::optional<Switches> switches = ParseSwitches(args, 1, {"ve", "f"}, {"v", "t", "s", "d"});
    std::optional<std::string> valueName;
    if (!switches || !ValueChoice(*switches, valueName))
        return console.Fail(SyntaxError("add"));
    const std::optional<std::string> separator = ValueOf(*switches, "s");
    if (separator && separator->size() != 1)
        return console.Fail(SyntaxError("add"));
    const std::optional<KeyName> name = ParseKey(args[1]);
    if (!name)
        return console.Fail(kBadKey);

    const std::string typeName = ValueOf(*switches, "t").value_or("REG_SZ");
    const std::optional<DWORD> type = TypeCode(typeName);
    if (!type)
        return console.Fail("reg: Unsupported registry data type [" + typeName + "]");
    const std::optional<std::string> dataText = ValueOf(*switches, "d");
    const bool numeric = *type == REG_DWORD || *type == REG_DWORD_BIG_ENDIAN || *type == REG_QWORD;
    if (numeric && !dataText)
        return console.Fail("reg: Invalid command line parameters");
    std::string problem;
    const std::optional<std::string> data =
        EncodeData(*type, dataText.value_or(""), separator.value_or("\\0"), problem);
    if (!data)
        return console.Fail(problem);

    HKEY created = nullptr;
    const LSTATUS status = RegCreateKeyExA(name->root, name->path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &created, nullptr);
    if (status != ERROR_SUCCESS)
        return console.Fail(status == ERROR_ACCESS_DENIED ? kDenied : kBadKey);
    const OwnedKey key(created);
    // Without /v or /ve the default value is set, as Wine's reg does.
    const std::string value = valueName.value_or("");
    if (!switches->contains("f") && ValueExists(key.get(), value)) {
        const Answer answer = console.Ask(
            "The registry value '" + Shown(value) + "' already exists. Do you want to overwrite it?", false);
        if (answer != Answer::Yes)
            return console.Refused(answer);
    }
    // One call family for each name: the W functions take a WTF-8 name as it
    // is, so the value found above is the one written. Text goes as UTF-16.
    std::string bytes;
    if (*type == REG_SZ || *type == REG_EXPAND_SZ || *type == REG_MULTI_SZ)
        textconv::appendUtf16Bytes(*data, bytes);
    else
        bytes = *data;
    if (RegSetValueExW(key.get(), Wide(value).c_str(), 0, *type, reinterpret_cast<const BYTE *>(bytes.data()),
                       static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS)
        return console.Fail(kDenied);
    console.Changed(1);
    return Done(console);
}

} // namespace reg
