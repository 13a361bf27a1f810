// Rule expansion and the window merge at the edges Python cannot reach: the
// first and last representable dates and instants a nanosecond apart.
#include <random>

#include "engine/derived.h"
#include "engine/expansion.h"
#include "engine/span_stream.h"
#include "engine/state.h"

#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;
using Windows = std::vector<TimeWindow>;

WeeklyRule rule(std::uint8_t d, TimeOfDay s, TimeOfDay e) { return make_weekly_rule(d, s, e).value(); }
WeeklyRule rule(Weekday d, TimeOfDay s, TimeOfDay e) {
  return rule(static_cast<std::uint8_t>(weekday_number(d)), s, e);
}

Windows occurrences(const std::vector<WeeklyRule>& rules, TimeWindow range) {
  Windows out;
  OccurrenceStream stream(rules, range);
  while (auto w = stream.next()) out.push_back(*w);
  return out;
}

TEST(RuleOccurrences, FirstAndLastRepresentableDates) {
  // The earliest date has no day before, yet holds what an overnight rule of
  // that weekday carries over; at the latest an overnight occurrence has no
  // next date and runs to the last instant: as the point lookup sees both.
  const Date first = Date::Min();
  const Date last = Date::Max();
  const std::vector<WeeklyRule> edge{rule(first.weekday_sunday0(), hm(1), hm(2)),
                                     rule(first.add_days(6)->weekday_sunday0(), hm(23), hm(3)),
                                     rule(last.weekday_sunday0(), hm(22), hm(2)),
                                     rule(last.weekday_sunday0(), hm(8), hm(9))};
  EXPECT_EQ(occurrences(edge, win(Instant::Min(), at(first, 12))),
            (Windows{win(Instant::Min(), at(first, 3)), win(at(first, 1), at(first, 2))}));
  EXPECT_EQ(occurrences(edge, win(at(last), Instant::Max())),
            (Windows{win(at(last, 8), at(last, 9)), win(at(last, 22), Instant::Max())}));
  Calendar c;
  for (const WeeklyRule& r : edge)
    ASSERT_TRUE(add_open_rule(c, static_cast<std::uint8_t>(weekday_number(r.day())), r.start(), r.end()));
  const auto states = state_windows(c, at(last, 21), Instant::Max());
  ASSERT_TRUE(states && !states->empty());
  EXPECT_EQ(states->back().window, win(at(last, 22), Instant::Max()));
  EXPECT_EQ(states->back().capacity, get_capacity_at(c, at(last, 23)));
  const auto opening = state_windows(c, Instant::Min(), at(first, 12));
  ASSERT_TRUE(opening && !opening->empty());
  EXPECT_EQ(opening->front().window, win(Instant::Min(), at(first, 3)));
  EXPECT_EQ(opening->front().capacity, get_capacity_at(c, at(first, 2, 30)));
}

TEST(WeekSpans, ShiftedWeeksGiveTheRulesOpenSpans) {
  std::mt19937 rng(11);
  for (int round = 0; round < 60; ++round) {
    Calendar c;
    for (int k = 0; k < 4; ++k) {
      const auto d = static_cast<std::uint8_t>(rng() % 7);
      const TimeOfDay s = hm(static_cast<unsigned>(rng() % 24)), e = hm(static_cast<unsigned>(rng() % 24));
      if (s != e) {
        ASSERT_TRUE((k < 3 ? add_open_rule : add_break_rule)(c, d, s, e));
      }
    }
    const Instant from = (at(1995, 1, 1) + Duration::FromSeconds(1800 * (rng() % 800'000))).value();  // 1995-2040
    const TimeWindow range{from, (from + Duration::FromSeconds(1800 * (rng() % 1600))).value()};
    WeekSpans week(c.derived().rules_week_spans, range);
    OpenSpanStream spans(c, range, OpenSpanStream::RulesOnly{});
    for (std::optional<TimeWindow> a, b; (a = week.next(), b = spans.next(), a || b);) ASSERT_EQ(a, b);
  }
}

TEST(Merge, WindowsOneNanosecondApartStayApart) {
  const Instant a = mon(8);
  const Instant b = at(day(0), 8, 0, 0, 1);
  EXPECT_EQ(merge({win(b, mon(9)), win(mon(7), a)}), (Windows{win(mon(7), a), win(b, mon(9))}));
  EXPECT_EQ(merge({win(a, mon(9)), win(mon(7), b)}), Windows{win(mon(7), mon(9))});
}

}  // namespace
}  // namespace hourloom
