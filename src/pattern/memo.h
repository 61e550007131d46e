// The matcher's failure memo: the states of a search (cell, position, k; see
// match.cc for why that key is exact) already known to fail. Only the
// matcher includes it.
#ifndef VU32_PATTERN_MEMO_H_
#define VU32_PATTERN_MEMO_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace vu32::pattern_internal {

// Open addressing with linear probing, for the memo's two tables. A slot
// whose key is all zeros is empty; the table doubles when half full, but
// only within the room it is given.
template <typename Slot>
class SlotTable {
 public:
  // The slot whose key is `probe`'s, added as `probe` when missing (*added
  // is then true). Null when the table had to grow by more than `room`
  // bytes.
  Slot* FindOrAdd(const Slot& probe, size_t room, bool* added) {
    if ((used_ + 1) * 2 > slots_.size() && !Grow(room)) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t h = Home(probe);; h = (h + 1) & mask) {
      Slot& slot = slots_[h];
      *added = slot.empty();
      if (*added) {
        slot = probe;
        ++used_;
      }
      if (*added || slot.SameKey(probe)) return &slot;
    }
  }

  void Clear() {
    if (used_ != 0) std::fill(slots_.begin(), slots_.end(), Slot());
    used_ = 0;
  }
  void Release() {
    std::vector<Slot>().swap(slots_);
    used_ = 0;
  }
  size_t bytes() const { return slots_.capacity() * sizeof(Slot); }

 private:
  size_t Home(const Slot& slot) const {
    return static_cast<size_t>(slot.Hash() >> (64 - bits_));
  }

  bool Grow(size_t room) {
    const int bits = slots_.empty() ? 10 : bits_ + 1;
    const size_t size = size_t{1} << bits;
    if (size > room / sizeof(Slot)) return false;
    const std::vector<Slot> old =
        std::exchange(slots_, std::vector<Slot>(size));
    bits_ = bits;
    const size_t mask = size - 1;
    for (const Slot& slot : old) {
      if (slot.empty()) continue;
      size_t h = Home(slot);
      while (!slots_[h].empty()) h = (h + 1) & mask;
      slots_[h] = slot;
    }
    return true;
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
  int bits_ = 0;
};

inline uint64_t Mix(uint64_t a, uint64_t b) {
  uint64_t h = a * 0x9E3779B97F4A7C15ull ^ b * 0xC2B2AE3D27D4EB4Full;
  return (h ^ (h >> 29)) * 0x9E3779B97F4A7C15ull;
}

// A state of the search with k of 2 or more: the cell, the position, and
// how many of the innermost repetitions around the cell began their
// current pass at the position. pos_plus_one is never 0 in a used slot.
struct StateKey {
  uint64_t pos_plus_one = 0;
  uint32_t cell = 0;
  uint32_t k = 0;
  bool empty() const { return pos_plus_one == 0; }
  bool SameKey(const StateKey& o) const {
    return pos_plus_one == o.pos_plus_one && cell == o.cell && k == o.k;
  }
  uint64_t Hash() const { return Mix(pos_plus_one, uint64_t{cell} << 32 | k); }
};

// Where the page of one join cell and one block of positions lies.
struct PageSlot {
  uint64_t block_plus_one = 0;
  uint32_t join = 0;
  uint64_t* page = nullptr;
  bool empty() const { return block_plus_one == 0; }
  bool SameKey(const PageSlot& o) const {
    return block_plus_one == o.block_plus_one && join == o.join;
  }
  uint64_t Hash() const { return Mix(block_plus_one, join); }
};

// The failed states. Only states at the cells where ways join are kept
// (numbered 0 .. joins-1), which is enough to bound the work. States with k
// of 0 or 1, nearly all of them, take two bits each, in pages that cover
// 512 positions of one join cell; the rest go to a table of their own.
// A page is made when its first state is added, so the memory follows the
// states the search has met rather than the line's length times the
// pattern's: a long line with a long pattern costs only where the search
// went. Nothing is ever dropped, since a state the memo forgot could make
// the search exponential again; when the memo may not grow (its byte limit)
// it says so, and the search gives up.
class FailureMemo {
 public:
  enum Answer { kNew, kSeen, kFull };

  explicit FailureMemo(size_t max_bytes) : max_bytes_(max_bytes) {}

  // Forgets every state, for a search over `joins` join cells.
  void Reset(size_t joins);

  // kSeen when the state was there already; otherwise adds it (kNew), or
  // kFull when that needed more memory than the memo may take. Defined here,
  // since the search asks at nearly every step once the memo is on.
  Answer Check(uint32_t join, size_t cell, size_t pos, uint32_t k) {
    if (full_) return kFull;
    if (k >= 2) {
      return CheckRare({uint64_t{pos} + 1, static_cast<uint32_t>(cell), k});
    }
    // Most checks stay on the page that this join cell used last: the
    // search moves a position at a time.
    const uint64_t block = pos >> kPageShift;
    RecentPage& recent = recent_[join];
    if (recent.page == nullptr || recent.block != block) {
      uint64_t* page = FindOrAddPage(join, block);
      if (page == nullptr) return kFull;
      recent = {block, page};
    }
    const size_t bit = (pos & (kPagePositions - 1)) * 2 + k;
    uint64_t& word = recent.page[bit / 64];
    const uint64_t mask = uint64_t{1} << (bit % 64);
    if (word & mask) return kSeen;
    word |= mask;
    return kNew;
  }

  // Frees the memory of a huge search, or of one that filled the memo,
  // keeping that of an ordinary one for the next line.
  void Trim();

 private:
  static constexpr int kPageShift = 9;
  static constexpr size_t kPagePositions = size_t{1} << kPageShift;
  static constexpr size_t kPageWords = kPagePositions * 2 / 64;
  static constexpr size_t kChunkPages = 512;  // 64 KB
  static constexpr size_t kChunkBytes = kChunkPages * kPageWords * 8;
  static constexpr size_t kKeepBytes = size_t{1} << 20;

  struct RecentPage {
    uint64_t block = 0;
    uint64_t* page = nullptr;
  };

  size_t Bytes() const;
  size_t Room() const;
  Answer CheckRare(const StateKey& key);
  uint64_t* FindOrAddPage(uint32_t join, uint64_t block);
  // A page of zeros, from the chunks (which never move once made).
  uint64_t* NewPage();

  const size_t max_bytes_;
  bool full_ = false;
  std::vector<std::unique_ptr<uint64_t[]>> chunks_;
  size_t pages_used_ = 0;
  SlotTable<PageSlot> pages_;
  SlotTable<StateKey> rare_;
  // By join cell: the page it used last.
  std::vector<RecentPage> recent_;
};

}  // namespace vu32::pattern_internal

#endif  // VU32_PATTERN_MEMO_H_
