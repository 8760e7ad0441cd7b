// The text of a hive file as last read or written. A save writes the blocks
// it did not change straight from where they already lie in memory and
// renders only the others, so the text it leaves behind is made of spans:
// stretches of the texts before it and of the bytes it rendered.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <sys/uio.h>
#include <vector>

namespace winreg {

class HiveText {
public:
    HiveText() = default;
    // Text read from disk sits in a block of its own (see allocateBulk),
    // which unlike a std::string is not zero-filled before the read fills it.
    HiveText(std::shared_ptr<const char> block, size_t size);
    explicit HiveText(std::string text);

    size_t size() const { return size_; }
    // The bytes at [offset, offset + length); empty unless they lie in one
    // span, as every key block does.
    std::string_view slice(size_t offset, size_t length) const;
    // The spans in order, as a gathered write takes them.
    std::vector<iovec> parts() const;
    std::string flatten() const;
    // A text whose buffers hold much more than the text itself (its keys were
    // rewritten, or deleted, save after save) is copied into one buffer.
    void compactIfWasteful();

private:
    friend class TextPlan;
    // Bytes that spans point into, shared by every text that uses them.
    struct Buffer {
        std::shared_ptr<const char> data;
        size_t size = 0;
    };
    struct Span {
        size_t offset; // in the text
        const char *data;
        size_t length;
        size_t buffer; // in buffers_
    };
    void holdWhole(std::shared_ptr<const char> data, size_t size);
    const Span *spanHolding(size_t offset, size_t length) const;

    std::vector<Buffer> buffers_;
    std::vector<Span> spans_;
    size_t size_ = 0;
};

// The next text of a hive as a save assembles it: stretches of the current
// text taken as they are, and bytes rendered anew.
class TextPlan {
public:
    explicit TextPlan(const HiveText &current) : current_(current) {}
    // Takes [offset, offset + length) of the current text; false (and
    // nothing taken) unless those bytes lie in one of its spans.
    bool keep(size_t offset, size_t length);
    // What is appended here is new text. It is held in chunks, so that a
    // large text is not copied again and again as it grows; what is appended
    // to one reference from here stays in one piece.
    std::string &fresh();
    size_t size() const { return keptBytes_ + freshBytes_ + fresh_.size(); }
    HiveText finish() &&;

private:
    struct Piece {
        const char *data; // null: new text, from freshOffset in chunk `buffer` (fresh_ after the last)
        size_t freshOffset;
        size_t length;
        size_t buffer; // in the current text's buffers, or of chunks_
    };
    void closeFresh();

    const HiveText &current_;
    std::vector<Piece> pieces_;
    std::vector<std::shared_ptr<const std::string>> chunks_; // full ones
    std::string fresh_;      // the chunk being filled
    size_t freshClosed_ = 0; // bytes of fresh_ already in pieces_
    size_t freshBytes_ = 0;  // in chunks_
    size_t keptBytes_ = 0;
};

} // namespace winreg
