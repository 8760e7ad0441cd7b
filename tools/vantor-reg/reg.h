// What the operations of vantor-reg share: the console they speak on, the
// command line's switches and key names, and registry access.
#pragma once

#include <winreg.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OwnedKey.h"
#include "RegFile.h"

namespace reg {

inline constexpr char kBadKey[] = "reg: Invalid system key";
inline constexpr char kNoKey[] = "reg: Unable to find the specified registry key";
inline constexpr char kNoValue[] = "reg: Unable to find the specified registry value";
inline constexpr char kDenied[] = "reg: Access is denied";

std::string SyntaxError(std::string_view operation);
// A value's name as messages show it.
std::string Shown(const std::string &name);

// Standard output, collected and written in one go as a long listing is the
// common case, and questions answered on standard input.
enum class Answer { Yes, No, All, EndOfInput };

// What went wrong, for the statuses that tell the cases apart (--status,
// --json); Wine's reg ends every failure with 1.
enum class Failure {
    Other = 1,
    NoKey = 2,
    NoValue = 3, // or a search that found nothing
    BadInput = 4, // nothing changed
    Unchangeable = 5, // a hive may not be changed, or a save failed
    Bridge = 6, // the live prefix's bridge into Wine failed
    OutOfMemory = 7,
};

class Console {
public:
    void Say(std::string_view line);
    // Says the message (with --json, it is the error's); the failure status.
    // The kind is told from the message, which is one of Wine's reg.
    int Fail(std::string_view message);
    // A failure Wine's reg has no message for, told on standard error after
    // all that was said; the failure status.
    int Warn(std::string_view problem, Failure kind = Failure::Other);
    // A failure told already, or one that Wine's reg calls success (a search
    // that found nothing): kept for --json, and the status of its kind.
    int Told(Failure kind, std::string_view message)
    {
        Record(kind, message);
        return StatusOf(kind);
    }
    // A notice on standard error that is no failure (with --json, also in
    // the answer's "notices").
    void Notice(std::string_view notice);
    // The status of a failure of this kind.
    int StatusOf(Failure kind) const;

    // --json: the answer is one document, made of the keys a query found or
    // of what a change did.
    bool Json() const;
    void JsonKey(std::string entry) { keys_.push_back(std::move(entry)); }
    void Changed(size_t count) { changed_ += count; }
    void Copied(const std::string &file) { copies_.push_back(file); }
    void AnswersWithKeys() { query_ = true; }
    // Writes the document (--json) and all else that was said; false once
    // anything could not be written.
    bool Finish();
    // A question that cannot be shown, or the end of input, gets EndOfInput.
    Answer Ask(const std::string &question, bool offerAll);
    // Says the command was cancelled; the status it ends with.
    int Refused(Answer answer);
    // Writes what was said; false once anything could not be written.
    bool Flush();

private:
    void Record(Failure kind, std::string_view message);

    std::string out_;
    bool lost_ = false;
    bool query_ = false;
    std::vector<std::string> keys_;   // JSON objects
    std::vector<std::string> copies_;
    std::vector<std::string> notices_;
    size_t changed_ = 0;
    std::optional<std::pair<Failure, std::string>> error_;
};

// The command line from the operation's name on.
using Arguments = std::vector<std::string>;

// The switches before the operation.
struct Settings {
    std::string prefix;
    bool copies = true;    // a copy before every delete (--no-copy: none)
    bool json = false;     // --json
    bool statuses = false; // --status, or --json
};

// JSON text: a string, and a value in its natural form.
std::string JsonString(std::string_view utf8);
std::string JsonValue(const regfile::Value &value);
Settings &CommandSettings();

// Each switch given, with its value ("" for a flag).
using Switches = std::map<std::string, std::string, std::less<>>;

// The switches after the operation's `fixed` arguments (the key, or two
// names). Null when an argument is missing, or a switch is unknown, given
// twice or without its value.
std::optional<Switches> ParseSwitches(const Arguments &args, size_t fixed,
                                      std::initializer_list<std::string_view> flags,
                                      std::initializer_list<std::string_view> withValue);
std::optional<std::string> ValueOf(const Switches &switches, std::string_view name);

// /v NAME or /ve: the value's name, or nothing when neither was given. False
// when both were.
bool ValueChoice(const Switches &switches, std::optional<std::string> &name);

// The types a command line may name, and the names `reg query` shows.
std::optional<DWORD> TypeCode(const std::string &name);
std::string TypeName(DWORD type);

struct KeyName {
    HKEY root = nullptr;
    std::string path;  // below the root
    std::string shown; // the root's long name and the path
};

std::optional<KeyName> ParseKey(const std::string &typed);

// The key, or null when it does not exist, with the status that told so:
// ERROR_FILE_NOT_FOUND, or ERROR_BAD_PATHNAME for a name that no key can have
// (a path that starts with a backslash, as HKCU\\Software gives). Any other
// failure throws.
HKEY Open(const KeyName &key, REGSAM access, LSTATUS *status = nullptr);
// What Wine's reg says when a change cannot open its key.
const char *Unopened(LSTATUS status);

// Values are read and written with the W functions, which move their bytes
// as they are; names are WTF-8, as regfile gives them.
std::u16string Wide(const std::string &name);
std::optional<regfile::Value> ReadValue(HKEY key, const std::string &name);
inline bool ValueExists(HKEY key, const std::string &name) { return ReadValue(key, name).has_value(); }

// Pending changes reach the files; a save that fails is the command's failure.
int Saved(Console &console, int status);
// The change is made: it reaches the files, and the success is told.
int Done(Console &console);

bool FileExists(const std::string &path);

int Query(Console &console, const Arguments &args);
int Add(Console &console, const Arguments &args);
int Delete(Console &console, const Arguments &args);
int Copy(Console &console, const Arguments &args);
int Export(Console &console, const Arguments &args);
int Import(Console &console, const Arguments &args);
int Copies(Console &console, const Arguments &args);

} // namespace reg
