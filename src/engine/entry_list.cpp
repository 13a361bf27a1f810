#include "engine/entry_list.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace hourloom {

namespace {

// mix: the 128-bit product of a and b folded to 64 bits.
std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
  const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(p) ^ static_cast<std::uint64_t>(p >> 64);
}
std::uint64_t load(const char* p, std::size_t n) {
  std::uint64_t v = 0;
  std::memcpy(&v, p, n);
  return v;
}

}  // namespace

// hash_id: sixteen bytes at a time, each pair of words mixed by a wide
// multiply; the last (or only) sixteen read as two words that may overlap.
std::uint32_t EntryList::hash_id(std::string_view id) {
  constexpr std::uint64_t kA = 0xa0761d6478bd642fULL, kB = 0xe7037ed1a0b428dbULL, kC = 0x8ebc6af09c88c6e3ULL;
  const char* p = id.data();
  std::size_t n = id.size();
  std::uint64_t h = mix(n ^ kA, kB);
  for (; n > 16; p += 16, n -= 16) h = mix(load(p, 8) ^ kA ^ h, load(p + 8, 8) ^ kC);
  std::uint64_t a, b;
  if (n >= 8) {
    a = load(p, 8);
    b = load(p + n - 8, 8);
  } else if (n >= 4) {
    a = load(p, 4);
    b = load(p + n - 4, 4);
  } else {
    a = n ? (static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) << 16) |
                (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8) |
                static_cast<unsigned char>(p[n - 1])
          : 0;
    b = 0;
  }
  h = mix(a ^ kA ^ h, b ^ kC);
  h = mix(h ^ kB, id.size() ^ kC);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// Growing reuses the hashes kept in the cells.
void EntryList::ensure_table(std::size_t live, std::size_t room) const {
  const std::size_t wanted = 2 * (live + 1);
  if (table_.size() >= wanted) return;
  std::size_t size = 16;
  while (size < room * wanted) size *= 2;
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

void EntryList::reserve_more(std::size_t n) {
  if (slots_.capacity() - slots_.size() < n) slots_.reserve(std::max(slots_.size() + n, 2 * slots_.size()));
  ensure_table(live_ + n, 1);
}

void EntryList::place(std::uint32_t slot, std::uint32_t hash) const {
  const std::size_t mask = table_.size() - 1;
  std::size_t i = hash & mask;
  while (table_[i].slot_plus_one != 0) i = (i + 1) & mask;
  table_[i] = {slot + 1, hash};
}

template <class Holds>
std::size_t EntryList::find_cell(std::uint32_t hash, Holds holds) const {
  const std::size_t mask = table_.size() - 1;
  std::size_t i = hash & mask;
  for (; table_[i].slot_plus_one != 0; i = (i + 1) & mask)
    if (table_[i].hash == hash && holds(table_[i].slot_plus_one - 1)) return i;
  return i;
}

std::size_t EntryList::locate(std::string_view id, std::uint32_t hash) const {
  return find_cell(hash, [&](std::uint32_t slot) { return slots_[slot].id == id; });
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
  ensure_table(live_, 2);
  const Cell& cell = table_[locate(id, hash_id(id))];
  return cell.slot_plus_one == 0 ? nullptr : &slots_[cell.slot_plus_one - 1];
}

void EntryList::take_values(Entry& slot, const Entry& from) {
  slot.kind = from.kind;
  slot.window = from.window;
  slot.capacity = from.capacity;
}

std::pair<std::uint32_t, bool> EntryList::slot_for(std::string_view id, std::uint32_t hash) {
  if (const Cell& cell = table_[locate(id, hash)]; cell.slot_plus_one != 0) return {cell.slot_plus_one - 1, false};
  const auto k = static_cast<std::uint32_t>(slots_.size());
  slots_.push_back(Entry{std::string(id), {}, {}, 0});
  ++live_;
  place(k, hash);
  return {k, true};
}

EntryList::Change EntryList::set(std::string_view id, EntryKind kind, TimeWindow window, Capacity capacity) {
  ensure_table(live_, 2);
  const auto [k, added] = slot_for(id, hash_id(id));
  Entry& slot = slots_[k];
  Change change{k, std::nullopt, false};
  if (!added) change.before = Entry{{}, slot.kind, slot.window, slot.capacity};
  take_values(slot, {{}, kind, window, capacity});
  return change;
}

// Taking the storage of a batch for an empty list, the ids are placed in
// order, and a repeated one hands its values to the first and leaves a hole.
// Each id's cell is fetched a stride ahead of its placement.
void EntryList::set_all(std::vector<Entry>&& entries, std::span<const std::uint32_t> hashes) {
  if (!slots_.empty()) {
    reserve_more(entries.size());
    for (std::size_t k = 0; k < entries.size(); ++k)
      take_values(slots_[slot_for(entries[k].id, hashes[k]).first], entries[k]);
    return;
  }
  live_ = 0;
  table_.clear();
  ensure_table(entries.size(), 1);  // empty: the slots are placed below
  slots_ = std::move(entries);
  constexpr std::size_t kStride = 16;
  const std::size_t n = slots_.size(), mask = table_.size() - 1;
  for (std::size_t k = 0; k < std::min(n, kStride); ++k) __builtin_prefetch(&table_[hashes[k] & mask]);
  for (std::size_t k = 0; k < n; ++k) {
    if (k + kStride < n) __builtin_prefetch(&table_[hashes[k + kStride] & mask]);
    Cell& cell = table_[find_cell(hashes[k], [&](std::uint32_t slot) { return slots_[slot].id == slots_[k].id; })];
    if (cell.slot_plus_one == 0) {
      cell = {static_cast<std::uint32_t>(k + 1), hashes[k]};
      ++live_;
      continue;
    }
    take_values(slots_[cell.slot_plus_one - 1], slots_[k]);
    slots_[k] = Entry{};
  }
  squeeze();
}

std::optional<EntryList::Change> EntryList::remove(std::string_view id) {
  if (live_ == 0) return std::nullopt;
  ensure_table(live_, 2);
  const std::size_t at = locate(id, hash_id(id));
  if (table_[at].slot_plus_one == 0) return std::nullopt;
  const std::uint32_t k = table_[at].slot_plus_one - 1;
  unplace(at);
  Entry& slot = slots_[k];
  Change change{k, Entry{{}, slot.kind, slot.window, slot.capacity}, false};
  slot = Entry{};
  --live_;
  change.compacted = squeeze();
  return change;
}

bool EntryList::squeeze() {
  const std::size_t holes = slots_.size() - live_;
  if (holes <= 16 || holes <= live_) return false;
  compact();
  return true;
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
