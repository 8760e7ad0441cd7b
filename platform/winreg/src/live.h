// The registry of a prefix whose Wine server runs: the server holds the real
// registry in memory and saves its files on its own schedule, so every call
// goes to the server, through the bridge program running inside that Wine.
// It serves the engine's core interface like the files do, so that no caller
// can tell which of the two answered.
#pragma once

#include "bridge_client.h"
#include "core.h"
#include "winreg.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace bridge {
class Writer;
enum class Op : uint8_t;
} // namespace bridge

namespace winreg {

class LiveRegistry final : public Core {
  public:
    // forcedReadOnly tells whether the hive file of that name was made
    // read-only by request; its keys then refuse every change here too.
    LiveRegistry(std::string prefix, std::function<bool(const std::string &)> forcedReadOnly);

    // The server has ended and saved its files: the files serve from now on.
    bool ended() const { return ended_; }
    // Handles this object gave out, open or not.
    static bool isLiveHandle(Handle key);
    // Why the last failed call failed, for the user; empty when none did.
    const std::string &failureNote() const { return note_; }
    void clearFailureNote() { note_.clear(); }

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
    // Every change is in the server once its call has returned.
    Status flushAll() override { return status::ok; }

  private:
    // A key as the caller holds it: where it is, so that a restarted bridge
    // can open it again, and its number in the bridge that opened it.
    struct LiveKey {
        uint32_t root = 0;
        std::u16string path;
        uint32_t access = 0;
        uint32_t options = 0;
        uint32_t remote = 0;
        uint64_t generation = 0;
    };
    // What a key argument stands for: a predefined root or a live handle.
    struct Place {
        uint32_t root = 0;
        std::u16string path;
        LiveKey *key = nullptr;
    };
    enum class Trouble { None, CannotStart, Died, TimedOut };
    using Fields = std::function<void(bridge::Writer &)>;

    Status place(Handle key, Place &out);
    Status call(const Place &at, bridge::Op op, const Fields &fields, std::string &results);
    Status ask(Handle key, bridge::Op op, const Fields &fields, std::string &results);
    Status change(Handle key, std::u16string_view path, bridge::Op op, const Fields &fields);
    Trouble attempt(const Place &at, bridge::Op op, const Fields &fields, std::string &results, Status &status,
                    std::string &why);
    Trouble startBridge(std::string &why);
    Trouble exchange(const std::string &message, std::string &answer, std::string &why);
    Status fail(Status status, const std::string &why);
    Status refuseChange(const Place &at, std::u16string_view path);
    Handle newHandle(const Place &at, std::u16string_view path, uint32_t access, uint32_t options, uint32_t remote);

    std::string prefix_;
    std::function<bool(const std::string &)> forcedReadOnly_;
    BridgeProcess process_;
    uint64_t generation_ = 0; // bridges started so far
    bool ended_ = false;
    std::string loader_;
    bool answered_ = false; // by the bridge last started
    std::string note_;
    std::unordered_map<Handle, LiveKey> handles_;
};

} // namespace winreg
