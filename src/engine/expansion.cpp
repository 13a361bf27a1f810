#include "engine/expansion.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace hourloom {

namespace {

// append_rule_occurrences: the occurrences of `rules` clipped to a non-empty
// range, appended unsorted. The rules are bucketed by weekday once, so each
// date only visits the rules that apply on it.
void append_rule_occurrences(const std::vector<WeeklyRule>& rules, TimeWindow range, std::vector<TimeWindow>& out) {
  if (rules.empty() || is_empty(range)) return;

  // Counting sort of rule indices by weekday, keeping sequence order per day.
  // A day outside 0..6 never passes the editing checks; such a rule is skipped
  // here rather than trusted as an index.
  std::array<std::uint32_t, 8> offset{};
  for (const WeeklyRule& r : rules)
    if (r.day <= 6) ++offset[r.day + 1];
  for (std::size_t d = 1; d < offset.size(); ++d) offset[d] += offset[d - 1];
  std::vector<std::uint32_t> by_day(rules.size());
  {
    std::array<std::uint32_t, 7> fill{};
    for (std::uint32_t i = 0; i < rules.size(); ++i) {
      Weekday d = rules[i].day;
      if (d > 6) continue;
      by_day[offset[d] + fill[d]++] = i;
    }
  }

  Date first = range.start.date();
  first = first.add_days(-1).value_or(first);
  const Date last = range.end.date();
  const std::int64_t dates = static_cast<std::int64_t>(last.days()) - first.days() + 1;
  out.reserve(out.size() + static_cast<std::size_t>((dates / 7 + 1) * static_cast<std::int64_t>(rules.size())));

  Date d = first;
  Weekday w = d.weekday_sunday0();
  for (;;) {
    for (std::uint32_t k = offset[w]; k < offset[w + 1]; ++k) {
      if (auto piece = clip(rule_window(rules[by_day[k]], d), range)) out.push_back(*piece);
    }
    if (d == last) break;
    auto next = d.add_days(1);
    if (!next) break;  // the edge of the representable dates ends the expansion
    d = *next;
    w = next_weekday(w);
  }
}

void append_clipped(const std::vector<TimeWindow>& windows, TimeWindow range, std::vector<TimeWindow>& out) {
  for (const TimeWindow& w : windows)
    if (auto piece = clip(w, range)) out.push_back(*piece);
}

// normalize: merge in place.
void normalize(std::vector<TimeWindow>& windows) {
  std::erase_if(windows, [](const TimeWindow& w) { return is_empty(w); });
  std::sort(windows.begin(), windows.end(), window_order);
  std::size_t n = 0;
  for (const TimeWindow& w : windows) {
    if (n > 0 && joins_after(windows[n - 1], w)) {
      if (windows[n - 1].end < w.end) windows[n - 1].end = w.end;
    } else {
      windows[n++] = w;
    }
  }
  windows.resize(n);
}

// subtract: a minus b, both merged (sorted, separated, non-empty). One pass:
// a closing window that ends inside an opening window is never looked at again.
std::vector<TimeWindow> subtract(const std::vector<TimeWindow>& a, const std::vector<TimeWindow>& b) {
  std::vector<TimeWindow> out;
  out.reserve(a.size() + b.size());
  std::size_t j = 0;
  for (const TimeWindow& o : a) {
    Instant cursor = o.start;
    while (j < b.size() && b[j].end <= cursor) ++j;
    for (std::size_t k = j; k < b.size() && b[k].start < o.end; ++k) {
      if (cursor < b[k].start) out.push_back({cursor, b[k].start});
      if (cursor < b[k].end) cursor = b[k].end;
      if (!(cursor < o.end)) break;
    }
    if (cursor < o.end) out.push_back({cursor, o.end});
  }
  return out;
}

}  // namespace

std::vector<TimeWindow> expand_rules(const std::vector<WeeklyRule>& rules, TimeWindow range) {
  std::vector<TimeWindow> out;
  append_rule_occurrences(rules, range, out);
  // Equal windows are interchangeable, so an unstable sort orders them as a stable one would.
  if (!std::is_sorted(out.begin(), out.end(), window_order)) std::sort(out.begin(), out.end(), window_order);
  return out;
}

std::vector<TimeWindow> merge(std::vector<TimeWindow> windows) {
  normalize(windows);
  return windows;
}

void add_entry_windows(const std::vector<Entry>& entries, EntryKind kind, TimeWindow range,
                       std::vector<TimeWindow>& out) {
  for (const Entry& e : entries)
    if (e.kind == kind)
      if (auto piece = clip(e.window, range)) out.push_back(*piece);
}

// calendar_windows: (union of opening) minus (union of closing). Both sides are
// merged first and then subtracted in one sweep; the result is already merged,
// because pieces of one opening window are separated by non-empty closing
// windows and different opening windows are separated to begin with.
std::vector<TimeWindow> calendar_windows(const Calendar& c, TimeWindow range) {
  if (is_empty(range)) return {};

  std::vector<TimeWindow> opening;
  append_rule_occurrences(c.open_rules, range, opening);
  append_clipped(c.open_windows, range, opening);
  add_entry_windows(c.entries, EntryKind::Open, range, opening);
  if (opening.empty()) return opening;
  normalize(opening);

  std::vector<TimeWindow> closing;
  append_rule_occurrences(c.break_rules, range, closing);
  append_clipped(c.closed_windows, range, closing);
  add_entry_windows(c.entries, EntryKind::Closed, range, closing);
  if (closing.empty()) return opening;
  normalize(closing);

  return subtract(opening, closing);
}

}  // namespace hourloom
