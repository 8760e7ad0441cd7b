// One registry file (system.reg, user.reg or userdef.reg) and the key tree
// loaded from it, with everything that keeps the two in step: reloading when
// the file changed, the journal of this process's unsaved changes, and the
// locked, atomic save that merges them into whatever the file holds now.
#pragma once

#include "format.h"
#include "hive_text.h"
#include "status.h"
#include "tree.h"

#include <ctime>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace winreg {

// What identifies one version of a file on disk.
struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    bool sameVersion(const FileStamp &other) const;
};
FileStamp stampOf(const std::string &path);

// One change made by this process, kept until it reaches the file. Values
// set one after another in the same key are one change.
struct Change {
    enum class Kind : uint8_t { CreateKey, DeleteKey, SetValues, DeleteValue };
    Kind kind = Kind::SetValues;
    bool isLink = false;     // CreateKey
    bool isVolatile = false; // never written; replayed after every reload
    uint64_t fileTime = 0;
    // The key itself until the change is written down (Hive::writeDownPaths),
    // which happens only when the tree is about to lose keys. Until then the
    // values of SetValues are the ones the key marks unsaved.
    Key *key = nullptr;
    std::u16string valueName; // DeleteValue
    struct WrittenDown {
        std::vector<std::u16string> path;         // of the key, from the hive's root
        std::vector<Value> values;                // SetValues
        std::unique_ptr<std::u16string> keyClass; // CreateKey
    };
    std::unique_ptr<WrittenDown> written;
};

// Why a hive refused a change or a save: told once on stderr, and kept as
// data for the caller who asks.
struct Refusal {
    enum class Cause : uint8_t {
        None,
        Requested,         // made read-only by its program or the environment
        NotUnderstood,     // the file could not be read or understood
        FileNotWritable,
        FolderNotWritable,
        WineServerRunning,
        SaveFailed,
    };
    Cause cause = Cause::None;
    Problem problem = Problem::None; // NotUnderstood, SaveFailed: what went wrong
    int error = 0;      // its errno, where it has one
    size_t line = 0;    // NotUnderstood: the line of the first problem, when there is one
    std::string reason; // in words, e.g. "read-only, because the file is not writable"
    bool toldToUser = false; // the program told the user this refusal (markRefusalTold)
};

class Hive;

// Told around every replacement of a hive's tree, so that open handles can
// follow their keys into the new tree.
class HiveListener {
public:
    virtual ~HiveListener() = default;
    virtual void hiveWillReload(Hive &hive) = 0;
    virtual void hiveDidReload(Hive &hive) = 0;
    virtual void hiveRefused(Hive &hive) = 0;
};

class Hive {
public:
    // rootLine is the path of the "All keys relative to" header line, as
    // written in the file (e.g. REGISTRY\\Machine); rootName names the root key.
    Hive(std::string directory, std::string fileName, std::string rootLine, std::u16string rootName,
         HiveListener &listener);
    Hive(const Hive &) = delete;
    Hive &operator=(const Hive &) = delete;

    const std::string &fileName() const { return fileName_; }
    std::string filePath() const { return directory_ + "/" + fileName_; }

    // Loads the file on first use; afterwards stats it and loads it again
    // (replaying unsaved changes) when another program replaced it.
    void refresh();
    Key &root() { return *root_; }
    void setParentOfRoot(Key *parent) { parentOfRoot_ = parent; if (root_) root_->parent = parent; }

    // 0 when the hive may be written, else ERROR_ACCESS_DENIED; the reason
    // goes to stderr once, and is kept (lastRefusal). While the probes of the file system and of a Wine
    // server are trusted, checkWritable runs them only until they pass once;
    // checkWritableNow always runs them.
    Status checkWritable();
    Status checkWritableNow();
    // ERROR_ACCESS_DENIED only when the hive was made read-only on request.
    Status checkRequested();
    void trustProbes(bool on) { trustProbes_ = on; probesPassed_ = false; }
    void forceReadOnly(bool on) { forcedReadOnly_ = on; }
    bool forcedReadOnly() const { return forcedReadOnly_; }
    bool understood() const { return unparsable_.empty(); }
    const Refusal &lastRefusal() const { return lastRefusal_; }
    // The program told the user why the hive refuses changes: later failures
    // for the same reason need not be told again.
    void markRefusalTold() { lastRefusal_.toldToUser = lastRefusal_.cause != Refusal::Cause::None; }

    void ensureValues(Key &key);
    // Makes the key's children that the text holds but that are not made
    // yet: before anything looks at a key's children.
    void ensureChildren(Key &key);
    // The key at path from the root, its levels made on the way; null when none.
    Key *findPath(const std::vector<std::u16string> &path);

    // Changes, recorded in the journal.
    Key *createKey(Key &parent, std::u16string name, const std::u16string *keyClass, bool isVolatile, bool isLink);
    void setValue(Key &key, Value value);
    bool deleteValue(Key &key, std::u16string_view name);
    void deleteKey(Key &key); // the key must have no subkeys

    bool hasPendingChanges() const { return pendingChanges_ > 0; }
    // Writes the pending changes (or, with evenWithoutChanges, creates the
    // file when it does not exist yet); 0 or an error code.
    // A failed save drops the changes the file did not take and reloads it.
    Status save(bool evenWithoutChanges = false);
    // The whole file text as a save would write it now.
    std::string render();

    int openHandles = 0;

private:
    struct BlockPlace {
        Key *key;
        uint32_t offset;
        uint32_t length;
    };
    // Where the blocks of the index's lines [first, end) moved to.
    struct LinesPlace {
        uint32_t first;
        uint32_t end;
        int64_t shift;
    };
    struct SavePlaces {
        std::vector<BlockPlace> blocks;
        std::vector<LinesPlace> lines;
    };

    void loadFromDisk();
    void makeAllPendingKeys();
    BlockText blockText() const;
    void replaceTree(HiveText text, const FileStamp &stamp, bool exists, Problem refusal, int error);
    Status commit();
    void dropPendingChanges();
    void replayJournal();
    void applyChange(const Change &change);
    void record(Change change, Key &key);
    void writeDownPaths();
    void forgetLastingChanges(); // all but the volatile ones
    struct BlockToWrite {
        Key *key;
        uint64_t anchor;   // offset in the file as read
        uint64_t sequence; // among keys new at the same place
        bool writes;       // false: the key keeps no block
    };
    void listBlocks(Key &key, bool isRoot, std::vector<BlockToWrite> &list);
    HiveText renderText(SavePlaces *places);
    bool renderInTreeOrder(Key &key, bool isRoot, TextPlan &plan, SavePlaces *places, uint64_t &lastOffset);
    bool keepPendingKeys(const Key &key, TextPlan &plan, SavePlaces *places, uint64_t &lastOffset);
    void appendBlock(Key &key, TextPlan &plan, SavePlaces *places);
    bool keepBlock(const Key &key, TextPlan &plan) const;
    int writeFile(const HiveText &text);
    void moveBlocks(const SavePlaces &places);
    Status probeWritable();
    bool finishRewrite();
    Status refuse(Refusal::Cause cause, const std::string &reason, Status status = status::accessDenied);
    Status refuseWith(Refusal::Cause cause, Problem problem, int error, Status status);
    std::string defaultHeader() const;

    std::string directory_;
    std::string fileName_;
    std::string rootLine_;
    std::u16string rootName_;
    HiveListener &listener_;
    Key *parentOfRoot_ = nullptr;

    bool loaded_ = false;
    HiveText text_;
    KeyIndex index_; // of the keys text_ holds that are not made yet
    std::string header_;
    std::unique_ptr<Key> root_;
    FileStamp stamp_;
    std::deque<Change> journal_; // grows without moving what it holds
    size_t pathsWrittenDown_ = 0; // journal entries before this one have their path
    size_t placesOfLastSave_ = 0;
    size_t pendingChanges_ = 0; // journal entries that the file still lacks

    std::string unparsable_;
    Problem unparsableProblem_ = Problem::None;
    int unparsableError_ = 0;
    size_t unparsableLine_ = 0;
    Refusal lastRefusal_;
    bool forcedReadOnly_ = false;
    bool rewriteWaits_ = false; // a crash cut a rewrite short, and this process may not undo it
    bool trustProbes_ = false;
    bool probesPassed_ = false;
    std::set<std::string> told_;
};

// Whether a Wine server runs for the prefix at dir (it holds the lock on the
// file `lock` in its server folder), and that folder (empty when none runs).
bool wineServerRunning(const std::string &dir);
std::string wineServerFolder(const std::string &dir);
// Whether that server also listens on its socket, so that Wine can reach it.
bool wineServerReachable(const std::string &dir);

} // namespace winreg
