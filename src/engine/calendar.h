// The engine's calendar record and its validated editing operations.
// A calendar keeps its rules, windows, overrides and entries exactly in the
// order they were added, privately: only the editing operations below change
// them, and each advances the record's generation. Everything derived from the
// sequences (the time index, the rules' week of open time) sits in one object
// that is current for one generation (see derived.h): it never changes an
// answer, equality ignores it and copies share it until one is edited. A
// composite is query-only: an operator with its parameters over component
// calendars (the intersection, union, total, ... of them; see Operator). Its
// composition is immutable and shared by its copies, so composing copies
// nothing below the new level; copying, comparing, destroying and questioning
// a composite take no recursion that grows with its depth.
//   Calendar c;
//   add_open_rule(c, 1, TimeOfDay::FromHms(8, 0, 0), TimeOfDay::FromHms(17, 0, 0));
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/entry_list.h"
#include "engine/time_index.h"
#include "time/records.h"
#include "time/weekly_rule.h"

namespace hourloom {

struct DerivedData;
class CalendarEditor;
struct Composition;

// Operator: how a composite's capacity at t follows from its components' (c_i).
enum class Operator : std::uint8_t {
  Intersection,  // 0 where any c_i is 0, else the smallest
  Union,         // the largest c_i
  Total,         // the sum of the c_i, saturating at the largest capacity
  Difference,    // c_0 where c_1 is 0, else 0
  Scale,         // factor * c_0, saturating
  Within,        // c_0 inside the window, else 0
  Effective,     // the component of the last switch at or before t; 0 before the first or on a closed switch
  Repeat,        // c_0(anchor + ((t - anchor) mod period))
};

// Switch: from `from` on, effective's component number `component` is in
// force, or none (kClosedSwitch).
struct Switch {
  Instant from;
  std::int32_t component;
  friend constexpr bool operator==(const Switch&, const Switch&) = default;
};
inline constexpr std::int32_t kClosedSwitch = -1;

class Calendar {
 public:
  Calendar() = default;
  Calendar(const Calendar&) = default;
  Calendar(Calendar&&) noexcept = default;
  Calendar& operator=(const Calendar&) = default;
  Calendar& operator=(Calendar&&) noexcept = default;
  ~Calendar();

  Capacity default_capacity() const { return default_capacity_; }
  const std::vector<WeeklyRule>& open_rules() const { return open_rules_; }
  const std::vector<WeeklyRule>& break_rules() const { return break_rules_; }
  const std::vector<TimeWindow>& open_windows() const { return open_windows_; }
  const std::vector<TimeWindow>& closed_windows() const { return closed_windows_; }
  const std::vector<CapacityWindow>& capacity_overrides() const { return capacity_overrides_; }
  const EntryList& entries() const { return entries_; }
  const std::vector<Calendar>& components() const;
  // composition: a composite's operator, parameters and components; nullptr
  // for a simple calendar.
  const Composition* composition() const { return composition_.get(); }
  bool is_composite() const { return composition_ != nullptr; }

  // generation: advanced by every edit; copies start at their original's.
  std::uint64_t generation() const { return generation_; }

  // derived: the derived data of the current generation, built here when it
  // is missing or stale. Building writes to the record, so a calendar that
  // several threads question at once must be prepared first.
  const DerivedData& derived() const;
  // prepare: builds everything a question may derive, for this calendar and
  // every component. Afterwards, until the next edit, questions only read the
  // record, and any number of threads may ask them at once.
  void prepare() const;

  // reserve: room for so many items in each sequence, for a calendar about to
  // be filled in one go.
  // (Entries come in a WindowBatch, which brings its own storage.)
  void reserve(std::size_t open_rules, std::size_t break_rules, std::size_t open_windows,
               std::size_t closed_windows, std::size_t overrides);

  // Equal sequences, and equal components in the same order.
  friend bool operator==(const Calendar& a, const Calendar& b);

 private:
  friend class CalendarEditor;  // the editing operations (calendar.cpp)
  static const std::vector<Calendar> kNone;  // the components of a simple calendar

  Capacity default_capacity_ = 1;
  std::vector<WeeklyRule> open_rules_;
  std::vector<WeeklyRule> break_rules_;
  std::vector<TimeWindow> open_windows_;
  std::vector<TimeWindow> closed_windows_;
  std::vector<CapacityWindow> capacity_overrides_;
  EntryList entries_;
  // Created non-const (compose) and never changed afterwards.
  std::shared_ptr<const Composition> composition_;
  std::uint64_t generation_ = 0;
  // Current when its generation equals generation_; shared by copies.
  mutable std::shared_ptr<DerivedData> derived_;
};

// Editing. Each runs its checks in a fixed order (composite refusal first,
// except add_holiday, whose date overflow comes first) and changes nothing
// when one fails. A rule's day is the weekday number as the caller gives it;
// ValueError "Day must be in DayOfWeek range 0..6." outside 0..6.
Result<void> add_open_rule(Calendar& c, std::uint8_t day, TimeOfDay start, TimeOfDay end);
Result<void> add_break_rule(Calendar& c, std::uint8_t day, TimeOfDay start, TimeOfDay end);
// add_weekday_open_rules, add_weekday_break_rules: the rule on Monday to Friday, in that order.
Result<void> add_weekday_open_rules(Calendar& c, TimeOfDay start, TimeOfDay end);
Result<void> add_weekday_break_rules(Calendar& c, TimeOfDay start, TimeOfDay end);
Result<void> add_open_window(Calendar& c, Instant start, Instant end);
Result<void> add_closed_window(Calendar& c, Instant start, Instant end);
// add_holiday: holiday_window(date) as a closed window.
Result<void> add_holiday(Calendar& c, Date date);
// holiday_window: [date 00:00, next date 00:00); OverflowError "Date overflow."
// when the next date does not exist.
Result<TimeWindow> holiday_window(Date date);
Result<void> set_default_capacity(Calendar& c, Capacity capacity);
Result<void> add_capacity_override(Calendar& c, Instant start, Instant end, Capacity capacity);
// set_entry: replaces the entry with the same id in place (keeping its
// position) or appends a new one. Ids are compared exactly, untrimmed.
Result<void> set_entry(Calendar& c, std::string_view id, EntryKind kind, Instant start, Instant end,
                       Capacity capacity);
// remove_entry: true when an entry with exactly this id was removed.
Result<bool> remove_entry(Calendar& c, std::string_view id);
// find_entry: the first entry with exactly this id, or nullptr. Blank ids are
// refused with "Entry id cannot be empty.".
Result<const Entry*> find_entry(const Calendar& c, std::string_view id);

// Clearing: each empties one sequence; clear resets the whole record.
Result<void> clear_open_rules(Calendar& c);
Result<void> clear_break_rules(Calendar& c);
Result<void> clear_open_windows(Calendar& c);
Result<void> clear_closed_windows(Calendar& c);
Result<void> clear_capacity_overrides(Calendar& c);
Result<void> clear_entries(Calendar& c);
Result<void> clear(Calendar& c);

// is_blank_id: empty or only Unicode white space (id is UTF-8).
bool is_blank_id(std::string_view id);

// ItemCheck: the checks of an edit that stores a window, in their fixed
// order: a composite calendar is refused, then an entry's id (when `entry`),
// a capacity (when `sets_capacity`), then the window itself, which it returns.
struct ItemCheck {
  bool composite = false;
  bool entry = false;
  bool sets_capacity = false;
  Result<TimeWindow> operator()(Instant start, Instant end, Capacity capacity, std::string_view id) const {
    if (composite) return fail(ErrorKind::Runtime, msg::kCompositeEdit);
    if (entry && is_blank_id(id)) return fail(ErrorKind::Value, msg::kEmptyEntryId);
    if (sets_capacity && capacity < 0) return fail(ErrorKind::Value, msg::kNegativeCapacity);
    return make_window(start, end);
  }
};

// Many edits at once. WindowBatch: edits of one kind of stored window, each
// checked when it is added as its single edit (add_open_window,
// add_closed_window, add_capacity_override, or set_entry for the entry kinds)
// checks it, and kept in the form the calendar stores, for add_window_batch
// to store together. A batch of entries also takes entries of other kinds.
//   WindowBatch batch(c, ItemKind::OpenWindow);
//   for (...) if (auto ok = batch.add(start, end); !ok) return ok;
//   add_window_batch(c, batch);
class WindowBatch {
 public:
  WindowBatch(const Calendar& c, ItemKind kind);
  void reserve(std::size_t n);
  // add: the edit taken, or its single edit's error and nothing taken. The
  // capacity kinds read `capacity`, the entries `id`.
  [[gnu::always_inline]] Result<void> add(Instant start, Instant end, Capacity capacity = 0,
                                          std::string_view id = {}) {
    const bool capacities = sets_capacity(kind_);
    if (is_entry(kind_)) return add_entry(entry_kind(kind_), id, start, end, capacities ? capacity : 0);
    if (auto w = ItemCheck{composite_, false, capacities}(start, end, capacity, {}); !w) [[unlikely]]
      return Unexpected(w.error());
    if (capacities)
      overrides_.push_back({{start, end}, capacity});
    else
      windows_.push_back({start, end});
    return {};
  }
  // add_entry: set_entry's edit of an entry of any kind, for a batch of entries.
  [[gnu::always_inline]] Result<void> add_entry(EntryKind kind, std::string_view id, Instant start, Instant end,
                                                Capacity capacity) {
    if (auto w = ItemCheck{composite_, true, kind == EntryKind::WithCapacity}(start, end, capacity, id); !w)
        [[unlikely]]
      return Unexpected(w.error());
    entries_.push_back(Entry{std::string(id), kind, {start, end}, capacity});
    id_hashes_.push_back(EntryList::hash_id(id));
    return {};
  }

 private:
  friend class CalendarEditor;
  ItemKind kind_;
  bool composite_;
  std::vector<TimeWindow> windows_;        // open and closed windows
  std::vector<CapacityWindow> overrides_;  // capacity overrides
  std::vector<Entry> entries_;             // entries
  std::vector<std::uint32_t> id_hashes_;   // and their ids' hashes
};
// add_window_batch: the batch's edits in order, as as many single edits would
// make them, into the calendar it was made for; the batch is left empty. The
// generation advances once, and the derived data is dropped for the next
// question to rebuild instead of being patched edit by edit.
void add_window_batch(Calendar& c, WindowBatch& batch);

// Composition: a composite's operator, the parameters its operator reads, and
// its components in order. Parameters other operators do not read keep
// their defaults, so that equal compositions compare equal.
struct Composition {
  Operator op = Operator::Intersection;
  Capacity factor = 0;           // Scale
  TimeWindow window{};           // Within
  Instant anchor{};              // Repeat
  Duration period{};             // Repeat
  std::vector<Switch> switches;  // Effective: strictly increasing instants
  std::vector<Calendar> components;
};

inline const std::vector<Calendar>& Calendar::components() const {
  return composition_ ? composition_->components : kNone;
}

// make_composite: the intersection of the given calendars, in order.
Calendar make_composite(std::vector<Calendar> components);
// compose: a composite of the composition, checked first: ValueError when an
// operator gets the wrong number of components (none for the intersection,
// union or total; other than 2 for difference or 1 for scale, within and
// repeat), a negative factor, a window that ends before it starts, no switches
// or switches whose instants do not strictly increase or that do not name each
// component once in order, or a period that is not positive or reaches past
// the last representable instant from the anchor.
Result<Calendar> compose(Composition composition);
// repeat_instant: where a repeat's pattern is asked for t: anchor + ((t -
// anchor) mod period), in [anchor, anchor + period).
Instant repeat_instant(const Composition& repeat, Instant t);

}  // namespace hourloom
