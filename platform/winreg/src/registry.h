// The registry as the API sees it: the three hives under their Windows
// names, the predefined roots, open handles and path resolution.
#pragma once

#include "core.h"
#include "hive.h"
#include "winreg.h"

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace winreg {

class Registry final : public Core, public HiveListener {
public:
    explicit Registry(std::string directory);
    ~Registry() override;
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    const std::string &directory() const { return directory_; }
    // True when the folder held none of the hive files as this registry found it.
    bool isNew() const { return isNew_; }

    Status openKey(Handle base, std::u16string_view path, uint32_t options, uint32_t access, Handle &key) override;
    Status createKey(Handle base, std::u16string_view path, const std::u16string *keyClass, uint32_t options,
                     uint32_t access, Handle &key, bool &created) override;
    Status closeKey(Handle key) override;
    Status queryValue(Handle key, std::u16string_view name, Value &value) override;
    Status setValue(Handle key, Value value) override;
    Status deleteValue(Handle key, std::u16string_view name) override;
    Status queryInfo(Handle key, KeyInfo &info) override;
    Status enumKey(Handle key, uint32_t index, SubKey &subKey) override;
    Status enumValue(Handle key, uint32_t index, Value &value) override;
    Status deleteKey(Handle base, std::u16string_view path) override;
    Status flushKey(Handle key) override;
    Status flushAll() override;
    void closeAllHandles();
    Status setReadOnly(const char *fileName, bool readOnly);
    // Inside a batch each hive file is looked at once, and the probes for
    // writing are trusted once passed; saves still check everything. The
    // changes of a batch are saved when it ends (or flushed), not when the
    // last key of a hive closes: endBatch answers with the first failed save.
    void beginBatch();
    Status endBatch();
    bool inBatch() const { return inBatch_; }
    bool forcedReadOnly(std::string_view fileName);

    void hiveWillReload(Hive &hive) override;
    void hiveDidReload(Hive &hive) override;
    void hiveRefused(Hive &hive) override { refusedHive_ = &hive; }

    // The hive that refused a change or a save since the last forgetRefusal.
    const Hive *refusedHive() const { return refusedHive_; }
    void forgetRefusal() { refusedHive_ = nullptr; }
    // Whether the hive of that file may be written now (a refusal whose
    // cause is None), and if not why: the file is looked at and the probes
    // run as for a write; through a running Wine server, whose registry the
    // calls then reach, only a request counts. Null for an unknown file name.
    const Hive *probeHive(std::string_view fileName, bool throughServer, Refusal &refusal);
    // The program told its user why that hive refuses changes (Hive::markRefusalTold).
    Status markRefusalTold(std::string_view fileName);

private:
    struct OpenHandle {
        Key *key = nullptr;
        Hive *hive = nullptr; // null for the key of HKEY_USERS itself
        uint32_t access = 0;
        bool deleted = false;
        std::vector<std::u16string> pathDuringReload;
    };
    struct Target {
        Key *key = nullptr;
        uint32_t access = 0;
        Status status = status::ok;
    };
    struct ParsedPath {
        std::vector<std::u16string_view> parts; // into the path parsed
        Status status = status::ok;
    };

    // A batch is one call as far as looking at the files goes.
    void beginCall() {
        if (!inBatch_)
            ++call_;
    }
    void refresh(Hive &hive);
    Hive *hiveByFile(std::string_view fileName);
    Target target(Handle key);
    Key *predefinedKey(Handle key);
    Key *ensurePath(Hive &hive, std::initializer_list<const char16_t *> path);
    static ParsedPath parsePath(std::u16string_view path);
    Key *childOf(Key &key, std::u16string_view name);
    size_t childCount(Key &key);
    Key *childAt(Key &key, size_t index);
    Key *followLink(Key &link, int depth);
    Status walk(Key *&key, const ParsedPath &path, bool openLink);
    Handle newHandle(Key *key, uint32_t access);
    void forgetKey(Key *key);
    Status commitIdleHives();
    bool isRootOfHive(const Key &key) const;

    std::string directory_;
    bool isNew_ = false;
    Key usersKey_; // HKEY_USERS: shows the roots of userdef.reg and user.reg
    std::unique_ptr<Hive> machine_;
    std::unique_ptr<Hive> user_;
    std::unique_ptr<Hive> defaultUser_;
    std::unordered_map<Handle, OpenHandle> handles_;
    uint64_t call_ = 0;
    bool inBatch_ = false;
    const Hive *refusedHive_ = nullptr;
    // The call in which each hive last looked at its file.
    struct LookedAt {
        Hive *hive;
        uint64_t call;
    };
    std::array<LookedAt, 3> refreshedInCall_{};
};

} // namespace winreg
