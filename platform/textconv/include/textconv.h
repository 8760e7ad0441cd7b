// Text conversion for the whole project: UTF-8, UTF-16 and the Windows
// single-byte code pages. Standard C++ only, so the Windows build compiles it
// too.
//
// Two 8-bit forms of UTF-16 appear here. Plain UTF-8 is what the world reads;
// an unpaired surrogate has no place in it and becomes U+FFFD. WTF-8 is UTF-8
// that also carries unpaired surrogates, each as the three bytes its value
// would take: the registry holds such text, and a tool that moves it from a
// hive to a file and back keeps it exactly by holding it as WTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace textconv {

inline constexpr char16_t kReplacement = 0xFFFD;

// UTF-8 (or WTF-8) to UTF-16, appended to out. Bytes that are not well-formed
// become U+FFFD as Windows (and Wine) decode them: a lead byte with the
// continuation bytes that fit it, up to the first that does not, gives one
// U+FFFD; so does each byte that cannot start a character. With
// keepSurrogates, the three-byte form of a surrogate is that surrogate (WTF-8);
// without, it is ill-formed like any other.
void appendUtf16(std::string_view utf8, std::u16string &out, bool keepSurrogates = false);
std::u16string toUtf16(std::string_view utf8);
std::u16string fromWtf8(std::string_view wtf8);

// UTF-16 to UTF-8, appended to out: an unpaired surrogate becomes U+FFFD, or
// with keepSurrogates its own three bytes (WTF-8).
void appendUtf8(std::u16string_view text, std::string &out, bool keepSurrogates = false);
std::string toUtf8(std::u16string_view text);
std::string toWtf8(std::u16string_view text);
// The length toUtf8 would give.
size_t utf8Length(std::u16string_view text);

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);

// The same conversions with UTF-16 held as little-endian bytes, as the
// registry stores text (an odd last byte is left out).
void appendUtf16Bytes(std::string_view utf8, std::string &out, bool keepSurrogates = false);
void appendUtf8FromBytes(std::string_view utf16, std::string &out, bool keepSurrogates = false);
size_t utf8LengthOfBytes(std::string_view utf16);

// UTF-16 code units and their little-endian bytes (an odd last byte is left out).
std::string toBytes(std::u16string_view text);
void appendBytes(std::u16string_view text, std::string &out);
std::u16string fromBytes(std::string_view bytes);

// The Windows ANSI code page of a POSIX locale name ("ru_RU.UTF-8", "C"), as
// Wine gives it: 1252 for C, POSIX and the Western languages; 1250-1258 and
// 874 for the languages that use them; 932, 936, 949 and 950 for Japanese,
// Chinese and Korean; 65001 (UTF-8) for languages without an ANSI page.
unsigned ansiCodePageOfLocale(std::string_view locale);
// The same for the locale the environment names: LC_ALL, else LC_CTYPE, else
// LANG, else C.
unsigned ansiCodePage();

inline constexpr unsigned kUtf8CodePage = 65001;

// Whether every byte is ASCII.
bool isAscii(std::string_view bytes);

// Bytes of an ANSI code page to UTF-16: a single-byte page (874, 1250-1258) by
// its table, each byte one unit; 65001 as UTF-8. A page that takes two bytes
// for some characters is read only where the bytes are ASCII; otherwise, and
// for a page not known, nothing.
std::optional<std::u16string> decodeCodePage(unsigned codePage, std::string_view bytes);
// UTF-16 to an ANSI code page; nothing when a character has no bytes there.
std::optional<std::string> encodeCodePage(unsigned codePage, std::u16string_view text);

} // namespace textconv
