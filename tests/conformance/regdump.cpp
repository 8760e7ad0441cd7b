// regdump KEY...: every value of each KEY (ROOT\PATH, ROOT a long root name
// such as HKEY_CURRENT_USER) and of all keys below it, as the real registry
// API gives them. Names and data are printed in hex, names as UTF-16 code
// units, so that no code page stands between the registry and the reader:
//
//   key <hex of the key's full name>
//   value <hex of the value name> <type> <hex of the data>
//
// The interop tests use it under Wine to see what our engine wrote.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string HexUnits(const std::wstring &text)
{
    std::string out;
    char buf[8];
    for (wchar_t c : text) {
        std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(c));
        out += buf;
    }
    return out.empty() ? "-" : out;
}

std::string HexBytes(const BYTE *data, DWORD size)
{
    std::string out;
    char buf[4];
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
    }
    return out.empty() ? "-" : out;
}

void Dump(HKEY key, const std::wstring &name)
{
    std::printf("key %s\n", HexUnits(name).c_str());
    std::vector<wchar_t> valueName(16384 + 1);
    std::vector<BYTE> data(1 << 16);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(valueName.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG rc = RegEnumValueW(key, index, valueName.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (rc == ERROR_MORE_DATA) {
            data.resize(size);
            --index;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        std::printf("value %s %lu %s\n", HexUnits(std::wstring(valueName.data(), nameLength)).c_str(),
                    static_cast<unsigned long>(type), HexBytes(data.data(), size).c_str());
    }
    for (DWORD index = 0;; ++index) {
        wchar_t child[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, child, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            Dump(sub, name + L"\\" + std::wstring(child, length));
            RegCloseKey(sub);
        }
    }
}

struct Root {
    const wchar_t *name;
    HKEY key;
};

const Root kRoots[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

} // namespace

int wmain(int argc, wchar_t **argv)
{
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring full = argv[i];
        const size_t slash = full.find(L'\\');
        const std::wstring rootName = full.substr(0, slash);
        const std::wstring path = slash == std::wstring::npos ? L"" : full.substr(slash + 1);
        HKEY root = nullptr;
        for (const Root &candidate : kRoots)
            if (rootName == candidate.name)
                root = candidate.key;
        HKEY key = nullptr;
        if (!root || RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            std::printf("missing %s\n", HexUnits(full).c_str());
            status = 1;
            continue;
        }
        Dump(key, full);
        RegCloseKey(key);
    }
    return status;
}
