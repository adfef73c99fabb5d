// The text primitives every step of a count is built from: the positioned
// read, the chunked forward search and the number extraction.
#include "brastelv1.h"
#include "pdflimits.h"

#include <component/read_fully.h>
#include "syntax/textops.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace brastel {

using component::E_FAIL;
using component::E_INVALIDARG;
using component::E_NOTOPEN;
using component::HResult;
using component::S_OK;
using component::Text;

const Brastelv1::Block* Brastelv1::FetchBlocks(std::int64_t first, std::int64_t last) {
    // Loads every missing block of [first, last] with one read per run of
    // missing blocks; returns nullptr on a read error.
    auto cached = [this](std::int64_t index) -> const Block* {
        for (const Block& b : blocks_)
            if (b.index == index) return &b;
        return nullptr;
    };
    if (blocks_.size() + static_cast<std::size_t>(last - first + 1) > limits::kCachedBlocks) blocks_.clear();
    for (std::int64_t index = first; index <= last;) {
        if (cached(index)) {
            ++index;
            continue;
        }
        std::int64_t runEnd = index;
        while (runEnd < last && !cached(runEnd + 1)) ++runEnd;
        std::string run(static_cast<std::size_t>((runEnd - index + 1) * kBlockSize), '\0');
        // Bytes past the length seen at open are not asked for: a short
        // file is read with one call, not a second that finds the end.
        const auto want = static_cast<std::size_t>(
            std::clamp<std::int64_t>(fileLength_ - index * kBlockSize, 0, static_cast<std::int64_t>(run.size())));
        const std::int64_t got = component::ReadFully(file_, run.data(), want, index * kBlockSize);
        if (got < 0) return nullptr;
        const auto done = static_cast<std::size_t>(got);
        state_.bytesRead += static_cast<std::int64_t>(done);
        // Fewer bytes than the length seen at open promises: the file shrank
        // while it was read.  The read fails, and with it the route that
        // asked; no loop waits for bytes that are gone.
        if (done < want) {
            state_.fileChanged = true;
            return nullptr;
        }
        for (std::int64_t i = index; i <= runEnd; ++i) {
            const std::size_t from = static_cast<std::size_t>((i - index) * kBlockSize);
            const std::size_t n = from >= done ? 0 : std::min<std::size_t>(kBlockSize, done - from);
            blocks_.push_back(Block{i, run.substr(from, n)});
        }
        index = runEnd + 1;
    }
    return cached(first);
}

std::string Brastelv1::CachedTail(std::size_t limit, std::int64_t* at) const {
    *at = fileLength_;
    if (fileLength_ <= 0) return {};
    std::string tail;
    for (std::int64_t index = (fileLength_ - 1) / kBlockSize; index >= 0; --index) {
        const auto b = std::find_if(blocks_.begin(), blocks_.end(), [&](const Block& k) { return k.index == index; });
        if (b == blocks_.end() || tail.size() + b->bytes.size() > limit) break;
        // A block is whole unless it ends the file; the last one must reach it.
        if (tail.empty() && index * kBlockSize + static_cast<std::int64_t>(b->bytes.size()) != fileLength_) break;
        tail.insert(0, b->bytes);
        *at = index * kBlockSize;
    }
    return tail;
}

HResult Brastelv1::ReadAt(std::int32_t position, Text& buffer) {
    if (file_ < 0) return E_NOTOPEN;
    if (position < 1) return E_FAIL;
    const std::int64_t start = static_cast<std::int64_t>(position) - 1;
    const std::int64_t end = std::min<std::int64_t>(start + static_cast<std::int64_t>(buffer.size()), fileLength_);
    if (start >= end) return S_OK;  // wholly past the end: the buffer keeps its content
    if (!FetchBlocks(start / kBlockSize, (end - 1) / kBlockSize)) return E_FAIL;
    // Bytes that exist replace the buffer's characters; the rest keep theirs.
    for (std::int64_t at = start; at < end;) {
        const std::int64_t index = at / kBlockSize;
        const Block* block = nullptr;
        for (const Block& b : blocks_)
            if (b.index == index) block = &b;
        if (!block) return E_FAIL;
        const std::int64_t offset = at - index * kBlockSize;
        if (offset >= static_cast<std::int64_t>(block->bytes.size())) break;  // the file ended early
        const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(block->bytes.size()) - offset, end - at);
        std::copy_n(block->bytes.data() + offset, n, buffer.data() + (at - start));
        at += n;
    }
    return S_OK;
}

HResult Brastelv1::FindCase(Text& SearchString, std::int32_t& StartPosition,
                            std::int32_t& SuggestedLength, Text& AlternateSearch, Text& result) {
    if (file_ < 0) return E_NOTOPEN;
    // A chunk length below 1 would never advance; one beyond the search
    // bound could never be gathered.
    if (SuggestedLength < 1 || static_cast<std::size_t>(SuggestedLength) > limits::kFindText) return E_INVALIDARG;
    Text buffer(static_cast<std::size_t>(SuggestedLength), ' ');
    Text gathered;
    std::int32_t i = 0;
    // Keyword tests look only at text not yet tested, plus the keyword's
    // length less one, so a keyword across two chunks is still seen.
    std::size_t testedSearch = 0, testedAlt = 0;
    auto seen = [&gathered](const Text& key, std::size_t& tested) {
        if (gathered.empty()) return false;
        if (key.empty()) return true;
        const std::size_t from = tested >= key.size() - 1 ? tested - (key.size() - 1) : 0;
        tested = gathered.size();
        return gathered.find(key, from) != Text::npos;
    };
    std::int32_t pos = 0, step = 0;
    for (;;) {
        if (seen(SearchString, testedSearch)) break;
        if (!AlternateSearch.empty() && seen(AlternateSearch, testedAlt)) break;
        if (!MulChecked(i, SuggestedLength, step) || !AddChecked(StartPosition, step, pos)) return E_FAIL;
        if (pos > fileLength_) break;
        if (gathered.size() >= limits::kFindText) return E_FAIL;
        if (HResult hr = ReadAt(pos, buffer); hr < 0) return hr;
        ++i;
        gathered += buffer;
    }
    // One chunk more, so a value written right after the keyword is present
    // even when the keyword ends a chunk.
    if (!MulChecked(i, SuggestedLength, step) || !AddChecked(StartPosition, step, pos)) return E_FAIL;
    if (HResult hr = ReadAt(pos, buffer); hr < 0) return hr;
    gathered += buffer;
    result = std::move(gathered);
    return S_OK;
}

HResult Brastelv1::ExtractNumber(Text& Text_, Text& StartMark, Text& EndMark, std::int16_t& LineEndMode,
                                 std::int32_t& Window, std::int32_t& result) {
    if (Window == 0) {
        if (Text_.size() > static_cast<std::size_t>(INT32_MAX)) return E_FAIL;
        Window = static_cast<std::int32_t>(Text_.size());
    }
    if (Window < 0) return E_FAIL;
    auto detect = [&]() {
        if (LineEndMode == 0) return;
        const Text found = DetectLineEnd(std::string_view(Text_).substr(0, static_cast<std::size_t>(Window)));
        if (LineEndMode == 1)
            StartMark = found;
        else if (LineEndMode == 2)
            EndMark = found;
    };
    detect();
    if (!StartMark.empty()) {
        const std::int64_t b = InStr(Text_, StartMark);
        const std::int64_t keep = static_cast<std::int64_t>(Text_.size()) - b -
                                  static_cast<std::int64_t>(StartMark.size()) + 1;
        if (keep < 0) return E_FAIL;  // start mark longer than the text plus one
        const std::size_t n = static_cast<std::size_t>(keep) > Text_.size() ? Text_.size()
                                                                            : static_cast<std::size_t>(keep);
        Text_ = Trim(std::string_view(Text_).substr(Text_.size() - n));
    }
    detect();
    const std::int32_t e = InStr(Text_, EndMark);
    if (e == 0) return E_FAIL;  // end mark missing
    Text_.resize(static_cast<std::size_t>(e - 1));
    if (const auto slash = Text_.find('/'); slash != Text::npos) Text_.resize(slash);
    const auto value = ToWholeNumber(Text_);
    if (!value) return E_FAIL;
    result = *value;
    return S_OK;
}

}  // namespace brastel
