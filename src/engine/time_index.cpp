#include "engine/time_index.h"

#include <bit>

namespace hourloom {

namespace {

// A block is split in two when it grows past this; inserting or erasing moves
// at most one block's items.
constexpr std::size_t kBlockLimit = 64;

std::int64_t seconds_long(const TimeWindow& w) { return w.end.unix_seconds() - w.start.unix_seconds(); }

std::size_t length_class(const TimeWindow& w) {
  return static_cast<std::size_t>((std::bit_width(static_cast<std::uint64_t>(seconds_long(w))) + 1) / 2);
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

}  // namespace hourloom
