// Copies of what the delete commands remove, kept before they remove it.
#pragma once

#include "Registry.h"

#include <optional>
#include <string>

// The copy kept before one delete, and what it was taken from.
class DeletedCopy {
public:
    DeletedCopy() = default; // nothing was there to copy

    // Runs the delete, which tells whether it deleted. When it raises, the
    // copy goes again if what it holds is all still there: it would tell of a
    // delete that never happened. What cannot be compared keeps its copy.
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
    friend DeletedCopy KeepDeletedKey(const TRegistry &access, const std::string &name);
    friend DeletedCopy KeepDeletedValue(const TRegistry &access, const std::string &name);

    DeletedCopy(HKEY root, std::string path, std::optional<std::string> valueName);
    bool Exists() const;
    // The copy's text for what is there now; throws regfile::Error.
    std::string TextNow() const;
    // Writes the copy; raises ERegistryException when it cannot.
    void Take();
    // Raises ERegistryException when the copy should go and cannot.
    void DropIfUnchanged() const;

    HKEY root_ = nullptr;
    std::string path_;
    std::string fullName_;
    std::optional<std::string> valueName_; // the value copied, or the whole key
    std::string text_;
    std::string file_; // empty when nothing was copied
};

// Writes the key `name` (taken below the open key as RemoveKey takes it) with
// everything below it, or the value `name` of the open key, to a .reg file in
// the folder of deleted copies. Nothing is written when there is nothing to
// delete. Raises ERegistryException saying why when the copy cannot be
// written: the delete must then not happen.
[[nodiscard]] DeletedCopy KeepDeletedKey(const TRegistry &access, const std::string &name);
[[nodiscard]] DeletedCopy KeepDeletedValue(const TRegistry &access, const std::string &name);
