// A copy of what "Delete key" and "Delete value" remove, kept before they
// remove it: a version 5 .reg file in $XDG_STATE_HOME/vantor/deleted/ (by
// default ~/.local/state/vantor/deleted/), named by the UTC time and the key.
// `vantor-reg import FILE` or `wine regedit FILE` brings it back.
#include "DeletedCopies.h"

#include "OwnedKey.h"
#include "RegFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <utility>

namespace {

std::string CopiesFolder()
{
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/')
        return std::string(state) + "/vantor/deleted";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/state/vantor/deleted";
}

// Every missing level of the folder; the reason when one cannot be made.
void MakeFolder(const std::string &folder)
{
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string level = folder.substr(0, slash);
        if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
            throw ERegistryException("Cannot make the folder " + level + ": " + std::strerror(errno));
        if (slash == std::string::npos)
            return;
    }
}

std::string UtcStamp()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H-%M-%S", &utc);
    char withMillis[48];
    std::snprintf(withMillis, sizeof withMillis, "%s.%03dZ", text, static_cast<int>(millis));
    return withMillis;
}

// The key's full name as a file name: path separators become "_", and the
// name stays within what file systems take.
std::string FileNameOf(const std::string &fullName)
{
    std::string name = fullName.substr(0, 180);
    for (char &c : name)
        if (c == '\\' || c == '/')
            c = '_';
    return name;
}

std::string RootName(HKEY root)
{
    for (const char *name : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                             "HKEY_CURRENT_CONFIG"})
        if (regfile::FindRoot(name)->key == root)
            return name;
    throw ERegistryException("Unknown root key");
}

std::string Joined(const std::string &parent, const std::string &child)
{
    if (parent.empty())
        return child;
    return child.empty() ? parent : parent + "\\" + child;
}

// Writes the copy's text to a new file, whose name it returns.
std::string Keep(const std::string &fullName, const std::string &text)
{
    const std::string folder = CopiesFolder();
    MakeFolder(folder);
    const std::string base = folder + "/" + UtcStamp() + " " + FileNameOf(fullName);
    std::string path = base + ".reg";
    struct stat info{};
    for (int n = 2; stat(path.c_str(), &info) == 0; ++n)
        path = base + " (" + std::to_string(n) + ").reg";
    try {
        regfile::WriteFile(path, text, true); // the copy may hold a password
    } catch (const regfile::Error &error) {
        throw ERegistryException("Cannot keep a copy of " + fullName + " before deleting: " + error.what());
    }
    return path;
}

HKEY OpenForReading(HKEY root, const std::string &path)
{
    HKEY key = nullptr;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS ? key : nullptr;
}

} // namespace

DeletedCopy::DeletedCopy(HKEY root, std::string path, std::optional<std::string> valueName)
    : root_(root), path_(std::move(path)), fullName_(Joined(RootName(root), path_)), valueName_(std::move(valueName))
{
}

bool DeletedCopy::Exists() const
{
    const OwnedKey key(OpenForReading(root_, path_));
    return key.get() && (!valueName_ || RegQueryValueExA(key.get(), valueName_->c_str(), nullptr, nullptr, nullptr,
                                                         nullptr) == ERROR_SUCCESS);
}

std::string DeletedCopy::TextNow() const
{
    const OwnedKey key(OpenForReading(root_, path_));
    if (!key.get())
        return {};
    if (valueName_)
        return regfile::ExportValue(key.get(), fullName_, *valueName_, regfile::Format::Unicode);
    return regfile::ExportKey(key.get(), fullName_, regfile::Format::Unicode);
}

void DeletedCopy::Take()
{
    try {
        text_ = TextNow();
    } catch (const regfile::Error &error) {
        throw ERegistryException("Cannot keep a copy of " + fullName_ + " before deleting: " + error.what());
    }
    file_ = Keep(fullName_, text_);
}

void DeletedCopy::DropIfUnchanged() const
{
    if (file_.empty())
        return;
    try {
        if (TextNow() != text_)
            return; // something was deleted: its copy stays
    } catch (const regfile::Error &) {
        return;
    }
    if (std::remove(file_.c_str()) != 0)
        throw ERegistryException("Cannot remove " + file_ + ", the copy of what was not deleted: " +
                                 std::strerror(errno));
}

DeletedCopy KeepDeletedKey(const TRegistry &access, const std::string &name)
{
    const bool absolute = !name.empty() && name.front() == '\\';
    DeletedCopy copy(access.RootKey(), absolute ? name.substr(1) : Joined(access.CurrentPath(), name), std::nullopt);
    if (!copy.Exists())
        return {}; // nothing there to delete
    copy.Take();
    return copy;
}

DeletedCopy KeepDeletedValue(const TRegistry &access, const std::string &name)
{
    DeletedCopy copy(access.RootKey(), access.CurrentPath(), name);
    if (!copy.Exists())
        return {};
    copy.Take();
    return copy;
}
