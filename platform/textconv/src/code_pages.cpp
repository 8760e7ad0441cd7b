#include "textconv.h"

#include <array>
#include <cstdlib>

namespace textconv {

namespace {

struct SingleBytePage {
    unsigned number;
    std::array<char16_t, 128> upper; // the characters of the bytes 0x80-0xFF
};

const SingleBytePage kPages[] = {
#include "code_page_tables.inc"
};

const SingleBytePage *findPage(unsigned codePage) {
    for (const SingleBytePage &page : kPages)
        if (page.number == codePage)
            return &page;
    return nullptr;
}

// The languages whose ANSI code page is not 1252, by their ISO 639 code.
struct LanguagePage {
    std::string_view language;
    unsigned codePage;
};

const LanguagePage kLanguagePages[] = {
    {"th", 874},    {"cs", 1250},   {"hu", 1250},   {"pl", 1250},   {"ro", 1250},   {"sk", 1250},
    {"sl", 1250},   {"hr", 1250},   {"sq", 1250},   {"ru", 1251},   {"uk", 1251},   {"be", 1251},
    {"bg", 1251},   {"mk", 1251},   {"ky", 1251},   {"tt", 1251},   {"mn", 1251},   {"el", 1253},
    {"tr", 1254},   {"he", 1255},   {"ar", 1256},   {"fa", 1256},   {"ur", 1256},   {"et", 1257},
    {"lv", 1257},   {"lt", 1257},   {"vi", 1258},   {"ja", 932},    {"ko", 949},    {"hi", 65001},
    {"hy", 65001},  {"ka", 65001},  {"kk", 65001},
};

} // namespace

unsigned ansiCodePageOfLocale(std::string_view locale) {
    const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
    if (language == "zh") {
        // Traditional Chinese where it is written so, simplified elsewhere.
        const std::string_view territory = locale.substr(0, locale.find_first_of(".@")).substr(language.size());
        return territory == "_TW" || territory == "_HK" || territory == "_MO" ? 950 : 936;
    }
    for (const LanguagePage &entry : kLanguagePages)
        if (entry.language == language)
            return entry.codePage;
    return 1252;
}

unsigned ansiCodePage() {
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char *value = std::getenv(name); value && *value)
            return ansiCodePageOfLocale(value);
    return ansiCodePageOfLocale("C");
}

bool isAscii(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::optional<std::u16string> decodeCodePage(unsigned codePage, std::string_view bytes) {
    if (codePage == kUtf8CodePage)
        return toUtf16(bytes);
    const SingleBytePage *page = findPage(codePage);
    if (!page && !isAscii(bytes))
        return std::nullopt;
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = b < 0x80 ? b : page->upper[b - 0x80];
    }
    return out;
}

std::optional<std::string> encodeCodePage(unsigned codePage, std::u16string_view text) {
    if (codePage == kUtf8CodePage)
        return toUtf8(text) == toWtf8(text) ? std::optional(toUtf8(text)) : std::nullopt;
    const SingleBytePage *page = findPage(codePage);
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out[i] = static_cast<char>(c);
            continue;
        }
        if (!page)
            return std::nullopt;
        size_t k = 0;
        while (k < page->upper.size() && page->upper[k] != c)
            ++k;
        if (k == page->upper.size())
            return std::nullopt;
        out[i] = static_cast<char>(0x80 + k);
    }
    return out;
}

} // namespace textconv
