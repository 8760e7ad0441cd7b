// The registry as the API sees it: the three hives under their Windows
// names, the predefined roots, open handles and path resolution.
#pragma once

#include "hive.h"
#include "winreg.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace winreg {

class Registry final : public HiveListener {
public:
    explicit Registry(std::string directory);
    ~Registry() override;
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    const std::string &directory() const { return directory_; }

    LSTATUS openKey(HKEY base, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
    LSTATUS createKey(HKEY base, LPCSTR subKey, LPCSTR keyClass, DWORD options, REGSAM access, PHKEY result,
                      LPDWORD disposition);
    LSTATUS closeKey(HKEY key);
    LSTATUS queryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
    LSTATUS setValue(HKEY key, LPCSTR name, DWORD type, const BYTE *data, DWORD size);
    LSTATUS deleteValue(HKEY key, LPCSTR name);
    LSTATUS queryInfo(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved, LPDWORD subKeys,
                      LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values, LPDWORD maxValueNameLength,
                      LPDWORD maxValueLength, LPDWORD securityDescriptorSize, PFILETIME lastWriteTime);
    LSTATUS enumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPSTR keyClass,
                    LPDWORD classLength, PFILETIME lastWriteTime);
    LSTATUS enumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD size);
    LSTATUS deleteKey(HKEY base, LPCSTR subKey);
    LSTATUS flushKey(HKEY key);
    LSTATUS flushAll();
    void closeAllHandles();
    LSTATUS setReadOnly(const char *fileName, bool readOnly);
    bool forcedReadOnly(std::string_view fileName);

    void hiveWillReload(Hive &hive) override;
    void hiveDidReload(Hive &hive) override;

private:
    struct Handle {
        Key *key = nullptr;
        Hive *hive = nullptr; // null for the key of HKEY_USERS itself
        REGSAM access = 0;
        bool deleted = false;
        std::vector<std::u16string> pathDuringReload;
    };
    struct Target {
        Key *key = nullptr;
        REGSAM access = 0;
        LSTATUS status = ERROR_SUCCESS;
    };
    struct ParsedPath {
        std::vector<std::u16string> parts;
        LSTATUS status = ERROR_SUCCESS;
    };

    void beginCall() { ++call_; }
    void refresh(Hive &hive);
    Hive *hiveByFile(std::string_view fileName);
    Target target(HKEY key);
    Key *predefinedKey(HKEY key);
    Key *ensurePath(Hive &hive, std::initializer_list<const char16_t *> path);
    static ParsedPath parsePath(LPCSTR subKey);
    Key *childOf(Key &key, std::u16string_view name);
    size_t childCount(Key &key);
    Key *childAt(Key &key, size_t index);
    Key *followLink(Key &link, int depth);
    LSTATUS walk(Key *&key, const ParsedPath &path, bool openLink);
    HKEY newHandle(Key *key, REGSAM access);
    void forgetKey(Key *key);
    void commitIdleHives();
    bool isRootOfHive(const Key &key) const;
    void seedNewRegistry();

    std::string directory_;
    Key usersKey_; // HKEY_USERS: shows the roots of userdef.reg and user.reg
    std::unique_ptr<Hive> machine_;
    std::unique_ptr<Hive> user_;
    std::unique_ptr<Hive> defaultUser_;
    std::unordered_map<uintptr_t, Handle> handles_;
    uint64_t call_ = 0;
    std::unordered_map<Hive *, uint64_t> refreshedInCall_;
};

} // namespace winreg
