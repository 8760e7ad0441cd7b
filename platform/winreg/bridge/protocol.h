// The wire format between the engine and the bridge that runs inside Wine.
//
// Every message is a little-endian 32-bit length followed by that many bytes.
// A request starts with one byte naming the call, an answer with the 32-bit
// status of the call; the fields of each call follow in the order the
// comments of Op give. Numbers are little-endian; a text is a 32-bit count of
// UTF-16 units and the units (kAbsent as count: a null pointer); data is a
// 32-bit size and the bytes. Keys travel as 32-bit numbers: the predefined
// roots as their low 32 bits, the keys the bridge opened as its own numbers.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

enum class Op : uint8_t {
    OpenKey = 1,  // key, options, access, subkey -> handle
    CreateKey,    // key, options, access, subkey, class -> handle, disposition
    QueryValue,   // key, name -> type, data
    SetValue,     // key, name, type, data
    EnumKey,      // key, index -> name, class, time
    EnumValue,    // key, index -> name, type, data
    QueryInfo,    // key -> class, subkeys, max subkey, max class, values, max name, max data, security,
                  //        time, max data with text in UTF-8
    DeleteKey,    // key, subkey
    DeleteValue,  // key, name
    CloseKey,     // key
    FlushKey,     // key
};

constexpr uint32_t kAbsent = 0xFFFFFFFFu;
// No message of a registry call comes near this; a larger length means the
// stream is out of step.
constexpr uint32_t kMaxMessage = 64u << 20;

class Writer {
public:
    Writer &u8(uint8_t v) {
        out_.push_back(static_cast<char>(v));
        return *this;
    }
    Writer &u32(uint32_t v) { return raw(&v, 4); }
    Writer &u64(uint64_t v) { return raw(&v, 8); }
    Writer &text(std::optional<std::u16string_view> t) {
        if (!t)
            return u32(kAbsent);
        u32(static_cast<uint32_t>(t->size()));
        return raw(t->data(), t->size() * 2);
    }
    Writer &bytes(std::string_view b) {
        u32(static_cast<uint32_t>(b.size()));
        return raw(b.data(), b.size());
    }
    Writer &append(std::string_view b) { return raw(b.data(), b.size()); }
    const std::string &body() const { return out_; }
    // The finished message, length first.
    std::string message() const {
        std::string framed(4, '\0');
        const auto size = static_cast<uint32_t>(out_.size());
        std::memcpy(framed.data(), &size, 4);
        return framed + out_;
    }

private:
    Writer &raw(const void *p, size_t n) {
        out_.append(static_cast<const char *>(p), n);
        return *this;
    }
    std::string out_;
};

// Reads the fields of one message body; after a short or malformed body,
// ok() is false and every further field reads as zero or empty.
class Reader {
public:
    explicit Reader(std::string_view body) : in_(body) {}
    bool ok() const { return ok_; }
    uint8_t u8() {
        uint8_t v = 0;
        take(&v, 1);
        return v;
    }
    uint32_t u32() {
        uint32_t v = 0;
        take(&v, 4);
        return v;
    }
    uint64_t u64() {
        uint64_t v = 0;
        take(&v, 8);
        return v;
    }
    std::optional<std::u16string> text() {
        const uint32_t count = u32();
        if (count == kAbsent || !ok_)
            return std::nullopt;
        if (count > (in_.size() - pos_) / 2) {
            ok_ = false;
            return std::u16string();
        }
        std::u16string t(count, u'\0');
        take(t.data(), size_t{count} * 2);
        return t;
    }
    std::string bytes() {
        const uint32_t size = u32();
        if (size > in_.size() - pos_) {
            ok_ = false;
            return {};
        }
        std::string b(in_.substr(pos_, size));
        pos_ += size;
        return b;
    }

private:
    void take(void *p, size_t n) {
        if (!ok_ || n > in_.size() - pos_) {
            ok_ = false;
            return;
        }
        std::memcpy(p, in_.data() + pos_, n);
        pos_ += n;
    }
    std::string_view in_;
    size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace bridge
