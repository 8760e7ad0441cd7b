#include "RegFile.h"

#include "OwnedKey.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "textconv.h"
#ifdef _WIN32
#include <random>
#include <system_error>
#else
#include "files/safe_file.h"
#endif

namespace regfile {

namespace {

const char *const kUnicodeHeader = "Windows Registry Editor Version 5.00";
const char *const kAnsiHeader = "REGEDIT4";
// A hex line is broken after the byte that takes it beyond this column.
const size_t kHexLineWidth = 76;

const Root kRoots[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"}, {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},   {HKEY_USERS, "HKEY_USERS", "HKU"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG", "HKCC"},
};

// Names for the W functions, whose WCHAR is char16_t here and wchar_t on Windows.
const WCHAR *W(const std::u16string &text) { return reinterpret_cast<const WCHAR *>(text.c_str()); }
WCHAR *W(std::u16string &text) { return reinterpret_cast<WCHAR *>(text.data()); }
std::u16string Wide(std::string_view text) { return textconv::fromWtf8(text); }

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string Describe(LSTATUS status)
{
    switch (status) {
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_FILE_NOT_FOUND: return "not found";
    default: return "error " + std::to_string(status);
    }
}

// Calls visit with each value of an open key, in the registry's order; the
// value it is given lasts until the next call. Throws Error when the registry
// refuses to list them.
template <typename Visit> void EachValue(HKEY key, Visit visit)
{
    // Kept from key to key: most keys fit in what the ones before needed.
    static thread_local std::u16string name(256, u'\0');
    static thread_local std::string data(1024, '\0');
    static thread_local Value value;
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key, index, W(name), &nameLength, nullptr, &type,
                                             reinterpret_cast<BYTE *>(data.data()), &size);
        if (status == ERROR_NO_MORE_ITEMS)
            return;
        if (status == ERROR_MORE_DATA) {
            name.resize(name.size() * 2);
            data.resize(size > data.size() ? size : data.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS)
            throw Error("cannot list the values: " + Describe(status));
        value.name.clear();
        textconv::appendUtf8(std::u16string_view(name.data(), nameLength), value.name, true);
        value.type = type;
        value.data.assign(data.data(), size);
        visit(value);
        ++index;
    }
}

std::vector<std::u16string> WideSubkeyNamesOf(HKEY key)
{
    std::vector<std::u16string> names;
    std::u16string name(512, u'\0'); // a key name's limit, and its terminator
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS status = RegEnumKeyExW(key, index, W(name), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return names;
        if (status != ERROR_SUCCESS)
            throw Error("cannot list the subkeys: " + Describe(status));
        names.emplace_back(name.data(), length);
    }
}

// Sets a value to exactly its bytes. Windows, and Wine after it, count a
// string's terminator that its size leaves out when one follows the data in
// memory: a unit that is none follows it here.
LSTATUS SetValue(HKEY key, const std::string &name, Value &value)
{
    const size_t size = value.data.size();
    value.data.append(2, '\xFF');
    const LSTATUS status = RegSetValueExW(key, W(Wide(name)), 0, value.type,
                                          reinterpret_cast<const BYTE *>(value.data.data()), static_cast<DWORD>(size));
    value.data.resize(size);
    return status;
}

// ---------------------------------------------------------------------------
// Writing.

#ifdef _WIN32
// The file an export or a copy goes to: a temporary file of a fresh name
// beside it, flushed to the disk and moved over it by Commit; without Commit
// the temporary file goes again. Every failure throws FileError with the
// reason.
class OutputFile {
public:
    explicit OutputFile(const std::string &path, bool = false) : path_(path)
    {
        std::random_device random;
        do {
            char suffix[17];
            std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
            temporary_ = path + ".vantor-" + suffix;
            handle_ = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        } while (handle_ == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS);
        if (handle_ == INVALID_HANDLE_VALUE)
            Fail(GetLastError());
    }
    ~OutputFile()
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            DeleteFileA(temporary_.c_str());
        }
    }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void Write(std::string_view bytes)
    {
        while (!bytes.empty()) {
            DWORD written = 0;
            const auto size = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 30));
            if (!::WriteFile(handle_, bytes.data(), size, &written, nullptr))
                Fail(GetLastError());
            if (written == 0)
                Fail(ERROR_WRITE_FAULT);
            bytes.remove_prefix(written);
        }
    }

    void Commit()
    {
        DWORD error = FlushFileBuffers(handle_) ? 0 : GetLastError();
        if (!CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) && error == 0)
            error = GetLastError();
        if (error == 0 &&
            !MoveFileExA(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            error = GetLastError();
        if (error != 0) {
            DeleteFileA(temporary_.c_str());
            Fail(error);
        }
    }

private:
    [[noreturn]] void Fail(DWORD error) const
    {
        throw FileError(path_ + ": " + std::system_category().message(static_cast<int>(error)));
    }

    std::string path_;
    std::string temporary_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
#else
// The file an export or a copy goes to, written the one safe way of
// files::SafeFile: a file replaced in one step and synced to the disk, a
// FIFO or a device written straight to. Without Commit what stood there
// stays. Every failure throws FileError with the reason.
class OutputFile {
public:
    explicit OutputFile(const std::string &path, bool forItsOwnerOnly = false) : path_(path)
    {
        Check(file_.open(path, forItsOwnerOnly ? 0600 : 0666));
    }

    void Write(std::string_view bytes) { Check(file_.write(bytes)); }
    void Commit() { Check(file_.commit()); }

private:
    void Check(int error) const
    {
        if (error != 0)
            throw FileError(path_ + ": " + std::strerror(error));
    }

    std::string path_;
    files::SafeFile file_;
};
#endif

// Text is gathered as WTF-8, so that names and strings that are not
// well-formed UTF-16 pass unchanged, and goes out in the format's encoding at
// the end, or to a file whenever a chunk is full.
class Writer {
public:
    explicit Writer(Format format, OutputFile *file = nullptr)
        : format_(format), codePage_(format == Format::Ansi ? textconv::ansiCodePage() : 0), file_(file)
    {
        if (file_ && format_ == Format::Unicode)
            file_->Write("\xFF\xFE");
        out_ += format == Format::Unicode ? kUnicodeHeader : kAnsiHeader;
        out_ += "\r\n";
    }

    void Key(const std::string &fullName)
    {
        out_ += "\r\n[";
        out_ += fullName;
        out_ += "]\r\n";
        DrainIfFull();
    }

    void Entry(const Value &value)
    {
        const size_t lineStart = out_.size();
        if (value.name.empty()) {
            out_ += '@';
        } else {
            out_ += '"';
            Escaped(value.name);
            out_ += '"';
        }
        out_ += '=';
        Data(value, lineStart);
        out_ += "\r\n";
        DrainIfFull();
    }

    // The whole text, or nothing when it went to a file.
    std::string Finish()
    {
        out_ += "\r\n";
        if (file_) {
            Drain();
            return {};
        }
        std::string bytes = format_ == Format::Unicode ? "\xFF\xFE" : "";
        Encode(out_, bytes);
        return bytes;
    }

private:
    static constexpr size_t kChunk = 1 << 18;

    void DrainIfFull()
    {
        if (file_ && out_.size() >= kChunk)
            Drain();
    }

    void Drain()
    {
        encoded_.clear();
        Encode(out_, encoded_);
        file_->Write(encoded_);
        out_.clear();
    }

    // Text in the file's encoding: UTF-16LE, or the ANSI code page of the
    // locale, which must have a byte for every character.
    void Encode(std::string_view text, std::string &bytes) const
    {
        if (format_ == Format::Unicode) {
            textconv::appendUtf16Bytes(text, bytes, true);
            return;
        }
        bytes += textconv::isAscii(text) ? std::string(text) : AnsiBytes(textconv::fromWtf8(text));
    }

    std::string AnsiBytes(std::u16string_view text) const
    {
        std::optional<std::string> bytes = textconv::encodeCodePage(codePage_, text);
        if (!bytes)
            throw Error("the text cannot be written in code page " + std::to_string(codePage_) +
                        " of this locale, as a REGEDIT4 file must be; a version 5 file can hold it");
        return *std::move(bytes);
    }

    void Escaped(std::string_view text)
    {
        size_t plain = 0; // the start of the run of characters that stay as they are
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c != '\\' && c != '"' && c != '\n' && c != '\r')
                continue;
            out_.append(text, plain, i - plain);
            out_ += c == '\n' ? std::string_view("\\n") : c == '\r' ? "\\r" : c == '"' ? "\\\"" : "\\\\";
            plain = i + 1;
        }
        out_.append(text, plain);
    }

    // Whether REG_SZ data reads back the same from a quoted string: whole
    // UTF-16 units with one terminator, the last.
    static bool IsPlainString(std::string_view data)
    {
        if (data.size() < 2 || data.size() % 2 != 0)
            return false;
        for (size_t i = 0; i < data.size(); i += 2)
            if (data[i] == 0 && data[i + 1] == 0)
                return i + 2 == data.size();
        return false;
    }

    void Data(const Value &value, size_t lineStart)
    {
        const std::string_view data = value.data;
        if (value.type == REG_SZ && IsPlainString(data)) {
            text_.clear();
            textconv::appendUtf8FromBytes(data.substr(0, data.size() - 2), text_, true);
            out_ += '"';
            Escaped(text_);
            out_ += '"';
            return;
        }
        if (value.type == REG_DWORD && data.size() == 4) {
            char text[16];
            std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(LittleEndian32(data)));
            out_ += text;
            return;
        }
        if (value.type == REG_BINARY) {
            out_ += "hex:";
        } else {
            char text[24];
            std::snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned>(value.type));
            out_ += text;
        }
        // A REGEDIT4 file holds strings in its code page, hex ones too.
        if (format_ == Format::Ansi && IsStringType(value.type)) {
            if (data.size() % 2 != 0)
                throw Error("the value " + value.name + " cannot be written to a REGEDIT4 file as it is");
            Hex(AnsiBytes(textconv::fromBytes(data)), lineStart);
            return;
        }
        Hex(data, lineStart);
    }

    static unsigned long LittleEndian32(std::string_view data)
    {
        unsigned long number = 0;
        for (size_t i = 0; i < 4; ++i)
            number |= static_cast<unsigned long>(static_cast<unsigned char>(data[i])) << (8 * i);
        return number;
    }

    // The UTF-16 units of WTF-8 text: one for each character, two for those
    // of four bytes.
    static size_t Utf16Units(std::string_view text)
    {
        size_t units = 0;
        for (const char c : text) {
            const auto b = static_cast<unsigned char>(c);
            units += (b & 0xC0) != 0x80 ? 1 : 0;
            units += b >= 0xF0 ? 1 : 0;
        }
        return units;
    }

    // Bytes as "xx,xx,...", broken into lines of about 80 columns that end in
    // a backslash and go on indented by two spaces.
    void Hex(std::string_view bytes, size_t lineStart)
    {
        static const char digits[] = "0123456789abcdef";
        // The column counts characters, as the reader of the file sees them.
        size_t column = Utf16Units(std::string_view(out_).substr(lineStart));
        const size_t start = out_.size();
        out_.resize(start + bytes.size() * 8); // "xx," and a line break at most, for each byte
        char *to = out_.data() + start;
        for (size_t i = 0; i < bytes.size(); ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            to[0] = digits[b >> 4];
            to[1] = digits[b & 15];
            to += 2;
            column += 2;
            if (i + 1 == bytes.size())
                break;
            *to++ = ',';
            ++column;
            if (column > kHexLineWidth) {
                std::memcpy(to, "\\\r\n  ", 5);
                to += 5;
                column = 2;
            }
        }
        out_.resize(static_cast<size_t>(to - out_.data()));
    }

    Format format_;
    unsigned codePage_; // REGEDIT4's
    OutputFile *file_;
    std::string out_;
    std::string encoded_; // a chunk on its way to the file
    std::string text_;    // a string value's text
};

// fullName is the key's name on the way in and out; below, it grows by the
// name of each subkey in turn.
void WriteTree(Writer &writer, HKEY key, std::string &fullName)
{
    writer.Key(fullName);
    EachValue(key, [&writer](const Value &value) { writer.Entry(value); });
    const size_t length = fullName.size();
    EachSubkey(key, fullName, [&](HKEY sub, const std::string &name) {
        fullName += '\\';
        fullName += name;
        WriteTree(writer, sub, fullName);
        fullName.resize(length);
    });
}

// ---------------------------------------------------------------------------
// Reading.

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// What comes before a comment, trimmed. Only where no quoted text can hold
// a semicolon.
std::string_view WithoutComment(std::string_view text) { return Trimmed(text.substr(0, text.find(';'))); }

// The value of each byte as a hexadecimal digit, -1 for the others.
constexpr std::array<signed char, 256> kHexDigits = [] {
    std::array<signed char, 256> digits{};
    for (int c = 0; c < 256; ++c)
        digits[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                    : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                    : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                           : -1;
    return digits;
}();

int HexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }

// Hexadecimal digits, as many as there are, making up all of text, whose
// number is at most limit.
bool ParseHexDigits(std::string_view text, unsigned long long limit, unsigned long long &number)
{
    number = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        number = number * 16 + static_cast<unsigned long long>(d);
        if (number > limit)
            return false;
    }
    return !text.empty();
}

// The type in "hex(N):" as Wine's reg takes it: none at all is 0; else
// blanks, a sign and hexadecimal digits, a negative number counting back
// from 2^32.
bool ParseType(std::string_view text, DWORD &type)
{
    if (text.empty()) {
        type = 0;
        return true;
    }
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+'))
        text.remove_prefix(1);
    unsigned long long number = 0;
    if (!ParseHexDigits(text, negative ? 0x80000000ULL : 0xFFFFFFFFULL, number))
        return false;
    type = static_cast<DWORD>(negative ? 0x100000000ULL - number : number);
    return true;
}

// A hexadecimal number of at most `maxDigits` digits making up all of text.
bool ParseHexNumber(std::string_view text, size_t maxDigits, unsigned long &number)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    number = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        number = number * 16 + static_cast<unsigned long>(d);
    }
    return true;
}

class Importer {
public:
    // codePage: a REGEDIT4 file's, 0 for a version 5 file.
    // checkOnly: every line is read and checked, and nothing is changed.
    Importer(unsigned codePage, ImportReport &report, const BeforeDelete &beforeDelete, bool checkOnly)
        : codePage_(codePage), report_(report), beforeDelete_(beforeDelete), checkOnly_(checkOnly)
    {
    }
    // An import that ends early has its failure told already.
    ~Importer()
    {
        for (const Created &created : chain_)
            RegCloseKey(created.key);
    }
    Importer(const Importer &) = delete;
    Importer &operator=(const Importer &) = delete;

    // Closes the keys still open; a save that this makes may fail.
    void Finish() { Forget(0); }

    void Line(std::string_view line, size_t number)
    {
        number_ = number;
        line = Trimmed(line);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            return;
        if (line.front() == '[') {
            KeyLine(line);
            return;
        }
        if (line.front() == '@' || line.front() == '"')
            ValueLine(line);
        else
            Problem("not understood: " + std::string(line));
    }

private:
    void Problem(const std::string &message)
    {
        report_.problems.push_back("line " + std::to_string(number_) + ": " + message);
    }

    // False when the copy before the delete failed, which is then a problem.
    bool CopiedBeforeDelete(HKEY root, const std::string &path, const std::string *valueName)
    {
        if (!beforeDelete_)
            return true;
        try {
            beforeDelete_(root, path, valueName);
            return true;
        } catch (const Error &error) {
            Problem(std::string(error.what()) + "; nothing was deleted");
            return false;
        }
    }

    // Wine's reg prints this one; it is a failure all the same.
    void Notice(const std::string &message)
    {
        report_.notices.push_back(message);
        Problem(message);
    }

    // Closes the keys of the chain from `keep` on. A close that saves (which
    // it does outside a batch, for a hive's last open key) may fail.
    void Forget(size_t keep)
    {
        while (chain_.size() > keep) {
            const HKEY key = chain_.back().key;
            chain_.pop_back();
            if (RegCloseKey(key) != ERROR_SUCCESS)
                Problem("the registry could not be saved");
        }
    }

    void KeyLine(std::string_view line)
    {
        key_ = nullptr;
        const size_t close = line.rfind(']');
        if (close == std::string_view::npos || close == 0) {
            Problem("not understood: " + std::string(line));
            return;
        }
        std::string_view name = line.substr(1, close - 1);
        const bool remove = !name.empty() && name.front() == '-';
        if (remove)
            name.remove_prefix(1);
        std::string path;
        const Root *root = SplitKeyName(std::string(name), path);
        if (!root) {
            Notice("reg: Unable to import the registry key '" + std::string(name) + "'");
            return;
        }
        if (remove && IsHiveRoot(root->key, path)) {
            report_.keptRoots.emplace_back(name);
            return;
        }
        if (std::ranges::find(report_.roots, root->key) == report_.roots.end())
            report_.roots.push_back(root->key);
        if (checkOnly_) {
            key_ = remove ? nullptr : kChecked;
            return;
        }
        if (remove) {
            Forget(0); // its keys may be gone
            if (!CopiedBeforeDelete(root->key, path, nullptr))
                return;
            const LSTATUS status = DeleteTree(root->key, path);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                Problem("cannot delete the key " + std::string(name));
            report_.changes += status == ERROR_SUCCESS ? 1 : 0;
            return;
        }
        const Created base = Below(*root, path);
        if (RegCreateKeyExW(base.key, W(Wide(path.c_str() + base.skip)), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            Forget(0);
            Notice("reg: Unable to import the registry key '" + std::string(name) + "'");
            return;
        }
        chain_.push_back({root, std::move(path), key_});
    }

    // The keys of the last key lines, each inside the one before it: a file
    // lists a key's subkeys after it, so a key line is mostly created from
    // one of these rather than walked to from its root again.
    struct Created {
        const Root *root;
        std::string path;
        HKEY key;
        size_t skip = 0; // Below: the characters of the path that key stands for
    };

    // The deepest key of the chain that holds root\path, or the root itself;
    // the keys after it are closed.
    Created Below(const Root &root, const std::string &path)
    {
        while (!chain_.empty()) {
            const Created &last = chain_.back();
            const size_t length = last.path.size();
            if (last.root == &root && length > 0 && path.size() > length + 1 && path.compare(0, length, last.path) == 0 &&
                path[length] == '\\' && path[length + 1] != '\\')
                return {&root, {}, last.key, length + 1};
            Forget(chain_.size() - 1);
        }
        return {&root, {}, root.key, 0};
    }

    void ValueLine(std::string_view line)
    {
        std::string &name = name_;
        name.clear();
        size_t at = 0;
        if (line.front() == '@') {
            at = 1;
        } else if (!QuotedText(line, at, name)) {
            Problem("not understood: " + std::string(line));
            return;
        }
        std::string_view rest = Trimmed(line.substr(at));
        if (rest.empty() || rest.front() != '=') {
            Problem("not understood: " + std::string(line));
            return;
        }
        rest = Trimmed(rest.substr(1));
        if (!key_)
            return; // its key was refused, and said so
        if (WithoutComment(rest) == "-" && checkOnly_)
            return;
        if (WithoutComment(rest) == "-") {
            if (!CopiedBeforeDelete(chain_.back().root->key, chain_.back().path, &name))
                return;
            const LSTATUS status = RegDeleteValueW(key_, W(Wide(name)));
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                Problem("cannot delete the value " + name);
            report_.changes += status == ERROR_SUCCESS ? 1 : 0;
            return;
        }
        Value &value = value_; // its name is the line's
        refusal_.clear();
        if (!Data(rest, value)) {
            Problem(refusal_.empty() ? "not understood: " + std::string(line) : refusal_);
            return;
        }
        if (checkOnly_)
            return;
        if (SetValue(key_, name, value) != ERROR_SUCCESS)
            Problem("cannot write the value " + name);
        else
            ++report_.changes;
    }

    // A text in double quotes starting at `at`, with its escapes undone.
    bool QuotedText(std::string_view line, size_t &at, std::string &text)
    {
        for (size_t i = at + 1; i < line.size(); ++i) {
            // The characters up to the next quote or escape, as they are.
            size_t end = i;
            while (end < line.size() && line[end] != '"' && line[end] != '\\')
                ++end;
            text.append(line, i, end - i);
            i = end;
            if (i == line.size())
                break;
            if (line[i] == '"') {
                at = i + 1;
                return true;
            }
            if (i + 1 == line.size()) {
                text += '\\';
                continue;
            }
            const char next = line[++i];
            if (next == 'n') {
                text += '\n';
            } else if (next == 'r') {
                text += '\r';
            } else if (next == '0') {
                return false; // as Wine's reg, which then leaves the value out
            } else if (next == '\\' || next == '"') {
                text += next;
            } else {
                report_.notices.push_back("reg: Unrecognized escape sequence [\\" + std::string(1, next) + "]");
                text += next;
            }
        }
        return false;
    }

    bool Data(std::string_view text, Value &value)
    {
        if (text.front() == '"') {
            size_t at = 0;
            text_.clear();
            if (!QuotedText(text, at, text_) || !WithoutComment(text.substr(at)).empty())
                return false;
            value.type = REG_SZ;
            value.data.clear();
            textconv::appendUtf16Bytes(text_, value.data, true);
            value.data.append(2, '\0');
            return true;
        }
        text = WithoutComment(text);
        if (text.starts_with("dword:")) {
            unsigned long number = 0;
            if (!ParseHexNumber(Trimmed(text.substr(6)), 8, number))
                return false;
            value.type = REG_DWORD;
            value.data.clear();
            for (int i = 0; i < 4; ++i)
                value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
            return true;
        }
        if (text.starts_with("hex:")) {
            value.type = REG_BINARY;
            return HexBytes(text.substr(4), value);
        }
        if (text.starts_with("hex(")) {
            const size_t close = text.find("):");
            if (close == std::string_view::npos || !ParseType(text.substr(4, close - 4), value.type))
                return false;
            return HexBytes(text.substr(close + 2), value);
        }
        return false;
    }

    // Bytes as "xx,xx,...", as Wine's reg reads them: each a number of at
    // most 0xff after blanks, a '+' and "0x", a comma right after it, and
    // nothing but blanks after a final comma.
    bool HexBytes(std::string_view text, Value &value)
    {
        std::string &bytes = bytes_;
        bytes.clear();
        size_t i = 0;
        while (i < text.size()) {
            // Most bytes are two digits and a comma with more to follow.
            if (i + 3 < text.size() && text[i + 2] == ',' && HexDigit(text[i + 3]) >= 0) {
                const int high = HexDigit(text[i]);
                const int low = HexDigit(text[i + 1]);
                if (high >= 0 && low >= 0) {
                    bytes += static_cast<char>(high * 16 + low);
                    i += 3;
                    continue;
                }
            }
            i = std::min(text.find_first_not_of(" \t", i), text.size());
            if (i < text.size() && text[i] == '+')
                ++i;
            if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X")
                i += 2;
            const size_t digits = std::min(text.find_first_of(",", i), text.size());
            unsigned long long byte = 0;
            if (!ParseHexDigits(text.substr(i, digits - i), 0xFF, byte))
                return false;
            bytes += static_cast<char>(byte);
            i = digits + 1;
            if (digits == text.size() || text.find_first_not_of(" \t", i) == std::string_view::npos)
                break;
        }
        // A version 5 file holds strings as they are stored, in UTF-16.
        if (codePage_ == 0 || !IsStringType(value.type)) {
            value.data.swap(bytes);
            return true;
        }
        return FromCodePage(bytes, value.data);
    }

    // A REGEDIT4 file's string in its code page, as UTF-16LE.
    bool FromCodePage(std::string_view bytes, std::string &data)
    {
        const std::optional<std::u16string> text = textconv::decodeCodePage(codePage_, bytes);
        if (!text) {
            refusal_ = "a string of code page " + std::to_string(codePage_) +
                       ", which takes two bytes for some characters, is not read";
            return false;
        }
        data = textconv::toBytes(*text);
        return true;
    }

    unsigned codePage_;
    ImportReport &report_;
    const BeforeDelete &beforeDelete_;
    bool checkOnly_;
    // The key of a key line when only checking: never passed to the registry.
    static inline const HKEY kChecked = reinterpret_cast<HKEY>(uintptr_t{1});
    HKEY key_ = nullptr; // the last key of the chain, or null when its key line failed
    std::vector<Created> chain_; // each holds its key open
    // Room that each value line reuses.
    std::string name_;
    Value value_;
    std::string text_;
    std::string bytes_;
    std::string refusal_; // why the value line's data is refused, when not for its form
    size_t number_ = 0;
};

// A file's text as WTF-8, and the code page of a file in an ANSI code page
// (0 for a version 5 file in UTF-16 or UTF-8). A UTF-16 file keeps every
// unit, well-formed or not. Text that needs no decoding is the file's bytes
// themselves, and decoded stays empty.
struct FileText {
    std::string decoded;
    bool asIs = false;
    unsigned codePage = 0;

    std::string_view Text(std::string_view bytes) const { return asIs ? bytes : std::string_view(decoded); }
};

FileText DecodeFile(std::string_view bytes)
{
    FileText file;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        textconv::appendUtf8FromBytes(bytes.substr(2), file.decoded, true);
        return file;
    }
    const bool utf8Bom = bytes.starts_with("\xEF\xBB\xBF");
    std::string_view text = bytes.substr(utf8Bom ? 3 : 0);
    // A version 5 file without a byte-order mark is taken as UTF-8 when it
    // is well-formed UTF-8; else it is in the ANSI code page, as Wine's reg
    // reads every such file.
    const bool version5 = text.starts_with(kUnicodeHeader);
    if (version5 && (utf8Bom || textconv::isValidUtf8(text))) {
        file.decoded = utf8Bom ? textconv::toUtf8(textconv::toUtf16(text)) : std::string();
        file.asIs = !utf8Bom;
        return file;
    }
    // REGEDIT4, written in the ANSI code page of its user's language, which
    // is taken to be the locale's, as Wine takes it.
    file.codePage = textconv::ansiCodePage();
    if (textconv::isAscii(text)) {
        file.asIs = !utf8Bom;
        file.decoded = utf8Bom ? std::string(text) : std::string();
    } else if (const std::optional<std::u16string> decoded = textconv::decodeCodePage(file.codePage, text)) {
        file.decoded = textconv::toUtf8(*decoded);
    } else {
        throw Error(std::string(version5 ? "a version 5 file without a byte-order mark" : "a REGEDIT4 file") +
                    " beyond ASCII is not read in code page " + std::to_string(file.codePage) +
                    " of this locale, which takes two bytes for some characters");
    }
    return file;
}

// The lines of a text, each without its line break: CR LF, LF CR, or a CR
// or LF alone, as Wine's reg takes them.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text), lf_(text.find('\n')), cr_(text.find('\r')) {}

    bool AtEnd() const { return at_ >= text_.size(); }

    std::string_view Next()
    {
        const size_t end = std::min({Following('\n', lf_), Following('\r', cr_), text_.size()});
        const std::string_view line = text_.substr(at_, end - at_);
        at_ = end;
        if (at_ < text_.size()) {
            const char lineBreak = text_[at_++];
            if (at_ < text_.size() && (text_[at_] == '\r' || text_[at_] == '\n') && text_[at_] != lineBreak)
                ++at_;
        }
        return line;
    }

    std::string_view Peek()
    {
        const size_t at = at_;
        const std::string_view line = Next();
        at_ = at;
        return line;
    }

private:
    // Where the next c lies; looked for again only once passed, so that a
    // text without one is not searched to its end for each line.
    size_t Following(char c, size_t &found) const
    {
        if (found != std::string_view::npos && found < at_)
            found = text_.find(c, at_);
        return found;
    }

    std::string_view text_;
    size_t at_ = 0;
    size_t lf_;
    size_t cr_;
};

// Whether bytes start with the header line of a .reg file, in UTF-16 after
// its byte-order mark or in bytes. Only the first line is looked at.
bool StartsWithHeader(std::string_view bytes)
{
    std::string first;
    if (bytes.starts_with("\xFF\xFE")) {
        for (size_t i = 2; i + 1 < bytes.size() && bytes[i + 1] == 0 && bytes[i] != '\r' && bytes[i] != '\n'; i += 2)
            first += bytes[i];
    } else {
        first = Lines(bytes.substr(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0)).Next();
    }
    const std::string_view header = Trimmed(first);
    return header == kUnicodeHeader || header == kAnsiHeader;
}

// Where the data of a value line starts, after its name, its '=' and the
// blanks around it; npos for a line that is no value line.
size_t DataStart(std::string_view line)
{
    size_t at = 1;
    if (line.starts_with('"')) {
        while (at < line.size() && line[at] != '"')
            at += line[at] == '\\' ? 2 : 1;
        ++at;
    } else if (!line.starts_with('@')) {
        return std::string_view::npos;
    }
    at = line.find_first_not_of(" \t", std::min(at, line.size()));
    if (at == std::string_view::npos || line[at] != '=')
        return std::string_view::npos;
    return std::min(line.find_first_not_of(" \t", at + 1), line.size());
}

// Applies the lines of a file's text after its header line.
ImportReport ApplyLines(std::string_view text, unsigned codePage, const BeforeDelete &beforeDelete,
                        bool checkOnly = false)
{
    Lines lines(text);
    lines.Next(); // the header
    ImportReport report;
    Importer importer(codePage, report, beforeDelete, checkOnly);
    std::string joined;
    size_t number = 1;
    while (!lines.AtEnd()) {
        const size_t first = ++number;
        std::string_view line = Trimmed(lines.Next());
        // A value's hex data goes on on the next line after a final
        // backslash (a comment may follow it); blank lines and comment lines
        // between are passed over, and a key line ends it (where Wine's reg
        // would take the key line into the value and lose both).
        const size_t data = DataStart(line);
        const std::string_view bytes = data == std::string_view::npos ? std::string_view() : WithoutComment(line.substr(data));
        if (bytes.starts_with("hex") && bytes.ends_with('\\')) {
            joined.assign(line.substr(0, data)).append(bytes.substr(0, bytes.size() - 1));
            bool goesOn = true;
            while (goesOn && !lines.AtEnd() && !Trimmed(lines.Peek()).starts_with('[')) {
                std::string_view more = Trimmed(lines.Next());
                ++number;
                if (more.empty() || more.front() == ';')
                    continue;
                more = WithoutComment(more);
                goesOn = more.ends_with('\\');
                joined.append(goesOn ? more.substr(0, more.size() - 1) : more);
            }
            if (checkOnly && goesOn && lines.AtEnd())
                report.problems.push_back("line " + std::to_string(first) + ": the input ends inside a continued value");
            line = joined;
        }
        importer.Line(line, first);
    }
    if (checkOnly && !text.empty() && text.back() != '\n' && text.back() != '\r')
        report.problems.push_back("line " + std::to_string(number) + ": the input ends in the middle of a line");
    importer.Finish();
    return report;
}

// The lines applied; with all or nothing, only once all of them were checked.
ImportReport ApplyAll(std::string_view text, unsigned codePage, const ImportOptions &options)
{
    if (options.allOrNothing) {
        ImportReport check = ApplyLines(text, codePage, {}, true);
        if (check.complete() && options.allowed)
            options.allowed(check);
        if (!check.complete()) {
            check.applied = false;
            return check;
        }
    }
    return ApplyLines(text, codePage, options.beforeDelete);
}

} // namespace

bool SameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

const Root *FindRoot(const std::string &name)
{
    for (const Root &root : kRoots)
        if (SameLetters(name, root.longName) || SameLetters(name, root.shortName))
            return &root;
    return nullptr;
}

const Root *SplitKeyName(const std::string &fullName, std::string &path)
{
    const size_t slash = fullName.find('\\');
    const Root *root = FindRoot(fullName.substr(0, slash));
    path = slash == std::string::npos ? std::string() : fullName.substr(slash + 1);
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return root;
}

std::vector<Value> ValuesOf(HKEY key)
{
    std::vector<Value> values;
    EachValue(key, [&values](const Value &value) { values.push_back(value); });
    return values;
}

std::vector<std::string> SubkeyNamesOf(HKEY key)
{
    std::vector<std::string> names;
    for (const std::u16string &name : WideSubkeyNamesOf(key))
        names.push_back(textconv::toWtf8(name));
    return names;
}

void EachSubkey(HKEY key, const std::string &keyName, const std::function<void(HKEY, const std::string &)> &visit)
{
    for (const std::u16string &wide : WideSubkeyNamesOf(key)) {
        const std::string name = textconv::toWtf8(wide);
        HKEY sub = nullptr;
        const LSTATUS status = RegOpenKeyExW(key, W(wide), 0, KEY_READ, &sub);
        if (status == ERROR_FILE_NOT_FOUND)
            continue;
        if (status != ERROR_SUCCESS)
            throw Error("cannot open " + keyName + "\\" + name + ": " + Describe(status));
        const OwnedKey closer(sub);
        visit(sub, name);
    }
}

bool IsHiveRoot(HKEY root, std::string_view path)
{
    size_t names = 0;
    bool inName = false;
    for (const char c : path) {
        if (c != '\\' && !inName)
            ++names;
        inName = c != '\\';
    }
    return names == 0 || (root == HKEY_USERS && names == 1);
}

namespace {

// DeleteTree below a key that may be any open key.
LSTATUS DeleteTreeBelow(HKEY parent, const std::u16string &path)
{
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(parent, W(path), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &opened);
    if (status != ERROR_SUCCESS)
        return status;
    {
        const OwnedKey key(opened); // closed before the key itself goes
        std::vector<std::u16string> names;
        try {
            names = WideSubkeyNamesOf(key.get());
        } catch (const Error &) {
            return ERROR_ACCESS_DENIED;
        }
        for (const std::u16string &name : names) {
            status = DeleteTreeBelow(key.get(), name);
            if (status != ERROR_SUCCESS)
                return status;
        }
    }
    return RegDeleteKeyW(parent, W(path));
}

} // namespace

LSTATUS DeleteTree(HKEY root, const std::string &path)
{
    return IsHiveRoot(root, path) ? ERROR_ACCESS_DENIED : DeleteTreeBelow(root, Wide(path));
}

std::string ExportKey(HKEY key, const std::string &fullName, Format format)
{
    Writer writer(format);
    std::string name = fullName;
    WriteTree(writer, key, name);
    return writer.Finish();
}

void ExportKeyToFile(HKEY key, const std::string &fullName, Format format, const std::string &path)
{
    OutputFile file(path);
    Writer writer(format, &file);
    std::string name = fullName;
    WriteTree(writer, key, name);
    writer.Finish();
    file.Commit();
}

std::string ExportValue(HKEY key, const std::string &fullName, const std::string &valueName, Format format)
{
    Writer writer(format);
    writer.Key(fullName);
    for (const Value &value : ValuesOf(key))
        if (value.name == valueName)
            writer.Entry(value);
    return writer.Finish();
}

ImportReport Import(const std::string &bytes, const ImportOptions &options)
{
    if (!StartsWithHeader(bytes))
        throw Error("not a registry file");
    const FileText file = DecodeFile(bytes);
    return ApplyAll(file.Text(bytes), file.codePage, options);
}

namespace {

#ifdef _WIN32
constexpr int kReadFlags = O_RDONLY | O_BINARY;
#else
// Without waiting: a FIFO that nobody writes to is refused below, not waited on.
// A regular file reads alike either way.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
#endif

// A larger file is refused: its text is held in memory whole, and once more
// as it is decoded.
constexpr long long kLargestFile = 4LL << 30;

class ReadableFile {
public:
    explicit ReadableFile(const std::string &path) : path_(path), fd_(open(path.c_str(), kReadFlags)), owned_(true)
    {
        if (fd_ < 0)
            Fail();
    }
    // An open descriptor, read to its end, which may also be a pipe; it stays open.
    ReadableFile(int fd, std::string name) : path_(std::move(name)), fd_(fd), stream_(true) {}
    ~ReadableFile()
    {
        if (owned_)
            (void)close(fd_); // a file that was only read loses nothing
    }
    ReadableFile(const ReadableFile &) = delete;
    ReadableFile &operator=(const ReadableFile &) = delete;

    // The size it tells; a file that is not a regular one, or too large, is refused.
    size_t Size() const
    {
        struct stat info{};
        if (fstat(fd_, &info) != 0)
            Fail();
        if (stream_ && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
            return 0; // a pipe tells no size: it is read to its end
        if (!S_ISREG(info.st_mode))
            throw FileError(path_ + ": not a regular file");
        if (info.st_size > kLargestFile)
            TooLarge();
        return static_cast<size_t>(info.st_size);
    }

    // Up to `size` bytes; 0 at the end.
    size_t Read(char *to, size_t size) const
    {
        for (;;) {
            const auto n = read(fd_, to, static_cast<unsigned>(std::min<size_t>(size, 1 << 30)));
            if (n >= 0)
                return static_cast<size_t>(n);
            if (errno != EINTR)
                Fail();
        }
    }

    [[noreturn]] void TooLarge() const
    {
        throw FileError(path_ + ": too large, more than " + std::to_string(kLargestFile) + " bytes");
    }

private:
    [[noreturn]] void Fail() const { throw FileError(path_ + ": " + std::strerror(errno)); }

    std::string path_;
    int fd_;
    bool owned_ = false;
    bool stream_ = false;
};

} // namespace

namespace {

// What is read of a file before the rest: enough for any header line.
constexpr size_t kFirstRead = 4096;

// A file's bytes, in memory that nothing filled before they were read in.
struct RawBytes {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    std::string_view View() const { return {data.get(), size}; }
};

// Reads a whole file, straight into its bytes: at the size the file tells,
// and one more byte to see its end (or that it grew), then in growing steps,
// which a file that tells no size (as those of /proc) needs. checkFirst,
// when given, sees the first kFirstRead bytes (all, in a shorter file) before
// more is read or room made for it, and may throw.
RawBytes ReadRaw(const ReadableFile &file, const std::function<void(std::string_view)> &checkFirst)
{
    const size_t told = file.Size();
    size_t capacity = checkFirst ? kFirstRead : told + 1;
    RawBytes raw{std::make_unique_for_overwrite<char[]>(capacity)};
    bool checked = !checkFirst;
    for (;;) {
        if (raw.size == capacity) {
            if (!checked)
                checkFirst(raw.View());
            checked = true;
            if (raw.size > static_cast<size_t>(kLargestFile))
                file.TooLarge();
            capacity = std::max({told + 1, capacity * 2, size_t{1} << 16});
            auto larger = std::make_unique_for_overwrite<char[]>(capacity);
            std::memcpy(larger.get(), raw.data.get(), raw.size);
            raw.data = std::move(larger);
        }
        const size_t n = file.Read(raw.data.get() + raw.size, capacity - raw.size);
        raw.size += n;
        if (n == 0) {
            if (!checked)
                checkFirst(raw.View());
            return raw;
        }
    }
}

} // namespace

std::string ReadFile(const std::string &path) { return std::string(ReadRaw(ReadableFile(path), nullptr).View()); }

namespace {

ImportReport ImportFrom(const ReadableFile &input, const ImportOptions &options)
{
    RawBytes raw = ReadRaw(input, [](std::string_view first) {
        if (!StartsWithHeader(first))
            throw Error("not a registry file");
    });
    const FileText file = DecodeFile(raw.View());
    if (!file.asIs)
        raw = {}; // decoded: the bytes are needed no more
    return ApplyAll(file.Text(raw.View()), file.codePage, options);
}

} // namespace

ImportReport ImportFile(const std::string &path, const ImportOptions &options)
{
    return ImportFrom(ReadableFile(path), options);
}

ImportReport ImportStandardInput(const ImportOptions &options)
{
    return ImportFrom(ReadableFile(0, "standard input"), options);
}

void WriteFile(const std::string &path, const std::string &bytes, bool forItsOwnerOnly)
{
    OutputFile file(path, forItsOwnerOnly);
    file.Write(bytes);
    file.Commit();
}

} // namespace regfile
