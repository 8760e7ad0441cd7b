// Copies of what a delete removes, kept before it removes it: a version 5 .reg
// file in $XDG_STATE_HOME/vantor/deleted/ (by default
// ~/.local/state/vantor/deleted/), named by the UTC time, the registry's
// folder and the key. Importing it (`vantor-reg import FILE`, `wine regedit
// FILE`) brings back what it holds. The program's delete commands and
// vantor-reg both keep them.
#pragma once

#include "RegFile.h"
#include "Registry.h"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace deleted {

// A copy that cannot be written: the delete must then not happen.
class CopyError : public regfile::Error {
public:
    using regfile::Error::Error;
};

// What one delete removes: a key with everything below it, or one value.
struct Doomed {
    HKEY root = nullptr;
    std::string path; // below the root
    std::optional<std::string> valueName;
};

// One copy file. Each Add writes the file anew with what it holds so far,
// before the delete it guards, so a batch of deletes (an import) keeps one
// copy of all of them.
class Copy {
public:
    // Adds what is there now; false, and nothing written, when nothing is.
    // Throws CopyError saying why when the file cannot be written.
    bool Add(const Doomed &doomed) { return Add(std::vector<Doomed>{doomed}); }
    // Several at once, in one writing of the file.
    bool Add(const std::vector<Doomed> &doomed);
    // The file, empty while nothing was copied.
    const std::string &File() const { return file_; }
    // For a delete that failed: the file goes again when everything it holds
    // is still there, as it would tell of a delete that never happened.
    // Throws CopyError when it should go and cannot.
    void DropIfUnchanged() const;

private:
    std::string TextOfAll() const;

    std::vector<Doomed> held_;
    std::string text_;
    std::string file_;
};

// The folder of the copies.
std::string Folder();

// The copies of one registry in the folder, newest first.
struct Listed {
    std::string file;
    std::time_t taken = 0;
    std::vector<std::string> keys; // as the file names them
};
std::vector<Listed> List(const std::string &folder, const std::string &registryFolder);

// Removes copies older than 30 days, then the oldest while all of them hold
// more than 100 MB. Only files of our own naming are ever removed.
void Prune(const std::string &folder, std::time_t now);

} // namespace deleted

// The copy kept before one delete of the program's delete commands.
class DeletedCopy {
public:
    DeletedCopy() = default; // nothing was there to copy
    explicit DeletedCopy(deleted::Copy copy) : copy_(std::move(copy)) {}

    // Runs the delete, which tells whether it deleted. When it raises, the
    // copy goes again if what it holds is all still there. What cannot be
    // compared keeps its copy.
    template <typename Delete> bool Guard(Delete remove) const
    {
        try {
            return remove();
        } catch (...) {
            DropIfUnchanged();
            throw;
        }
    }

private:
    // Raises ERegistryException when the copy should go and cannot.
    void DropIfUnchanged() const;

    deleted::Copy copy_;
};

// Writes the key `name` (taken below the open key as RemoveKey takes it) with
// everything below it, or the value `name` of the open key, to a copy.
// Nothing is written when there is nothing to delete. Raises
// ERegistryException saying why when the copy cannot be written: the delete
// must then not happen.
[[nodiscard]] DeletedCopy KeepDeletedKey(const TRegistry &access, const std::string &name);
[[nodiscard]] DeletedCopy KeepDeletedValue(const TRegistry &access, const std::string &name);
