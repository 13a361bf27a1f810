// What a simple calendar derives from its sequences, and the one source every
// question reads its stored items through. StoredItems answers "which one-off
// windows, overrides and entries are in force at an instant / over a range"
// from the time index when the calendar has one and by a plain scan when it is
// too small to need one; the two give the same items.
//   StoredItems(cal).at(t, [&](const IndexedItem& item) { ... });  // may return false to stop
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "engine/calendar.h"
#include "engine/program.h"
#include "engine/time_index.h"

namespace hourloom {

// DerivedData: everything derived from a calendar at one generation. Built
// whole (build_derived) and, while a copy of the calendar may share it, never
// changed: an edit patches a copy of its own or drops it. The index is shared
// apart, so that an edit that leaves it as it is does not copy it.
struct DerivedData {
  std::uint64_t generation = 0;
  // The index, for a calendar with at least kIndexFrom stored items when built.
  std::shared_ptr<TimeIndex> index;
  // A composite's operator tree laid out for the walks (program.h). It points
  // into the composition, which never changes.
  std::shared_ptr<const Algebra> algebra;
  // The open time of 7 days that no stored window reaches, away from the ends
  // of the representable dates: the same for any such 7 days, since the weekly
  // rules alone decide it.
  Duration rules_week_open_time;
  // The open spans of the weekly rules alone over kRulesWeek (span_stream.h).
  std::vector<TimeWindow> rules_week_spans;
};

// stored_items: how many windows, overrides and entries the calendar stores
// (empty ones too); none leaves its weekly rules alone to decide.
std::size_t stored_items(const Calendar& c);
// Calendars with fewer stored items are scanned.
inline constexpr std::size_t kIndexFrom = 4;

// CalendarEdit: what one edit changed, for bringing derived data along.
struct CalendarEdit {
  enum class What : std::uint8_t {
    DefaultCapacity,  // nothing derived depends on it
    Rules,            // a rule added or the rules cleared
    Item,             // `item` appended to a window or override sequence
    Entry,            // an entry set or removed, as `entry` says
    Reset,            // anything else: rebuild on the next question
  };
  What what = What::Reset;
  IndexedItem item{};
  const EntryList::Change* entry = nullptr;
};

// build_derived: the derived data of the calendar's current generation.
std::shared_ptr<DerivedData> build_derived(const Calendar& c);
// patch_derived: brings d, current just before the edit, to the calendar as
// it is after it; false when it cannot, and the next question rebuilds.
bool patch_derived(DerivedData& d, const Calendar& c, const CalendarEdit& edit);

// entry_item: the entry in slot `slot` as an item, or nullopt for a kind
// number no question selects (a definition may carry one).
std::optional<IndexedItem> entry_item(const Entry& e, std::uint32_t slot);

class StoredItems {
 public:
  // Through the calendar's index when it has one.
  explicit StoredItems(const Calendar& c) : c_(&c) {
    const DerivedData& d = c.derived();
    index_ = d.index.get();
  }
  // By plain scan, whatever the calendar's size.
  struct Scan {};
  StoredItems(const Calendar& c, Scan) : c_(&c) {}

  bool indexed() const { return index_ != nullptr; }

  // at: f(item) for every non-empty item whose window holds t, in no
  // particular order. f may return bool: false stops the walk, and `at` then
  // returns false.
  template <class F>
  bool at(Instant t, F&& f) const {
    if (index_) return index_->stab(t, f);
    return each([&](const IndexedItem& item) { return !contains(item.window, t) || keep_going(f, item); });
  }
  // over: f(item) for every item whose window overlaps the non-empty range,
  // in no particular order; stops as `at` does.
  template <class F>
  bool over(TimeWindow range, F&& f) const {
    if (index_) return index_->overlapping(range, f);
    return each([&](const IndexedItem& item) { return !overlaps(item.window, range) || keep_going(f, item); });
  }
  // reach_into: whether an opening or closing item overlaps the non-empty range.
  bool reach_into(TimeWindow range) const {
    return !over(range, [](const IndexedItem& item) { return !opens(item.kind) && !closes(item.kind); });
  }
  // sets_capacities: whether a non-empty override or Capacity entry is stored.
  bool sets_capacities() const;
  // each: f(item) for every non-empty stored item (empty windows hold no
  // instant and overlap nothing, and the index leaves them out), each
  // sequence in stored order; stops as `at` does. Always a plain scan.
  template <class F>
  bool each(F&& f) const {
    const auto add = [&](const std::vector<TimeWindow>& windows, ItemKind kind) {
      for (std::uint32_t k = 0; k < windows.size(); ++k)
        if (!is_empty(windows[k]) && !keep_going(f, IndexedItem{windows[k], 0, k, kind})) return false;
      return true;
    };
    if (!add(c_->open_windows(), ItemKind::OpenWindow) || !add(c_->closed_windows(), ItemKind::ClosedWindow))
      return false;
    const std::vector<CapacityWindow>& overrides = c_->capacity_overrides();
    for (std::uint32_t k = 0; k < overrides.size(); ++k)
      if (!is_empty(overrides[k].window) &&
          !keep_going(f, IndexedItem{overrides[k].window, overrides[k].capacity, k, ItemKind::Override}))
        return false;
    const EntryList& entries = c_->entries();
    for (std::uint32_t k = 0; k < entries.slot_count(); ++k)
      if (const Entry& e = entries.slot(k); !EntryList::is_hole(e) && !is_empty(e.window))
        if (auto item = entry_item(e, k); item && !keep_going(f, *item)) return false;
    return true;
  }

 private:
  const Calendar* c_;
  const TimeIndex* index_ = nullptr;
};

}  // namespace hourloom
