#include "engine/entry_list.h"

#include <algorithm>
#include <utility>

namespace hourloom {

EntryList::IdMap& EntryList::ids() const {
  if (!ids_) {
    ids_ = std::make_unique<IdMap>();
    ids_->reserve(live_);
    for (std::uint32_t k = 0; k < slots_.size(); ++k)
      if (!is_hole(slots_[k])) ids_->emplace(slots_[k].id, k);
  }
  return *ids_;
}

const Entry* EntryList::find(std::string_view id) const {
  if (live_ == 0) return nullptr;
  IdMap& map = ids();
  auto it = map.find(id);
  return it == map.end() ? nullptr : &slots_[it->second];
}

EntryList::Change EntryList::set(Entry e) {
  IdMap& map = ids();
  ++version_;
  if (auto it = map.find(std::string_view(e.id)); it != map.end()) {
    Entry& slot = slots_[it->second];
    Change change{it->second, Entry{{}, slot.kind, slot.window, slot.capacity}, false};
    slot.kind = e.kind;
    slot.window = e.window;
    slot.capacity = e.capacity;
    return change;
  }
  const auto k = static_cast<std::uint32_t>(slots_.size());
  map.emplace(e.id, k);
  slots_.push_back(std::move(e));
  ++live_;
  return {k, std::nullopt, false};
}

std::optional<EntryList::Change> EntryList::remove(std::string_view id) {
  if (live_ == 0) return std::nullopt;
  IdMap& map = ids();
  auto it = map.find(id);
  if (it == map.end()) return std::nullopt;
  ++version_;
  Entry& slot = slots_[it->second];
  Change change{it->second, Entry{{}, slot.kind, slot.window, slot.capacity}, false};
  map.erase(it);
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
  ids_.reset();
}

void EntryList::clear() {
  ++version_;
  slots_.clear();
  live_ = 0;
  ids_.reset();
}

bool operator==(const EntryList& a, const EntryList& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace hourloom
