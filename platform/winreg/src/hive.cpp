#include "hive.h"

#include "bulk_memory.h"
#include "format.h"
#include "status.h"
#include "text.h"

#include "files/file_system.h"
#include "files/safe_file.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace winreg {

using files::FileDescriptor;
using files::FileSystem;
using files::fileSystem;

namespace {

// Larger files are refused rather than read, and never written.
constexpr off_t kMaxHiveSize = off_t{1} << 30;

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

bool sameTime(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// One read, repeated when a signal interrupts it; what read returns.
ssize_t readSome(FileSystem &fs, int fd, char *into, size_t room) {
    ssize_t n;
    do
        n = fs.read(fd, into, room);
    while (n < 0 && errno == EINTR);
    return n;
}

// Each read asks for at most this much: it keeps every system call short,
// and reads a large file as fast as one call for all of it does.
constexpr size_t kReadStep = size_t{128} << 10;

// Reads fd to its end into into, which holds room bytes; the bytes read, or
// -1 (errno set) on a failure.
ssize_t readUpTo(FileSystem &fs, int fd, char *into, size_t room) {
    size_t got = 0;
    ssize_t n = 0;
    while (got < room && (n = readSome(fs, fd, into + got, std::min(room - got, kReadStep))) > 0)
        got += static_cast<size_t>(n);
    return n < 0 ? -1 : static_cast<ssize_t>(got);
}

// Reads a whole regular file; false (and error set) when it cannot. A file
// that is there but no hive can be read from is a refusal.
bool readWholeFile(const std::string &path, HiveText &text, FileStamp &stamp, int &error, Problem &refusal) {
    FileSystem &fs = fileSystem();
    error = 0;
    // Non-blocking, so that a FIFO in the hive's place cannot hang the open.
    const FileDescriptor fd(fs.open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        error = errno;
        return false;
    }
    struct stat st{};
    if (fs.fstat(fd.get(), &st) != 0) {
        error = errno;
        return false;
    }
    stamp = stampFrom(st);
    if (!S_ISREG(st.st_mode)) {
        refusal = Problem::NotRegularFile;
        return true;
    }
    if (st.st_size > kMaxHiveSize) {
        refusal = Problem::TooLarge;
        return true;
    }
    // One byte more than the file holds tells whether it grew meanwhile.
    const size_t capacity = static_cast<size_t>(st.st_size) + 1;
    const std::shared_ptr<char> buffer = allocateBulk(capacity);
    const ssize_t got = readUpTo(fs, fd.get(), buffer.get(), capacity);
    if (got < 0) {
        error = errno;
        return false;
    }
    if (static_cast<size_t>(got) < capacity) {
        text = HiveText(buffer, static_cast<size_t>(got));
        return true;
    }
    std::string grown(buffer.get(), capacity);
    char chunk[65536];
    ssize_t n;
    while ((n = readSome(fs, fd.get(), chunk, sizeof chunk)) > 0) {
        if (grown.size() + static_cast<size_t>(n) > static_cast<size_t>(kMaxHiveSize)) {
            refusal = Problem::TooLarge;
            return true;
        }
        grown.append(chunk, static_cast<size_t>(n));
    }
    if (n < 0) {
        error = errno;
        return false;
    }
    text = HiveText(std::move(grown));
    return true;
}

// Holds the exclusive lock on the registry directory while it lives; gives
// up when another holder keeps it longer than the file system's patience.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string &dir) : fd_(fileSystem().open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_.get() < 0) {
            error_ = errno;
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + fileSystem().lockPatience();
        while (fileSystem().tryLock(fd_.get()) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
                error_ = errno;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    int fd() const { return fd_.get(); }
    int error() const { return error_; }

private:
    FileDescriptor fd_; // closing it releases the lock
    int error_ = 0;
};

Key *createLevel(Key &parent, std::u16string name, const std::u16string *keyClass, bool isVolatile, bool isLink,
                 uint64_t fileTime) {
    parent.hive->ensureChildren(parent);
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
    if (fileSystem().stat(path, &st) != 0)
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
    rewriteWaits_ = files::rewriteWaits(filePath()) && !finishRewrite();
    HiveText text;
    FileStamp stamp;
    int error = 0;
    Problem refusal = Problem::None;
    const bool exists = readWholeFile(filePath(), text, stamp, error, refusal);
    if (!exists && error != ENOENT)
        refusal = Problem::Unreadable;
    // Present but not readable as a hive: keep it out of reach of our writes.
    if (refusal != Problem::None && !exists)
        stamp = stampOf(filePath());
    replaceTree(std::move(text), stamp, exists, refusal, error);
}

// A rewrite in place that a crash cut short is undone before the file is
// read, by a process that may write; the journal then goes. A process that
// may not write reads the file as it is.
bool Hive::finishRewrite() {
    if (forcedReadOnly_)
        return false;
    const DirectoryLock lock(directory_);
    return lock.fd() >= 0 && lock.error() == 0 && files::finishRewrite(filePath()) == 0;
}

void Hive::replaceTree(HiveText text, const FileStamp &stamp, bool exists, Problem refusal, int error) {
    auto root = std::make_unique<Key>();
    root->name = rootName_;
    root->hive = this;
    root->parent = parentOfRoot_;
    KeyIndex index;
    LoadResult result;
    if (refusal != Problem::None) {
        text = HiveText();
        result.ok = false;
        result.problem = refusal;
        result.error = problemWords(refusal);
        if (error != 0)
            result.error += std::string(": ") + std::strerror(error);
    } else if (!exists) {
        text = HiveText();
        result.header = defaultHeader();
    } else {
        result = indexHiveText(text.slice(0, text.size()), *root, index);
    }
    writeDownPaths(); // the keys of the journal are about to go
    listener_.hiveWillReload(*this);
    root_ = std::move(root);
    text_ = std::move(text);
    index_ = std::move(index);
    header_ = std::move(result.header);
    stamp_ = stamp;
    unparsable_ = result.ok ? std::string() : result.error;
    unparsableProblem_ = result.problem;
    unparsableError_ = result.ok ? 0 : error;
    unparsableLine_ = result.ok ? 0 : result.errorLine;
    if (!unparsable_.empty() || rewriteWaits_)
        checkWritable(); // tells why the hive is now read-only
    replayJournal();
    listener_.hiveDidReload(*this);
}

void Hive::ensureChildren(Key &key) {
    if (key.hasPendingChildren())
        makeChildren(key, index_, blockText());
}

Key *Hive::findPath(const std::vector<std::u16string> &path) {
    Key *key = root_.get();
    for (size_t i = 0; key && i < path.size(); ++i) {
        ensureChildren(*key);
        key = findChild(*key, path[i]);
    }
    return key;
}

// Before the tree is rendered in an order other than the file's.
void Hive::makeAllPendingKeys() {
    if (index_.lines.empty())
        return;
    makeAllChildren(*root_, index_, blockText());
    index_ = KeyIndex();
}

BlockText Hive::blockText() const {
    return [this](size_t offset, size_t length) { return text_.slice(offset, length); };
}

void Hive::ensureValues(Key &key) {
    if (key.valuesLoaded)
        return;
    key.valuesLoaded = true;
    if (key.hasBlock())
        decodeBlockValues(text_.slice(key.block.offset, key.block.length), key);
}

namespace {

void markSaved(Key &key) {
    for (Value &value : key.values)
        value.unsaved = false;
}

} // namespace

// A change's path is found from its key only when the tree is about to lose
// keys, as most changes reach the file with the tree they were made on.
void Hive::record(Change change, Key &key) {
    if (!change.isVolatile)
        ++pendingChanges_;
    if (!change.written)
        change.key = &key;
    journal_.push_back(std::move(change));
}

void Hive::writeDownPaths() {
    for (size_t i = pathsWrittenDown_; i < journal_.size(); ++i) {
        Change &change = journal_[i];
        if (!change.key)
            continue;
        auto written = std::make_unique<Change::WrittenDown>();
        written->path = pathOf(*change.key);
        if (change.kind == Change::Kind::SetValues) {
            // The values as the key holds them now: also those set by a
            // later change of the same key, and not those deleted since,
            // whose deletion is in the journal too.
            for (const Value &value : change.key->values) {
                if (value.unsaved)
                    written->values.emplace_back(value).unsaved = false;
            }
        } else if (change.kind == Change::Kind::CreateKey && change.key->keyClass) {
            written->keyClass = std::make_unique<std::u16string>(*change.key->keyClass);
        }
        change.written = std::move(written);
    }
    // Only after every change of a key has taken its unsaved values.
    for (size_t i = pathsWrittenDown_; i < journal_.size(); ++i) {
        Change &change = journal_[i];
        if (change.key && change.kind == Change::Kind::SetValues)
            markSaved(*change.key);
        change.key = nullptr;
    }
    pathsWrittenDown_ = journal_.size();
}

void Hive::forgetLastingChanges() {
    for (Change &change : journal_) {
        if (!change.isVolatile && change.key && change.kind == Change::Kind::SetValues)
            markSaved(*change.key);
    }
    std::erase_if(journal_, [](const Change &c) { return !c.isVolatile; });
    pathsWrittenDown_ = 0;
    pendingChanges_ = 0;
}

Key *Hive::createKey(Key &parent, std::u16string name, const std::u16string *keyClass, bool isVolatile,
                     bool isLink) {
    const uint64_t now = currentFileTime();
    Key *key = createLevel(parent, std::move(name), keyClass, isVolatile, isLink, now);
    Change change;
    change.kind = Change::Kind::CreateKey; // its class is the key's
    change.isLink = isLink;
    change.isVolatile = isVolatile;
    change.fileTime = now;
    record(std::move(change), *key);
    return key;
}

void Hive::setValue(Key &key, Value value) {
    ensureValues(key);
    const uint64_t now = currentFileTime();
    putValue(key, std::move(value)).unsaved = true; // taken from the key when written down
    touch(key, now);
    if (journal_.size() > pathsWrittenDown_ && journal_.back().key == &key &&
        journal_.back().kind == Change::Kind::SetValues) {
        journal_.back().fileTime = now;
        return;
    }
    Change change;
    change.kind = Change::Kind::SetValues;
    change.isVolatile = key.isVolatile;
    change.fileTime = now;
    record(std::move(change), key);
}

bool Hive::deleteValue(Key &key, std::u16string_view name) {
    ensureValues(key);
    if (!eraseValue(key, name))
        return false;
    const uint64_t now = currentFileTime();
    touch(key, now);
    Change change;
    change.kind = Change::Kind::DeleteValue;
    change.valueName = std::u16string(name);
    change.isVolatile = key.isVolatile;
    change.fileTime = now;
    record(std::move(change), key);
    return true;
}

void Hive::deleteKey(Key &key) {
    Key *parent = key.parent;
    const uint64_t now = currentFileTime();
    writeDownPaths(); // before the key goes
    Change change;
    change.kind = Change::Kind::DeleteKey;
    change.written = std::make_unique<Change::WrittenDown>();
    change.written->path = pathOf(key);
    change.isVolatile = key.isVolatile;
    change.fileTime = now;
    auto &siblings = parent->children;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(), [&](const auto &k) { return k.get() == &key; }));
    touch(*parent, now);
    record(std::move(change), *parent);
}

void Hive::replayJournal() {
    for (const Change &change : journal_)
        applyChange(change);
}

// Applies a change that is written down.
void Hive::applyChange(const Change &change) {
    const std::vector<std::u16string> &path = change.written->path;
    switch (change.kind) {
    case Change::Kind::CreateKey: {
        Key *key = root_.get();
        for (size_t i = 0; i < path.size(); ++i) {
            const bool last = i + 1 == path.size();
            key = createLevel(*key, path[i], last ? change.written->keyClass.get() : nullptr, change.isVolatile,
                              last && change.isLink, change.fileTime);
        }
        break;
    }
    case Change::Kind::SetValues:
        if (Key *key = findPath(path)) {
            ensureValues(*key);
            for (const Value &value : change.written->values)
                putValue(*key, value);
            touch(*key, change.fileTime);
        }
        break;
    case Change::Kind::DeleteValue:
        if (Key *key = findPath(path)) {
            ensureValues(*key);
            if (eraseValue(*key, change.valueName))
                touch(*key, change.fileTime);
        }
        break;
    case Change::Kind::DeleteKey:
        if (Key *key = findPath(path); key && key != root_.get() && !hasChildren(*key)) {
            Key *parent = key->parent;
            auto &siblings = parent->children;
            siblings.erase(
                std::find_if(siblings.begin(), siblings.end(), [&](const auto &k) { return k.get() == key; }));
            touch(*parent, change.fileTime);
        }
        break;
    }
}

// Lists the keys that have a block to write, in tree order, each with its
// place among the blocks of the file as read: its own block's offset, or,
// for a key the file lacks, just after the key listed before it.
void Hive::listBlocks(Key &key, bool isRoot, std::vector<BlockToWrite> &list) {
    if (key.isVolatile)
        return;
    const bool hasContent = key.valueCount() > 0 || key.keyClass || key.isLink;
    const bool writes = hasContent || (!isRoot && !hasChildren(key));
    if (!writes)
        ensureValues(key); // loses its block: its values must be known without it
    BlockToWrite item{&key, 0, 0, writes};
    if (writes && key.hasBlock())
        item.anchor = key.block.offset;
    else if (!list.empty())
        item = {&key, list.back().anchor, list.back().sequence + 1, writes};
    list.push_back(item);
    for (auto &child : key.children)
        listBlocks(*child, false, list);
}

// Appends one key's block after a line break: its text as read when
// unchanged, else rendered.
void Hive::appendBlock(Key &key, TextPlan &plan, SavePlaces *places) {
    const size_t at = plan.size() + 1;
    if (key.dirty || !key.hasBlock() || !keepBlock(key, plan)) {
        ensureValues(key);
        plan.fresh().push_back('\n');
        appendKeyBlock(key, plan.fresh());
    }
    if (places)
        places->blocks.push_back({&key, static_cast<uint32_t>(at), static_cast<uint32_t>(plan.size() - at)});
}

// Takes an unchanged block where it lies, with the line break before it
// (a block starts a line), so that runs of unchanged blocks stay whole.
bool Hive::keepBlock(const Key &key, TextPlan &plan) const {
    const Block &block = key.block;
    if (block.offset > 0 && plan.keep(block.offset - 1, block.length + 1))
        return true;
    if (text_.slice(block.offset, block.length).empty())
        return false;
    plan.fresh().push_back('\n');
    return plan.keep(block.offset, block.length);
}

// Writes the blocks in tree order, which is the file's order for any file
// Wine wrote; false (with the plan half made) when a block of the file would
// come before one that preceded it.
bool Hive::renderInTreeOrder(Key &key, bool isRoot, TextPlan &plan, SavePlaces *places, uint64_t &lastOffset) {
    if (key.isVolatile)
        return true;
    const bool hasContent = key.valueCount() > 0 || key.keyClass || key.isLink;
    if (hasContent || (!isRoot && !hasChildren(key))) {
        if (key.hasBlock()) {
            if (key.block.offset < lastOffset)
                return false;
            lastOffset = key.block.offset;
        }
        appendBlock(key, plan, places);
    } else {
        ensureValues(key); // loses its block: its values must be known without it
        if (places)
            places->blocks.push_back({&key, 0, 0});
    }
    if (key.hasPendingChildren())
        return keepPendingKeys(key, plan, places, lastOffset);
    for (auto &child : key.children) {
        if (!renderInTreeOrder(*child, false, plan, places, lastOffset))
            return false;
    }
    return true;
}

// Keys not made yet are unchanged, and their blocks lie one after the other
// in the text: taken as they are, in one piece.
bool Hive::keepPendingKeys(const Key &key, TextPlan &plan, SavePlaces *places, uint64_t &lastOffset) {
    const Block &first = index_.lines[key.pendingFirst].block;
    const Block &last = index_.lines[key.pendingEnd - 1].block;
    if (first.offset < lastOffset || first.offset == 0)
        return false;
    const size_t at = plan.size() + 1;
    if (!plan.keep(first.offset - 1, size_t{last.offset} + last.length - first.offset + 1))
        return false;
    lastOffset = last.offset;
    if (places)
        places->lines.push_back({key.pendingFirst, key.pendingEnd, static_cast<int64_t>(at) - first.offset});
    return true;
}

// The header and every key's block. Blocks keep the order the file had them
// in, so that the spelling of a name written differently in two blocks
// (which the first block decides on load) stays as it is.
HiveText Hive::renderText(SavePlaces *places) {
    {
        TextPlan plan(text_);
        plan.fresh() = header_;
        uint64_t lastOffset = 0;
        if (renderInTreeOrder(*root_, true, plan, places, lastOffset))
            return std::move(plan).finish();
    }
    if (places)
        *places = SavePlaces();
    makeAllPendingKeys();
    TextPlan plan(text_);
    plan.fresh() = header_;
    std::vector<BlockToWrite> list;
    listBlocks(*root_, true, list);
    std::stable_sort(list.begin(), list.end(), [](const BlockToWrite &a, const BlockToWrite &b) {
        return a.anchor != b.anchor ? a.anchor < b.anchor : a.sequence < b.sequence;
    });
    for (const BlockToWrite &item : list) {
        if (item.writes)
            appendBlock(*item.key, plan, places);
        else if (places)
            places->blocks.push_back({item.key, 0, 0});
    }
    return std::move(plan).finish();
}

std::string Hive::render() { return renderText(nullptr).flatten(); }

Status Hive::save(bool evenWithoutChanges) {
    if (!hasPendingChanges() && !(evenWithoutChanges && !stamp_.exists))
        return status::ok;
    const Status result = commit();
    if (result != status::ok)
        dropPendingChanges();
    return result;
}

// What the file did not take is forgotten, so that reads show the file and
// the next change starts from it.
void Hive::dropPendingChanges() {
    forgetLastingChanges();
    loadFromDisk();
}

Status Hive::commit() {
    if (const Status denied = checkWritableNow())
        return denied;
    const DirectoryLock lock(directory_);
    if (lock.fd() < 0 || lock.error() != 0) {
        const bool timedOut = lock.fd() >= 0 && lock.error() == EWOULDBLOCK;
        return refuseWith(Refusal::Cause::SaveFailed, timedOut ? Problem::FolderLocked : Problem::LockFailed,
                          timedOut ? 0 : lock.error(), statusOfErrno(lock.error()));
    }
    if (const int error = files::finishRewrite(filePath()))
        return refuseWith(Refusal::Cause::SaveFailed, Problem::RewriteUnfinished, error, statusOfErrno(error));
    if (!stampOf(filePath()).sameVersion(stamp_))
        loadFromDisk(); // another program saved meanwhile: take its file, put our changes on top
    if (const Status denied = checkWritableNow())
        return denied;

    SavePlaces places;
    places.blocks.reserve(placesOfLastSave_); // a large hive's list would otherwise be copied as it grows
    HiveText next = renderText(&places);
    if (next.size() > static_cast<size_t>(kMaxHiveSize))
        return refuseWith(Refusal::Cause::SaveFailed, Problem::TooLarge, 0, status::diskFull);
    if (const int error = writeFile(next))
        return refuseWith(Refusal::Cause::SaveFailed, Problem::WriteFailed, error, statusOfErrno(error));

    stamp_ = stampOf(filePath());
    moveBlocks(places);
    text_ = std::move(next);
    text_.compactIfWasteful();
    forgetLastingChanges();
    return status::ok;
}

// After a save, every block where the new text holds it: a key's own, or
// the index line's of a key not made yet. The unchanged blocks of the next
// save are taken from there.
void Hive::moveBlocks(const SavePlaces &places) {
    for (const BlockPlace &place : places.blocks) {
        place.key->block.offset = place.offset;
        place.key->block.length = place.length;
        place.key->dirty = false; // its block holds it as it is
    }
    for (const LinesPlace &moved : places.lines) {
        for (uint32_t line = moved.first; line < moved.end; ++line)
            index_.lines[line].block.offset = static_cast<uint32_t>(index_.lines[line].block.offset + moved.shift);
    }
    placesOfLastSave_ = places.blocks.size();
}

// The text goes to the file the way every file we make does (files::SafeFile).
// A new hive in a folder that only its owner may enter (the program's own
// registry) is only for its owner too.
int Hive::writeFile(const HiveText &text) {
    struct stat folder{};
    const bool privateFolder = fileSystem().stat(directory_, &folder) == 0 && (folder.st_mode & 077) == 0;
    return files::writeFile(filePath(), text.parts(), privateFolder ? 0600 : 0666);
}

Status Hive::checkWritable() {
    if (trustProbes_ && probesPassed_ && !forcedReadOnly_ && unparsable_.empty() && !rewriteWaits_)
        return status::ok;
    return checkWritableNow();
}

// A file not understood is told before a request, which would hide it.
Status Hive::checkWritableNow() {
    // Before the file's text is judged: what it holds may be half rewritten.
    if (rewriteWaits_)
        return refuseWith(Refusal::Cause::FileNotWritable, Problem::RewriteWaits, 0, status::accessDenied);
    if (!unparsable_.empty())
        return refuse(Refusal::Cause::NotUnderstood,
                      "read-only, because the file could not be understood (" + unparsable_ + "); it is left as it is");
    if (const Status requested = checkRequested())
        return requested;
    const Status probed = probeWritable();
    probesPassed_ = probed == status::ok;
    return probed;
}

Status Hive::checkRequested() {
    return forcedReadOnly_ ? refuse(Refusal::Cause::Requested, "read-only, as requested") : status::ok;
}

// What the file system and a running Wine server say about writing the file.
Status Hive::probeWritable() {
    files::FileSystem &fs = files::fileSystem();
    if (stamp_.exists && ((stamp_.mode & 0222) == 0 || fs.access(filePath(), W_OK) != 0))
        return refuse(Refusal::Cause::FileNotWritable, "read-only, because the file is not writable");
    if (fs.access(directory_, W_OK | X_OK) != 0)
        return refuse(Refusal::Cause::FolderNotWritable, "read-only, because the registry folder is not writable");
    if (wineServerRunning(directory_))
        return refuse(Refusal::Cause::WineServerRunning,
                      "read-only, because a Wine server is running for this prefix and its own save would overwrite "
                      "our changes");
    return status::ok;
}

// A refusal for a problem of the file or its save, in words from the problem.
Status Hive::refuseWith(Refusal::Cause cause, Problem problem, int error, Status status) {
    std::string reason = problem == Problem::TooLarge ? "the registry would grow beyond 1 GB" : problemWords(problem);
    if (error != 0)
        reason += std::string(": ") + std::strerror(error);
    if (cause == Refusal::Cause::FileNotWritable)
        reason = "read-only, because " + reason;
    refuse(cause, reason, status);
    lastRefusal_.problem = problem;
    lastRefusal_.error = error;
    return status;
}

Status Hive::refuse(Refusal::Cause cause, const std::string &reason, Status status) {
    const bool notUnderstood = cause == Refusal::Cause::NotUnderstood;
    const bool sameAsBefore = lastRefusal_.cause == cause && lastRefusal_.reason == reason;
    lastRefusal_ = {cause,
                    notUnderstood ? unparsableProblem_ : Problem::None,
                    notUnderstood ? unparsableError_ : 0,
                    notUnderstood ? unparsableLine_ : 0,
                    reason,
                    sameAsBefore && lastRefusal_.toldToUser};
    if (told_.insert(reason).second)
        std::fprintf(stderr, "vantor registry: %s: %s\n", filePath().c_str(), reason.c_str());
    listener_.hiveRefused(*this);
    return status;
}

} // namespace winreg
