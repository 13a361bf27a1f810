#include "engine/matches.h"

namespace hourloom {

namespace {

void add_rule_matches_on(const std::vector<WeeklyRule>& rules, WindowKind kind, Date d, Instant t,
                         std::vector<WindowMatch>& out) {
  const Weekday day = d.weekday_sunday0();
  for (const WeeklyRule& r : rules) {
    if (r.day() != day) continue;
    const TimeWindow occurrence = rule_window(r, d);
    if (contains(occurrence, t)) out.push_back({kind, occurrence, std::nullopt});
  }
}

// add_rule_matches: appends a match of `kind` (no capacity) for every
// occurrence of the rules that contains t: the occurrences of the day before
// t's date first, then those of t's date, each date in rule order.
void add_rule_matches(const std::vector<WeeklyRule>& rules, WindowKind kind, Instant t,
                      std::vector<WindowMatch>& out) {
  const Date today = t.date();
  // An occurrence of the day before starts before t; only its end decides.
  if (auto yesterday = today.add_days(-1)) {
    add_rule_matches_on(rules, kind, *yesterday, t, out);
  } else {
    for (const WeeklyRule& r : rules)
      if (auto carried = rule_carryover(r, today); carried && contains(*carried, t))
        out.push_back({kind, *carried, std::nullopt});
  }
  add_rule_matches_on(rules, kind, today, t, out);
}

void add_simple_matches(const Calendar& c, Instant t, std::vector<WindowMatch>& out) {
  add_rule_matches(c.open_rules(), WindowKind::OpenRule, t, out);
  add_rule_matches(c.break_rules(), WindowKind::BreakRule, t, out);
  for (const TimeWindow& w : c.closed_windows())
    if (contains(w, t)) out.push_back({WindowKind::ClosedWindow, w, Capacity{0}});
  for (const Entry& e : c.entries()) {
    if (!contains(e.window, t)) continue;
    switch (e.kind) {
      case EntryKind::Open: out.push_back({WindowKind::OpenWindow, e.window, std::nullopt}); break;
      case EntryKind::Closed: out.push_back({WindowKind::ClosedWindow, e.window, std::nullopt}); break;
      case EntryKind::WithCapacity: out.push_back({WindowKind::CapacityOverride, e.window, e.capacity}); break;
    }
  }
  for (const CapacityWindow& o : c.capacity_overrides())
    if (contains(o.window, t)) out.push_back({WindowKind::CapacityOverride, o.window, o.capacity});
}

}  // namespace

// A composite's calendars are visited depth first, in component order,
// without recursion.
void add_raw_window_matches(const Calendar& root, Instant t, std::vector<WindowMatch>& out) {
  std::vector<const Calendar*> pending{&root};
  while (!pending.empty()) {
    const Calendar& c = *pending.back();
    pending.pop_back();
    if (!c.is_composite()) {
      add_simple_matches(c, t, out);
      continue;
    }
    for (auto part = c.components().rbegin(); part != c.components().rend(); ++part) pending.push_back(&*part);
  }
}

}  // namespace hourloom
