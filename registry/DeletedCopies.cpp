#include "DeletedCopies.h"

#include "OwnedKey.h"

#include <textconv.h>

#ifndef _WIN32
#include <vantor_registry.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace deleted {

namespace {

namespace fs = std::filesystem;

constexpr size_t kStampLength = 24; // 2026-12-08T07-30-00.123Z
constexpr std::time_t kKeptSeconds = 30 * 24 * 3600;
constexpr std::uintmax_t kKeptBytes = 100 * 1024 * 1024;

std::string UtcStamp()
{
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d-%02d-%02d.%03dZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()), int(time.subseconds().count()));
    return text;
}

// The time a name of our own form was taken at; none for any other name.
std::optional<std::time_t> TakenAt(const std::string &name)
{
    static constexpr char kForm[] = "0000-00-00T00-00-00.000Z ";
    if (name.size() <= kStampLength + 1 || !name.ends_with(".reg"))
        return std::nullopt;
    for (size_t i = 0; i <= kStampLength; ++i) {
        const bool digit = kForm[i] == '0';
        if (digit ? !std::isdigit(static_cast<unsigned char>(name[i])) : name[i] != kForm[i])
            return std::nullopt;
    }
    const auto number = [&](size_t at, size_t digits) { return std::stoi(name.substr(at, digits)); };
    using namespace std::chrono;
    const year_month_day date{year(number(0, 4)), month(unsigned(number(5, 2))), day(unsigned(number(8, 2)))};
    if (!date.ok())
        return std::nullopt;
    const auto taken = sys_days(date) + hours(number(11, 2)) + minutes(number(14, 2)) + seconds(number(17, 2));
    return system_clock::to_time_t(time_point_cast<system_clock::duration>(taken));
}

// The registry folder the copies come from, by its last name.
std::string RegistryName()
{
#ifndef _WIN32
    if (const char *directory = VtrRegDirectory())
        return fs::path(directory).filename().string();
#endif
    return "registry";
}

// Path separators become "_", and the name stays within what file systems take.
std::string FilePart(const std::string &text)
{
    std::string part = text.substr(0, 160);
    for (char &c : part)
        if (c == '\\' || c == '/')
            c = '_';
    return part;
}

std::string RootName(HKEY root)
{
    for (const char *name : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                             "HKEY_CURRENT_CONFIG"})
        if (regfile::FindRoot(name)->key == root)
            return name;
    throw CopyError("unknown root key");
}

std::string FullName(const Doomed &doomed)
{
    const std::string root = RootName(doomed.root);
    return doomed.path.empty() ? root : root + "\\" + doomed.path;
}

// What the key or value holds now, as a version 5 file; empty when it is not there.
std::string TextNow(const Doomed &doomed)
{
    // Names are WTF-8 (textconv.h), which the W functions take as they are.
    const auto wide = [](const std::string &name) { return textconv::fromWtf8(name); };
    HKEY opened = nullptr;
    if (RegOpenKeyExW(doomed.root, reinterpret_cast<const WCHAR *>(wide(doomed.path).c_str()), 0, KEY_READ,
                      &opened) != ERROR_SUCCESS)
        return {};
    const OwnedKey key(opened);
    if (!doomed.valueName)
        return regfile::ExportKey(key.get(), FullName(doomed), regfile::Format::Unicode);
    if (RegQueryValueExW(key.get(), reinterpret_cast<const WCHAR *>(wide(*doomed.valueName).c_str()), nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return {};
    return regfile::ExportValue(key.get(), FullName(doomed), *doomed.valueName, regfile::Format::Unicode);
}

// A version 5 text without its byte-order mark and header: from its first key.
std::string Body(const std::string &text)
{
    for (size_t at = 0; at + 1 < text.size(); at += 2)
        if (text[at] == '[' && text[at + 1] == '\0')
            return text.substr(at);
    return {};
}

void MakeFolder(const std::string &folder)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw CopyError("cannot make the folder " + folder + ": " + error.message());
    fs::permissions(folder, fs::perms::owner_all, error); // the copies are the user's own data
}

std::string FreshName(const std::string &folder, const std::string &fullName)
{
    const std::string base = folder + "/" + UtcStamp() + " " + FilePart(RegistryName()) + " " + FilePart(fullName);
    std::string path = base + ".reg";
    std::error_code error;
    for (int n = 2; fs::exists(path, error); ++n)
        path = base + " (" + std::to_string(n) + ").reg";
    return path;
}

// The key lines of a copy's text.
std::vector<std::string> KeysOf(const std::string &bytes)
{
    std::vector<std::string> keys;
    const std::string text = textconv::toUtf8(textconv::fromBytes(bytes.substr(std::min<size_t>(2, bytes.size()))));
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line(text.data() + start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.size() > 2 && line.front() == '[' && line.back() == ']')
            keys.emplace_back(line.substr(1, line.size() - 2));
        start = end + 1;
    }
    return keys;
}

} // namespace

std::string Folder()
{
#ifdef _WIN32
    const char *local = std::getenv("LOCALAPPDATA");
    return std::string(local ? local : ".") + "\\Vantor\\deleted";
#else
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/')
        return std::string(state) + "/vantor/deleted";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/state/vantor/deleted";
#endif
}

bool Copy::Add(const std::vector<Doomed> &doomed)
{
    std::string next = text_;
    std::vector<const Doomed *> present;
    for (const Doomed &one : doomed) {
        std::string text;
        try {
            text = TextNow(one);
        } catch (const regfile::Error &error) {
            throw CopyError("Cannot keep a copy of " + FullName(one) + " before deleting: " + error.what());
        }
        if (text.empty())
            continue;
        next += next.empty() ? text : Body(text);
        present.push_back(&one);
    }
    if (present.empty())
        return false;
    const std::string &first = FullName(*present.front());
    const std::string folder = Folder();
    try {
        if (file_.empty()) {
            MakeFolder(folder);
            Prune(folder, std::time(nullptr));
        }
        const std::string path = file_.empty() ? FreshName(folder, first) : file_;
        regfile::WriteFile(path, next, true); // the copy may hold a password
        file_ = path;
    } catch (const regfile::Error &error) {
        throw CopyError("Cannot keep a copy of " + first + " before deleting: " + error.what());
    }
    text_ = std::move(next);
    for (const Doomed *one : present)
        held_.push_back(*one);
    return true;
}

std::string Copy::TextOfAll() const
{
    std::string all;
    for (const Doomed &doomed : held_) {
        const std::string text = TextNow(doomed);
        all += all.empty() ? text : Body(text);
    }
    return all;
}

void Copy::DropIfUnchanged() const
{
    if (file_.empty())
        return;
    try {
        if (TextOfAll() != text_)
            return; // something was deleted: its copy stays
    } catch (const regfile::Error &) {
        return;
    }
    if (std::remove(file_.c_str()) != 0)
        throw CopyError("Cannot remove " + file_ + ", the copy of what was not deleted: " + std::strerror(errno));
}

std::vector<Listed> List(const std::string &folder, const std::string &registryFolder)
{
    fs::path registry = fs::path(registryFolder).lexically_normal();
    if (registry.filename().empty())
        registry = registry.parent_path(); // it ended in a slash
    std::string mark(1, ' ');
    mark.append(FilePart(registry.filename().string())).push_back(' ');
    std::vector<Listed> listed;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const std::optional<std::time_t> taken = TakenAt(name);
        if (!taken || name.compare(kStampLength, mark.size(), mark) != 0 || !entry.is_regular_file(error))
            continue;
        listed.push_back({entry.path().string(), *taken, KeysOf(regfile::ReadFile(entry.path().string()))});
    }
    std::ranges::sort(listed, [](const Listed &a, const Listed &b) { return a.file > b.file; });
    return listed;
}

void Prune(const std::string &folder, std::time_t now)
{
    struct Kept {
        std::string name;
        std::time_t taken;
        std::uintmax_t size;
    };
    std::vector<Kept> kept;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const std::optional<std::time_t> taken = TakenAt(name);
        if (taken && entry.is_regular_file(error))
            kept.push_back({entry.path().string(), *taken, entry.file_size(error)});
    }
    std::ranges::sort(kept, [](const Kept &a, const Kept &b) { return a.name < b.name; }); // oldest first
    std::uintmax_t total = 0;
    for (const Kept &copy : kept)
        total += copy.size;
    // A copy that cannot go now goes at a later prune: the new copy matters more.
    for (const Kept &copy : kept) {
        if (now - copy.taken <= kKeptSeconds && total <= kKeptBytes)
            break;
        if (fs::remove(copy.name, error))
            total -= copy.size;
    }
}

} // namespace deleted

namespace {

std::string JoinedPath(const std::string &parent, const std::string &child)
{
    if (parent.empty())
        return child;
    return child.empty() ? parent : parent + "\\" + child;
}

DeletedCopy Keep(const deleted::Doomed &doomed)
{
    deleted::Copy copy;
    try {
        copy.Add(doomed);
    } catch (const deleted::CopyError &error) {
        throw ERegistryException(error.what());
    }
    return DeletedCopy(std::move(copy));
}

} // namespace

void DeletedCopy::DropIfUnchanged() const
{
    try {
        copy_.DropIfUnchanged();
    } catch (const deleted::CopyError &error) {
        throw ERegistryException(error.what());
    }
}

DeletedCopy KeepDeletedKey(const TRegistry &access, const std::string &name)
{
    const bool absolute = !name.empty() && name.front() == '\\';
    return Keep({access.RootKey(), absolute ? name.substr(1) : JoinedPath(access.CurrentPath(), name), std::nullopt});
}

DeletedCopy KeepDeletedValue(const TRegistry &access, const std::string &name)
{
    return Keep({access.RootKey(), access.CurrentPath(), name});
}
