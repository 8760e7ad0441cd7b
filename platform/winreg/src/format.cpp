#include "format.h"

#include "text.h"
#include "textconv.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <chrono>
#include <cstring>
#include <exception>
#include <pthread.h>
#include <sched.h>
#include <stdexcept>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace winreg {

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

constexpr auto kHexValue = [] {
    std::array<int8_t, 256> table{};
    table.fill(-1);
    for (int c = 0; c < 10; ++c)
        table[static_cast<size_t>('0' + c)] = static_cast<int8_t>(c);
    for (int c = 0; c < 6; ++c) {
        table[static_cast<size_t>('a' + c)] = static_cast<int8_t>(10 + c);
        table[static_cast<size_t>('A' + c)] = static_cast<int8_t>(10 + c);
    }
    return table;
}();

int hexDigit(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

// Bit i tells whether text[i] is a hex digit, and (in commas) a comma.
unsigned hexDigitMask(const char *text, unsigned *commas = nullptr) {
#if defined(__SSE2__)
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
    const __m128i lower = _mm_or_si128(chunk, _mm_set1_epi8(0x20));
    const __m128i digit =
        _mm_and_si128(_mm_cmpgt_epi8(chunk, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(chunk, _mm_set1_epi8('9' + 1)));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    if (commas)
        *commas = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(','))));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(digit, letter)));
#else
    unsigned hex = 0, comma = 0;
    for (unsigned i = 0; i < 16; ++i) {
        hex |= unsigned{hexDigit(text[i]) >= 0} << i;
        comma |= unsigned{text[i] == ','} << i;
    }
    if (commas)
        *commas = comma;
    return hex;
#endif
}

// The number written by the first digits hex digits at text, all of which
// are hex digits (1 to 16 of them; 16 bytes are read). The digits' values
// are found for a word of eight at a time and packed pairwise.
uint64_t hexValueAt(const char *text, size_t digits) {
    const auto nibbles = [](uint64_t x) {
        return (x & 0x0F0F0F0F0F0F0F0FULL) + ((x >> 6) & 0x0101010101010101ULL) * 9; // 'a'/'A' have bit 6
    };
    const auto pack = [](uint64_t n) { // eight nibbles, the first digit in the lowest byte
        n = __builtin_bswap64(n);
        n = ((n >> 4) & 0x00F000F000F000F0ULL) | (n & 0x000F000F000F000FULL);
        n = ((n >> 8) & 0x0000FF000000FF00ULL) | (n & 0x000000FF000000FFULL);
        return ((n >> 16) & 0x00000000FFFF0000ULL) | (n & 0x000000000000FFFFULL);
    };
    uint64_t first, second;
    std::memcpy(&first, text, 8);
    std::memcpy(&second, text + 8, 8);
    const uint64_t all = pack(nibbles(first)) << 32 | pack(nibbles(second));
    return all >> (4 * (16 - digits)); // what follows the digits falls off the end
}

// Whether the 15 bytes at text are "hh,hh,hh,hh,hh," (16 are read).
bool fiveHexBytesAt(const char *text) {
    unsigned commas;
    const unsigned hex = hexDigitMask(text, &commas);
    constexpr unsigned kCommas = 0b100100100100100;
    constexpr unsigned kDigits = 0b011011011011011;
    return (commas & 0x7FFF) == kCommas && (hex & 0x7FFF) == kDigits;
}

// The length of the longest common start of a and b, compared sixteen or
// eight bytes at a time.
size_t commonPrefixLength(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a.data() + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b.data() + i));
        const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
        if (same != 0xFFFF)
            return i + static_cast<size_t>(std::countr_one(same));
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8) {
            uint64_t x, y;
            std::memcpy(&x, a.data() + i, 8);
            std::memcpy(&y, b.data() + i, 8);
            if (x != y)
                return i + static_cast<size_t>(std::countr_zero(x ^ y)) / 8;
        }
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// commonPrefixLength(before, rest) where before lies ahead of rest in the
// same text, which goes on for at least as long as rest: as most paths share
// fewer than 128 bytes with the path before them, those are compared at once.
size_t commonPrefixLengthAhead(std::string_view before, std::string_view rest) {
#if defined(__SSE2__)
    constexpr size_t kAtOnce = 128;
    if (!before.empty() && rest.size() >= kAtOnce) {
        // Both may be read for kAtOnce bytes: before starts ahead of rest.
        uint64_t same[2] = {0, 0};
        for (size_t chunk = 0; chunk < kAtOnce / 16; ++chunk) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(before.data() + 16 * chunk));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rest.data() + 16 * chunk));
            same[chunk / 4] |= uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)))}
                               << (16 * (chunk % 4));
        }
        const auto first = static_cast<size_t>(std::countr_one(same[0]));
        const size_t length = first < 64 ? first : 64 + static_cast<size_t>(std::countr_one(same[1]));
        if (length < kAtOnce || before.size() <= kAtOnce)
            return std::min(length, before.size());
        return kAtOnce + commonPrefixLength(before.substr(kAtOnce), rest.substr(kAtOnce));
    }
#endif
    return commonPrefixLength(before, rest);
}

bool isBlank(char c) {
    constexpr uint64_t kBlanks = uint64_t{1} << ' ' | uint64_t{1} << '\t' | uint64_t{1} << '\r';
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' && (kBlanks >> u & 1) != 0;
}

#if defined(__SSE2__)
// What each of the 16 bytes at text is: the closing character close, a
// backslash, or not plain text: a control character other than a tab, or a
// byte of 0x80 and above (both found by a signed compare with a blank).
struct Bytes16 {
    __m128i closing;
    __m128i backslashes;
    __m128i notPlain;
};

Bytes16 classify16(const char *text, char close) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
    return {_mm_cmpeq_epi8(bytes, _mm_set1_epi8(close)), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')),
            _mm_andnot_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')), _mm_cmplt_epi8(bytes, _mm_set1_epi8(' ')))};
}

// Where plain text stops among the 16 bytes at text, one bit a byte: at
// close, a backslash, or what is not plain text.
uint64_t plainStops16(const char *text, char close) {
    const Bytes16 found = classify16(text, close);
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(found.closing, found.backslashes), found.notPlain)));
}

// The same three for the 64 bytes at text, one bit a byte.
struct Bytes64 {
    uint64_t closing = 0;
    uint64_t backslashes = 0;
    uint64_t notPlain = 0;
};

Bytes64 classify64(const char *text, char close) {
    Bytes64 found;
    for (int chunk = 0; chunk < 4; ++chunk) {
        const Bytes16 part = classify16(text + 16 * chunk, close);
        const auto mask = [chunk](__m128i hits) {
            return uint64_t{static_cast<unsigned>(_mm_movemask_epi8(hits))} << (16 * chunk);
        };
        found.closing |= mask(part.closing);
        found.backslashes |= mask(part.backslashes);
        found.notPlain |= mask(part.notPlain);
    }
    return found;
}
#endif

// Fewer bytes than the blocks of any real hive take on average, so that the
// key index is seldom moved as it grows; room never used costs no memory.
constexpr size_t kTypicalBlockBytes = 64;

// From this size on a text is checked in pieces of about kPieceBytes by two
// threads at once.
constexpr size_t kPiecesFromBytes = size_t{1} << 20;
constexpr size_t kPieceBytes = size_t{128} << 10;

// Characters that stand for themselves inside quoted text.
constexpr auto kPlain = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c)
        table[static_cast<size_t>(c)] = c != '\\';
    table['\t'] = true;
    return table;
}();

// A cursor over the file text. Every parse function either consumes what it
// understood and returns true, or returns false with the cursor somewhere in
// the offending line. When out is null the text is only checked.
class Parser {
public:
    explicit Parser(std::string_view text) : s_(text.data()), n_(text.size()) {}

    size_t pos() const { return pos_; }
    void setPos(size_t p) { pos_ = p; }
    bool atEnd() const { return pos_ >= n_; }
    char peek() const { return pos_ < n_ ? s_[pos_] : '\0'; }
    bool atEol() const { return pos_ >= n_ || s_[pos_] == '\n'; }

    void skipBlanks() {
        while (pos_ < n_ && isBlank(s_[pos_])) [[unlikely]]
            ++pos_;
    }
    void skipLine() {
        const void *nl = pos_ < n_ ? std::memchr(s_ + pos_, '\n', n_ - pos_) : nullptr;
        pos_ = nl ? static_cast<size_t>(static_cast<const char *>(nl) - s_) + 1 : n_;
    }
    // Blanks up to the end of the line, which is consumed.
    bool endLine() {
        skipBlanks();
        if (pos_ < n_ && s_[pos_] != '\n')
            return false;
        if (pos_ < n_)
            ++pos_;
        return true;
    }
    bool take(std::string_view word) {
        if (n_ - pos_ < word.size() || std::memcmp(s_ + pos_, word.data(), word.size()) != 0)
            return false;
        pos_ += word.size();
        return true;
    }
    bool takeHex(size_t maxDigits, uint64_t &value) {
        value = 0;
        if (std::endian::native == std::endian::little && maxDigits > 2 && n_ - pos_ > 16) {
            // All digits seen at once, with the byte after the most allowed.
            const size_t digits = static_cast<size_t>(std::countr_one(hexDigitMask(s_ + pos_)));
            if (digits == 0 || digits > maxDigits || (digits == 16 && hexDigit(s_[pos_ + 16]) >= 0))
                return false;
            value = hexValueAt(s_ + pos_, digits);
            pos_ += digits;
            return true;
        }
        const size_t start = pos_;
        const size_t stop = std::min(n_, pos_ + maxDigits);
        int digit;
        while (pos_ < stop && (digit = hexDigit(s_[pos_])) >= 0) {
            value = (value << 4) | static_cast<uint64_t>(digit);
            ++pos_;
        }
        // One digit more than allowed is a number out of range.
        return pos_ > start && !(pos_ < n_ && hexDigit(s_[pos_]) >= 0);
    }
    bool takeDecimal(int64_t &value) {
        constexpr size_t kMaxDigits = 18;
        value = 0;
        const size_t start = pos_;
        const size_t stop = std::min(n_, pos_ + kMaxDigits);
        unsigned digit;
        while (pos_ < stop && (digit = static_cast<unsigned char>(s_[pos_]) - unsigned{'0'}) <= 9) {
            value = value * 10 + digit;
            ++pos_;
        }
        return pos_ > start && !(pos_ < n_ && static_cast<unsigned char>(s_[pos_]) - unsigned{'0'} <= 9);
    }

    // The text of a quoted string or key path, after its opening character,
    // up to and including the closing one.
    bool quoted(char close, std::u16string *out) {
        while (pos_ < n_) {
            const size_t run = plainRun(close);
            if (run > 0) {
                if (out)
                    appendRun(run, *out);
                else
                    pos_ += run;
                continue;
            }
            if (pos_ >= n_)
                break;
            const auto c = static_cast<unsigned char>(s_[pos_]);
            if (c == static_cast<unsigned char>(close)) {
                ++pos_;
                return true;
            }
            if (!special(out))
                return false;
        }
        return false;
    }

    // One character of a key path that is not plain text: an escape or raw
    // UTF-8, decoded into out when given; false when it is not valid.
    bool special(std::u16string *out) {
        const auto c = static_cast<unsigned char>(s_[pos_]);
        if (c == '\\')
            return escape(out);
        if (c >= 0x80)
            return rawUtf8(out);
        return false; // a control character, or the line ended
    }

    // Widens run plain characters into out; plain text is ASCII.
    void appendRun(size_t run, std::u16string &out) {
        const size_t old = out.size();
        out.resize(old + run);
        std::copy(s_ + pos_, s_ + pos_ + run, out.begin() + static_cast<std::ptrdiff_t>(old));
        pos_ += run;
    }

    enum class LevelEnd { Separator, Closing, Invalid };

    // Reads one name of a key path (after its '[' or a separator) up to the
    // separator after it, which is consumed, or its ']', which is not; its
    // text ends at nameEnd. The name is decoded into name when given; plain
    // tells whether it was written as plain text alone. A backslash, however
    // escaped, separates.
    LevelEnd readLevel(std::u16string *name, bool &plain, size_t &nameEnd) {
        plain = true;
        for (;;) {
            nameEnd = pos_;
            if (const size_t run = plainRun(']')) {
                if (name)
                    appendRun(run, *name);
                else
                    pos_ += run;
                continue;
            }
            if (atEnd())
                return LevelEnd::Invalid;
            if (s_[pos_] == ']')
                return LevelEnd::Closing;
            if (s_[pos_] == '\\' && pos_ + 1 < n_ && s_[pos_ + 1] == '\\') {
                pos_ += 2;
                return LevelEnd::Separator;
            }
            unit_.clear();
            if (!special(&unit_))
                return LevelEnd::Invalid;
            if (unit_.back() == u'\\')
                return LevelEnd::Separator;
            plain = false;
            if (name)
                name->append(unit_);
        }
    }

    // The end of a key line as Wine writes it after the path's ']', a blank,
    // one to fifteen decimal digits and the line break, checked at once and
    // consumed; false (the cursor unmoved) for any other end, which is then
    // read step by step.
    bool plainKeyLineEnd() {
#if defined(__SSE2__)
        if (n_ - pos_ < 17 || s_[pos_] != ' ')
            return false;
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s_ + pos_ + 1));
        const __m128i digits =
            _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
        const auto count = static_cast<size_t>(std::countr_one(static_cast<unsigned>(_mm_movemask_epi8(digits))));
        if (count == 0 || count == 16 || s_[pos_ + 1 + count] != '\n')
            return false;
        pos_ += count + 2;
        return true;
#else
        return false;
#endif
    }

    // A "#time=" line of one to fifteen hex digits, as Wine writes them,
    // checked at once and consumed; false (the cursor unmoved) for any other
    // line, which readOption then reads.
    bool plainTimeLine() {
        constexpr std::string_view kTime = "#time=";
        if (n_ - pos_ < kTime.size() + 17 || std::memcmp(s_ + pos_, kTime.data(), kTime.size()) != 0)
            return false;
        const char *digits = s_ + pos_ + kTime.size();
        const auto count = static_cast<size_t>(std::countr_one(hexDigitMask(digits)));
        if (count == 0 || count == 16 || digits[count] != '\n')
            return false;
        pos_ += kTime.size() + count + 1;
        return true;
    }

    // The rest of a key path from the cursor, when it is plain names with a
    // doubled backslash between them as nearly every path is, seen at once: the
    // separators' offsets go into seps (maxSeps at most), and the result is
    // the offset of the path's ']'. 0 for any other rest, which readLevel
    // then reads name by name; the cursor is not moved.
    size_t plainPathEnd(size_t *seps, size_t maxSeps, size_t &sepCount) const {
        sepCount = 0;
#if defined(__SSE2__)
        // 64 bytes at a time, which hold what most paths add to the one before.
        bool inSeparator = false; // the last block ended between its two backslashes
        for (size_t p = pos_; p + 64 <= n_; p += 64) {
            const Bytes64 bytes = classify64(s_ + p, ']');
            const uint64_t closing = bytes.closing;
            // Within the path: the bytes before its ']' (all of them without one).
            const uint64_t within = (closing - 1) & ~closing;
            if (bytes.notPlain & within)
                return 0;
            uint64_t backslashes = bytes.backslashes & within;
            if (inSeparator) {
                if (!(backslashes & 1))
                    return 0;
                backslashes &= ~uint64_t{1};
                inSeparator = false;
            }
            while (backslashes) {
                const auto at = static_cast<unsigned>(std::countr_zero(backslashes));
                if (sepCount == maxSeps)
                    return 0;
                seps[sepCount++] = p + at;
                if (at == 63) { // only where the block holds no ']'
                    inSeparator = true;
                    break;
                }
                // A backslash alone starts an escape.
                if (!(backslashes >> (at + 1) & 1))
                    return 0;
                backslashes &= ~(uint64_t{3} << at);
            }
            if (closing)
                return p + static_cast<size_t>(std::countr_zero(closing));
        }
#else
        (void)seps;
        (void)maxSeps;
#endif
        return 0;
    }

    // A value line whose name is @ or plain quoted text, as nearly all are,
    // found from where the quotes lie among its first 64 bytes. The commonest,
    // "name"="text" or @="text" with plain text alone, is checked at once from
    // where its line break lies too; other data is read from where it starts.
    // False (the cursor unmoved) for any other line, and for one not
    // understood, which valueLine then reads.
    bool plainNameLine() {
#if defined(__SSE2__)
        if (n_ - pos_ < 64)
            return false;
        // Bit i: byte i is a quote, a backslash or not plain text.
        const Bytes64 bytes = classify64(s_ + pos_, '"');
        uint64_t special = bytes.closing | bytes.backslashes | bytes.notPlain;
        // The name: @ or a quoted plain text; then ="; then the text's
        // closing quote and the line break.
        size_t open = 1; // after @
        if (s_[pos_] == '"') {
            special &= special - 1; // the opening quote
            open = static_cast<size_t>(std::countr_zero(special)) + 1;
            if (open >= 62 || s_[pos_ + open - 1] != '"')
                return false;
        }
        if (s_[pos_ + open] != '=')
            return false;
        const size_t dataStart = open + 1;
        if (s_[pos_ + dataStart] == '"') {
            special &= ~uint64_t{0} << (dataStart + 1);
            const auto close = static_cast<size_t>(std::countr_zero(special | uint64_t{1} << 63));
            if (close < 63 && s_[pos_ + close] == '"' && s_[pos_ + close + 1] == '\n') {
                pos_ += close + 2;
                return true;
            }
        }
        const size_t lineStart = pos_;
        pos_ += dataStart;
        if (valueData(nullptr))
            return true;
        pos_ = lineStart;
        return false;
#else
        return false;
#endif
    }

    // The number of plain characters (printable ASCII or tab, neither a
    // backslash nor close) from the cursor on.
    size_t plainRun(char close) const {
        size_t p = pos_;
#if defined(__SSE2__)
        // Sixteen bytes at a time, and after the first sixteen four times
        // that at once while there is room.
        // Most runs end within their first sixteen bytes.
        if (p + 16 <= n_) {
            if (const uint64_t stops = plainStops16(s_ + p, close))
                return static_cast<size_t>(std::countr_zero(stops));
            p += 16;
        }
        for (; p + 64 <= n_; p += 64) {
            const Bytes64 bytes = classify64(s_ + p, close);
            if (const uint64_t stops = bytes.closing | bytes.backslashes | bytes.notPlain)
                return p + static_cast<size_t>(std::countr_zero(stops)) - pos_;
        }
        for (; p + 16 <= n_; p += 16) {
            if (const uint64_t stops = plainStops16(s_ + p, close))
                return p + static_cast<size_t>(std::countr_zero(stops)) - pos_;
        }
#endif
        while (p < n_ && kPlain[static_cast<unsigned char>(s_[p])] && s_[p] != close)
            ++p;
        return p - pos_;
    }

    // One value line (with its continuation lines for hex data).
    bool valueLine(Value *out) {
        if (peek() == '@') {
            ++pos_;
        } else if (peek() == '"') {
            ++pos_;
            if (!quoted('"', out ? &out->name : nullptr))
                return false;
        } else {
            return false;
        }
        skipBlanks();
        if (peek() != '=')
            return false;
        ++pos_;
        skipBlanks();
        return valueData(out);
    }

    bool hexBytes(std::string *out) {
        for (;;) {
            // The common shape first: two digits and a comma, five at a time
            // when only checking.
            if (!out) {
                while (n_ - pos_ >= 16 && fiveHexBytesAt(s_ + pos_))
                    pos_ += 15;
            }
            while (n_ - pos_ >= 3 && s_[pos_ + 2] == ',' && hexDigit(s_[pos_]) >= 0 && hexDigit(s_[pos_ + 1]) >= 0) {
                if (out)
                    out->push_back(static_cast<char>(hexDigit(s_[pos_]) << 4 | hexDigit(s_[pos_ + 1])));
                pos_ += 3;
            }
            skipBlanks();
            if (continuation())
                continue;
            if (atEol())
                return endLine();
            uint64_t byte;
            if (!takeHex(2, byte))
                return false;
            if (out)
                out->push_back(static_cast<char>(byte));
            skipBlanks();
            if (peek() == ',') {
                ++pos_;
            } else if (!atEol() && !(peek() == '\\')) {
                return false;
            }
        }
    }

private:
    // A backslash at the end of a line joins the next line to this one.
    bool continuation() {
        if (peek() != '\\')
            return false;
        size_t p = pos_ + 1;
        while (p < n_ && isBlank(s_[p]))
            ++p;
        // The joined line must be there: a file cut after the backslash is
        // not a value that could be written back whole.
        if (p + 1 >= n_ || s_[p] != '\n')
            return false;
        pos_ = p + 1;
        return true;
    }

    bool valueData(Value *out) {
        std::u16string text;
        std::u16string *textOut = out ? &text : nullptr;
        const char c = peek();
        if (c == '"') {
            ++pos_;
            if (!quoted('"', textOut) || !endLine())
                return false;
            if (out)
                storeString(*out, kRegSz, text);
            return true;
        }
        if (c == 's' && take("str(")) {
            uint64_t type;
            if (!takeHex(8, type) || !take("):\"") || !quoted('"', textOut) || !endLine())
                return false;
            if (out)
                storeString(*out, static_cast<uint32_t>(type), text);
            return true;
        }
        if (c == 'd' && take("dword:")) {
            // Exactly eight digits: fewer is what a file cut short leaves.
            uint64_t number;
            const size_t start = pos_;
            if (!takeHex(kDwordDigits, number) || pos_ - start != kDwordDigits || !endLine())
                return false;
            if (out) {
                out->type = kRegDword;
                out->data.resize(4);
                for (int i = 0; i < 4; ++i)
                    out->data[static_cast<size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xFF);
            }
            return true;
        }
        if (c == 'h' && take("hex")) {
            uint64_t type = kRegBinary;
            if (peek() == '(') {
                ++pos_;
                if (!takeHex(8, type) || !take(")"))
                    return false;
            }
            if (!take(":"))
                return false;
            if (out)
                out->type = static_cast<uint32_t>(type);
            return hexBytes(out ? &out->data : nullptr);
        }
        return false;
    }

    static void storeString(Value &out, uint32_t type, const std::u16string &text) {
        out.type = type;
        out.data = textconv::toBytes(text);
        out.data.append(2, '\0');
    }

    bool escape(std::u16string *out) {
        ++pos_;
        if (pos_ >= n_)
            return false;
        const char c = s_[pos_++];
        char16_t unit;
        switch (c) {
        case '\\': case '"': case '[': case ']': unit = static_cast<char16_t>(c); break;
        case 'a': unit = 7; break;
        case 'b': unit = 8; break;
        case 't': unit = 9; break;
        case 'n': unit = 10; break;
        case 'v': unit = 11; break;
        case 'f': unit = 12; break;
        case 'r': unit = 13; break;
        case 'e': unit = 27; break;
        case 'x': {
            uint64_t v = 0;
            size_t digits = 0;
            while (digits < 4 && pos_ < n_ && hexDigit(s_[pos_]) >= 0) {
                v = (v << 4) | static_cast<uint64_t>(hexDigit(s_[pos_++]));
                ++digits;
            }
            if (digits == 0)
                return false;
            unit = static_cast<char16_t>(v);
            break;
        }
        default:
            if (c < '0' || c > '7')
                return false;
            unit = static_cast<char16_t>(c - '0');
            for (int i = 0; i < 2 && pos_ < n_ && s_[pos_] >= '0' && s_[pos_] <= '7'; ++i)
                unit = static_cast<char16_t>(unit * 8 + (s_[pos_++] - '0'));
            break;
        }
        if (out)
            out->push_back(unit);
        return true;
    }

    bool rawUtf8(std::u16string *out) {
        const auto lead = static_cast<unsigned char>(s_[pos_]);
        const size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (n_ - pos_ < len)
            return false;
        const std::string_view seq(s_ + pos_, len);
        if (!textconv::isValidUtf8(seq))
            return false;
        if (out)
            textconv::appendUtf16(seq, *out);
        pos_ += len;
        return true;
    }

    const char *s_;
    size_t n_;
    size_t pos_ = 0;
    std::u16string unit_; // what one escape stands for
};

// Waits until value is no longer old, and gives what it became. The threads
// that wait here wait for a thread on another processor that is about to be
// done: a sleeping thread takes a tenth of a millisecond to wake, so it
// spins first, and sleeps only when the wait goes on for longer. With one
// processor it would only keep the awaited thread from running.
template <typename T> T awaitChange(const std::atomic<T> &value, T old) {
    static const bool otherProcessors = [] {
        cpu_set_t allowed;
        return sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 1;
    }();
    const auto spinFor = std::chrono::milliseconds(otherProcessors ? 1 : 0);
    const auto until = std::chrono::steady_clock::now() + spinFor;
    for (unsigned spins = 1;; ++spins) {
        const T now = value.load(std::memory_order_acquire);
        if (now != old)
            return now;
#if defined(__SSE2__)
        _mm_pause();
#endif
        if (spins % 64 == 0 && std::chrono::steady_clock::now() > until)
            break;
    }
    T now;
    while ((now = value.load(std::memory_order_acquire)) == old)
        value.wait(old, std::memory_order_acquire);
    return now;
}

// Starts a detached thread running run(argument), put on another processor
// than this one from its start where there is one: left to the scheduler it
// often starts on this one and moves only a millisecond later, when the work
// is done. Placed as it is made, it costs this thread less than moved after.
// False when no thread could be started.
bool startElsewhere(void *(*run)(void *), void *argument) {
    cpu_set_t elsewhere;
    const int here = sched_getcpu();
    const bool placed = here >= 0 && pthread_getaffinity_np(pthread_self(), sizeof elsewhere, &elsewhere) == 0 &&
                        CPU_COUNT(&elsewhere) > 1;
    if (placed)
        CPU_CLR(here, &elsewhere);
    const auto create = [&](bool withPlace) {
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) != 0)
            return false;
        pthread_t thread;
        const bool started = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                             (!withPlace || pthread_attr_setaffinity_np(&attributes, sizeof elsewhere, &elsewhere) == 0) &&
                             pthread_create(&thread, &attributes, run, argument) == 0;
        (void)pthread_attr_destroy(&attributes);
        return started;
    };
    // The place is only a hint: without it the scheduler places the thread.
    return (placed && create(true)) || create(false);
}

// Runs work on a second thread while this one does hereWork, or both here
// when there can be no second thread. This thread waits for the work, not
// for the thread's exit, which takes a tenth of a millisecond more.
template <typename Work, typename HereWork> void runOnTwoProcessors(Work &work, HereWork &&hereWork) {
    // What both threads share lives here, and the second thread frees
    // nothing: its first allocation or free would cost it a heap of its own.
    struct Shared {
        enum : int { kWorking, kDone, kLeft };
        Work &work;
        std::atomic<int> state{kWorking}; // an int, which the system waits on itself
        std::exception_ptr failure{};
        static void *run(void *argument) {
            Shared &shared = *static_cast<Shared *>(argument);
            try {
                shared.work();
            } catch (...) {
                shared.failure = std::current_exception();
            }
            shared.state.store(kDone, std::memory_order_release);
            shared.state.notify_one();
            // Nothing is touched after this: the other thread may leave.
            shared.state.store(kLeft, std::memory_order_release);
            return nullptr;
        }
    };
    Shared shared{work};
    if (!startElsewhere(&Shared::run, &shared)) {
        Shared::run(&shared);
        if (shared.failure)
            std::rethrow_exception(shared.failure);
        hereWork();
        return;
    }
    struct AwaitWork {
        Shared &shared;
        ~AwaitWork() {
            if (awaitChange(shared.state, int{Shared::kWorking}) == Shared::kDone) {
                // One store away, and never slept on: nothing would wake a sleeper.
                while (shared.state.load(std::memory_order_acquire) != Shared::kLeft)
                    (void)sched_yield();
            }
        }
    };
    {
        AwaitWork await{shared};
        hereWork();
    }
    if (shared.failure)
        std::rethrow_exception(shared.failure);
}

// Compares two names of key paths as compareNames does their decoded forms.
// The first spelledAlike bytes of both are known to be the same.
int compareLevels(std::string_view a, bool aPlain, std::string_view b, bool bPlain, size_t spelledAlike = 0) {
    if (aPlain && bPlain) {
        const size_t n = std::min(a.size(), b.size());
        // foldCase of ASCII, which plain text is; what is spelled alike is
        // alike folded too.
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        for (size_t i = std::min(spelledAlike, n); i < n; ++i) {
            const int x = fold(a[i]);
            const int y = fold(b[i]);
            if (x != y)
                return x < y ? -1 : 1;
        }
        return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
    }
    std::u16string decoded[2];
    const std::string_view raw[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        Parser p(raw[i]);
        bool plain;
        size_t end;
        p.readLevel(&decoded[i], plain, end); // a lone name: read to its end
    }
    return compareNames(decoded[0], decoded[1]);
}

// One "#" line of a key's block, which is consumed when understood.
bool readOption(Parser &p, Key &key) {
    uint64_t number;
    if (p.take("#time=")) {
        if (!p.takeHex(16, number) || !p.endLine())
            return false;
        key.fileTime = number;
        key.hasFileTime = true;
        return true;
    }
    if (p.take("#class=\"")) {
        auto keyClass = std::make_unique<std::u16string>();
        if (!p.quoted('"', keyClass.get()) || !p.endLine())
            return false;
        key.keyClass = std::move(keyClass);
        return true;
    }
    if (p.take("#link")) {
        if (!p.endLine())
            return false;
        key.isLink = true;
        return true;
    }
    return false;
}

// The name at position level (0 for the first) of the key path p is in
// (after its '['), which p is left after; false when the path has fewer.
bool decodePathName(Parser &p, size_t level, std::u16string &name) {
    for (size_t seen = 0;;) {
        const size_t start = p.pos();
        name.clear();
        bool plain;
        size_t end;
        const Parser::LevelEnd ending = p.readLevel(seen == level ? &name : nullptr, plain, end);
        if (ending == Parser::LevelEnd::Invalid)
            return false;
        if (end > start && seen++ == level)
            return true;
        if (ending == Parser::LevelEnd::Closing)
            return false;
    }
}

// What a listed key's block says of the key itself, read from where p is in
// its path: the time on its key line and its options, which in a listed
// block come right after it.
void readKeyHead(Parser &p, Key &key) {
    for (;;) {
        bool plain;
        size_t end;
        if (p.readLevel(nullptr, plain, end) != Parser::LevelEnd::Separator)
            break;
    }
    p.setPos(p.pos() + 1); // the ']'
    p.skipBlanks();
    int64_t unixTime = 0;
    key.hasUnixTime = !p.atEol() && p.takeDecimal(unixTime);
    key.unixTime = unixTime;
    p.skipLine();
    while (p.peek() == '#' && readOption(p, key)) {
    }
}

size_t lineNumberAt(std::string_view text, size_t pos) {
    return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(pos, text.size())), '\n'));
}

// A text read into memory range by range, each range by the first thread
// that needs it; the others wait until it is there.
class TextRanges {
public:
    TextRanges(char *buffer, size_t size, const ReadRange &readRange)
        : buffer_(buffer), size_(size), count_((size + kPieceBytes - 1) / kPieceBytes), read_(readRange),
          states_(new std::atomic<uint8_t>[count_]) {
        for (size_t k = 0; k < count_; ++k)
            states_[k].store(kNobody, std::memory_order_relaxed);
    }
    size_t count() const { return count_; }

    // Whether range k is in place, read here if no one has started it.
    bool ensure(size_t k) {
        std::atomic<uint8_t> &state = states_[k];
        uint8_t seen = kNobody;
        if (state.compare_exchange_strong(seen, kReading, std::memory_order_acq_rel)) {
            const size_t offset = k * kPieceBytes;
            bool ok = false;
            try {
                ok = read_(offset, buffer_ + offset, std::min(kPieceBytes, size_ - offset));
            } catch (...) {
                settle(state, kFailed);
                throw;
            }
            settle(state, ok ? kInPlace : kFailed);
            return ok;
        }
        if (seen == kReading)
            seen = awaitChange(state, uint8_t{kReading});
        return seen == kInPlace;
    }

private:
    enum : uint8_t { kNobody, kReading, kInPlace, kFailed };
    static void settle(std::atomic<uint8_t> &state, uint8_t outcome) {
        state.store(outcome, std::memory_order_release);
        state.notify_all();
    }

    char *buffer_;
    size_t size_;
    size_t count_;
    const ReadRange &read_;
    std::unique_ptr<std::atomic<uint8_t>[]> states_;
};

class Loader {
public:
    // With an index, keys below root are only listed in it; the read gives
    // up (abandoned()) at the first line it could not list that way.
    // With ranges, the text is still to be read into place.
    Loader(std::string_view text, Key &root, KeyIndex *index = nullptr, TextRanges *ranges = nullptr)
        : text_(text), p_(text), root_(root), index_(index), ranges_(ranges) {}
    bool abandoned() const { return abandoned_; }
    LoadResult takeResult() { return std::move(result_); }

    LoadResult run() {
        if (!readHead())
            return std::move(result_);
        if (index_) {
            listAllKeys();
            abandoned_ = abandoned_ || !result_.ok;
        } else {
            while (!p_.atEnd())
                readKey();
        }
        return std::move(result_);
    }

private:
    // The signature, the header and the last line break; false when the
    // text is no hive at all.
    bool readHead() {
        if (!signatureOk()) {
            result_.ok = false;
            result_.error = "line 1: not a Wine registry file (no \"WINE REGISTRY Version 2\")";
            return false;
        }
        if (!text_.ends_with('\n')) {
            problem("the file does not end with a line break (it may have been cut short)", text_.size());
            return false;
        }
        readHeader();
        return true;
    }

    bool signatureOk() {
        if (!p_.take(kSignature))
            return false;
        return p_.endLine();
    }

    void problem(const char *what, size_t at) {
        if (result_.ok) {
            result_.ok = false;
            // A listing gives up at a problem and the text is read again
            // whole, which tells where it lies; the text before a piece may
            // not be there yet.
            if (!index_)
                result_.error = "line " + std::to_string(lineNumberAt(text_, at)) + ": " + what;
        }
    }

    void readHeader() {
        while (!p_.atEnd() && p_.peek() != '[') {
            const char c = p_.peek();
            if (c != ';' && c != '#' && c != '\n') {
                p_.skipBlanks();
                if (!p_.atEol())
                    problem("unexpected text before the first key", p_.pos());
            }
            p_.skipLine();
        }
        std::string_view header = text_.substr(0, p_.pos());
        if (!p_.atEnd() && header.size() >= 2 && header.ends_with("\n\n"))
            header.remove_suffix(1);
        result_.header = std::string(header);
    }

    // A large text is read in pieces, split at key lines, which this thread
    // and one more take in turn as each is free; the pieces' lists are then
    // joined.
    void listAllKeys() {
        if (text_.size() < kPiecesFromBytes) {
            listKeys(text_.size());
            return;
        }
        std::vector<Piece> pieces = listPieces();
        if (!joinAll(pieces, p_.pos()))
            abandoned_ = true;
    }

public:
    // The text is read meanwhile, range by range, by the threads that list
    // its pieces; it is checked as a whole once it is all there. False when
    // a range could not be read.
    bool listAsRead() {
        std::vector<Piece> pieces = listPieces();
        for (size_t k = 0; k < ranges_->count(); ++k) {
            if (!ranges_->ensure(k))
                return false;
        }
        if (readHead() && !joinAll(pieces, p_.pos()))
            abandoned_ = true;
        return true;
    }

private:
    struct Piece {
        KeyIndex index;
        size_t start = 0; // of its first key line
        bool listed = false;
    };

    // The pieces of the text, each listed by this thread or a second one.
    std::vector<Piece> listPieces() {
        std::vector<Piece> pieces((text_.size() + kPieceBytes - 1) / kPieceBytes);
        shareRoom(pieces);
        std::atomic<size_t> next{0};
        // A lister for each thread, made here: a thread's first allocation
        // costs it a heap of its own, and listing allocates nothing more.
        Loader listers[2] = {Loader(text_, root_), Loader(text_, root_)};
        const auto listEachWith = [&](Loader &lister) {
            return [&] {
                for (size_t i; (i = next.fetch_add(1)) < pieces.size();)
                    listPiece(i, pieces[i], lister);
            };
        };
        auto helperWork = listEachWith(listers[1]);
        runOnTwoProcessors(helperWork, listEachWith(listers[0]));
        return pieces;
    }

    // Makes this lister list from the key line at from in text into index.
    void startPiece(std::string_view text, KeyIndex &index, size_t from) {
        text_ = text;
        p_ = Parser(text);
        p_.setPos(from);
        index_ = &index;
        result_.ok = true;
        abandoned_ = false;
        forgetPreviousPath();
    }

    // Piece i holds the key lines whose line break before them lies in
    // range i: [i, i + 1) * kPieceBytes (the first piece's after the header).
    void listPiece(size_t i, Piece &piece, Loader &lister) {
        if (!inPlace(i))
            return;
        piece.start = keyLineFrom(i * kPieceBytes);
        const size_t end = keyLineFrom((i + 1) * kPieceBytes);
        if (piece.start == kNotRead || end == kNotRead)
            return;
        if (piece.start == end) {
            piece.listed = true;
            return;
        }
        // What reading a line looks ahead at lies beyond the piece's end but
        // within the range that holds its end.
        lister.startPiece(text_.substr(0, std::min(text_.size(), (end / kPieceBytes + 1) * kPieceBytes)), piece.index,
                          piece.start);
        lister.listKeys(end);
        piece.listed = !lister.abandoned_ && lister.result_.ok && lister.p_.pos() == end;
    }

    // The first key line after a line break at or after from, or the text's
    // end when there is none; kNotRead when the text there could not be read.
    static constexpr size_t kNotRead = SIZE_MAX;
    size_t keyLineFrom(size_t from) const {
        for (size_t range = from / kPieceBytes;; ++range) {
            const size_t rangeEnd = std::min(text_.size(), (range + 1) * kPieceBytes);
            if (from >= rangeEnd)
                return text_.size();
            if (!inPlace(range))
                return kNotRead;
            const size_t at = text_.substr(0, rangeEnd).find("\n[", from);
            if (at != std::string_view::npos)
                return at + 1;
            if (rangeEnd == text_.size())
                return text_.size();
            // A line break as the range's last byte: its '[' would be the next range's first.
            if (!inPlace(range + 1))
                return kNotRead;
            if (rangeEnd - 1 >= from && text_[rangeEnd - 1] == '\n' && text_[rangeEnd] == '[')
                return rangeEnd;
            from = rangeEnd;
        }
    }

    bool inPlace(size_t range) const { return !ranges_ || ranges_->ensure(range); }

    // The index's room, where it has one, is shared out among the pieces:
    // each lists its lines into its own share (the heap takes what does not
    // fit), and the shares are then moved together where they lie.
    void shareRoom(std::vector<Piece> &pieces) {
        const std::shared_ptr<KeyLineRoom> room = index_->lines.get_allocator().room();
        if (!room || room->taken || room->capacity < pieces.size())
            return;
        const size_t share = room->capacity / pieces.size();
        for (size_t i = 0; i < pieces.size(); ++i) {
            auto part = std::make_shared<KeyLineRoom>();
            part->owner = room->owner;
            part->start = room->start + i * share;
            part->capacity = share;
            pieces[i].index.lines = decltype(KeyIndex::lines)(KeyLineAllocator<KeyLine>(std::move(part)));
        }
    }

    // Moves the pieces' lines together at the start of the index's room when
    // all of them lie in their shares of it; false (nothing moved) otherwise.
    bool gatherInRoom(std::vector<Piece> &pieces, size_t lines) {
        const std::shared_ptr<KeyLineRoom> room = index_->lines.get_allocator().room();
        if (!room || room->taken || lines > room->capacity || !index_->lines.empty())
            return false;
        for (const Piece &piece : pieces) {
            const std::shared_ptr<KeyLineRoom> part = piece.index.lines.get_allocator().room();
            if (!piece.index.lines.empty() && (!part || piece.index.lines.data() != part->start))
                return false;
        }
        // Each share starts at or after where its lines go, and ends before
        // the next share's lines would be overwritten.
        KeyLine *to = room->start;
        for (const Piece &piece : pieces) {
            if (piece.index.lines.empty())
                continue; // a piece without a key line has no lines, nor room, to move
            std::memmove(static_cast<void *>(to), piece.index.lines.data(), piece.index.lines.size() * sizeof(KeyLine));
            to += piece.index.lines.size();
        }
        index_->lines.reserve(lines); // the room, whose start now holds the lines
        index_->lines.resize(lines);  // which the room's allocator leaves as they are
        return true;
    }

    // Joins the pieces' lists into the index, the first piece starting at
    // firstKey; false when they do not join up.
    bool joinAll(std::vector<Piece> &pieces, size_t firstKey) {
        if (pieces.empty() || pieces.front().start != firstKey)
            return false;
        KeyIndex *before = nullptr;
        size_t lines = 0;
        for (Piece &piece : pieces) {
            if (!piece.listed)
                return false;
            if (piece.index.lines.empty())
                continue;
            if (before && !joinPieces(*before, piece.index))
                return false;
            before = &piece.index;
            lines += piece.index.lines.size();
        }
        if (gatherInRoom(pieces, lines))
            return true;
        // The room may still hold the pieces' lines: the index goes to the heap.
        index_->lines = decltype(KeyIndex::lines)();
        index_->lines.reserve(lines);
        for (const Piece &piece : pieces)
            index_->lines.insert(index_->lines.end(), piece.index.lines.begin(), piece.index.lines.end());
        return true;
    }

    // The first path of a piece, read again after the last of the piece
    // before it: how much it shares with it, and that it comes after it.
    bool joinPieces(const KeyIndex &before, KeyIndex &after) {
        Loader joiner(text_, root_, index_);
        KeyLine last, first;
        joiner.p_.setPos(before.lines.back().offset + 1);
        if (!joiner.listPath(last))
            return false;
        joiner.p_.setPos(after.lines.front().offset + 1);
        if (!joiner.listPath(first))
            return false;
        after.lines.front().sharedLevels = first.sharedLevels;
        return true;
    }

    // Lists the keys whose lines start before the offset to.
    void listKeys(size_t to) {
        const std::shared_ptr<KeyLineRoom> room = index_->lines.get_allocator().room();
        index_->lines.reserve(room ? room->capacity : (to - p_.pos()) / kTypicalBlockBytes);
        while (p_.pos() < to && !abandoned_)
            listKey();
    }

    // One key's block, checked as readKey does and listed in the index.
    void listKey() {
        const size_t start = p_.pos();
        p_.setPos(start + 1);
        // Filled where it lies: a line built aside and copied in stalls on
        // reading back what was just stored.
        KeyLine &line = index_->lines.emplace_back();
        if (!listPath(line)) {
            abandoned_ = true;
            return;
        }
        if (!p_.plainKeyLineEnd()) {
            p_.skipBlanks();
            int64_t ignored;
            p_.takeDecimal(ignored);
            if (!p_.endLine()) {
                abandoned_ = true;
                return;
            }
        }
        scratch_.keyClass.reset();
        line.valueCount = readBlockBody(scratch_);
        size_t end = p_.pos();
        if (!p_.atEnd() && end > start && text_[end - 1] == '\n')
            --end;
        if (end - start > UINT32_MAX || start > UINT32_MAX) {
            abandoned_ = true;
            return;
        }
        line.offset = static_cast<uint32_t>(start);
        line.blockLength = static_cast<uint32_t>(std::max<size_t>(end - start, 1));
    }

    // Reads a key line's path (after its '[' and up to its ']') into line.
    // Names spelled as in the previous path are not read again. False when
    // the path is not understood, or does not come after the previous one
    // in tree order, as Wine writes them.
    bool listPath(KeyLine &line) {
        const size_t rawStart = p_.pos();
        const size_t previousLevels = levelCount_;
        const std::string_view rest = text_.substr(rawStart);
        const size_t common = commonPrefixLengthAhead(previousRaw_, rest);
        const size_t shared = namesSpelledAsBefore(rest, common);
        p_.setPos(shared == 0 ? rawStart : rawStart + levels_[shared - 1].end);
        const NewLevels added{rawStart, shared, previousLevels, common};
        size_t levels = shared;
        constexpr size_t kMaxSeparators = 32;
        size_t separators[kMaxSeparators];
        size_t count;
        if (const size_t close = p_.plainPathEnd(separators, kMaxSeparators, count)) {
            size_t levelStart = p_.pos();
            for (size_t k = 0; k <= count; ++k) {
                const size_t levelEnd = k < count ? separators[k] : close;
                if (!addLevel(added, levelStart, levelEnd, true, levels))
                    return false;
                levelStart = levelEnd + 2;
            }
            p_.setPos(close);
        } else {
            for (;;) {
                const size_t levelStart = p_.pos();
                bool plain;
                size_t levelEnd;
                const Parser::LevelEnd ending = p_.readLevel(nullptr, plain, levelEnd);
                if (ending == Parser::LevelEnd::Invalid || !addLevel(added, levelStart, levelEnd, plain, levels))
                    return false;
                if (ending == Parser::LevelEnd::Closing)
                    break;
            }
        }
        // A path that adds no name repeats the previous one or one of its
        // ancestors: out of tree order.
        if (levels == shared)
            return false;
        levelCount_ = levels;
        previousRaw_ = text_.substr(rawStart, p_.pos() - rawStart);
        p_.setPos(p_.pos() + 1);
        line.levels = static_cast<uint16_t>(levels);
        line.sharedLevels = static_cast<uint16_t>(shared);
        line.lastNameAt = 1 + levels_[levels - 1].start;
        return true;
    }

    // What the names of a path being listed are compared with.
    struct NewLevels {
        size_t rawStart;       // of the path's text
        size_t shared;         // names spelled as in the previous path
        size_t previousLevels; // names of the previous path
        size_t common;         // bytes spelled as in the previous path
    };

    // Records the name [start, end) of a path as its level levels, unless it
    // is empty; false when it does not come after the previous path's name
    // there, or the path is too deep.
    bool addLevel(const NewLevels &path, size_t start, size_t end, bool plain, size_t &levels) {
        if (end == start)
            return true;
        if (levels == path.shared && levels < path.previousLevels) {
            const LevelText &before = levels_[levels];
            // Where the names start alike, they are spelled alike up to where the paths differ.
            const size_t alike = start - path.rawStart == before.start && path.common > before.start
                                     ? path.common - before.start
                                     : 0;
            if (compareLevels(text_.substr(start, end - start), plain,
                              previousRaw_.substr(before.start, before.end - before.start), before.plain, alike) <= 0)
                return false;
        }
        if (levels >= kMaxKeyDepth)
            return false;
        levels_[levels++] = {static_cast<uint32_t>(start - path.rawStart), static_cast<uint32_t>(end - path.rawStart), plain};
        return true;
    }

    void readKey() {
        const size_t start = p_.pos();
        p_.setPos(start + 1);
        const char *failure = nullptr;
        Key *key = keyOfPath(failure);
        int64_t unixTime = 0;
        bool hasTime = false;
        if (key) {
            p_.skipBlanks();
            if (!p_.atEol())
                hasTime = p_.takeDecimal(unixTime);
            if (!p_.endLine())
                failure = "key line not understood";
        }
        if (failure) {
            problem(failure, start);
            forgetPreviousPath();
            p_.setPos(start);
            p_.skipLine();
            skipToNextKey();
            return;
        }
        const bool duplicate = key->hasBlock();
        if (duplicate)
            loadValuesOfBlock(*key);
        key->unixTime = unixTime;
        key->hasUnixTime = hasTime;
        const uint32_t values = readBlockBody(*key);
        size_t end = p_.pos();
        if (!p_.atEnd() && end > start && text_[end - 1] == '\n')
            --end;
        if (duplicate) {
            // A key written twice: merge the second block into the first and
            // write the key from its decoded form from now on.
            decodeBlockValues(text_.substr(start, end - start), *key);
            key->dirty = true;
            return;
        }
        if (end - start > UINT32_MAX || start > UINT32_MAX) {
            problem("file too large", start);
            return;
        }
        key->blockOffset = static_cast<uint32_t>(start);
        key->blockLength = static_cast<uint32_t>(std::max<size_t>(end - start, 1));
        key->storedValueCount = values;
        key->valuesLoaded = values == 0;
    }

    void loadValuesOfBlock(Key &key) {
        if (!key.valuesLoaded && key.hasBlock()) {
            key.valuesLoaded = true;
            decodeBlockValues(text_.substr(key.blockOffset, key.blockLength), key);
        }
        key.valuesLoaded = true;
    }

    uint32_t readBlockBody(Key &key) {
        uint32_t values = 0;
        bool atHead = true; // no line but options yet
        while (!p_.atEnd() && p_.peek() != '[') {
            const size_t lineStart = p_.pos();
            const char c = p_.peek();
            // A listed key's options are read again from the lines right
            // after its key line, where Wine writes them.
            if (c != '#')
                atHead = false;
            else if (!atHead && index_)
                abandoned_ = true;
            if (c == '"' || c == '@') {
                if (p_.plainNameLine() || p_.valueLine(nullptr)) {
                    ++values;
                    continue;
                }
                problem("value line not understood", lineStart);
            } else if (c == '\n') { // as the blank line that ends each block
                p_.setPos(lineStart + 1);
                continue;
            } else if (c == '#') {
                if ((index_ && p_.plainTimeLine()) || option(key))
                    continue;
                problem("key option not understood", lineStart);
            } else if (c == ';') {
                // comment
            } else {
                p_.skipBlanks();
                if (p_.endLine())
                    continue;
                problem("line not understood", lineStart);
            }
            p_.setPos(lineStart);
            p_.skipLine();
        }
        return values;
    }

    bool option(Key &key) { return readOption(p_, key); }

    void skipToNextKey() {
        while (!p_.atEnd() && p_.peek() != '[')
            p_.skipLine();
    }

    // Reads the path of a key line, after its '[' and up to its ']', and
    // finds or creates its key. The file is sorted, so a path mostly repeats
    // the levels of the previous one: levels whose text is byte for byte the
    // same are taken from the previous path without decoding them again.
    Key *keyOfPath(const char *&failure) {
        const size_t rawStart = p_.pos();
        const std::string_view rest = text_.substr(rawStart);
        const size_t reused = namesSpelledAsBefore(rest, commonPrefixLengthAhead(previousRaw_, rest));
        stack_.resize(reused);
        levelCount_ = reused;
        p_.setPos(reused == 0 ? rawStart : rawStart + levels_[reused - 1].end);
        Key *current = reused == 0 ? &root_ : stack_.back();
        for (;;) {
            name_.clear();
            bool plain;
            size_t nameEnd;
            const Parser::LevelEnd ending = p_.readLevel(&name_, plain, nameEnd);
            if (ending == Parser::LevelEnd::Invalid) {
                failure = "key line not understood";
                return nullptr;
            }
            if (!name_.empty()) {
                if (stack_.size() >= kMaxKeyDepth) {
                    failure = "key path too deep";
                    return nullptr;
                }
                current = addChild(*current, name_);
                stack_.push_back(current);
                levels_[levelCount_++] = {0, static_cast<uint32_t>(nameEnd - rawStart), plain};
            }
            if (ending == Parser::LevelEnd::Closing)
                break;
        }
        previousRaw_ = text_.substr(rawStart, p_.pos() - rawStart);
        p_.setPos(p_.pos() + 1); // the ']'
        return current;
    }

    // How many names of the previous path the path in rest (after its '[')
    // spells byte for byte as it did: those that end before the first
    // difference, and one that ends at it when rest ends the name there too.
    // common is how many bytes they share.
    size_t namesSpelledAsBefore(std::string_view rest, size_t common) const {
        // The ends grow level by level, and the difference is mostly in the last.
        size_t shared = levelCount_;
        while (shared > 0 && levels_[shared - 1].end >= common)
            --shared;
        const bool endsName = common < rest.size() &&
                              (rest[common] == ']' ||
                               (rest[common] == '\\' && common + 1 < rest.size() && rest[common + 1] == '\\'));
        if (shared < levelCount_ && levels_[shared].end == common && endsName)
            ++shared;
        return shared;
    }

    void forgetPreviousPath() {
        previousRaw_ = {};
        stack_.clear();
        levelCount_ = 0;
    }

    std::string_view text_;
    Parser p_;
    Key &root_;
    LoadResult result_;
    std::string_view previousRaw_;  // the path text of the previous key line
    std::vector<Key *> stack_;      // its keys, level by level
    // Where the text of each of its names lies in previousRaw_; left unset
    // beyond levelCount_, so that making a loader costs nothing.
    struct LevelText {
        uint32_t start;
        uint32_t end;
        bool plain; // written as plain text alone
    };
    std::array<LevelText, kMaxKeyDepth> levels_;
    size_t levelCount_ = 0;
    std::u16string name_;           // the level being read, kept to reuse its room
    KeyIndex *index_;
    TextRanges *ranges_;
    bool abandoned_ = false;
    Key scratch_;                       // takes the options of listed keys
};

const char kEscapeLetters[32] = {0,   0, 0, 0, 0, 0, 0, 'a', 'b', 't', 'n', 'v', 'f', 'r', 0, 0,
                                 0,   0, 0, 0, 0, 0, 0, 0,   0,   0,   0,   'e', 0,   0,   0, 0};

bool isAsciiHexDigit(char16_t c) { return c < 0x80 && hexDigit(static_cast<char>(c)) >= 0; }

void appendHex(uint64_t v, int minDigits, std::string &out) {
    char buf[20];
    int n = 0;
    do {
        buf[n++] = "0123456789abcdef"[v & 0xF];
        v >>= 4;
    } while (v != 0);
    while (n < minDigits)
        buf[n++] = '0';
    while (n > 0)
        out.push_back(buf[--n]);
}

void appendOctal(unsigned v, int minDigits, std::string &out) {
    char buf[8];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + (v & 7));
        v >>= 3;
    } while (v != 0);
    while (n < minDigits)
        buf[n++] = '0';
    while (n > 0)
        out.push_back(buf[--n]);
}

bool isStringForm(const Value &v) {
    if (v.type != kRegSz && v.type != kRegExpandSz && v.type != kRegMultiSz)
        return false;
    const size_t n = v.data.size();
    return n >= 2 && n % 2 == 0 && v.data[n - 1] == 0 && v.data[n - 2] == 0;
}

void appendHexData(const Value &v, size_t lineStart, std::string &out) {
    static constexpr char kDigits[] = "0123456789abcdef";
    size_t count = out.size() - lineStart;
    const size_t n = v.data.size();
    // Room for "xx," per byte and a line break after every 25 bytes or fewer
    // (one at once when the line is long already).
    const size_t start = out.size();
    out.resize(start + n * 3 + (n / 25 + 1) * 4);
    char *to = out.data() + start;
    for (size_t i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(v.data[i]);
        to[0] = kDigits[byte >> 4];
        to[1] = kDigits[byte & 0xF];
        to += 2;
        count += 2;
        if (i + 1 < n) {
            *to++ = ',';
            if (++count > 76) {
                std::memcpy(to, "\\\n  ", 4);
                to += 4;
                count = 2;
            }
        }
    }
    out.resize(static_cast<size_t>(to - out.data()));
}

// Escapes size UTF-16 units, given as little-endian bytes, as appendEscaped
// does.
void appendEscapedUtf16Le(const unsigned char *bytes, size_t size, std::string_view extra, std::string &out) {
    const auto unit = [bytes](size_t i) { return static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8); };
    // extra holds at most two characters.
    const char16_t extra0 = extra.empty() ? 0 : static_cast<unsigned char>(extra[0]);
    const char16_t extra1 = extra.size() < 2 ? 0 : static_cast<unsigned char>(extra[1]);
    const auto plain = [extra0, extra1](char16_t c) {
        return c >= 32 && c <= 127 && c != '\\' && c != extra0 && c != extra1;
    };
    for (size_t i = 0; i < size;) {
        // Runs of plain characters go in as they are, eight at a time where
        // they can.
#if defined(__SSE2__)
        while (i + 8 <= size) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 2 * i));
            const __m128i stops = _mm_or_si128(
                _mm_or_si128(_mm_cmplt_epi16(units, _mm_set1_epi16(32)), _mm_cmpgt_epi16(units, _mm_set1_epi16(127))),
                _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('\\')),
                             _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(extra0))),
                                          _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(extra1))))));
            if (_mm_movemask_epi8(stops) != 0)
                break;
            char narrow[16];
            _mm_storeu_si128(reinterpret_cast<__m128i *>(narrow), _mm_packus_epi16(units, units));
            out.append(narrow, 8);
            i += 8;
        }
#endif
        size_t run = i;
        while (run < size && plain(unit(run)))
            ++run;
        if (run > i) {
            const size_t at = out.size();
            out.resize(at + run - i);
            for (size_t k = i; k < run; ++k)
                out[at + k - i] = static_cast<char>(unit(k));
            i = run;
            continue;
        }
        if (i == size)
            break;
        const char16_t c = unit(i);
        const char16_t next = i + 1 < size ? unit(i + 1) : 0;
        if (c > 127) {
            out += "\\x";
            appendHex(c, isAsciiHexDigit(next) ? 4 : 1, out);
        } else if (c < 32) {
            out.push_back('\\');
            if (kEscapeLetters[c])
                out.push_back(kEscapeLetters[c]);
            else
                appendOctal(c, next >= '0' && next <= '7' ? 3 : 1, out);
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        }
        ++i;
    }
}

} // namespace

namespace {

// What a listing read gives: the listed keys pending below root, or when the
// listing was abandoned, the whole text read at once.
LoadResult finishIndex(Loader &lister, LoadResult result, std::string_view text, Key &root, KeyIndex &index) {
    if (lister.abandoned() || !result.ok) {
        index.lines = {};
        return Loader(text, root).run();
    }
    root.pendingFirst = 0;
    root.pendingEnd = static_cast<uint32_t>(index.lines.size());
    return result;
}

} // namespace

LoadResult indexHiveText(std::string_view text, Key &root, KeyIndex &index) {
    index.lines.clear();
    Loader lister(text, root, &index);
    LoadResult result = lister.run();
    return finishIndex(lister, std::move(result), text, root, index);
}

bool readAndIndexHiveText(const std::shared_ptr<char> &block, size_t blockCapacity, size_t size,
                          const ReadRange &readRange, Key &root, KeyIndex &index, LoadResult &result) {
    const std::string_view text(block.get(), size);
    auto room = std::make_shared<KeyLineRoom>();
    const size_t roomStart = (size + alignof(KeyLine)) / alignof(KeyLine) * alignof(KeyLine);
    if (roomStart < blockCapacity) {
        room->owner = block;
        room->start = reinterpret_cast<KeyLine *>(block.get() + roomStart);
        room->capacity = (blockCapacity - roomStart) / sizeof(KeyLine);
    }
    index.lines = decltype(index.lines)(KeyLineAllocator<KeyLine>(std::move(room)));
    TextRanges ranges(block.get(), size, readRange);
    Loader lister(text, root, &index, &ranges);
    if (!lister.listAsRead()) {
        index.lines = {};
        return false;
    }
    result = finishIndex(lister, lister.takeResult(), text, root, index);
    return true;
}

void makeChildren(Key &key, const KeyIndex &index, const BlockText &blockText) {
    size_t depth = 0;
    for (const Key *k = &key; k->parent && k->hive == k->parent->hive; k = k->parent)
        ++depth;
    const size_t end = key.pendingEnd;
    size_t line = key.pendingFirst;
    key.pendingFirst = key.pendingEnd = 0;
    size_t children = 0;
    for (size_t i = line; i < end; ++i)
        children += i == line || index.lines[i].sharedLevels <= depth;
    key.children.reserve(key.children.size() + children);
    std::u16string name;
    while (line < end) {
        // The lines of one child share its name with the line before them.
        size_t next = line + 1;
        while (next < end && index.lines[next].sharedLevels > depth)
            ++next;
        const KeyLine &first = index.lines[line];
        Parser p(blockText(first.offset, first.blockLength));
        const bool ownLine = first.levels == depth + 1; // else the child is a key that has no line
        p.setPos(ownLine ? first.lastNameAt : 1);
        if (!decodePathName(p, ownLine ? 0 : depth, name))
            throw std::logic_error("the key index is out of step with the hive's text");
        auto child = std::make_unique<Key>();
        child->name = name;
        child->parent = &key;
        child->hive = key.hive;
        child->pendingFirst = static_cast<uint32_t>(line);
        child->pendingEnd = static_cast<uint32_t>(next);
        if (ownLine) {
            child->blockOffset = first.offset;
            child->blockLength = first.blockLength;
            child->storedValueCount = first.valueCount;
            child->valuesLoaded = first.valueCount == 0;
            readKeyHead(p, *child);
            ++child->pendingFirst;
        }
        key.children.push_back(std::move(child));
        line = next;
    }
}

void makeAllChildren(Key &key, const KeyIndex &index, const BlockText &blockText) {
    if (key.hasPendingChildren())
        makeChildren(key, index, blockText);
    for (auto &child : key.children)
        makeAllChildren(*child, index, blockText);
}

LoadResult loadHiveText(std::string_view text, Key &root) {
    KeyIndex index;
    LoadResult result = indexHiveText(text, root, index);
    makeAllChildren(root, index, [text](size_t offset, size_t length) { return text.substr(offset, length); });
    return result;
}

void decodeBlockValues(std::string_view block, Key &key) {
    Parser p(block);
    p.skipLine(); // the key line
    while (!p.atEnd()) {
        const size_t lineStart = p.pos();
        const char c = p.peek();
        if (c == '"' || c == '@') {
            Value value;
            if (p.valueLine(&value)) {
                putValue(key, std::move(value));
                continue;
            }
        }
        p.setPos(lineStart);
        p.skipLine();
    }
}

void appendEscaped(std::u16string_view text, std::string_view extra, std::string &out) {
    if constexpr (std::endian::native == std::endian::little) {
        appendEscapedUtf16Le(reinterpret_cast<const unsigned char *>(text.data()), text.size(), extra, out);
    } else {
        const std::string bytes = textconv::toBytes(text);
        appendEscapedUtf16Le(reinterpret_cast<const unsigned char *>(bytes.data()), text.size(), extra, out);
    }
}

void appendValueLine(const Value &v, std::string &out) {
    const size_t lineStart = out.size();
    if (v.name.empty()) {
        out += "@=";
    } else {
        out.push_back('"');
        appendEscaped(v.name, "\"", out);
        out += "\"=";
    }
    if (isStringForm(v)) {
        if (v.type != kRegSz) {
            out += "str(";
            appendHex(v.type, 1, out);
            out += "):";
        }
        out.push_back('"');
        appendEscapedUtf16Le(reinterpret_cast<const unsigned char *>(v.data.data()), (v.data.size() - 2) / 2, "\"",
                             out);
        out.push_back('"');
    } else if (v.type == kRegDword && v.data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(v.data[static_cast<size_t>(i)]);
        out += "dword:";
        appendHex(number, 8, out);
    } else {
        if (v.type == kRegBinary) {
            out += "hex:";
        } else {
            out += "hex(";
            appendHex(v.type, 1, out);
            out += "):";
        }
        appendHexData(v, lineStart, out);
    }
    out.push_back('\n');
}

namespace {

// Writes the escaped path of key below its hive's root, name by name: an
// escape never looks past the backslash between two names. False (and
// nothing written) for the root itself.
bool appendEscapedPath(const Key &key, std::string &out) {
    if (!key.parent || key.parent->hive != key.hive)
        return false;
    if (appendEscapedPath(*key.parent, out))
        out += "\\\\";
    appendEscaped(key.name, "[]", out);
    return true;
}

} // namespace

void appendKeyBlock(const Key &key, std::string &out) {
    out.push_back('[');
    appendEscapedPath(key, out);
    out += "] ";
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, key.unixTime).ptr);
    out.push_back('\n');
    if (key.hasFileTime) {
        out += "#time=";
        appendHex(key.fileTime, 1, out);
        out.push_back('\n');
    }
    if (key.keyClass) {
        out += "#class=\"";
        appendEscaped(*key.keyClass, "\"", out);
        out += "\"\n";
    }
    if (key.isLink)
        out += "#link\n";
    for (const Value &v : key.values)
        appendValueLine(v, out);
}

} // namespace winreg
