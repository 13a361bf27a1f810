// The calendar's id-keyed entries: insertion order kept, ids unique and
// compared exactly. Lookup, replacement and removal cost O(1) on average:
// entries sit in numbered slots, a removed one leaves a hole that iteration
// skips, and the holes are squeezed out once they outnumber the entries.
//   for (const Entry& e : c.entries) ...;  c.entries.find("a") -> const Entry* or nullptr
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "time/records.h"

namespace hourloom {

class EntryList {
 public:
  // Forward iteration over the entries in order, holes skipped.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = const Entry*;
    using reference = const Entry&;

    const_iterator() = default;
    const_iterator(const Entry* at, const Entry* end) : at_(at), end_(end) { skip(); }
    reference operator*() const { return *at_; }
    pointer operator->() const { return at_; }
    const_iterator& operator++() {
      ++at_;
      skip();
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.at_ == b.at_; }

   private:
    void skip() {
      while (at_ != end_ && at_->id.empty()) ++at_;
    }
    const Entry* at_ = nullptr;
    const Entry* end_ = nullptr;
  };

  // What an edit did, for the time index: the slot touched and what it held.
  struct Change {
    std::uint32_t slot = 0;
    std::optional<Entry> before;  // the replaced or removed entry (id left empty)
    bool compacted = false;       // slots were renumbered
  };

  EntryList() = default;
  EntryList(const EntryList& other) : slots_(other.slots_), live_(other.live_) {}
  // A moved-from list is empty (its count goes with the slots).
  EntryList(EntryList&& other) noexcept
      : slots_(std::exchange(other.slots_, {})),
        live_(std::exchange(other.live_, 0)),
        table_(std::exchange(other.table_, {})) {}
  EntryList& operator=(const EntryList& other) {
    if (this != &other) *this = EntryList(other);
    return *this;
  }
  EntryList& operator=(EntryList&& other) noexcept {
    if (this != &other) {
      slots_ = std::exchange(other.slots_, {});
      live_ = std::exchange(other.live_, 0);
      table_ = std::exchange(other.table_, {});
    }
    return *this;
  }

  const_iterator begin() const { return {slots_.data(), slots_.data() + slots_.size()}; }
  const_iterator end() const { return {slots_.data() + slots_.size(), slots_.data() + slots_.size()}; }
  std::size_t size() const { return live_; }
  bool empty() const { return live_ == 0; }

  // find: the entry with exactly this id, or nullptr.
  const Entry* find(std::string_view id) const;
  // set: overwrites the entry with this id in place, or appends a new one.
  // The id must not be empty.
  Change set(std::string_view id, EntryKind kind, TimeWindow window, Capacity capacity);
  // set_all: set(e.id, e.kind, e.window, e.capacity) for each e in order,
  // given hash_id of each id (taken while the ids were at hand). An empty
  // list takes the vector's storage.
  void set_all(std::vector<Entry>&& entries, std::span<const std::uint32_t> hashes);
  // hash_id: the hash the id table files an id under.
  static std::uint32_t hash_id(std::string_view id);
  // remove: the change when an entry with this id was removed.
  std::optional<Change> remove(std::string_view id);
  void clear();

  // Slots, for indexing: slot numbers grow with the order of the entries.
  std::uint32_t slot_count() const { return static_cast<std::uint32_t>(slots_.size()); }
  const Entry& slot(std::uint32_t k) const { return slots_[k]; }
  static bool is_hole(const Entry& e) { return e.id.empty(); }
  // prepare: builds the id table now, so that later finds only read.
  void prepare() const {
    if (live_ != 0) ensure_table(live_, 2);
  }

  friend bool operator==(const EntryList& a, const EntryList& b);

 private:
  // Id table: open addressing with linear probing over the slots of the live
  // entries; a cell holds slot + 1 (0 when free) and the id's hash.
  struct Cell {
    std::uint32_t slot_plus_one = 0;
    std::uint32_t hash = 0;
  };
  // ensure_table: a table at most half full for `live` entries; a new one
  // has `room` times the cells that needs.
  void ensure_table(std::size_t live, std::size_t room) const;
  // reserve_more: room for n more entries, the id table included.
  void reserve_more(std::size_t n);
  void place(std::uint32_t slot, std::uint32_t hash) const;
  // locate: the cell holding this id, or the free cell where it would go;
  // find_cell: the same for the id of which holds(slot) says whether slot
  // holds it, asked only of slots filed under the same hash.
  std::size_t locate(std::string_view id, std::uint32_t hash) const;
  template <class Holds>
  std::size_t find_cell(std::uint32_t hash, Holds holds) const;
  // slot_for: the slot of the id with this hash, and whether it was appended
  // for it (with the id only). The table has room for one more.
  std::pair<std::uint32_t, bool> slot_for(std::string_view id, std::uint32_t hash);
  // take_values: an entry's kind, window and capacity, its id kept.
  static void take_values(Entry& slot, const Entry& from);
  void unplace(std::size_t cell);
  // squeeze: the holes squeezed out once they outnumber the entries, which
  // keeps removal amortised O(1); whether the slots were renumbered.
  bool squeeze();
  void compact();

  std::vector<Entry> slots_;  // a hole has an empty id (live ids are never blank)
  std::size_t live_ = 0;
  // Built on first use and never copied: copies are mostly only read.
  mutable std::vector<Cell> table_;
};

}  // namespace hourloom
