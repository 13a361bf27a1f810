// Rule expansion, the window merge and the open spans of a simple calendar.
#include "engine/expansion.h"

#include "reference_model.h"
#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;
using Windows = std::vector<TimeWindow>;

WeeklyRule rule(std::uint8_t d, TimeOfDay s, TimeOfDay e) { return make_weekly_rule(d, s, e).value(); }
WeeklyRule rule(Weekday d, TimeOfDay s, TimeOfDay e) {
  return rule(static_cast<std::uint8_t>(weekday_number(d)), s, e);
}

TEST(ExpandRules, OvernightOccurrenceIsPickedUpFromTheDayBefore) {
  const std::vector<WeeklyRule> rules{rule(kMon, hm(22), hm(6))};
  // Monday 22:00 - Tuesday 06:00, seen from Tuesday morning and from Monday.
  EXPECT_EQ(expand_rules(rules, win(tue(0), tue(12))), Windows{win(tue(0), tue(6))});
  EXPECT_EQ(expand_rules(rules, win(mon(0), mon(23))), Windows{win(mon(22), mon(23))});
  // Both sides of the end: the range starting at 06:00 sees nothing.
  EXPECT_EQ(expand_rules(rules, win(tue(5, 59), tue(12))), Windows{win(tue(5, 59), tue(6))});
  EXPECT_TRUE(expand_rules(rules, win(tue(6), tue(12))).empty());
}

TEST(ExpandRules, RuleEndingAtMidnightEndsAtTheFollowingMidnight) {
  const std::vector<WeeklyRule> rules{rule(kMon, hm(8), hm(0))};
  EXPECT_EQ(expand_rules(rules, win(mon(0), wed(0))), Windows{win(mon(8), tue(0))});
}

TEST(ExpandRules, SaturdayRunsIntoSunday) {
  const std::vector<WeeklyRule> rules{rule(kSat, hm(22), hm(2))};
  EXPECT_EQ(expand_rules(rules, win(sun(0), sun(12))), Windows{win(sun(0), sun(2))});
}

TEST(ExpandRules, ResultIsSortedByStartThenEndAfterClipping) {
  // Two Monday-night rules both clipped to Tuesday 00:00; the shorter sorts first.
  const std::vector<WeeklyRule> rules{rule(kTue, hm(9), hm(10)), rule(kMon, hm(20), hm(6)),
                                      rule(kMon, hm(22), hm(2)), rule(kTue, hm(1), hm(3))};
  EXPECT_EQ(expand_rules(rules, win(tue(0), tue(12))),
            (Windows{win(tue(0), tue(2)), win(tue(0), tue(6)), win(tue(1), tue(3)), win(tue(9), tue(10))}));
}

TEST(ExpandRules, RulesOfOneDayComeOutInOrderOnEveryDate) {
  // Added out of order; three share a start and differ in end, one overnight.
  const std::vector<WeeklyRule> rules{rule(kTue, hm(14), hm(15)), rule(kTue, hm(9), hm(8)),
                                      rule(kTue, hm(9), hm(10)), rule(kTue, hm(9), hm(9, 30))};
  // Over two Tuesdays; the range ends at 14:30 on the second one.
  auto tue2 = [](unsigned h, unsigned m = 0) { return at(day(8), h, m); };
  EXPECT_EQ(expand_rules(rules, win(mon(12), tue2(14, 30))),
            (Windows{win(tue(9), tue(9, 30)), win(tue(9), tue(10)), win(tue(9), wed(8)), win(tue(14), tue(15)),
                     win(tue2(9), tue2(9, 30)), win(tue2(9), tue2(10)), win(tue2(9), tue2(14, 30)),
                     win(tue2(14), tue2(14, 30))}));
}

TEST(ExpandRules, EmptyRangeAndRangeEdges) {
  const std::vector<WeeklyRule> rules{rule(kMon, hm(8), hm(9))};
  EXPECT_TRUE(expand_rules(rules, win(mon(8, 30), mon(8, 30))).empty());

  // At the earliest date there is no day before; at the latest an overnight
  // occurrence has no next date and is dropped, a same-day one is kept.
  const Date first = Date::Min();
  const Date last = Date::Max();
  const std::vector<WeeklyRule> edge{rule(first.weekday_sunday0(), hm(1), hm(2)),
                                     rule(last.weekday_sunday0(), hm(22), hm(2)),
                                     rule(last.weekday_sunday0(), hm(8), hm(9))};
  EXPECT_EQ(expand_rules(edge, win(Instant::Min(), at(first, 12))), Windows{win(at(first, 1), at(first, 2))});
  EXPECT_EQ(expand_rules(edge, win(at(last), Instant::Max())), Windows{win(at(last, 8), at(last, 9))});
}

TEST(Merge, DropsEmptyJoinsTouchingAndOverlapping) {
  EXPECT_TRUE(merge({}).empty());
  EXPECT_TRUE(merge({win(mon(8), mon(8)), win(mon(9), mon(9))}).empty());
  // Unsorted input, a contained window, a touching pair and a reversed window.
  EXPECT_EQ(merge({win(mon(12), mon(14)), win(mon(8), mon(12)), win(mon(9), mon(10)), win(mon(20), mon(19)),
                   win(mon(15), mon(16)), win(mon(15), mon(15, 30))}),
            (Windows{win(mon(8), mon(14)), win(mon(15), mon(16))}));
  // Windows one nanosecond apart stay apart.
  const Instant a = mon(8);
  const Instant b = at(day(0), 8, 0, 0, 1);
  EXPECT_EQ(merge({win(b, mon(9)), win(mon(7), a)}).size(), 2u);
}

TEST(AddEntryWindows, AppendsOnlyTheKindClippedInEntryOrder) {
  std::vector<Entry> entries{{"a", EntryKind::Open, win(mon(10), mon(12)), 0},
                             {"b", EntryKind::Closed, win(mon(9), mon(11)), 0},
                             {"c", EntryKind::Open, win(mon(6), mon(9)), 0},
                             {"d", EntryKind::Open, win(mon(1), mon(2)), 0}};
  Windows out{win(sun(1), sun(2))};
  add_entry_windows(entries, EntryKind::Open, win(mon(8), mon(11)), out);
  EXPECT_EQ(out, (Windows{win(sun(1), sun(2)), win(mon(10), mon(11)), win(mon(8), mon(9))}));
}

TEST(CalendarWindows, ClosingAlwaysBeatsOpening) {
  const TimeWindow monday = win(mon(0), tue(0));
  {
    // Open rule and a touching open window join.
    Calendar c;
    ASSERT_TRUE(add_open_rule(c, kMon, hm(8), hm(12)));
    ASSERT_TRUE(add_open_window(c, mon(12), mon(14)));
    EXPECT_EQ(calendar_windows(c, monday), Windows{win(mon(8), mon(14))});
  }
  {
    // A break splits; an open window added later over the break does not reopen it.
    Calendar c;
    ASSERT_TRUE(add_open_rule(c, kMon, hm(8), hm(17)));
    ASSERT_TRUE(add_break_rule(c, kMon, hm(12), hm(13)));
    ASSERT_TRUE(add_open_window(c, mon(12), mon(13)));
    EXPECT_EQ(calendar_windows(c, monday), (Windows{win(mon(8), mon(12)), win(mon(13), mon(17))}));
  }
  {
    // A closed window covering an open window removes it; one that only
    // touches an open span removes nothing.
    Calendar c;
    ASSERT_TRUE(add_open_window(c, mon(9), mon(10)));
    ASSERT_TRUE(add_closed_window(c, mon(8), mon(11)));
    ASSERT_TRUE(add_open_window(c, mon(14), mon(16)));
    ASSERT_TRUE(add_closed_window(c, mon(12), mon(14)));
    ASSERT_TRUE(add_closed_window(c, mon(16), mon(18)));
    EXPECT_EQ(calendar_windows(c, monday), Windows{win(mon(14), mon(16))});
  }
  {
    // One closing window cutting several opening windows, and closed entries
    // beating open entries.
    Calendar c;
    ASSERT_TRUE(add_open_rule(c, kMon, hm(8), hm(10)));
    ASSERT_TRUE(add_open_rule(c, kMon, hm(11), hm(13)));
    ASSERT_TRUE(set_entry(c, "open", EntryKind::Open, mon(15), mon(18), 0));
    ASSERT_TRUE(add_closed_window(c, mon(9), mon(12)));
    ASSERT_TRUE(set_entry(c, "shut", EntryKind::Closed, mon(16), mon(17), 0));
    EXPECT_EQ(calendar_windows(c, monday), (Windows{win(mon(8), mon(9)), win(mon(12), mon(13)),
                                                     win(mon(15), mon(16)), win(mon(17), mon(18))}));
  }
}

TEST(CalendarWindows, EmptyRangeAndNothingOpen) {
  Calendar c;
  ASSERT_TRUE(add_open_rule(c, kMon, hm(8), hm(17)));
  EXPECT_TRUE(calendar_windows(c, win(mon(9), mon(9))).empty());
  ASSERT_TRUE(add_break_rule(c, kMon, hm(7), hm(18)));
  EXPECT_TRUE(calendar_windows(c, win(mon(0), tue(0))).empty());
}

TEST(CalendarWindows, MatchesTheCuttingReferenceOverAYear) {
  Calendar c;
  for (std::uint8_t d = kMon; d <= kFri; ++d) {
    ASSERT_TRUE(add_open_rule(c, d, hm(8), hm(17)));
    ASSERT_TRUE(add_break_rule(c, d, hm(12), hm(12, 30)));
  }
  ASSERT_TRUE(add_open_rule(c, kSat, hm(22), hm(4)));
  ASSERT_TRUE(add_break_rule(c, kSun, hm(1), hm(2)));
  for (int k = 0; k < 40; k += 3) ASSERT_TRUE(add_holiday(c, day(7 * k + 2)));
  ASSERT_TRUE(add_open_window(c, at(2024, 6, 1, 10), at(2024, 6, 3, 12)));
  ASSERT_TRUE(add_closed_window(c, at(2024, 8, 5, 9), at(2024, 8, 20, 9)));
  const TimeWindow year = win(at(2024, 1, 1, 3, 30), at(2025, 1, 1, 3, 30));
  EXPECT_EQ(calendar_windows(c, year), ref::calendar_windows(c, year));
  EXPECT_EQ(expand_rules(c.open_rules, year), ref::expand_rules(c.open_rules, year));
}

}  // namespace
}  // namespace hourloom
