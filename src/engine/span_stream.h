// Streams behind the open spans of a simple calendar: rule occurrences in
// order, unions of sorted windows, and opening minus closing, each produced
// one window at a time. Only lists proportional to the stored rules, windows
// and entries are held; nothing proportional to the length of the range, so
// the state sweep's output is the only list that grows with it.
//   OpenSpanStream spans(cal, range);
//   while (auto span = spans.next()) use(*span);  // ordered, separated, non-empty
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

#include "engine/calendar.h"

namespace hourloom {

// reservation: how much of an upper bound to reserve up front. Large results
// grow past it; the cap keeps an overestimate on a huge range from claiming
// memory that the result never uses.
constexpr std::size_t reservation(std::size_t bound) {
  constexpr std::size_t kCap = std::size_t{1} << 18;
  return bound < kCap ? bound : kCap;
}

// InlineList: a list of trivially copyable values kept in place while it
// holds at most N of them, on the heap beyond that. The streams below are
// built per question; a calendar's few rules then cost no allocation.
template <class T, std::size_t N>
class InlineList {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  InlineList() {}  // leaves the in-place slots unset: only the first size() are read
  void push_back(const T& v) {
    if (size_ < N) {
      local_[size_++] = v;
      return;
    }
    if (size_ == N) spill_.assign(local_, local_ + N);
    spill_.push_back(v);
    ++size_;
  }
  void resize(std::size_t n) {  // growth only; new values are unspecified
    while (size_ < n) push_back(T{});
  }
  T* data() { return size_ <= N ? local_ : spill_.data(); }
  const T* data() const { return size_ <= N ? local_ : spill_.data(); }
  T* begin() { return data(); }
  T* end() { return data() + size_; }
  std::size_t size() const { return size_; }
  const T& operator[](std::size_t i) const { return data()[i]; }
  T& operator[](std::size_t i) { return data()[i]; }

 private:
  union {
    T local_[N];
  };
  std::vector<T> spill_;
  std::size_t size_ = 0;
};

// OccurrenceStream: the occurrences of weekly rules on every date from the day
// before range.start's date to range.end's date, clipped to the range, in
// (start, end) order.
class OccurrenceStream {
 public:
  OccurrenceStream(const std::vector<WeeklyRule>& rules, TimeWindow range);
  std::optional<TimeWindow> next();
  std::size_t bound() const;  // at most this many occurrences in all

 private:
  void fill_dates_through(Date last);
  // rule: the k-th rule in (weekday, occurrence) order.
  const WeeklyRule& rule(std::uint32_t k) const { return (*rules_)[in_order_ ? k : by_day_[k]]; }

  const std::vector<WeeklyRule>* rules_;
  TimeWindow range_;
  std::array<std::uint32_t, kDaysPerWeek + 1> offset_{};  // rules of weekday w: by_day_[offset_[w], offset_[w + 1])
  InlineList<std::uint32_t, 16> by_day_;   // per weekday, ordered by (start, overnight, end)
  InlineList<TimeWindow, 8> head_;         // sorted occurrences that clipping may have reordered
  std::size_t head_pos_ = 0;
  Date date_;                              // next date to expand lazily
  Weekday weekday_ = Weekday::Sunday;
  std::uint32_t slot_ = 0;                 // next rule index within the date's bucket
  bool lazy_ = false;                      // dates after the head remain to be expanded
  bool in_order_ = true;                   // the rules are stored in that order: by_day_ unused
};

// UnionStream: the merge of an occurrence stream and a sorted list of loose
// windows: sorted, separated, overlapping or touching windows joined.
class UnionStream {
 public:
  UnionStream(const std::vector<WeeklyRule>& rules, TimeWindow range);
  // add_loose: one more loose window, in any order, before the first next().
  void add_loose(TimeWindow w) { loose_.push_back(w); }
  std::optional<TimeWindow> next();
  std::size_t bound() const;  // at most this many windows in all

 private:
  std::optional<TimeWindow> next_raw();

  OccurrenceStream occurrences_;
  InlineList<TimeWindow, 4> loose_;  // sorted when the stream starts
  std::size_t loose_pos_ = 0;
  std::optional<TimeWindow> occurrence_;  // the occurrence stream's lookahead
  std::optional<TimeWindow> pending_;     // the next raw window not yet joined
  bool started_ = false;
};

// kRulesWeek: the week, a Sunday to a Sunday well inside the representable
// dates, whose open spans stand for every week that no stored window reaches.
inline constexpr TimeWindow kRulesWeek{
    Instant::FromParts(Date::FromCivil(2000, 12, 31).value(), {}),
    Instant::FromParts(Date::FromCivil(2001, 1, 7).value(), {})};

// clear_of_date_ends: whether [from, to] lies more than two weeks inside the
// representable dates, where the weekly rules repeat unclipped (as WeekSpans
// and the open time of whole weeks need).
inline constexpr Duration kDateEndMargin = Duration::FromSeconds(14 * kSecondsPerDay);
constexpr bool clear_of_date_ends(Instant from, Instant to) {
  constexpr Instant kLow = (Instant::Min() + kDateEndMargin).value();
  constexpr Instant kHigh = (Instant::Max() - kDateEndMargin).value();
  return kLow < from && to < kHigh;
}

// WeekSpans: the open spans of a range that no stored window reaches and that
// lies at least two weeks inside the representable dates, made by shifting
// the rules' open spans of kRulesWeek by whole weeks (the weekly rules repeat
// every 7 days). Spans meeting at a week's edge are joined, so they come out
// as OpenSpanStream gives them.
class WeekSpans {
 public:
  WeekSpans(const std::vector<TimeWindow>& week, TimeWindow range);
  std::optional<TimeWindow> next();
  std::size_t bound() const;  // at most this many spans in all

 private:
  std::optional<TimeWindow> next_piece();

  const std::vector<TimeWindow>* week_;
  TimeWindow range_;
  Duration shift_;      // from kRulesWeek to the week being read
  std::size_t at_ = 0;  // the next span of that week
  std::optional<TimeWindow> pending_;
  bool started_ = false;
};

// OpenSpanStream: the open spans of a simple calendar over a range, in order:
// the union of the opening windows minus the union of the closing windows.
// They come merged: pieces of one opening window are separated by non-empty
// closing windows, and different opening windows are separated to begin with.
// Where no stored opening window reaches the range and it lies clear of the
// date ends, the rules' part (open rules minus break rules) is read from the
// calendar's week of rule spans rather than expanded; closing windows (a
// holiday) are then taken from those spans.
class OpenSpanStream {
 public:
  OpenSpanStream(const Calendar& c, TimeWindow range);
  // The same over a range that no stored window or entry overlaps (the caller
  // knows): the weekly rules alone, expanded, without looking for loose windows.
  struct RulesOnly {};
  OpenSpanStream(const Calendar& c, TimeWindow range, RulesOnly);
  std::optional<TimeWindow> next();
  // bound: at most this many open spans in all: every opening window may be
  // split once by each closing window, so spans <= opening + closing windows.
  std::size_t bound() const;

 private:
  struct Loose;  // the stored windows reaching into the range, by side
  OpenSpanStream(const Calendar& c, TimeWindow range, Loose&& loose);
  std::optional<TimeWindow> next_cut();

  // Cut: an opening side minus a closing side.
  struct Cut {
    Cut(const std::vector<WeeklyRule>& open_rules, const std::vector<WeeklyRule>& break_rules, TimeWindow range)
        : opening(open_rules, range), closing(break_rules, range) {}
    UnionStream opening;              // the open rules unless the week serves; the loose opening windows
    UnionStream closing;              // the break rules unless the week serves; the loose closing windows
    std::optional<TimeWindow> open;   // rest of the current opening window
    std::optional<TimeWindow> close;  // current closing window
    bool started = false;
  };
  std::optional<WeekSpans> week_;  // the rules' spans, when read from the week
  std::optional<Cut> cut_;         // absent when the week's spans are the answer as they are
};

// The reads are defined here, so that a walk asking for one span at a time
// inlines them.

// next_piece: the next span of the shifted weeks that reaches into the range, clipped.
inline std::optional<TimeWindow> WeekSpans::next_piece() {
  const std::vector<TimeWindow>& week = *week_;
  if (week.empty()) return std::nullopt;
  for (;;) {
    if (at_ == week.size()) {
      shift_ = (shift_ + length(kRulesWeek)).value();
      at_ = 0;
    }
    const TimeWindow w{(week[at_].start + shift_).value(), (week[at_].end + shift_).value()};
    ++at_;
    if (!(range_.end > w.start)) return std::nullopt;
    if (auto piece = clip(w, range_)) return piece;
  }
}

inline std::size_t WeekSpans::bound() const {
  constexpr std::int64_t kWeek = 7 * kSecondsPerDay;
  return week_->size() * static_cast<std::size_t>(length(range_).seconds() / kWeek + 2);
}

inline std::optional<TimeWindow> WeekSpans::next() {
  if (!started_) {
    started_ = true;
    pending_ = next_piece();
  }
  if (!pending_) return std::nullopt;
  TimeWindow joined = *pending_;
  while ((pending_ = next_piece()) && pending_->start == joined.end) joined.end = pending_->end;
  return joined;
}

// next: the week's spans as they are when nothing cuts them (the common case
// of a walk's first week), else the rest of the current opening window up to
// the next closing window that cuts it.
inline std::optional<TimeWindow> OpenSpanStream::next() {
  if (!cut_) return week_->next();
  return next_cut();
}

}  // namespace hourloom
