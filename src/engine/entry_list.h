// The calendar's id-keyed entries: insertion order kept, ids unique and
// compared exactly. Lookup, replacement and removal cost O(1) on average:
// entries sit in numbered slots, a removed one leaves a hole that iteration
// skips, and the holes are squeezed out once they outnumber the entries.
//   for (const Entry& e : c.entries) ...;  c.entries.find("a") -> const Entry* or nullptr
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
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
  void reserve(std::size_t n) { slots_.reserve(n); }

  // find: the entry with exactly this id, or nullptr.
  const Entry* find(std::string_view id) const;
  // set: overwrites the entry with e.id in place, or appends e. e.id must not be empty.
  Change set(Entry e);
  // remove: the change when an entry with this id was removed.
  std::optional<Change> remove(std::string_view id);
  void clear();

  // Slots, for indexing: slot numbers grow with the order of the entries.
  std::uint32_t slot_count() const { return static_cast<std::uint32_t>(slots_.size()); }
  const Entry& slot(std::uint32_t k) const { return slots_[k]; }
  static bool is_hole(const Entry& e) { return e.id.empty(); }
  // prepare: builds the id table now, so that later finds only read.
  void prepare() const {
    if (live_ != 0) ensure_table();
  }

  friend bool operator==(const EntryList& a, const EntryList& b);

 private:
  // Id table: open addressing with linear probing over the slots of the live
  // entries; a cell holds slot + 1 (0 when free) and the id's hash.
  struct Cell {
    std::uint32_t slot_plus_one = 0;
    std::uint32_t hash = 0;
  };
  static std::uint32_t hash_id(std::string_view id);
  void ensure_table() const;
  void place(std::uint32_t slot, std::uint32_t hash) const;
  // locate: the cell holding this id, or the free cell where it would go.
  std::size_t locate(std::string_view id, std::uint32_t hash) const;
  void unplace(std::size_t cell);
  void compact();

  std::vector<Entry> slots_;  // a hole has an empty id (live ids are never blank)
  std::size_t live_ = 0;
  // Built on first use and never copied: copies are mostly only read.
  mutable std::vector<Cell> table_;
};

}  // namespace hourloom
