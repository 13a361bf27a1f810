// Time index of a simple calendar: its one-off windows, capacity overrides and
// entries, arranged so that the items overlapping a range or holding an
// instant are found by a logarithmic search plus a walk over little more than
// those items. Derived data only (see derived.h): it never changes an answer.
//   index.stab(t, [&](const IndexedItem& it) { ... });
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "time/records.h"

namespace hourloom {

// ItemKind: where a stored item comes from, which also says what it does:
// the Open kinds open, the Closed kinds close, the other two set a capacity.
enum class ItemKind : std::uint8_t { OpenWindow, ClosedWindow, Override, OpenEntry, ClosedEntry, CapacityEntry };
inline constexpr std::size_t kItemKinds = 6;

constexpr bool opens(ItemKind k) { return k == ItemKind::OpenWindow || k == ItemKind::OpenEntry; }
constexpr bool closes(ItemKind k) { return k == ItemKind::ClosedWindow || k == ItemKind::ClosedEntry; }
constexpr bool sets_capacity(ItemKind k) { return k == ItemKind::Override || k == ItemKind::CapacityEntry; }
constexpr bool is_entry(ItemKind k) { return k >= ItemKind::OpenEntry; }
// entry_kind: the kind of entry an entry item is (for the entry kinds only).
constexpr EntryKind entry_kind(ItemKind k) {
  return static_cast<EntryKind>(static_cast<std::uint8_t>(k) - static_cast<std::uint8_t>(ItemKind::OpenEntry));
}
static_assert(entry_kind(ItemKind::ClosedEntry) == EntryKind::Closed &&
              entry_kind(ItemKind::CapacityEntry) == EntryKind::WithCapacity);

// IndexedItem: one stored window with what the questions need of it. `order`
// is the position in its sequence (an entry's: its slot), so that items of
// one kind sorted by order are in stored order.
struct IndexedItem {
  TimeWindow window;
  Capacity capacity;
  std::uint32_t order;
  ItemKind kind;
};

// layer_order: the precedence of the capacity-setting items, lowest first:
// overrides in stored order, then Capacity entries in stored order. Where
// several are in force, the last in this order decides the capacity.
constexpr bool layer_order(const IndexedItem& a, const IndexedItem& b) {
  if (a.kind != b.kind) return a.kind == ItemKind::Override;
  return a.order < b.order;
}

// keep_going: calls f(item) for a walk over items; a callback that returns
// bool ends the walk by returning false, one that returns nothing never does.
template <class F>
constexpr bool keep_going(F& f, const IndexedItem& item) {
  if constexpr (std::is_void_v<std::invoke_result_t<F&, const IndexedItem&>>) {
    f(item);
    return true;
  } else {
    return f(item);
  }
}

class TimeIndex {
 public:
  // Items are kept apart by length (a class per factor of 4 in seconds), each
  // class in blocks sorted by start: a window that holds an instant t starts
  // no earlier than t minus its class's longest length, so one year-long
  // override does not widen the search among short entries.
  class Blocks {
   public:
    void insert(const IndexedItem& item);
    bool erase(const TimeWindow& w, ItemKind kind, std::uint32_t order);
    bool empty() const { return blocks_.empty(); }
    // visit: f(item) for the items with from <= start in seconds, in start order,
    // until one starts at or after `until` (or after it when inclusive) or f
    // returns false; false when f stopped it.
    template <class F>
    bool visit(std::int64_t from, Instant until, bool inclusive, F&& f) const {
      const std::size_t first = first_block(from);
      for (std::size_t b = first; b < blocks_.size(); ++b) {
        const std::vector<IndexedItem>& block = blocks_[b];
        auto it = block.begin();
        if (b == first)
          it = std::lower_bound(block.begin(), block.end(), from, [](const IndexedItem& x, std::int64_t s) {
            return x.window.start.unix_seconds() < s;
          });
        for (; it != block.end(); ++it) {
          if (inclusive ? until < it->window.start : !(it->window.start < until)) return true;
          if (!f(*it)) return false;
        }
      }
      return true;
    }
    std::int64_t longest() const { return longest_; }

   private:
    std::size_t first_block(std::int64_t from) const;
    std::vector<std::vector<IndexedItem>> blocks_;  // each non-empty and sorted by start
    std::vector<Instant> fronts_;                   // the first start of each block
    std::int64_t longest_ = 0;                      // an upper bound of end - start in seconds, plus one
  };

  static constexpr std::size_t kClasses = 33;

  void insert(const IndexedItem& item);
  void erase(const IndexedItem& item);
  // count: how many non-empty items of this kind the index holds.
  std::size_t count(ItemKind kind) const { return counts_[static_cast<std::size_t>(kind)]; }

  // stab: f(item) for every item whose window holds t. f may return bool, and
  // false stops the search; stab then returns false.
  template <class F>
  bool stab(Instant t, F&& f) const {
    const std::int64_t ts = t.unix_seconds();
    for (std::uint8_t k : used_) {
      const Blocks& blocks = classes_[k];
      if (!blocks.visit(ts - blocks.longest(), t, true,
                        [&](const IndexedItem& it) { return !(t < it.window.end) || keep_going(f, it); }))
        return false;
    }
    return true;
  }
  // overlapping: f(item) for every item whose window overlaps the non-empty
  // range; stops as stab does.
  template <class F>
  bool overlapping(TimeWindow range, F&& f) const {
    const std::int64_t from = range.start.unix_seconds();
    for (std::uint8_t k : used_) {
      const Blocks& blocks = classes_[k];
      if (!blocks.visit(from - blocks.longest(), range.end, false,
                        [&](const IndexedItem& it) { return !(range.start < it.window.end) || keep_going(f, it); }))
        return false;
    }
    return true;
  }

 private:
  std::array<Blocks, kClasses> classes_;
  std::vector<std::uint8_t> used_;  // classes holding items
  std::array<std::size_t, kItemKinds> counts_{};  // items held, by kind
};

}  // namespace hourloom
