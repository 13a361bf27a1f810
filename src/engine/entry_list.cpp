#include "engine/entry_list.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace hourloom {

std::uint32_t EntryList::hash_id(std::string_view id) {
  const std::size_t h = std::hash<std::string_view>{}(id);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// ensure_table: builds the table at most half full, or grows it past that;
// growing reuses the hashes kept in the cells.
void EntryList::ensure_table() const {
  const std::size_t wanted = 2 * (live_ + 1);
  if (table_.size() >= wanted) return;
  std::size_t size = 16;
  while (size < 2 * wanted) size *= 2;
  std::vector<Cell> old(size, Cell{});
  old.swap(table_);
  if (!old.empty()) {
    for (const Cell& cell : old)
      if (cell.slot_plus_one != 0) place(cell.slot_plus_one - 1, cell.hash);
    return;
  }
  for (std::uint32_t k = 0; k < slots_.size(); ++k)
    if (!is_hole(slots_[k])) place(k, hash_id(slots_[k].id));
}

void EntryList::place(std::uint32_t slot, std::uint32_t hash) const {
  const std::size_t mask = table_.size() - 1;
  std::size_t i = hash & mask;
  while (table_[i].slot_plus_one != 0) i = (i + 1) & mask;
  table_[i] = {slot + 1, hash};
}

std::size_t EntryList::locate(std::string_view id, std::uint32_t hash) const {
  const std::size_t mask = table_.size() - 1;
  std::size_t i = hash & mask;
  for (; table_[i].slot_plus_one != 0; i = (i + 1) & mask)
    if (table_[i].hash == hash && slots_[table_[i].slot_plus_one - 1].id == id) return i;
  return i;
}

// unplace: frees a cell and moves later cells of the same probe run back, so
// that every id stays reachable from its home cell without markers.
void EntryList::unplace(std::size_t cell) {
  const std::size_t mask = table_.size() - 1;
  std::size_t hole = cell;
  for (std::size_t i = (cell + 1) & mask; table_[i].slot_plus_one != 0; i = (i + 1) & mask) {
    const std::size_t home = table_[i].hash & mask;
    // The cell at i may move to the hole when its home is not in (hole, i].
    const bool stays = hole < i ? (hole < home && home <= i) : (hole < home || home <= i);
    if (!stays) {
      table_[hole] = table_[i];
      hole = i;
    }
  }
  table_[hole] = Cell{};
}

const Entry* EntryList::find(std::string_view id) const {
  if (live_ == 0) return nullptr;
  ensure_table();
  const Cell& cell = table_[locate(id, hash_id(id))];
  return cell.slot_plus_one == 0 ? nullptr : &slots_[cell.slot_plus_one - 1];
}

EntryList::Change EntryList::set(Entry e) {
  ensure_table();
  const std::uint32_t hash = hash_id(e.id);
  if (const Cell& cell = table_[locate(e.id, hash)]; cell.slot_plus_one != 0) {
    const std::uint32_t k = cell.slot_plus_one - 1;
    Entry& slot = slots_[k];
    Change change{k, Entry{{}, slot.kind, slot.window, slot.capacity}, false};
    slot.kind = e.kind;
    slot.window = e.window;
    slot.capacity = e.capacity;
    return change;
  }
  const auto k = static_cast<std::uint32_t>(slots_.size());
  slots_.push_back(std::move(e));
  ++live_;
  place(k, hash);
  return {k, std::nullopt, false};
}

std::optional<EntryList::Change> EntryList::remove(std::string_view id) {
  if (live_ == 0) return std::nullopt;
  ensure_table();
  const std::size_t at = locate(id, hash_id(id));
  if (table_[at].slot_plus_one == 0) return std::nullopt;
  const std::uint32_t k = table_[at].slot_plus_one - 1;
  unplace(at);
  Entry& slot = slots_[k];
  Change change{k, Entry{{}, slot.kind, slot.window, slot.capacity}, false};
  slot = Entry{};
  --live_;
  // Squeeze the holes out once they outnumber the entries: amortised O(1).
  const std::size_t holes = slots_.size() - live_;
  if (holes > 16 && holes > live_) {
    compact();
    change.compacted = true;
  }
  return change;
}

void EntryList::compact() {
  std::erase_if(slots_, [](const Entry& e) { return is_hole(e); });
  table_.clear();
}

void EntryList::clear() {
  slots_.clear();
  live_ = 0;
  table_.clear();
}

bool operator==(const EntryList& a, const EntryList& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace hourloom
