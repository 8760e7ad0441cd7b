#include "format.h"

#include "scan.h"
#include "text.h"
#include "textconv.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace winreg {

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

using scan::hexDigit;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Fewer bytes than the blocks of any real hive take on average, so that the
// key index is seldom moved as it grows; room never used costs no memory.
constexpr size_t kTypicalBlockBytes = 64;

// The length of the longest common start of a and b.
size_t commonPrefixLength(std::string_view a, std::string_view b) {
    return scan::commonPrefix(a.data(), b.data(), std::min(a.size(), b.size()));
}

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
    // One to maxDigits hex digits, whose number goes into value when given;
    // one digit more is a number out of range.
    bool takeHex(size_t maxDigits, uint64_t *value) {
        const size_t digits = scan::hexDigits(s_ + pos_, std::min(n_ - pos_, maxDigits + 1));
        if (digits == 0 || digits > maxDigits)
            return false;
        if (value) {
            *value = 0;
            for (const char *digit = s_ + pos_; digit < s_ + pos_ + digits; ++digit)
                *value = *value << 4 | static_cast<uint64_t>(hexDigit(*digit));
        }
        pos_ += digits;
        return true;
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

    // The rest of a key line after its ']', which is consumed: the key's
    // time when a number comes first. Whatever follows is ignored, as Wine's
    // loader ignores it; launchers stamp keys with a second number there.
    bool keyLineRest(int64_t &unixTime) {
        skipBlanks();
        unixTime = 0;
        const bool hasTime = !atEol() && takeDecimal(unixTime);
        if (!hasTime)
            unixTime = 0;
        if (!endLine())
            skipLine();
        return hasTime;
    }

    // The text of a quoted string or key path, after its opening character,
    // up to and including the closing one.
    bool quoted(char close, std::u16string *out) {
        for (;;) {
            takeRun(close, out);
            if (pos_ >= n_)
                return false;
            if (s_[pos_] == close) {
                ++pos_;
                return true;
            }
            if (!special(out))
                return false;
        }
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

    // Consumes the plain characters at the cursor, none of them close,
    // widened into out when given (plain text is ASCII).
    void takeRun(char close, std::u16string *out) {
        const size_t run = scan::plainRun(s_ + pos_, n_ - pos_, close);
        if (out)
            out->append(s_ + pos_, s_ + pos_ + run);
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
            takeRun(']', name);
            nameEnd = pos_;
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
            // The common shape first: two digits and a comma, again and again.
            const size_t run = scan::hexByteRun(s_ + pos_, n_ - pos_);
            if (out) {
                for (const char *pair = s_ + pos_; pair < s_ + pos_ + run; pair += 3)
                    out->push_back(static_cast<char>(hexDigit(pair[0]) << 4 | hexDigit(pair[1])));
            }
            pos_ += run;
            skipBlanks();
            if (continuation())
                continue;
            if (atEol())
                return endLine();
            uint64_t byte;
            if (!takeHex(2, &byte))
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
            uint64_t type = 0;
            if (!takeHex(8, &type) || !take("):\"") || !quoted('"', textOut) || !endLine())
                return false;
            if (out)
                storeString(*out, static_cast<uint32_t>(type), text);
            return true;
        }
        if (c == 'd' && take("dword:")) {
            // Exactly eight digits: fewer is what a file cut short leaves.
            uint64_t number = 0;
            const size_t start = pos_;
            if (!takeHex(kDwordDigits, out ? &number : nullptr) || pos_ - start != kDwordDigits || !endLine())
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
                if (!takeHex(8, &type) || !take(")"))
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

// One "#" line of a key's block, which is consumed when understood; what it
// says goes into key when given.
bool readOption(Parser &p, Key *key) {
    if (p.take("#time=")) {
        uint64_t time = 0;
        if (!p.takeHex(16, key ? &time : nullptr) || !p.endLine())
            return false;
        if (key) {
            key->fileTime = time;
            key->hasFileTime = true;
        }
        return true;
    }
    if (p.take("#class=\"")) {
        auto keyClass = key ? std::make_unique<std::u16string>() : nullptr;
        if (!p.quoted('"', keyClass.get()) || !p.endLine())
            return false;
        if (key)
            key->keyClass = std::move(keyClass);
        return true;
    }
    if (p.take("#link")) {
        if (!p.endLine())
            return false;
        if (key)
            key->isLink = true;
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
    key.hasUnixTime = p.keyLineRest(key.unixTime);
    while (p.peek() == '#' && readOption(p, &key)) {
    }
}

size_t lineNumberAt(std::string_view text, size_t pos) {
    return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(pos, text.size())), '\n'));
}

class Loader {
public:
    // With an index, keys below root are only listed in it; the read gives
    // up (abandoned()) at the first line it could not list that way.
    Loader(std::string_view text, Key &root, KeyIndex *index = nullptr)
        : text_(text), p_(text), root_(root), index_(index) {}
    bool abandoned() const { return abandoned_; }

    LoadResult run() {
        if (!readHead())
            return std::move(result_);
        if (index_) {
            listKeys();
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
            result_.problem = Problem::NotRegistryFile;
            result_.error = std::string("line 1: ") + problemWords(Problem::NotRegistryFile);
            result_.errorLine = 1;
            return false;
        }
        if (!text_.ends_with('\n')) {
            problem(Problem::CutShort, text_.size());
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

    void problem(Problem what, size_t at) {
        if (result_.ok) {
            result_.ok = false;
            result_.problem = what;
            // A listing gives up at a problem and the text is read again
            // whole, which tells where it lies.
            if (!index_) {
                result_.errorLine = lineNumberAt(text_, at);
                result_.error = "line " + std::to_string(result_.errorLine) + ": " + problemWords(what);
            }
        }
    }

    void readHeader() {
        while (!p_.atEnd() && p_.peek() != '[') {
            const char c = p_.peek();
            if (c != ';' && c != '#' && c != '\n') {
                p_.skipBlanks();
                if (!p_.atEol())
                    problem(Problem::TextBeforeFirstKey, p_.pos());
            }
            p_.skipLine();
        }
        std::string_view header = text_.substr(0, p_.pos());
        if (!p_.atEnd() && header.size() >= 2 && header.ends_with("\n\n"))
            header.remove_suffix(1);
        result_.header = std::string(header);
    }

    void listKeys() {
        index_->lines.reserve(text_.size() / kTypicalBlockBytes);
        while (!p_.atEnd() && !abandoned_)
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
        int64_t ignored;
        p_.keyLineRest(ignored);
        const uint32_t values = readBlockBody(nullptr);
        if (!blockFrom(start, values, line.block))
            abandoned_ = true;
    }

    // The block from start to where the read stands, without the blank line
    // that ends it; false when it lies beyond what a Block holds.
    bool blockFrom(size_t start, uint32_t values, Block &block) const {
        size_t end = p_.pos();
        if (!p_.atEnd() && end > start && text_[end - 1] == '\n')
            --end;
        if (end - start > UINT32_MAX || start > UINT32_MAX)
            return false;
        block = {static_cast<uint32_t>(start), static_cast<uint32_t>(std::max<size_t>(end - start, 1)), values};
        return true;
    }

    // Reads a key line's path (after its '[' and up to its ']') into line.
    // Names spelled as in the previous path are not read again. False when
    // the path is not understood, or does not come after the previous one
    // in tree order, as Wine writes them.
    bool listPath(KeyLine &line) {
        const size_t rawStart = p_.pos();
        const size_t previousLevels = levelCount_;
        const std::string_view rest = text_.substr(rawStart);
        const size_t common = commonPrefixLength(previousRaw_, rest);
        const size_t shared = namesSpelledAsBefore(rest, common);
        p_.setPos(shared == 0 ? rawStart : rawStart + levels_[shared - 1].end);
        const NewLevels added{rawStart, shared, previousLevels, common};
        size_t levels = shared;
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
        Problem failure = Problem::None;
        Key *key = keyOfPath(failure);
        int64_t unixTime = 0;
        const bool hasTime = key && p_.keyLineRest(unixTime);
        if (failure != Problem::None) {
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
        const uint32_t values = readBlockBody(key);
        Block block;
        if (!blockFrom(start, values, block)) {
            problem(Problem::TooLarge, start);
            return;
        }
        if (duplicate) {
            // A key written twice: merge the second block into the first and
            // write the key from its decoded form from now on.
            decodeBlockValues(text_.substr(block.offset, block.length), *key);
            key->dirty = true;
            return;
        }
        key->block = block;
        key->valuesLoaded = values == 0;
    }

    void loadValuesOfBlock(Key &key) {
        if (!key.valuesLoaded && key.hasBlock()) {
            key.valuesLoaded = true;
            decodeBlockValues(text_.substr(key.block.offset, key.block.length), key);
        }
        key.valuesLoaded = true;
    }

    // The lines of a block after its key line; the options go into key
    // when given. The number of values.
    uint32_t readBlockBody(Key *key) {
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
                if (p_.valueLine(nullptr)) {
                    ++values;
                    continue;
                }
                problem(Problem::ValueLine, lineStart);
            } else if (c == '\n') { // as the blank line that ends each block
                p_.setPos(lineStart + 1);
                continue;
            } else if (c == '#') {
                if (readOption(p_, key))
                    continue;
                problem(Problem::KeyOption, lineStart);
            } else if (c == ';') {
                // comment
            } else {
                p_.skipBlanks();
                if (p_.endLine())
                    continue;
                problem(Problem::Line, lineStart);
            }
            p_.setPos(lineStart);
            p_.skipLine();
        }
        return values;
    }

    void skipToNextKey() {
        while (!p_.atEnd() && p_.peek() != '[')
            p_.skipLine();
    }

    // Reads the path of a key line, after its '[' and up to its ']', and
    // finds or creates its key. The file is sorted, so a path mostly repeats
    // the levels of the previous one: levels whose text is byte for byte the
    // same are taken from the previous path without decoding them again.
    Key *keyOfPath(Problem &failure) {
        const size_t rawStart = p_.pos();
        const std::string_view rest = text_.substr(rawStart);
        const size_t reused = namesSpelledAsBefore(rest, commonPrefixLength(previousRaw_, rest));
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
                failure = Problem::KeyLine;
                return nullptr;
            }
            if (!name_.empty()) {
                if (stack_.size() >= kMaxKeyDepth) {
                    failure = Problem::KeyPathTooDeep;
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
    bool abandoned_ = false;
};

const char kEscapeLetters[32] = {0,   0, 0, 0, 0, 0, 0, 'a', 'b', 't', 'n', 'v', 'f', 'r', 0, 0,
                                 0,   0, 0, 0, 0, 0, 0, 0,   0,   0,   0,   'e', 0,   0,   0, 0};

bool isAsciiHexDigit(char16_t c) { return c < 0x80 && hexDigit(static_cast<char>(c)) >= 0; }

// v in digits of digitBits bits each (4: hex, 3: octal), at least minDigits.
void appendDigits(uint64_t v, unsigned digitBits, int minDigits, std::string &out) {
    char buf[22];
    int n = 0;
    do {
        buf[n++] = "0123456789abcdef"[v & ((1u << digitBits) - 1)];
        v >>= digitBits;
    } while (v != 0);
    while (n < minDigits)
        buf[n++] = '0';
    while (n > 0)
        out.push_back(buf[--n]);
}

void appendHex(uint64_t v, int minDigits, std::string &out) { appendDigits(v, 4, minDigits, out); }

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
        // Runs of plain characters go in as they are.
        for (; i < size && plain(unit(i)); ++i)
            out.push_back(static_cast<char>(unit(i)));
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
                appendDigits(c, 3, next >= '0' && next <= '7' ? 3 : 1, out);
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

LoadResult indexHiveText(std::string_view text, Key &root, KeyIndex &index) {
    index.lines.clear();
    Loader lister(text, root, &index);
    LoadResult result = lister.run();
    if (lister.abandoned() || !result.ok) {
        index.lines = {};
        return Loader(text, root).run();
    }
    root.pendingFirst = 0;
    root.pendingEnd = static_cast<uint32_t>(index.lines.size());
    return result;
}

void makeChildren(Key &key, const KeyIndex &index, const BlockText &textAt) {
    const size_t depth = depthOf(key);
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
        Parser p(textAt(first.block.offset, first.block.length));
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
            child->block = first.block; // from now on the key's, and the line's no more
            child->valuesLoaded = first.block.valueCount == 0;
            readKeyHead(p, *child);
            ++child->pendingFirst;
        }
        key.children.push_back(std::move(child));
        line = next;
    }
}

void makeAllChildren(Key &key, const KeyIndex &index, const BlockText &textAt) {
    if (key.hasPendingChildren())
        makeChildren(key, index, textAt);
    for (auto &child : key.children)
        makeAllChildren(*child, index, textAt);
}

const char *problemWords(Problem problem) {
    switch (problem) {
    case Problem::None: return "";
    case Problem::NotRegistryFile: return "not a Wine registry file (no \"WINE REGISTRY Version 2\")";
    case Problem::CutShort: return "the file does not end with a line break (it may have been cut short)";
    case Problem::TextBeforeFirstKey: return "unexpected text before the first key";
    case Problem::KeyLine: return "key line not understood";
    case Problem::KeyPathTooDeep: return "key path too deep";
    case Problem::KeyOption: return "key option not understood";
    case Problem::ValueLine: return "value line not understood";
    case Problem::Line: return "line not understood";
    case Problem::TooLarge: return "the file is larger than 1 GB";
    case Problem::NotRegularFile: return "it is not a regular file";
    case Problem::Unreadable: return "the file cannot be read";
    case Problem::FolderLocked: return "the registry folder stayed locked by another program for too long";
    case Problem::LockFailed: return "the registry folder cannot be locked";
    case Problem::WriteFailed: return "saving failed";
    case Problem::RewriteWaits: return "an unfinished rewrite waits to be completed";
    case Problem::RewriteUnfinished: return "an unfinished rewrite could not be completed";
    }
    return "";
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
