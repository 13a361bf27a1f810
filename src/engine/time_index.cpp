#include "engine/time_index.h"

#include <bit>
#include <memory>
#include <optional>

namespace hourloom {

namespace {

// A block is split in two when it grows past this; inserting or erasing moves
// at most one block's items.
constexpr std::size_t kBlockLimit = 64;
// Calendars with fewer stored windows, overrides and entries are scanned.
constexpr std::size_t kIndexFrom = 4;

std::int64_t seconds_long(const TimeWindow& w) { return w.end.unix_seconds() - w.start.unix_seconds(); }

std::size_t length_class(const TimeWindow& w) {
  return static_cast<std::size_t>((std::bit_width(static_cast<std::uint64_t>(seconds_long(w))) + 1) / 2);
}

// entry_item: the entry as an item, or nullopt for a kind number no question
// selects (a definition may carry one), which is left out of the index.
std::optional<IndexedItem> entry_item(const Entry& e, std::uint32_t slot) {
  switch (e.kind) {
    case EntryKind::Open:
      return IndexedItem{e.window, e.capacity, slot, ItemKind::Open};
    case EntryKind::Closed:
      return IndexedItem{e.window, e.capacity, slot, ItemKind::Closed};
    case EntryKind::WithCapacity:
      return IndexedItem{e.window, e.capacity, slot, ItemKind::CapacityEntry};
  }
  return std::nullopt;
}

std::size_t stored_items(const Calendar& c) {
  return c.open_windows.size() + c.closed_windows.size() + c.capacity_overrides.size() + c.entries.size();
}

// absorb_tails: adds the windows and overrides appended since the index last looked.
void absorb_tails(TimeIndex& ix, const Calendar& c) {
  for (; ix.open_windows < c.open_windows.size(); ++ix.open_windows)
    ix.insert({c.open_windows[ix.open_windows], 0, 0, ItemKind::Open});
  for (; ix.closed_windows < c.closed_windows.size(); ++ix.closed_windows)
    ix.insert({c.closed_windows[ix.closed_windows], 0, 0, ItemKind::Closed});
  for (; ix.overrides < c.capacity_overrides.size(); ++ix.overrides) {
    const CapacityWindow& o = c.capacity_overrides[ix.overrides];
    ix.insert({o.window, o.capacity, static_cast<std::uint32_t>(ix.overrides), ItemKind::Override});
  }
}

std::shared_ptr<TimeIndex> build(const Calendar& c) {
  auto ix = std::make_shared<TimeIndex>();
  absorb_tails(*ix, c);
  for (std::uint32_t k = 0; k < c.entries.slot_count(); ++k)
    if (const Entry& e = c.entries.slot(k); !EntryList::is_hole(e))
      if (auto item = entry_item(e, k)) ix->insert(*item);
  ix->entries_version = c.entries.version();
  return ix;
}

// own: the calendar's index, copied first when another calendar shares it.
TimeIndex& own(const Calendar& c) {
  if (c.index.use_count() > 1) c.index = std::make_shared<TimeIndex>(*c.index);
  return *c.index;
}

}  // namespace

std::size_t TimeIndex::Blocks::first_block(std::int64_t from) const {
  auto p = std::partition_point(fronts_.begin(), fronts_.end(),
                                [&](const Instant& front) { return front.unix_seconds() < from; });
  const auto index = static_cast<std::size_t>(p - fronts_.begin());
  return index == 0 ? 0 : index - 1;
}

void TimeIndex::Blocks::insert(const IndexedItem& item) {
  longest_ = std::max(longest_, seconds_long(item.window) + 1);
  if (blocks_.empty()) {
    blocks_.emplace_back().push_back(item);
    fronts_.push_back(item.window.start);
    return;
  }
  // The last block starting no later than the item (or the first block).
  auto f = std::partition_point(fronts_.begin(), fronts_.end(),
                                [&](const Instant& front) { return !(item.window.start < front); });
  const std::size_t b = f == fronts_.begin() ? 0 : static_cast<std::size_t>(f - fronts_.begin()) - 1;
  std::vector<IndexedItem>& block = blocks_[b];
  auto at = std::upper_bound(block.begin(), block.end(), item.window.start,
                             [](const Instant& s, const IndexedItem& x) { return s < x.window.start; });
  block.insert(at, item);
  fronts_[b] = block.front().window.start;
  if (block.size() > kBlockLimit) {
    std::vector<IndexedItem> upper(block.begin() + kBlockLimit / 2, block.end());
    block.resize(kBlockLimit / 2);
    fronts_.insert(fronts_.begin() + static_cast<std::ptrdiff_t>(b) + 1, upper.front().window.start);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
  }
}

bool TimeIndex::Blocks::erase(const TimeWindow& w, ItemKind kind, std::uint32_t order) {
  auto f = std::partition_point(fronts_.begin(), fronts_.end(), [&](const Instant& front) { return front < w.start; });
  std::size_t b = f == fronts_.begin() ? 0 : static_cast<std::size_t>(f - fronts_.begin()) - 1;
  // Items with equal starts may spread over neighbouring blocks.
  for (; b < blocks_.size(); ++b) {
    std::vector<IndexedItem>& block = blocks_[b];
    auto it = std::lower_bound(block.begin(), block.end(), w.start,
                               [](const IndexedItem& x, const Instant& s) { return x.window.start < s; });
    for (; it != block.end() && it->window.start == w.start; ++it) {
      if (it->window == w && it->kind == kind && it->order == order) {
        block.erase(it);
        const auto at = static_cast<std::ptrdiff_t>(b);
        if (block.empty()) {
          blocks_.erase(blocks_.begin() + at);
          fronts_.erase(fronts_.begin() + at);
        } else {
          fronts_[b] = block.front().window.start;
        }
        return true;
      }
    }
    if (it != block.end()) return false;
  }
  return false;
}

// Empty windows hold no instant and overlap nothing: they are not indexed.
void TimeIndex::insert(const IndexedItem& item) {
  if (is_empty(item.window)) return;
  const std::size_t k = length_class(item.window);
  if (classes_[k].empty() && std::find(used_.begin(), used_.end(), k) == used_.end())
    used_.push_back(static_cast<std::uint8_t>(k));
  classes_[k].insert(item);
  ++counts_[static_cast<std::size_t>(item.kind)];
}

void TimeIndex::erase(const IndexedItem& item) {
  if (is_empty(item.window)) return;
  if (classes_[length_class(item.window)].erase(item.window, item.kind, item.order))
    --counts_[static_cast<std::size_t>(item.kind)];
}

const TimeIndex* current_index(const Calendar& c) {
  if (c.is_composite() || stored_items(c) < kIndexFrom) return nullptr;
  const TimeIndex* ix = c.index.get();
  // Sequences shorter than what the index holds were cleared behind its back;
  // entries at another version were edited without it: start afresh.
  if (!ix || ix->entries_version != c.entries.version() || c.open_windows.size() < ix->open_windows ||
      c.closed_windows.size() < ix->closed_windows || c.capacity_overrides.size() < ix->overrides) {
    c.index = build(c);
    return c.index.get();
  }
  if (ix->open_windows != c.open_windows.size() || ix->closed_windows != c.closed_windows.size() ||
      ix->overrides != c.capacity_overrides.size())
    absorb_tails(own(c), c);
  return c.index.get();
}

void entry_changed(Calendar& c, const EntryList::Change& change) {
  if (!c.index) return;
  if (change.compacted || c.index->entries_version + 1 != c.entries.version()) {
    drop_index(c);
    return;
  }
  TimeIndex& ix = own(c);
  if (change.before)
    if (auto item = entry_item(*change.before, change.slot)) ix.erase(*item);
  if (const Entry& now = c.entries.slot(change.slot); !EntryList::is_hole(now))
    if (auto item = entry_item(now, change.slot)) ix.insert(*item);
  ix.entries_version = c.entries.version();
}

}  // namespace hourloom
