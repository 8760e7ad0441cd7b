#include "hive_text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace winreg {

namespace {
// Below this much waste a text is never copied to compact it.
constexpr size_t kTolerableWaste = size_t{64} << 10;
// New text goes on in a new chunk once its chunk holds this much.
constexpr size_t kFreshChunk = size_t{1} << 20;
} // namespace

HiveText::HiveText(std::shared_ptr<const char> block, size_t size) { holdWhole(std::move(block), size); }

HiveText::HiveText(std::string text) {
    const auto owner = std::make_shared<const std::string>(std::move(text));
    holdWhole(std::shared_ptr<const char>(owner, owner->data()), owner->size());
}

void HiveText::holdWhole(std::shared_ptr<const char> data, size_t size) {
    if (size == 0)
        return;
    spans_.push_back({0, data.get(), size, 0});
    buffers_.push_back({std::move(data), size});
    size_ = size;
}

const HiveText::Span *HiveText::spanHolding(size_t offset, size_t length) const {
    if (length == 0 || offset >= size_ || length > size_ - offset)
        return nullptr;
    const auto after = std::upper_bound(spans_.begin(), spans_.end(), offset,
                                        [](size_t at, const Span &span) { return at < span.offset; });
    const Span &span = *std::prev(after); // the first span starts at 0
    return offset + length <= span.offset + span.length ? &span : nullptr;
}

std::string_view HiveText::slice(size_t offset, size_t length) const {
    const Span *span = spanHolding(offset, length);
    return span ? std::string_view(span->data + (offset - span->offset), length) : std::string_view();
}

std::vector<iovec> HiveText::parts() const {
    std::vector<iovec> parts;
    parts.reserve(spans_.size());
    for (const Span &span : spans_)
        parts.push_back({const_cast<char *>(span.data), span.length});
    return parts;
}

std::string HiveText::flatten() const {
    std::string text;
    text.reserve(size_);
    for (const Span &span : spans_)
        text.append(span.data, span.length);
    return text;
}

void HiveText::compactIfWasteful() {
    size_t held = 0;
    for (const Buffer &buffer : buffers_)
        held += buffer.size;
    if (held > size_ + size_ / 2 + kTolerableWaste)
        *this = HiveText(flatten());
}

bool TextPlan::keep(size_t offset, size_t length) {
    const HiveText::Span *span = current_.spanHolding(offset, length);
    if (!span)
        return false;
    closeFresh();
    const char *data = span->data + (offset - span->offset);
    keptBytes_ += length;
    if (!pieces_.empty()) {
        Piece &last = pieces_.back();
        if (last.data && last.buffer == span->buffer && last.data + last.length == data) {
            last.length += length;
            return true;
        }
    }
    pieces_.push_back({data, 0, length, span->buffer});
    return true;
}

std::string &TextPlan::fresh() {
    if (fresh_.size() >= kFreshChunk) {
        closeFresh();
        freshBytes_ += fresh_.size();
        chunks_.push_back(std::make_shared<const std::string>(std::move(fresh_)));
        fresh_ = std::string();
        fresh_.reserve(kFreshChunk + kFreshChunk / 4);
        freshClosed_ = 0;
    }
    return fresh_;
}

void TextPlan::closeFresh() {
    if (fresh_.size() == freshClosed_)
        return;
    pieces_.push_back({nullptr, freshClosed_, fresh_.size() - freshClosed_, chunks_.size()});
    freshClosed_ = fresh_.size();
}

HiveText TextPlan::finish() && {
    closeFresh();
    HiveText text;
    if (!fresh_.empty())
        chunks_.push_back(std::make_shared<const std::string>(std::move(fresh_)));
    // The chunks are the new text's first buffers, in their order.
    for (const auto &chunk : chunks_)
        text.buffers_.push_back({std::shared_ptr<const char>(chunk, chunk->data()), chunk->size()});
    // Each buffer of the current text that a piece uses, by its place in the new text.
    std::vector<size_t> placeOf(current_.buffers_.size(), SIZE_MAX);
    for (const Piece &piece : pieces_) {
        const char *data = piece.data;
        size_t buffer = piece.buffer;
        if (!data) {
            data = chunks_[buffer]->data() + piece.freshOffset;
        } else {
            if (placeOf[buffer] == SIZE_MAX) {
                placeOf[buffer] = text.buffers_.size();
                text.buffers_.push_back(current_.buffers_[buffer]);
            }
            buffer = placeOf[buffer];
        }
        text.spans_.push_back({text.size_, data, piece.length, buffer});
        text.size_ += piece.length;
    }
    return text;
}

} // namespace winreg
