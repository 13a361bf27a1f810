#include "engine/derived.h"

#include "engine/span_stream.h"

namespace hourloom {

std::size_t stored_items(const Calendar& c) {
  return c.open_windows().size() + c.closed_windows().size() + c.capacity_overrides().size() + c.entries().size();
}

namespace {

// set_rules_week: the open spans of the rules over kRulesWeek and their total.
void set_rules_week(DerivedData& d, const Calendar& c) {
  OpenSpanStream spans(c, kRulesWeek, OpenSpanStream::RulesOnly{});
  d.rules_week_spans.clear();
  Duration total;
  while (auto span = spans.next()) {
    d.rules_week_spans.push_back(*span);
    total = (total + length(*span)).value();  // at most 7 days
  }
  d.rules_week_open_time = total;
}

TimeIndex build_index(const Calendar& c) {
  TimeIndex ix;
  StoredItems(c, StoredItems::Scan{}).each([&](const IndexedItem& item) { ix.insert(item); });
  return ix;
}

// own_index: d's index, copied first when another calendar's data shares it.
TimeIndex& own_index(DerivedData& d) {
  if (d.index.use_count() > 1) d.index = std::make_shared<TimeIndex>(*d.index);
  return *d.index;
}

}  // namespace

std::optional<IndexedItem> entry_item(const Entry& e, std::uint32_t slot) {
  switch (e.kind) {
    case EntryKind::Open:
      return IndexedItem{e.window, e.capacity, slot, ItemKind::OpenEntry};
    case EntryKind::Closed:
      return IndexedItem{e.window, e.capacity, slot, ItemKind::ClosedEntry};
    case EntryKind::WithCapacity:
      return IndexedItem{e.window, e.capacity, slot, ItemKind::CapacityEntry};
  }
  return std::nullopt;
}

std::shared_ptr<DerivedData> build_derived(const Calendar& c) {
  auto d = std::make_shared<DerivedData>();
  d->generation = c.generation();
  if (c.is_composite()) {
    d->algebra = build_algebra(c);
    return d;
  }
  if (stored_items(c) >= kIndexFrom) d->index = std::make_shared<TimeIndex>(build_index(c));
  set_rules_week(*d, c);
  return d;
}

// A calendar without an index gets one once it has grown to need it; one
// with an index keeps it however few items remain, which answers the same.
bool patch_derived(DerivedData& d, const Calendar& c, const CalendarEdit& edit) {
  switch (edit.what) {
    case CalendarEdit::What::DefaultCapacity:
      return true;
    case CalendarEdit::What::Rules:
      set_rules_week(d, c);
      return true;
    case CalendarEdit::What::Item:
      if (!d.index) return stored_items(c) < kIndexFrom;
      own_index(d).insert(edit.item);
      return true;
    case CalendarEdit::What::Entry: {
      if (!d.index) return stored_items(c) < kIndexFrom;
      const EntryList::Change& change = *edit.entry;
      if (change.compacted) return false;  // the slots were renumbered
      TimeIndex& index = own_index(d);
      if (change.before)
        if (auto item = entry_item(*change.before, change.slot)) index.erase(*item);
      if (const Entry& now = c.entries().slot(change.slot); !EntryList::is_hole(now))
        if (auto item = entry_item(now, change.slot)) index.insert(*item);
      return true;
    }
    case CalendarEdit::What::Reset:
      return false;
  }
  return false;
}

bool StoredItems::sets_capacities() const {
  if (index_) return index_->count(ItemKind::Override) + index_->count(ItemKind::CapacityEntry) > 0;
  return !each([](const IndexedItem& item) { return !sets_capacity(item.kind); });
}

}  // namespace hourloom
