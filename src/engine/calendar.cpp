#include "engine/calendar.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "engine/derived.h"
#include "engine/program.h"
#include "time/utf8.h"

namespace hourloom {

// CalendarEditor: the one door to a calendar's sequences. Every edit goes
// through `edited`, the one update protocol: the generation advances, and the
// derived data, when it was current, is patched (on a copy of its own when
// another calendar shares it) or dropped for the next question to rebuild.
class CalendarEditor {
 public:
  static void edited(Calendar& c, const CalendarEdit& edit) {
    const bool current = c.derived_ && c.derived_->generation == c.generation_;
    ++c.generation_;
    if (!current) {
      c.derived_.reset();
      return;
    }
    if (c.derived_.use_count() > 1) c.derived_ = std::make_shared<DerivedData>(*c.derived_);
    if (!patch_derived(*c.derived_, c, edit)) {
      c.derived_.reset();
      return;
    }
    c.derived_->generation = c.generation_;
  }

  static Result<void> refuse_composite(const Calendar& c) {
    if (c.is_composite()) return fail(ErrorKind::Runtime, msg::kCompositeEdit);
    return {};
  }

  static Result<void> add_rule(Calendar& c, bool opening, std::uint8_t day, TimeOfDay start, TimeOfDay end) {
    if (auto ok = refuse_composite(c); !ok) return ok;
    auto rule = make_weekly_rule(day, start, end);
    if (!rule) return Unexpected(rule.error());
    (opening ? c.open_rules_ : c.break_rules_).push_back(*rule);
    edited(c, {CalendarEdit::What::Rules});
    return {};
  }

  static Result<void> add_window(Calendar& c, bool opening, Instant start, Instant end) {
    auto w = ItemCheck{c.is_composite()}(start, end, 0, {});
    if (!w) return Unexpected(w.error());
    std::vector<TimeWindow>& windows = opening ? c.open_windows_ : c.closed_windows_;
    windows.push_back(*w);
    const auto order = static_cast<std::uint32_t>(windows.size() - 1);
    edited(c, {CalendarEdit::What::Item, {*w, 0, order, opening ? ItemKind::OpenWindow : ItemKind::ClosedWindow}});
    return {};
  }

  static Result<void> set_default_capacity(Calendar& c, Capacity capacity) {
    if (auto ok = refuse_composite(c); !ok) return ok;
    if (capacity < 0) return fail(ErrorKind::Value, msg::kNegativeCapacity);
    c.default_capacity_ = capacity;
    edited(c, {CalendarEdit::What::DefaultCapacity});
    return {};
  }

  static Result<void> add_capacity_override(Calendar& c, Instant start, Instant end, Capacity capacity) {
    auto w = ItemCheck{c.is_composite(), false, true}(start, end, capacity, {});
    if (!w) return Unexpected(w.error());
    c.capacity_overrides_.push_back({*w, capacity});
    const auto order = static_cast<std::uint32_t>(c.capacity_overrides_.size() - 1);
    edited(c, {CalendarEdit::What::Item, {*w, capacity, order, ItemKind::Override}});
    return {};
  }

  static Result<void> set_entry(Calendar& c, std::string_view id, EntryKind kind, Instant start, Instant end,
                                Capacity capacity) {
    auto w = ItemCheck{c.is_composite(), true, kind == EntryKind::WithCapacity}(start, end, capacity, id);
    if (!w) return Unexpected(w.error());
    const EntryList::Change change = c.entries_.set(id, kind, *w, capacity);
    edited(c, {CalendarEdit::What::Entry, {}, &change});
    return {};
  }

  // add_batch: a checked batch stored in order; a sequence still empty
  // takes the batch's storage.
  static void add_batch(Calendar& c, WindowBatch& batch) {
    std::vector<TimeWindow> windows = std::exchange(batch.windows_, {});
    std::vector<CapacityWindow> overrides = std::exchange(batch.overrides_, {});
    std::vector<Entry> entries = std::exchange(batch.entries_, {});
    const std::vector<std::uint32_t> id_hashes = std::exchange(batch.id_hashes_, {});
    if (windows.empty() && overrides.empty() && entries.empty()) return;
    // Dropped first, so that a calendar left half edited (out of memory) is never answered from stale data.
    edited(c, {CalendarEdit::What::Reset});
    if (is_entry(batch.kind_))
      c.entries_.set_all(std::move(entries), id_hashes);
    else if (sets_capacity(batch.kind_))
      append(c.capacity_overrides_, overrides);
    else
      append(opens(batch.kind_) ? c.open_windows_ : c.closed_windows_, windows);
  }
  template <class T>
  static void append(std::vector<T>& stored, std::vector<T>& items) {
    if (stored.empty())
      stored.swap(items);
    else
      stored.insert(stored.end(), items.begin(), items.end());
  }

  static Result<bool> remove_entry(Calendar& c, std::string_view id) {
    if (auto ok = refuse_composite(c); !ok) return Unexpected(ok.error());
    if (is_blank_id(id)) return fail(ErrorKind::Value, msg::kEmptyEntryId);
    auto change = c.entries_.remove(id);
    if (!change) return false;
    edited(c, {CalendarEdit::What::Entry, {}, &*change});
    return true;
  }

  // clear_sequence: empties one of the calendar's sequences (refused on a composite).
  template <class Sequence>
  static Result<void> clear_sequence(Calendar& c, Sequence Calendar::*sequence) {
    if (auto ok = refuse_composite(c); !ok) return ok;
    (c.*sequence).clear();
    if constexpr (std::is_same_v<Sequence, std::vector<WeeklyRule>>)
      edited(c, {CalendarEdit::What::Rules});
    else
      edited(c, {CalendarEdit::What::Reset});
    return {};
  }

  enum class Part { OpenRules, BreakRules, OpenWindows, ClosedWindows, Overrides, Entries };
  static Result<void> clear_part(Calendar& c, Part part) {
    switch (part) {
      case Part::OpenRules: return clear_sequence(c, &Calendar::open_rules_);
      case Part::BreakRules: return clear_sequence(c, &Calendar::break_rules_);
      case Part::OpenWindows: return clear_sequence(c, &Calendar::open_windows_);
      case Part::ClosedWindows: return clear_sequence(c, &Calendar::closed_windows_);
      case Part::Overrides: return clear_sequence(c, &Calendar::capacity_overrides_);
      case Part::Entries: return clear_sequence(c, &Calendar::entries_);
    }
    return {};
  }

  static Result<void> clear(Calendar& c) {
    if (auto ok = refuse_composite(c); !ok) return ok;
    const std::uint64_t generation = c.generation_;
    c = Calendar{};
    c.generation_ = generation;  // generations only grow
    edited(c, {CalendarEdit::What::Reset});
    return {};
  }

  static Calendar compose(Composition composition) {
    Calendar c;
    c.composition_ = std::make_shared<Composition>(std::move(composition));
    return c;
  }
};

namespace {

// is_unicode_space: the code points Python's str.isspace() accepts.
constexpr bool is_unicode_space(char32_t cp) {
  if (cp >= 0x09 && cp <= 0x0D) return true;
  if (cp >= 0x1C && cp <= 0x20) return true;
  if (cp >= 0x2000 && cp <= 0x200A) return true;
  switch (cp) {
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool is_blank_id(std::string_view id) {
  std::size_t i = 0;
  while (i < id.size()) {
    auto cp = decode_utf8(id, i);
    if (!cp || !is_unicode_space(*cp)) return false;
  }
  return true;
}

const std::vector<Calendar> Calendar::kNone;

// The last owner of a composition takes the levels below apart one at a
// time: each calendar it destroys has had its own composition moved out. The
// compositions were created non-const, so moving out of them is allowed.
Calendar::~Calendar() {
  if (!composition_ || composition_.use_count() > 1) return;
  std::vector<std::shared_ptr<const Composition>> doomed;
  doomed.push_back(std::move(composition_));
  while (!doomed.empty()) {
    std::shared_ptr<const Composition> level = std::move(doomed.back());
    doomed.pop_back();
    if (level.use_count() > 1) continue;
    for (const Calendar& component : level->components)
      if (component.composition_) doomed.push_back(std::move(const_cast<Calendar&>(component).composition_));
  }
}

namespace {

// same_parameters: equal operators and the parameters they read.
bool same_parameters(const Composition& x, const Composition& y) {
  return x.op == y.op && x.factor == y.factor && x.window == y.window && x.anchor == y.anchor &&
         x.period == y.period && x.switches == y.switches && x.components.size() == y.components.size();
}

}  // namespace

bool operator==(const Calendar& a, const Calendar& b) {
  std::vector<std::pair<const Calendar*, const Calendar*>> pending{{&a, &b}};
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    // Equal default capacity and sequences, then the compositions.
    if (x->default_capacity_ != y->default_capacity_ || x->open_rules_ != y->open_rules_ ||
        x->break_rules_ != y->break_rules_ || x->open_windows_ != y->open_windows_ ||
        x->closed_windows_ != y->closed_windows_ || x->capacity_overrides_ != y->capacity_overrides_ ||
        !(x->entries_ == y->entries_))
      return false;
    if (x->composition_ == y->composition_) continue;  // shared, or both simple
    if (!x->composition_ || !y->composition_ || !same_parameters(*x->composition_, *y->composition_)) return false;
    const std::vector<Calendar>& xs = x->components();
    const std::vector<Calendar>& ys = y->components();
    for (std::size_t i = 0; i < xs.size(); ++i) pending.emplace_back(&xs[i], &ys[i]);
  }
  return true;
}

const DerivedData& Calendar::derived() const {
  if (!derived_ || derived_->generation != generation_) derived_ = build_derived(*this);
  return *derived_;
}

// A composite's derived data lists its simple calendars, which are prepared in turn.
void Calendar::prepare() const {
  const DerivedData& d = derived();
  entries_.prepare();
  if (!d.algebra) return;
  for (const Program& program : d.algebra->programs)
    for (const Program::Node& node : program.nodes)
      if (node.leaf) {
        node.leaf->derived();
        node.leaf->entries_.prepare();
      }
}

void Calendar::reserve(std::size_t open_rules, std::size_t break_rules, std::size_t open_windows,
                       std::size_t closed_windows, std::size_t overrides) {
  open_rules_.reserve(open_rules);
  break_rules_.reserve(break_rules);
  open_windows_.reserve(open_windows);
  closed_windows_.reserve(closed_windows);
  capacity_overrides_.reserve(overrides);
}

Result<void> add_open_rule(Calendar& c, std::uint8_t day, TimeOfDay start, TimeOfDay end) {
  return CalendarEditor::add_rule(c, true, day, start, end);
}

Result<void> add_weekday_open_rules(Calendar& c, TimeOfDay start, TimeOfDay end) {
  // Every check of a rule is independent of its day, so the first day decides
  // for all five: either all are added or none.
  for (auto day = weekday_number(Weekday::Monday); day <= weekday_number(Weekday::Friday); ++day)
    if (auto ok = add_open_rule(c, static_cast<std::uint8_t>(day), start, end); !ok) return ok;
  return {};
}

Result<void> add_weekday_break_rules(Calendar& c, TimeOfDay start, TimeOfDay end) {
  for (auto day = weekday_number(Weekday::Monday); day <= weekday_number(Weekday::Friday); ++day)
    if (auto ok = add_break_rule(c, static_cast<std::uint8_t>(day), start, end); !ok) return ok;
  return {};
}

Result<void> add_break_rule(Calendar& c, std::uint8_t day, TimeOfDay start, TimeOfDay end) {
  return CalendarEditor::add_rule(c, false, day, start, end);
}

Result<void> add_open_window(Calendar& c, Instant start, Instant end) {
  return CalendarEditor::add_window(c, true, start, end);
}

Result<void> add_closed_window(Calendar& c, Instant start, Instant end) {
  return CalendarEditor::add_window(c, false, start, end);
}

Result<TimeWindow> holiday_window(Date date) {
  auto next = date.add_days(1);
  if (!next) return fail(ErrorKind::Overflow, msg::kDateOverflow);
  return TimeWindow{Instant::FromParts(date, {}), Instant::FromParts(*next, {})};
}

Result<void> add_holiday(Calendar& c, Date date) {
  auto w = holiday_window(date);
  if (!w) return Unexpected(w.error());
  return add_closed_window(c, w->start, w->end);
}

Result<void> set_default_capacity(Calendar& c, Capacity capacity) {
  return CalendarEditor::set_default_capacity(c, capacity);
}

Result<void> add_capacity_override(Calendar& c, Instant start, Instant end, Capacity capacity) {
  return CalendarEditor::add_capacity_override(c, start, end, capacity);
}

Result<void> set_entry(Calendar& c, std::string_view id, EntryKind kind, Instant start, Instant end,
                       Capacity capacity) {
  return CalendarEditor::set_entry(c, id, kind, start, end, capacity);
}

WindowBatch::WindowBatch(const Calendar& c, ItemKind kind) : kind_(kind), composite_(c.is_composite()) {}

void WindowBatch::reserve(std::size_t n) {
  if (is_entry(kind_)) {
    entries_.reserve(n);
    id_hashes_.reserve(n);
  } else if (sets_capacity(kind_)) {
    overrides_.reserve(n);
  } else {
    windows_.reserve(n);
  }
}

void add_window_batch(Calendar& c, WindowBatch& batch) { CalendarEditor::add_batch(c, batch); }

Result<bool> remove_entry(Calendar& c, std::string_view id) { return CalendarEditor::remove_entry(c, id); }

Result<const Entry*> find_entry(const Calendar& c, std::string_view id) {
  if (is_blank_id(id)) return fail(ErrorKind::Value, msg::kEmptyEntryId);
  return c.entries().find(id);
}

using Part = CalendarEditor::Part;
Result<void> clear_open_rules(Calendar& c) { return CalendarEditor::clear_part(c, Part::OpenRules); }
Result<void> clear_break_rules(Calendar& c) { return CalendarEditor::clear_part(c, Part::BreakRules); }
Result<void> clear_open_windows(Calendar& c) { return CalendarEditor::clear_part(c, Part::OpenWindows); }
Result<void> clear_closed_windows(Calendar& c) { return CalendarEditor::clear_part(c, Part::ClosedWindows); }
Result<void> clear_capacity_overrides(Calendar& c) { return CalendarEditor::clear_part(c, Part::Overrides); }
Result<void> clear_entries(Calendar& c) { return CalendarEditor::clear_part(c, Part::Entries); }
Result<void> clear(Calendar& c) { return CalendarEditor::clear(c); }

Calendar make_composite(std::vector<Calendar> components) {
  Composition composition;
  composition.components = std::move(components);
  return CalendarEditor::compose(std::move(composition));
}

namespace {

// operands_fit: whether the operator takes this many components.
bool operands_fit(Operator op, std::size_t n) {
  switch (op) {
    case Operator::Intersection:
    case Operator::Union:
    case Operator::Total: return n >= 1;
    case Operator::Difference: return n == 2;
    case Operator::Scale:
    case Operator::Within:
    case Operator::Repeat: return n == 1;
    case Operator::Effective: return true;
  }
  return false;
}

Result<void> check_switches(const Composition& c) {
  if (c.switches.empty()) return fail(ErrorKind::Value, msg::kNoSwitches);
  std::int32_t next = 0;
  for (std::size_t i = 0; i < c.switches.size(); ++i) {
    if (i > 0 && !(c.switches[i - 1].from < c.switches[i].from)) return fail(ErrorKind::Value, msg::kSwitchOrder);
    const std::int32_t k = c.switches[i].component;
    if (k == kClosedSwitch) continue;
    if (k != next) return fail(ErrorKind::Value, msg::kSwitchComponents);
    ++next;
  }
  if (static_cast<std::size_t>(next) != c.components.size()) return fail(ErrorKind::Value, msg::kSwitchComponents);
  return {};
}

}  // namespace

Result<Calendar> compose(Composition composition) {
  const Composition& c = composition;
  if (c.components.empty() && c.op != Operator::Effective) return fail(ErrorKind::Value, msg::kNoOperands);
  if (!operands_fit(c.op, c.components.size())) return fail(ErrorKind::Value, msg::kOperandCount);
  switch (c.op) {
    case Operator::Scale:
      if (c.factor < 0) return fail(ErrorKind::Value, msg::kScaleRange);
      break;
    case Operator::Within:
      if (c.window.end < c.window.start) return fail(ErrorKind::Value, msg::kEndBeforeStart);
      break;
    case Operator::Effective:
      if (auto ok = check_switches(c); !ok) return Unexpected(ok.error());
      break;
    case Operator::Repeat:
      if (c.period.is_negative() || c.period.is_zero()) return fail(ErrorKind::Value, msg::kPeriodNotPositive);
      if (!(c.anchor + c.period)) return fail(ErrorKind::Value, msg::kPeriodTooLong);
      break;
    default:
      break;
  }
  return CalendarEditor::compose(std::move(composition));
}

// The offset from the anchor is reduced in whole nanoseconds: in 64 bits
// while both it and the period fit (some 292 years), else in 128.
Instant repeat_instant(const Composition& repeat, Instant t) {
  constexpr std::int64_t kNano = 1'000'000'000;
  constexpr std::int64_t kFits = INT64_MAX / kNano - 1;
  const Duration offset = t - repeat.anchor;
  const Duration period = repeat.period;
  std::int64_t seconds = 0;
  std::uint32_t nanos = 0;
  if (offset.seconds() > -kFits && offset.seconds() < kFits && period.seconds() < kFits) {
    const std::int64_t into = floor_mod(offset.seconds() * kNano + offset.nanos(), period.seconds() * kNano + period.nanos());
    seconds = into / kNano;
    nanos = static_cast<std::uint32_t>(into % kNano);
  } else {
    using Wide = __int128;
    const auto nanos_of = [&](Duration d) { return static_cast<Wide>(d.seconds()) * kNano + d.nanos(); };
    Wide into = nanos_of(offset) % nanos_of(period);
    if (into < 0) into += nanos_of(period);
    seconds = static_cast<std::int64_t>(into / kNano);
    nanos = static_cast<std::uint32_t>(into % kNano);
  }
  return *(repeat.anchor + Duration::FromNormalized(seconds, nanos));  // inside [anchor, anchor + period)
}

}  // namespace hourloom
