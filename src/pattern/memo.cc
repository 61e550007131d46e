#include "pattern/memo.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace vu32::pattern_internal {

void FailureMemo::Reset(size_t joins) {
  full_ = false;
  pages_used_ = 0;
  pages_.Clear();
  rare_.Clear();
  recent_.clear();
  // What an earlier line left is counted in Bytes() already, and reused.
  if (joins > recent_.capacity() && joins * sizeof(RecentPage) > Room()) {
    full_ = true;
    return;
  }
  recent_.resize(joins);
}

void FailureMemo::Trim() {
  if (Bytes() <= kKeepBytes && !full_) return;
  chunks_.clear();
  pages_used_ = 0;
  pages_.Release();
  rare_.Release();
  std::vector<RecentPage>().swap(recent_);
}

size_t FailureMemo::Bytes() const {
  return chunks_.size() * kChunkBytes + pages_.bytes() + rare_.bytes() +
         recent_.capacity() * sizeof(RecentPage);
}

size_t FailureMemo::Room() const {
  return max_bytes_ - std::min(max_bytes_, Bytes());
}

FailureMemo::Answer FailureMemo::CheckRare(const StateKey& key) {
  bool added = false;
  if (rare_.FindOrAdd(key, Room(), &added) == nullptr) {
    full_ = true;
    return kFull;
  }
  return added ? kNew : kSeen;
}

uint64_t* FailureMemo::FindOrAddPage(uint32_t join, uint64_t block) {
  bool added = false;
  PageSlot* slot = pages_.FindOrAdd({block + 1, join, nullptr}, Room(), &added);
  if (slot != nullptr && added) slot->page = NewPage();
  if (slot == nullptr || slot->page == nullptr) {
    full_ = true;
    return nullptr;
  }
  return slot->page;
}

uint64_t* FailureMemo::NewPage() {
  if (pages_used_ == chunks_.size() * kChunkPages) {
    if (kChunkBytes > Room()) return nullptr;
    chunks_.push_back(
        std::make_unique_for_overwrite<uint64_t[]>(kChunkPages * kPageWords));
  }
  uint64_t* page = chunks_[pages_used_ / kChunkPages].get() +
                   pages_used_ % kChunkPages * kPageWords;
  ++pages_used_;
  std::fill_n(page, kPageWords, 0);
  return page;
}

}  // namespace vu32::pattern_internal
