#include "definition/conversion.h"

#include <utility>

namespace hourloom {

namespace {

WindowDefinition window_definition(const TimeWindow& w) { return {w.start, w.end}; }
RuleDefinition rule_definition(const WeeklyRule& r) { return {static_cast<std::uint8_t>(weekday_number(r.day())), r.start(), r.end()}; }

template <class To, class Items, class F>
std::vector<To> map_all(const Items& items, F convert) {
  std::vector<To> out;
  out.reserve(items.size());
  for (const auto& item : items) out.push_back(convert(item));
  return out;
}

// replay: op(item) for each item in order, up to the first failure.
template <class Items, class Op>
Result<void> replay(const Items& items, Op op) {
  for (const auto& item : items)
    if (auto ok = op(item); !ok) return ok;
  return {};
}

}  // namespace

Result<Calendar> to_calendar(const Definition& d) {
  Calendar c;
  c.reserve(d.open_rules.size(), d.break_rules.size(), d.open_windows.size(), d.closed_windows.size(),
            d.capacity_windows.size());
  Result<void> ok = set_default_capacity(c, d.default_capacity);
  if (ok) ok = replay(d.open_rules, [&](const RuleDefinition& r) { return add_open_rule(c, r.day, r.start, r.end); });
  if (ok) ok = replay(d.break_rules, [&](const RuleDefinition& r) { return add_break_rule(c, r.day, r.start, r.end); });
  if (ok) ok = replay(d.open_windows, [&](const WindowDefinition& w) { return add_open_window(c, w.start, w.end); });
  if (ok)
    ok = replay(d.closed_windows, [&](const WindowDefinition& w) { return add_closed_window(c, w.start, w.end); });
  if (ok)
    ok = replay(d.capacity_windows,
                [&](const CapacityDefinition& w) { return add_capacity_override(c, w.start, w.end, w.capacity); });
  WindowBatch entries(c, ItemKind::OpenEntry);
  entries.reserve(d.entries.size());
  if (ok)
    ok = replay(d.entries, [&](const EntryDefinition& e) {
      return entries.add_entry(static_cast<EntryKind>(e.kind), e.id, e.start, e.end, e.capacity);
    });
  if (!ok) return Unexpected(ok.error());
  add_window_batch(c, entries);
  return c;
}

Result<Definition> to_definition(const Calendar& c) {
  if (c.is_composite()) return fail(ErrorKind::Runtime, msg::kCompositeSerialize);
  Definition d;
  d.default_capacity = c.default_capacity();
  d.open_rules = map_all<RuleDefinition>(c.open_rules(), rule_definition);
  d.break_rules = map_all<RuleDefinition>(c.break_rules(), rule_definition);
  d.open_windows = map_all<WindowDefinition>(c.open_windows(), window_definition);
  d.closed_windows = map_all<WindowDefinition>(c.closed_windows(), window_definition);
  d.capacity_windows = map_all<CapacityDefinition>(
      c.capacity_overrides(), [](const CapacityWindow& w) { return CapacityDefinition{w.window.start, w.window.end, w.capacity}; });
  d.entries = map_all<EntryDefinition>(c.entries(), [](const Entry& e) {
    return EntryDefinition{e.id, static_cast<std::uint8_t>(e.kind), e.window.start, e.window.end, e.capacity};
  });
  return d;
}

}  // namespace hourloom
