#include "engine/expansion.h"

#include <algorithm>

#include "engine/span_stream.h"
#include "engine/derived.h"

namespace hourloom {

namespace {

// join_sorted: the join step of merge on a sorted list without empty windows.
void join_sorted(std::vector<TimeWindow>& windows) {
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

// sort_small: sorts [first, last) by `less`; by insertion for the short
// lists a stream sets up per question, which come nearly sorted.
template <class T, class Less>
void sort_small(T* first, T* last, Less less) {
  if (last - first > 16) {
    std::sort(first, last, less);
    return;
  }
  for (T* i = first; i != last; ++i) {
    const T v = *i;
    T* j = i;
    for (; j != first && less(v, *(j - 1)); --j) *j = *(j - 1);
    *j = v;
  }
}

// rule_occurrence_bound: each rule occurs at most once per week of the dates
// visited (the day before the range included).
std::size_t rule_occurrence_bound(const std::vector<WeeklyRule>& rules, TimeWindow range) {
  if (rules.empty() || is_empty(range)) return 0;
  const std::int64_t dates = static_cast<std::int64_t>(range.end.date().days()) - range.start.date().days() + 2;
  return static_cast<std::size_t>(dates / 7 + 1) * rules.size();
}

}  // namespace

// The occurrences of the day before the range and of the range's first date
// are collected and sorted up front: clipping moves their starts to the range
// start, which can reorder them. Every later date is expanded lazily; its
// occurrences start after all earlier ones, and within a date the rules come
// in (start, overnight, end) order, so the stream stays sorted.
std::size_t OccurrenceStream::bound() const { return rule_occurrence_bound(*rules_, range_); }

OccurrenceStream::OccurrenceStream(const std::vector<WeeklyRule>& rules, TimeWindow range)
    : rules_(&rules), range_(range) {
  if (rules.empty() || is_empty(range)) return;

  auto occurrence_order = [](const WeeklyRule& x, const WeeklyRule& y) {
    if (x.start() != y.start()) return x.start() < y.start();
    if (x.is_overnight() != y.is_overnight()) return y.is_overnight();
    return x.end() < y.end();
  };
  // Counting sort of rule indices by weekday, skipped when the rules are
  // stored in (weekday, occurrence) order already, as a weekday calendar's are.
  for (std::uint32_t i = 0; i < rules.size(); ++i) {
    const unsigned d = weekday_number(rules[i].day());
    ++offset_[d + 1];
    if (i > 0 && in_order_) {
      const unsigned before = weekday_number(rules[i - 1].day());
      in_order_ = before < d || (before == d && !occurrence_order(rules[i], rules[i - 1]));
    }
  }
  for (std::size_t d = 1; d < offset_.size(); ++d) offset_[d] += offset_[d - 1];
  if (!in_order_) {
    by_day_.resize(offset_[kDaysPerWeek]);
    std::array<std::uint32_t, kDaysPerWeek> fill{};
    for (std::uint32_t i = 0; i < rules.size(); ++i) {
      const unsigned d = weekday_number(rules[i].day());
      by_day_[offset_[d] + fill[d]++] = i;
    }
    auto index_order = [&](std::uint32_t a, std::uint32_t b) { return occurrence_order(rules[a], rules[b]); };
    for (std::size_t d = 0; d < kDaysPerWeek; ++d)
      sort_small(by_day_.begin() + offset_[d], by_day_.begin() + offset_[d + 1], index_order);
  }

  const Date start_date = range.start.date();
  const auto day_before = start_date.add_days(-1);
  if (!day_before)  // the first date still holds what the day before's overnight rules carry over
    for (const WeeklyRule& r : rules)
      if (auto carried = rule_carryover(r, start_date))
        if (auto piece = clip(*carried, range)) head_.push_back(*piece);
  date_ = day_before.value_or(start_date);
  weekday_ = date_.weekday_sunday0();
  fill_dates_through(start_date);
  sort_small(head_.begin(), head_.end(), window_order);
}

// fill_dates_through: expands date_ to `last` into the head and leaves date_
// at the following date with lazy_ set when dates remain.
void OccurrenceStream::fill_dates_through(Date last) {
  const Date range_last = range_.end.date();
  for (;;) {
    const unsigned w = weekday_number(weekday_);
    for (std::uint32_t k = offset_[w]; k < offset_[w + 1]; ++k)
      if (auto piece = clip(rule_window(rule(k), date_), range_)) head_.push_back(*piece);
    if (date_ == range_last) return;
    auto next = date_.add_days(1);
    if (!next) return;  // the edge of the representable dates ends the expansion
    date_ = *next;
    weekday_ = next_weekday(weekday_);
    if (date_ > last) {
      lazy_ = true;
      return;
    }
  }
}

std::optional<TimeWindow> OccurrenceStream::next() {
  if (head_pos_ < head_.size()) return head_[head_pos_++];
  while (lazy_) {
    const unsigned w = weekday_number(weekday_);
    const std::uint32_t k = offset_[w] + slot_;
    if (k < offset_[w + 1]) {
      ++slot_;
      if (auto piece = clip(rule_window(rule(k), date_), range_)) return piece;
      continue;
    }
    auto next = date_.add_days(1);
    if (date_ == range_.end.date() || !next) {
      lazy_ = false;
      break;
    }
    date_ = *next;
    weekday_ = next_weekday(weekday_);
    slot_ = 0;
  }
  return std::nullopt;
}

std::size_t UnionStream::bound() const { return occurrences_.bound() + loose_.size(); }

UnionStream::UnionStream(const std::vector<WeeklyRule>& rules, TimeWindow range) : occurrences_(rules, range) {}

std::optional<TimeWindow> UnionStream::next_raw() {
  const bool have_loose = loose_pos_ < loose_.size();
  if (occurrence_ && (!have_loose || !window_order(loose_[loose_pos_], *occurrence_))) {
    TimeWindow w = *occurrence_;
    occurrence_ = occurrences_.next();
    return w;
  }
  if (have_loose) return loose_[loose_pos_++];
  return std::nullopt;
}

std::optional<TimeWindow> UnionStream::next() {
  if (!started_) {
    started_ = true;
    sort_small(loose_.begin(), loose_.end(), window_order);
    occurrence_ = occurrences_.next();
    pending_ = next_raw();
  }
  if (!pending_) return std::nullopt;
  TimeWindow joined = *pending_;
  std::optional<TimeWindow> raw;
  for (;;) {
    raw = next_raw();
    if (!raw || !joins_after(joined, *raw)) break;
    if (joined.end < raw->end) joined.end = raw->end;
  }
  pending_ = raw;
  return joined;
}

// Loose: one pass over the stored items gives both sides their loose windows
// (as loose_windows gives them), held in place while they are few. The rules'
// week serves when no opening window is among them: (open rules - break rules)
// - closing windows is the same set as open rules - (break rules + closing).
struct OpenSpanStream::Loose {
  Loose(const Calendar& c, TimeWindow range) {
    if (is_empty(range)) return;
    StoredItems(c).over(range, [&](const IndexedItem& item) {
      if (opens(item.kind))
        opening.push_back(*clip(item.window, range));
      else if (closes(item.kind))
        closing.push_back(*clip(item.window, range));
    });
    week = opening.size() == 0 && clear_of_date_ends(range.start, range.end);
  }
  InlineList<TimeWindow, 4> opening;
  InlineList<TimeWindow, 4> closing;
  bool week = false;
};

namespace {
constinit const std::vector<WeeklyRule> kNoRules;
}  // namespace

OpenSpanStream::OpenSpanStream(const Calendar& c, TimeWindow range) : OpenSpanStream(c, range, Loose(c, range)) {}

OpenSpanStream::OpenSpanStream(const Calendar& c, TimeWindow range, Loose&& loose) {
  if (loose.week) {
    week_.emplace(c.derived().rules_week_spans, range);
    if (loose.closing.size() == 0) return;
    cut_.emplace(kNoRules, kNoRules, range);
  } else {
    cut_.emplace(c.open_rules(), c.break_rules(), range);
  }
  for (const TimeWindow& w : loose.opening) cut_->opening.add_loose(w);
  for (const TimeWindow& w : loose.closing) cut_->closing.add_loose(w);
}

OpenSpanStream::OpenSpanStream(const Calendar& c, TimeWindow range, RulesOnly) {
  cut_.emplace(c.open_rules(), c.break_rules(), range);
}

std::size_t OpenSpanStream::bound() const {
  return (week_ ? week_->bound() : 0) + (cut_ ? cut_->opening.bound() + cut_->closing.bound() : 0);
}

// next_cut: closing windows ending at or before the opening window's start
// are passed once and never looked at again.
std::optional<TimeWindow> OpenSpanStream::next_cut() {
  Cut& k = *cut_;
  if (!k.started) {
    k.started = true;
    k.close = k.closing.next();
  }
  for (;;) {
    if (!k.open) {
      k.open = week_ ? week_->next() : k.opening.next();
      if (!k.open) return std::nullopt;
    }
    while (k.close && k.close->end <= k.open->start) k.close = k.closing.next();
    if (!k.close || k.open->end <= k.close->start) {
      const TimeWindow whole = *k.open;
      k.open.reset();
      return whole;
    }
    // The closing window overlaps what is left of the opening window.
    std::optional<TimeWindow> before;
    if (k.open->start < k.close->start) before = TimeWindow{k.open->start, k.close->start};
    if (k.close->end < k.open->end)
      k.open->start = k.close->end;
    else
      k.open.reset();
    if (before) return before;
  }
}

WeekSpans::WeekSpans(const std::vector<TimeWindow>& week, TimeWindow range) : week_(&week), range_(range) {
  constexpr std::int64_t kWeek = 7 * kSecondsPerDay;
  const std::int64_t since = (range.start - kRulesWeek.start).seconds();  // whole seconds, rounded down
  const std::int64_t weeks = since / kWeek - (since % kWeek < 0 ? 1 : 0);
  shift_ = Duration::FromSeconds(weeks * kWeek);
  // Spans of that week ending a whole second or more before the range clip to
  // nothing: start past them.
  const std::int64_t local_start = range.start.unix_seconds() - shift_.seconds();
  at_ = static_cast<std::size_t>(
      std::partition_point(week.begin(), week.end(),
                           [&](const TimeWindow& w) { return w.end.unix_seconds() < local_start; }) -
      week.begin());
}

// merge: equal windows are interchangeable, so an unstable sort orders them
// as a stable one would.
std::vector<TimeWindow> merge(std::vector<TimeWindow> windows) {
  std::erase_if(windows, [](const TimeWindow& w) { return is_empty(w); });
  std::sort(windows.begin(), windows.end(), window_order);
  join_sorted(windows);
  return windows;
}

std::vector<TimeWindow> loose_windows(const Calendar& c, TimeWindow range) {
  std::vector<TimeWindow> out;
  if (is_empty(range)) return out;
  StoredItems(c).over(range, [&](const IndexedItem& item) {
    if (opens(item.kind) || closes(item.kind)) out.push_back(*clip(item.window, range));
  });
  return out;
}

}  // namespace hourloom
