#include "engine/matches.h"

#include <algorithm>

#include "engine/derived.h"
#include "engine/program.h"
#include "engine/span_stream.h"

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

// match_group: where a stored item's match goes: closed windows, then
// entries, then overrides (each in stored order); one-off open windows are
// not reported.
int match_group(ItemKind k) {
  switch (k) {
    case ItemKind::ClosedWindow: return 0;
    case ItemKind::OpenEntry:
    case ItemKind::ClosedEntry:
    case ItemKind::CapacityEntry: return 1;
    case ItemKind::Override: return 2;
    case ItemKind::OpenWindow: break;
  }
  return -1;
}

WindowMatch item_match(const IndexedItem& item) {
  switch (item.kind) {
    case ItemKind::ClosedWindow: return {WindowKind::ClosedWindow, item.window, Capacity{0}};
    case ItemKind::OpenEntry: return {WindowKind::OpenWindow, item.window, std::nullopt};
    case ItemKind::ClosedEntry: return {WindowKind::ClosedWindow, item.window, std::nullopt};
    default: return {WindowKind::CapacityOverride, item.window, item.capacity};
  }
}

// The stored items come from StoredItems, so a large calendar pays for the
// items holding t rather than for all it stores.
void add_simple_matches(const Calendar& c, Instant t, std::vector<WindowMatch>& out) {
  add_rule_matches(c.open_rules(), WindowKind::OpenRule, t, out);
  add_rule_matches(c.break_rules(), WindowKind::BreakRule, t, out);
  InlineList<IndexedItem, 16> held;
  StoredItems(c).at(t, [&](const IndexedItem& item) {
    if (match_group(item.kind) >= 0) held.push_back(item);
  });
  std::sort(held.begin(), held.end(), [](const IndexedItem& a, const IndexedItem& b) {
    const int ga = match_group(a.kind), gb = match_group(b.kind);
    return ga != gb ? ga < gb : a.order < b.order;
  });
  for (const IndexedItem& item : held) out.push_back(item_match(item));
}

}  // namespace

// A composite's calendars are visited depth first, in component order,
// without recursion, each asked at the instant its parent asks it: a repeat's
// pattern at the mapped instant, and only the component in force of a within
// or an effective.
void add_raw_window_matches(const Calendar& root, Instant t, std::vector<WindowMatch>& out) {
  struct Ask {
    const Calendar* c;
    Instant t;
  };
  std::vector<Ask> pending{{&root, t}};
  while (!pending.empty()) {
    const Ask ask = pending.back();
    pending.pop_back();
    const Composition* k = ask.c->composition();
    if (!k) {
      add_simple_matches(*ask.c, ask.t, out);
      continue;
    }
    const std::vector<Calendar>& parts = k->components;
    switch (k->op) {
      case Operator::Repeat:
        pending.push_back({&parts[0], repeat_instant(*k, ask.t)});
        break;
      case Operator::Within:
        if (contains(k->window, ask.t)) pending.push_back({&parts[0], ask.t});
        break;
      case Operator::Effective:
        if (const std::int32_t on = in_force(*k, ask.t); on != kClosedSwitch)
          pending.push_back({&parts[static_cast<std::size_t>(on)], ask.t});
        break;
      default:
        for (auto part = parts.rbegin(); part != parts.rend(); ++part) pending.push_back({&*part, ask.t});
    }
  }
}

}  // namespace hourloom
