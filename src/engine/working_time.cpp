#include "engine/working_time.h"

#include <utility>

#include "engine/derived.h"
#include "engine/expansion.h"
#include "engine/span_stream.h"
#include "engine/state.h"

namespace hourloom {

namespace {

// chunk_boundary: whether t lies a whole number of weeks after start.
bool chunk_boundary(Instant start, Instant t) {
  const Duration since = t - start;
  return since.nanos() == 0 && since.seconds() % kChunkLength.seconds() == 0;
}

// Consumes open time from start: the result when `remaining` is used up, with
// the consumed part of each stretch appended to *steps when steps is given.
// Consuming window by window gives the stretch-by-stretch answer: a stretch
// split in two is used up at the same instant. Only the trace needs stretches,
// and they end where open time ends or at a chunk boundary.
Result<Instant> consume(const Calendar& c, Instant start, Duration d, std::optional<Instant> horizon,
                        TimeWindow reach, std::vector<WorkingTimeTraceStep>* steps) {
  if (d.is_negative()) return fail(ErrorKind::Value, msg::kNegativeDuration);
  if (d.is_zero()) return start;
  StateWalk walk(c, start, search_horizon(start, horizon, reach));
  Duration remaining = d;
  TimeWindow stretch{};  // the trace's current stretch, consumed whole so far
  bool in_stretch = false;
  auto close_stretch = [&] {
    if (in_stretch) steps->push_back({stretch, length(stretch)});
    in_stretch = false;
  };
  while (true) {
    auto s = walk.next();
    if (!s) return Unexpected(s.error());
    if (!*s) return fail(ErrorKind::Runtime, msg::kWorkNotFound);
    if (!(*s)->can_work()) {
      if (steps) close_stretch();
      continue;
    }
    TimeWindow w = (*s)->window;
    if (!steps) {
      const Duration available = length(w);
      if (remaining <= available) return (w.start + remaining).value();
      remaining = *(remaining - available);  // remaining > available >= 0
      continue;
    }
    // Trace: walk the window a chunk at a time.
    while (w.start < w.end) {
      if (in_stretch && (stretch.end != w.start || chunk_boundary(start, w.start))) close_stretch();
      if (!in_stretch) stretch = {w.start, w.start};
      in_stretch = true;
      const Duration since = w.start - start;
      const Duration to_boundary =
          *(kChunkLength - Duration::FromNormalized(since.seconds() % kChunkLength.seconds(), since.nanos()));
      const Instant piece_end = capped_add(w.start, to_boundary, w.end);
      const Duration available = piece_end - w.start;
      if (remaining <= available) {
        stretch.end = (w.start + remaining).value();
        close_stretch();
        return stretch.end;
      }
      remaining = *(remaining - available);  // remaining > available >= 0
      stretch.end = piece_end;
      w.start = piece_end;
    }
  }
}

// open_time: the summed lengths of the open spans in [from, to).
Result<Duration> open_time(OpenSpanStream spans) {
  Duration total;
  while (auto span = spans.next()) {
    auto sum = total + length(*span);
    if (!sum) return Unexpected(sum.error());
    total = *sum;
  }
  return total;
}
Result<Duration> open_time(const Calendar& c, Instant from, Instant to) {
  return open_time(OpenSpanStream(c, TimeWindow{from, to}));
}

// stored_windows: the union of the one-off windows and entries that reach into
// a range, clipped and sorted: where the weekly rules alone do not decide. On
// plain open spans only the Open and Closed sides change open time.
std::vector<TimeWindow> stored_windows(const Calendar& c, TimeWindow range) {
  return merge(loose_windows(c, range));
}

// Open time of plain open spans by weeks. The weekly rules repeat every 7
// days, so any 7 days that no stored window reaches hold the same open time:
// it is kept with the calendar's derived data and counted for every such
// week. The weeks that stored windows reach, and the last part week, are expanded.
Result<Duration> open_time_by_weeks(const Calendar& c, Instant start, Instant end) {
  const std::vector<TimeWindow> stored = stored_windows(c, {start, end});
  const Duration clean_week = c.derived().rules_week_open_time;
  Duration total;
  auto add = [&](Result<Duration> part) {
    if (part) part = total + *part;
    if (part) total = *part;
    return part.has_value();
  };
  Instant expand_from = start;  // start of the time not yet counted
  std::size_t next = 0;
  for (Instant x = start; x < end;) {
    const Instant y = capped_add(x, kChunkLength, end);
    while (next < stored.size() && !(x < stored[next].end)) ++next;
    if (y - x == kChunkLength && (next == stored.size() || !(stored[next].start < y))) {
      if (expand_from < x && !add(open_time(c, expand_from, x))) return fail(ErrorKind::Internal, msg::kDurationOverflow);
      if (!add(clean_week)) return fail(ErrorKind::Internal, msg::kDurationOverflow);
      expand_from = y;
    }
    x = y;
  }
  if (expand_from < end && !add(open_time(c, expand_from, end))) return fail(ErrorKind::Internal, msg::kDurationOverflow);
  return total;
}

}  // namespace

Result<Duration> get_working_duration(const Calendar& c, Instant start, Instant end) {
  if (end < start) return fail(ErrorKind::Value, msg::kEndBeforeStart);
  if (plain_open_spans(c)) {
    if (c.default_capacity() < 1) return Duration::Zero();
    // Away from the ends of the representable dates, where expansion stops.
    if (clear_of_date_ends(start, end)) return open_time_by_weeks(c, start, end);
  }
  StateWalk walk(c, start, end);
  Duration total;
  while (true) {
    auto s = walk.next();
    if (!s) return Unexpected(s.error());
    if (!*s) return total;
    if (!(*s)->can_work()) continue;
    auto sum = total + length((*s)->window);
    if (!sum) return Unexpected(sum.error());
    total = *sum;
  }
}

Result<Instant> add_work_duration(const Calendar& c, Instant start, Duration d, std::optional<Instant> horizon,
                                  TimeWindow reach) {
  return consume(c, start, d, horizon, reach, nullptr);
}

Result<WorkingTimeTrace> trace_work_duration(const Calendar& c, Instant start, Duration d,
                                             std::optional<Instant> horizon, TimeWindow reach) {
  WorkingTimeTrace trace{start, d, start, {}};
  auto result = consume(c, start, d, horizon, reach, &trace.steps);
  if (!result) return Unexpected(result.error());
  trace.result = *result;
  return trace;
}

Result<std::optional<TimeWindow>> first_slot_range(Instant start, Duration d, Capacity minimum,
                                                   std::optional<Instant> horizon, TimeWindow reach) {
  if (d.is_negative()) return fail(ErrorKind::Value, msg::kNegativeDuration);
  if (auto ok = require_positive_capacity(minimum); !ok) return Unexpected(ok.error());
  const Instant end = search_horizon(start, horizon, reach);
  if (!(start < end) || end - start < d) return std::nullopt;
  return TimeWindow{start, end};
}

Result<std::optional<TimeWindow>> find_first_slot(const Calendar& c, Instant start, Duration d, Capacity minimum,
                                                  std::optional<Instant> horizon, TimeWindow reach) {
  const auto range = first_slot_range(start, d, minimum, horizon, reach);
  if (!range || !*range) return range;
  const Instant end = (*range)->end;
  StateWalk walk(c, start, end);
  SlotScan scan(d, minimum, end);
  while (true) {
    auto s = walk.next();
    if (!s) return Unexpected(s.error());
    if (!*s) return std::nullopt;
    switch (scan.feed(**s)) {
      case SlotScan::Step::More: break;
      case SlotScan::Step::Found: return scan.slot();
      case SlotScan::Step::Hopeless: return std::nullopt;
    }
  }
}

}  // namespace hourloom
