#include "hive.h"

#include "format.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winreg {

namespace {

FileStamp stampFrom(const struct stat &st) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.dev = st.st_dev;
    stamp.ino = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtime = st.st_mtim;
    stamp.ctime = st.st_ctim;
    stamp.mode = st.st_mode;
    stamp.uid = st.st_uid;
    stamp.gid = st.st_gid;
    return stamp;
}

constexpr long kAccessDenied = 5;
constexpr long kWriteFault = 29;

bool sameTime(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Reads a whole file; false when it does not exist.
bool readWholeFile(const std::string &path, HiveText &text, FileStamp &stamp, int &error) {
    error = 0;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat st{};
    if (fstat(fd, &st) != 0) {
        error = errno;
        close(fd);
        return false;
    }
    stamp = stampFrom(st);
    // One byte more than the file holds tells whether it grew meanwhile.
    const size_t capacity = static_cast<size_t>(st.st_size > 0 ? st.st_size : 0) + 1;
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    size_t got = 0;
    const auto readInto = [&](char *at, size_t room) {
        for (;;) {
            const ssize_t n = read(fd, at, room);
            if (n >= 0 || errno != EINTR) {
                if (n < 0)
                    error = errno;
                return n > 0 ? static_cast<size_t>(n) : 0;
            }
        }
    };
    while (got < capacity) {
        const size_t n = readInto(buffer.get() + got, capacity - got);
        if (n == 0)
            break;
        got += n;
    }
    if (got < capacity) {
        text.adopt(std::move(buffer), got);
    } else {
        std::string grown(buffer.get(), got);
        char chunk[65536];
        while (const size_t n = readInto(chunk, sizeof chunk))
            grown.append(chunk, n);
        text.adopt(std::move(grown));
    }
    close(fd);
    return true;
}

bool writeAll(int fd, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, std::min<size_t>(size, 1 << 30));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Holds the exclusive lock on the registry directory while it lives.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string &dir) {
        fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                break;
            }
        }
    }
    ~DirectoryLock() {
        if (fd_ >= 0)
            close(fd_); // releases the lock
    }
    DirectoryLock(const DirectoryLock &) = delete;
    DirectoryLock &operator=(const DirectoryLock &) = delete;
    int fd() const { return fd_; }
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

// Every saver holds the directory lock while its temporary file exists, so
// under the lock any temporary file left in the folder is a crash's leftover.
void removeLeftovers(int dirFd, const std::string &prefix) {
    const int listFd = dup(dirFd);
    if (listFd < 0)
        return;
    DIR *dir = fdopendir(listFd);
    if (!dir) {
        close(listFd);
        return;
    }
    std::vector<std::string> stale;
    while (const dirent *entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
            stale.emplace_back(entry->d_name);
    }
    closedir(dir);
    for (const auto &name : stale)
        unlinkat(dirFd, name.c_str(), 0);
}

Key *createLevel(Key &parent, std::u16string name, const std::u16string *keyClass, bool isVolatile, bool isLink,
                 uint64_t fileTime) {
    Key *key = findChild(parent, name);
    if (key)
        return key;
    key = addChild(parent, std::move(name));
    key->valuesLoaded = true;
    if (keyClass)
        key->keyClass = std::make_unique<std::u16string>(*keyClass);
    key->isVolatile = isVolatile;
    key->isLink = isLink;
    touch(*key, fileTime);
    touch(parent, fileTime);
    return key;
}

} // namespace

bool FileStamp::sameVersion(const FileStamp &other) const {
    if (exists != other.exists)
        return false;
    if (!exists)
        return true;
    return dev == other.dev && ino == other.ino && size == other.size && sameTime(mtime, other.mtime) &&
           sameTime(ctime, other.ctime);
}

FileStamp stampOf(const std::string &path) {
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return FileStamp{};
    return stampFrom(st);
}

Hive::Hive(std::string directory, std::string fileName, std::string rootLine, std::u16string rootName,
           HiveListener &listener)
    : directory_(std::move(directory)), fileName_(std::move(fileName)), rootLine_(std::move(rootLine)),
      rootName_(std::move(rootName)), listener_(listener) {}

std::string Hive::defaultHeader() const {
    return std::string(kSignature) + "\n;; All keys relative to " + rootLine_ + "\n\n#arch=win64\n";
}

void Hive::refresh() {
    if (loaded_ && stampOf(filePath()).sameVersion(stamp_))
        return;
    loaded_ = true;
    loadFromDisk();
}

void Hive::loadFromDisk() {
    HiveText text;
    FileStamp stamp;
    int error = 0;
    const bool exists = readWholeFile(filePath(), text, stamp, error);
    if (!exists && error != ENOENT) {
        // Present but unreadable: keep it out of reach of our writes.
        stamp = stampOf(filePath());
        replaceTree(HiveText(), stamp, false);
        unparsable_ = std::string("the file cannot be read: ") + std::strerror(error);
        return;
    }
    replaceTree(std::move(text), stamp, exists);
}

void Hive::replaceTree(HiveText text, const FileStamp &stamp, bool exists) {
    auto root = std::make_unique<Key>();
    root->name = rootName_;
    root->hive = this;
    root->parent = parentOfRoot_;
    LoadResult result;
    if (!exists) {
        text.adopt(std::string());
        result.header = defaultHeader();
    } else if (text.view().size() >= UINT32_MAX) {
        result.ok = false;
        result.error = "the file is larger than 4 GB";
    } else {
        result = loadHiveText(text.view(), *root);
    }
    listener_.hiveWillReload(*this);
    root_ = std::move(root);
    text_ = std::move(text);
    header_ = std::move(result.header);
    stamp_ = stamp;
    unparsable_ = result.ok ? std::string() : result.error;
    if (!unparsable_.empty())
        checkWritable(); // tells why the hive is now read-only
    replayJournal();
    listener_.hiveDidReload(*this);
}

void Hive::ensureValues(Key &key) {
    if (key.valuesLoaded)
        return;
    key.valuesLoaded = true;
    if (key.hasBlock())
        decodeBlockValues(text_.view().substr(key.blockOffset, key.blockLength), key);
}

void Hive::record(Change change) {
    if (!change.isVolatile)
        ++pendingChanges_;
    journal_.push_back(std::move(change));
}

Key *Hive::createKey(Key &parent, std::u16string name, const std::u16string *keyClass, bool isVolatile,
                     bool isLink) {
    const uint64_t now = currentFileTime();
    Key *key = createLevel(parent, std::move(name), keyClass, isVolatile, isLink, now);
    Change change;
    change.kind = Change::Kind::CreateKey;
    change.path = pathOf(*key);
    if (keyClass) {
        change.keyClass = *keyClass;
        change.hasClass = true;
    }
    change.isLink = isLink;
    change.isVolatile = isVolatile;
    change.fileTime = now;
    record(std::move(change));
    return key;
}

void Hive::setValue(Key &key, Value value) {
    ensureValues(key);
    const uint64_t now = currentFileTime();
    Change change;
    change.kind = Change::Kind::SetValue;
    change.path = pathOf(key);
    change.value = value;
    change.isVolatile = key.isVolatile;
    change.fileTime = now;
    putValue(key, std::move(value));
    touch(key, now);
    record(std::move(change));
}

bool Hive::deleteValue(Key &key, std::u16string_view name) {
    ensureValues(key);
    if (!eraseValue(key, name))
        return false;
    const uint64_t now = currentFileTime();
    touch(key, now);
    Change change;
    change.kind = Change::Kind::DeleteValue;
    change.path = pathOf(key);
    change.value.name = std::u16string(name);
    change.isVolatile = key.isVolatile;
    change.fileTime = now;
    record(std::move(change));
    return true;
}

void Hive::deleteKey(Key &key) {
    Key *parent = key.parent;
    const uint64_t now = currentFileTime();
    Change change;
    change.kind = Change::Kind::DeleteKey;
    change.path = pathOf(key);
    change.isVolatile = key.isVolatile;
    change.fileTime = now;
    auto &siblings = parent->children;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(), [&](const auto &k) { return k.get() == &key; }));
    touch(*parent, now);
    record(std::move(change));
}

void Hive::replayJournal() {
    for (const Change &change : journal_)
        applyChange(change);
}

void Hive::applyChange(const Change &change) {
    Key &root = *root_;
    switch (change.kind) {
    case Change::Kind::CreateKey: {
        Key *key = &root;
        for (size_t i = 0; i < change.path.size(); ++i) {
            const bool last = i + 1 == change.path.size();
            key = createLevel(*key, change.path[i], last && change.hasClass ? &change.keyClass : nullptr,
                              change.isVolatile, last && change.isLink, change.fileTime);
        }
        break;
    }
    case Change::Kind::SetValue:
        if (Key *key = findPath(root, change.path)) {
            ensureValues(*key);
            putValue(*key, change.value);
            touch(*key, change.fileTime);
        }
        break;
    case Change::Kind::DeleteValue:
        if (Key *key = findPath(root, change.path)) {
            ensureValues(*key);
            if (eraseValue(*key, change.value.name))
                touch(*key, change.fileTime);
        }
        break;
    case Change::Kind::DeleteKey:
        if (Key *key = findPath(root, change.path); key && key != &root && key->children.empty()) {
            Key *parent = key->parent;
            auto &siblings = parent->children;
            siblings.erase(
                std::find_if(siblings.begin(), siblings.end(), [&](const auto &k) { return k.get() == key; }));
            touch(*parent, change.fileTime);
        }
        break;
    }
}

void Hive::renderKey(Key &key, bool isRoot, std::string &out, std::vector<BlockPlace> *places) {
    if (key.isVolatile)
        return;
    const bool hasContent = key.valueCount() > 0 || key.keyClass || key.isLink;
    if (hasContent || (!isRoot && key.children.empty())) {
        out.push_back('\n');
        const size_t at = out.size();
        if (!key.dirty && key.hasBlock()) {
            out.append(text_.view().substr(key.blockOffset, key.blockLength));
        } else {
            ensureValues(key);
            appendKeyBlock(key, out);
        }
        if (places)
            places->push_back({&key, at, out.size() - at});
    } else if (places) {
        ensureValues(key);
        places->push_back({&key, 0, 0});
    }
    for (auto &child : key.children)
        renderKey(*child, false, out, places);
}

std::string Hive::render() {
    std::string out;
    out.reserve(text_.view().size() + 4096);
    out = header_;
    renderKey(*root_, true, out, nullptr);
    return out;
}

long Hive::save(bool evenWithoutChanges) {
    if (!hasPendingChanges() && !(evenWithoutChanges && !stamp_.exists))
        return 0;
    if (const long denied = checkWritable())
        return denied;
    const DirectoryLock lock(directory_);
    if (lock.fd() < 0 || lock.error() != 0) {
        tell(std::string("the registry folder cannot be locked: ") + std::strerror(lock.error()));
        return kAccessDenied;
    }
    removeLeftovers(lock.fd(), fileName_ + ".vantor-");
    if (!stampOf(filePath()).sameVersion(stamp_))
        loadFromDisk(); // another program saved meanwhile: take its file, put our changes on top
    if (const long denied = checkWritable())
        return denied;

    std::vector<BlockPlace> places;
    std::string out;
    out.reserve(text_.view().size() + 4096);
    out = header_;
    renderKey(*root_, true, out, &places);
    if (out.size() >= UINT32_MAX) {
        tell("the registry would grow beyond 4 GB");
        return kWriteFault;
    }
    if (const long failed = writeFile(lock.fd(), out))
        return failed;

    stamp_ = stampOf(filePath());
    for (const BlockPlace &place : places) {
        place.key->blockOffset = static_cast<uint32_t>(place.offset);
        place.key->blockLength = static_cast<uint32_t>(place.length);
        place.key->dirty = false;
    }
    text_.adopt(std::move(out));
    std::erase_if(journal_, [](const Change &c) { return !c.isVolatile; });
    pendingChanges_ = 0;
    return 0;
}

long Hive::writeFile(int dirFd, const std::string &text) {
    std::string temp = filePath() + ".vantor-XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        tell(std::string("cannot create a file in the registry folder: ") + std::strerror(error));
        return error == EACCES || error == EPERM || error == EROFS ? kAccessDenied : kWriteFault;
    }
    mode_t mode;
    if (stamp_.exists) {
        mode = stamp_.mode & 07777;
        if (geteuid() == 0)
            (void)!fchown(fd, stamp_.uid, stamp_.gid);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    bool ok = writeAll(fd, text.data(), text.size()) && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temp.c_str(), filePath().c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        tell(std::string("saving failed: ") + std::strerror(error));
        return error == EACCES || error == EPERM || error == EROFS ? kAccessDenied : kWriteFault;
    }
    fsync(dirFd);
    return 0;
}

long Hive::checkWritable() {
    if (forcedReadOnly_) {
        tell("read-only, as requested");
        return kAccessDenied;
    }
    if (!unparsable_.empty()) {
        tell("read-only, because the file could not be understood (" + unparsable_ + "); it is left as it is");
        return kAccessDenied;
    }
    if (stamp_.exists && ((stamp_.mode & 0222) == 0 || access(filePath().c_str(), W_OK) != 0)) {
        tell("read-only, because the file is not writable");
        return kAccessDenied;
    }
    if (access(directory_.c_str(), W_OK | X_OK) != 0) {
        tell("read-only, because the registry folder is not writable");
        return kAccessDenied;
    }
    if (wineServerRunning(directory_)) {
        tell("read-only, because a Wine server is running for this prefix and its own save would overwrite our changes");
        return kAccessDenied;
    }
    return 0;
}

void Hive::tell(const std::string &reason) {
    if (told_.insert(reason).second)
        std::fprintf(stderr, "vantor registry: %s: %s\n", filePath().c_str(), reason.c_str());
}

} // namespace winreg
