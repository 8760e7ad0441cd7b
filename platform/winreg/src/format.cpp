#include "format.h"

#include "text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
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

// The length of the longest common start of a and b, compared a word at a time.
size_t commonPrefixLength(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
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

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

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

    // The number of plain characters (printable ASCII or tab, neither a
    // backslash nor close) from the cursor on.
    size_t plainRun(char close) const {
        size_t p = pos_;
#if defined(__SSE2__)
        // Sixteen bytes at a time: a signed compare with a blank finds both
        // control characters and bytes of 0x80 and above.
        const __m128i closing = _mm_set1_epi8(close);
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i blank = _mm_set1_epi8(' ');
        while (p + 16 <= n_) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s_ + p));
            const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, closing), _mm_cmpeq_epi8(chunk, backslash)),
                                               _mm_cmplt_epi8(chunk, blank));
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stops));
            if (mask == 0) {
                p += 16;
                continue;
            }
            p += static_cast<size_t>(std::countr_zero(mask));
            if (s_[p] != '\t')
                return p - pos_;
            ++p;
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
            // The common shape first: two digits and a comma.
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
        if (peek() == '"') {
            ++pos_;
            if (!quoted('"', textOut) || !endLine())
                return false;
            if (out)
                storeString(*out, kRegSz, text);
            return true;
        }
        if (take("str(")) {
            uint64_t type;
            if (!takeHex(8, type) || !take("):\"") || !quoted('"', textOut) || !endLine())
                return false;
            if (out)
                storeString(*out, static_cast<uint32_t>(type), text);
            return true;
        }
        if (take("dword:")) {
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
        if (take("hex")) {
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
        out.data = utf16ToBytes(text);
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
        if (!isValidUtf8(seq))
            return false;
        if (out)
            appendUtf8AsUtf16(seq, *out);
        pos_ += len;
        return true;
    }

    const char *s_;
    size_t n_;
    size_t pos_ = 0;
};

size_t lineNumberAt(std::string_view text, size_t pos) {
    return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(pos, text.size())), '\n'));
}

class Loader {
public:
    Loader(std::string_view text, Key &root) : text_(text), p_(text), root_(root) {}

    LoadResult run() {
        if (!signatureOk()) {
            result_.ok = false;
            result_.error = "line 1: not a Wine registry file (no \"WINE REGISTRY Version 2\")";
            return std::move(result_);
        }
        if (!text_.ends_with('\n')) {
            problem("the file does not end with a line break (it may have been cut short)", text_.size());
            return std::move(result_);
        }
        readHeader();
        while (!p_.atEnd())
            readKey();
        return std::move(result_);
    }

private:
    bool signatureOk() {
        if (!p_.take(kSignature))
            return false;
        return p_.endLine();
    }

    void problem(const char *what, size_t at) {
        if (result_.ok) {
            result_.ok = false;
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
        while (!p_.atEnd() && p_.peek() != '[') {
            const size_t lineStart = p_.pos();
            const char c = p_.peek();
            if (c == '"' || c == '@') {
                if (p_.valueLine(nullptr)) {
                    ++values;
                    continue;
                }
                problem("value line not understood", lineStart);
            } else if (c == '#') {
                if (option(key))
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

    bool option(Key &key) {
        uint64_t number;
        if (p_.take("#time=")) {
            if (!p_.takeHex(16, number) || !p_.endLine())
                return false;
            key.fileTime = number;
            key.hasFileTime = true;
            return true;
        }
        if (p_.take("#class=\"")) {
            auto keyClass = std::make_unique<std::u16string>();
            if (!p_.quoted('"', keyClass.get()) || !p_.endLine())
                return false;
            key.keyClass = std::move(keyClass);
            return true;
        }
        if (p_.take("#link")) {
            if (!p_.endLine())
                return false;
            key.isLink = true;
            return true;
        }
        return false;
    }

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
        const size_t common = commonPrefixLength(previousRaw_, rest);
        size_t reused = 0;
        while (reused < levelEnds_.size() && levelEnds_[reused] <= common) {
            const std::string_view next = rest.substr(levelEnds_[reused]);
            if (!next.starts_with(']') && !next.starts_with("\\\\"))
                break;
            ++reused;
        }
        stack_.resize(reused);
        levelEnds_.resize(reused);
        p_.setPos(reused == 0 ? rawStart : rawStart + levelEnds_.back());

        Key *current = reused == 0 ? &root_ : stack_.back();
        std::u16string &name = name_;
        name.clear();
        for (;;) {
            if (const size_t run = p_.plainRun(']')) {
                p_.appendRun(run, name);
                continue;
            }
            if (p_.atEnd()) {
                failure = "key line not understood";
                return nullptr;
            }
            const size_t at = p_.pos();
            const bool closing = p_.peek() == ']';
            bool separator = closing;
            if (!closing && !p_.special(&name)) {
                failure = "key line not understood";
                return nullptr;
            }
            if (!closing && !name.empty() && name.back() == u'\\') {
                name.pop_back();
                separator = true;
            }
            if (closing)
                p_.setPos(at + 1);
            if (!separator)
                continue;
            if (!name.empty()) {
                if (stack_.size() >= kMaxKeyDepth) {
                    failure = "key path too deep";
                    return nullptr;
                }
                current = addChild(*current, name);
                name.clear();
                stack_.push_back(current);
                levelEnds_.push_back(at - rawStart);
            }
            if (closing)
                break;
        }
        previousRaw_ = text_.substr(rawStart, p_.pos() - 1 - rawStart);
        return current;
    }

    void forgetPreviousPath() {
        previousRaw_ = {};
        stack_.clear();
        levelEnds_.clear();
    }

    std::string_view text_;
    Parser p_;
    Key &root_;
    LoadResult result_;
    std::string_view previousRaw_;  // the path text of the previous key line
    std::vector<Key *> stack_;      // its keys, level by level
    std::vector<size_t> levelEnds_; // where each level's text ends in previousRaw_
    std::u16string name_;           // the level being read, kept to reuse its room
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
    size_t count = out.size() - lineStart;
    const size_t n = v.data.size();
    for (size_t i = 0; i < n; ++i) {
        appendHex(static_cast<unsigned char>(v.data[i]), 2, out);
        count += 2;
        if (i + 1 < n) {
            out.push_back(',');
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
}

} // namespace

LoadResult loadHiveText(std::string_view text, Key &root) {
    return Loader(text, root).run();
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
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const char16_t next = i + 1 < text.size() ? text[i + 1] : 0;
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
            if (extra.find(static_cast<char>(c)) != std::string_view::npos)
                out.push_back('\\');
            out.push_back(static_cast<char>(c));
        }
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
        const std::u16string units =
            bytesToUtf16(reinterpret_cast<const uint8_t *>(v.data.data()), v.data.size() - 2);
        out.push_back('"');
        appendEscaped(units, "\"", out);
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

void appendKeyBlock(const Key &key, std::string &out) {
    std::vector<const Key *> chain;
    for (const Key *k = &key; k->parent && k->hive == k->parent->hive; k = k->parent)
        chain.push_back(k);
    std::u16string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty())
            path.push_back(u'\\');
        path += (*it)->name;
    }
    out.push_back('[');
    appendEscaped(path, "[]", out);
    out += "] ";
    out += std::to_string(key.unixTime);
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
