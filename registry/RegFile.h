// .reg files: writing a key with everything below it, and applying a file to
// the registry. Written against the registry API alone, so the program, the
// command-line tool and a Windows build share it.
//
// Names given to and taken from these functions are UTF-8, and a name that
// is not well-formed UTF-16 is kept as WTF-8 (textconv.h). Values move
// through the registry's W functions, so their bytes are never converted.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <winreg.h>
#endif

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace regfile {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be read or written.
class FileError : public Error {
public:
    using Error::Error;
};

enum class Format {
    Unicode, // "Windows Registry Editor Version 5.00", UTF-16LE with a byte-order mark, CR LF
    Ansi,    // "REGEDIT4", the ANSI code page of the locale as Wine derives it, CR LF
};

// Whether two names are the same but for the case of ASCII letters, as
// Wine compares root names, switches and type names.
bool SameLetters(std::string_view a, std::string_view b);

struct Root {
    HKEY key;
    const char *longName;
    const char *shortName;
};

// The predefined key a typed root names (long or short, any case), or null.
const Root *FindRoot(const std::string &name);

// A full key name split into its root and the path below it ("" for the root).
// A trailing backslash is dropped. Null when the root is unknown.
const Root *SplitKeyName(const std::string &fullName, std::string &path);

// True for a key that is never deleted: a predefined root itself or the top
// key of a hive, a direct subkey of HKEY_USERS. `path` is below the predefined
// key `root`; empty names between backslashes count for nothing.
bool IsHiveRoot(HKEY root, std::string_view path);

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data; // as stored: text in UTF-16LE
};

// The values and subkey names of an open key, in the registry's order. Throws
// Error when the registry refuses to list them.
std::vector<Value> ValuesOf(HKEY key);
std::vector<std::string> SubkeyNamesOf(HKEY key);
// Calls visit(subkey, name) for each subkey of the key `keyName` (open as
// `key`), the subkey open for reading while visit runs; a link whose target
// is missing is passed over. Throws Error when one cannot be opened.
void EachSubkey(HKEY key, const std::string &keyName, const std::function<void(HKEY, const std::string &)> &visit);

// Deletes the key root\path with everything below it; a link goes itself,
// and what it points to stays. A key that is never deleted (IsHiveRoot) is
// refused with ERROR_ACCESS_DENIED before anything below it goes.
LSTATUS DeleteTree(HKEY root, const std::string &path);

// The file text for the key `fullName` (open as `key`) and everything below
// it; ExportValue writes the key with that one value only. A REG_SZ value
// that a quoted string would not give back exactly (no terminator, one
// inside, an odd length) is written as hex(1). A REGEDIT4 text that its code
// page cannot hold throws Error.
std::string ExportKey(HKEY key, const std::string &fullName, Format format);
std::string ExportValue(HKEY key, const std::string &fullName, const std::string &valueName, Format format);
// ExportKey straight into a file, without holding all of it in memory,
// written as WriteFile writes. A file that cannot be written throws
// FileError.
void ExportKeyToFile(HKEY key, const std::string &fullName, Format format, const std::string &path);

// What an import did beside its changes: the notices Wine's reg prints for
// such a file (an unknown escape, a key that cannot be written), and what
// makes it incomplete: the lines it could not understand or apply, and the
// keys, as the file wrote them, of lines that asked to delete a key that is
// never deleted (IsHiveRoot), which deleted nothing.
struct ImportReport {
    std::vector<std::string> notices;
    std::vector<std::string> problems;
    std::vector<std::string> keptRoots;
    size_t changes = 0; // values written and keys and values deleted
    std::vector<HKEY> roots; // the predefined keys the lines change, once each
    bool applied = true;     // false: all or nothing was asked, and nothing was changed
    bool complete() const { return problems.empty() && keptRoots.empty(); }
};

// Applies a .reg file's bytes (version 5 in UTF-16LE or UTF-8; REGEDIT4 in
// the locale's ANSI code page). A line that fails is reported and the import
// goes on; a file that is not a .reg file, or a REGEDIT4 file beyond ASCII
// under a locale whose code page takes two bytes for a character, throws
// Error.
//
using BeforeDelete = std::function<void(HKEY root, const std::string &path, const std::string *valueName)>;
struct ImportOptions {
    // Called before each delete a line asks for, with the root, the path and
    // the value's name (none for the key): a copy of what goes is taken
    // there. When it throws Error, that delete does not happen and the line
    // is a problem.
    BeforeDelete beforeDelete;
    // The whole input is checked before its first change, and nothing is
    // changed unless every line is understood (input that ends in the middle
    // of a line or of a continued value is not), no root is to be deleted,
    // and `allowed`, given the check's report, adds no problem.
    bool allOrNothing = false;
    std::function<void(ImportReport &)> allowed;
};
ImportReport Import(const std::string &bytes, const ImportOptions &options = {});
// Import of a file, whose first bytes are checked for a header before it is
// read whole. A file that cannot be read throws FileError.
ImportReport ImportFile(const std::string &path, const ImportOptions &options = {});
// Import of standard input, from a file or a pipe, read to its end.
ImportReport ImportStandardInput(const ImportOptions &options = {});

// Reads a whole file, which must be a regular one of at most 4 GiB; writes
// one through a temporary file of a fresh name, synced to the disk, and a
// rename, so a reader never sees half of it and a crash leaves the old file
// or the new one. A symbolic link stays and its target is replaced, a FIFO or
// a device is written straight to, and a directory is refused
// (files/safe_file.h tells all the cases). Both throw FileError with the
// reason.
// A new file that WriteFile makes for its owner only is 0600 (on POSIX).
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes, bool forItsOwnerOnly = false);

} // namespace regfile
