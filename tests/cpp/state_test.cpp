// State windows, capacity at an instant, and the window lists and coverage
// answers derived from them. Timelines are drawn as
//   00 ---- 08 ==1== 12 -- 13 ==1== 17 ---- 24
// with "--" closed (capacity 0) and "==n==" open with capacity n.
#include "engine/state.h"

#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;
using States = std::vector<StateWindow>;
using Windows = std::vector<TimeWindow>;

constexpr Error kEndBefore{ErrorKind::Value, msg::kEndBeforeStart};
constexpr Error kNotPositive{ErrorKind::Value, msg::kCapacityNotPositive};

// states: state_windows over [a, b), checked against the invariant.
States states(const Calendar& c, Instant a, Instant b) {
  auto r = state_windows(c, a, b);
  EXPECT_TRUE(r.has_value());
  if (!r) return {};
  EXPECT_TRUE(check_state_windows(*r, a, b));
  return *r;
}

// Monday 08:00-17:00 open.
Calendar monday_8_17() {
  Calendar c;
  EXPECT_TRUE(add_open_rule(c, kMon, hm(8), hm(17)));
  return c;
}

TEST(StateWindows, RangeChecks) {
  Calendar c = monday_8_17();
  EXPECT_TRUE(states(c, mon(9), mon(9)).empty());
  EXPECT_EQ(state_windows(c, mon(9), mon(8)).error(), kEndBefore);
  EXPECT_EQ(state_windows(make_composite({c}), mon(9), mon(8)).error(), kEndBefore);
  EXPECT_TRUE(states(make_composite({c}), mon(9), mon(9)).empty());
}

TEST(StateWindows, NothingOpenIsOneClosedWindow) {
  Calendar c;
  ASSERT_TRUE(add_capacity_override(c, mon(8), mon(9), 5));  // never opens time
  ASSERT_TRUE(set_entry(c, "cap", EntryKind::WithCapacity, mon(10), mon(11), 5));
  EXPECT_EQ(states(c, mon(0), wed(0)), States{sw(mon(0), wed(0), 0)});
}

TEST(StateWindows, OverrideReachingIntoOpenTimeFromClosedTime) {
  // override 06-10 (3) and 16-20 (4): 00 ---- 08 ==3== 10 ==1== 16 ==4== 17 ---- 24
  Calendar c = monday_8_17();
  ASSERT_TRUE(add_capacity_override(c, mon(6), mon(10), 3));
  ASSERT_TRUE(add_capacity_override(c, mon(16), mon(20), 4));
  EXPECT_EQ(states(c, mon(0), tue(0)), (States{sw(mon(0), mon(8), 0), sw(mon(8), mon(10), 3),
                                               sw(mon(10), mon(16), 1), sw(mon(16), mon(17), 4),
                                               sw(mon(17), tue(0), 0)}));
}

TEST(StateWindows, LatestOverrideWinsAndTheNextLatestTakesOver) {
  // Three layers: the oldest one ends inside the newest, the middle one
  // outlives it. 08 ==7== 09 ==9== 13 ==8== 14 ==1== 17
  Calendar n = monday_8_17();
  ASSERT_TRUE(add_capacity_override(n, mon(8), mon(12), 7));
  ASSERT_TRUE(add_capacity_override(n, mon(9), mon(14), 8));
  ASSERT_TRUE(add_capacity_override(n, mon(9), mon(13), 9));
  EXPECT_EQ(states(n, mon(8), mon(17)), (States{sw(mon(8), mon(9), 7), sw(mon(9), mon(13), 9),
                                                sw(mon(13), mon(14), 8), sw(mon(14), mon(17), 1)}));
}

TEST(StateWindows, ZeroCapacityJoinsTheClosedNeighbours) {
  Calendar c = monday_8_17();
  // Capacity 0 at both ends of the open time joins the closed neighbours.
  // 00 ---------- 09 ==1== 16 ---------- 24
  ASSERT_TRUE(add_capacity_override(c, mon(7), mon(9), 0));
  ASSERT_TRUE(set_entry(c, "z", EntryKind::WithCapacity, mon(16), mon(18), 0));
  EXPECT_EQ(states(c, mon(0), tue(0)),
            (States{sw(mon(0), mon(9), 0), sw(mon(9), mon(16), 1), sw(mon(16), tue(0), 0)}));
}

TEST(StateWindows, LayersInsideClosedGapsAreSkippedCleanly) {
  // Mon 08-10 and 14-17 open; short overrides in the closed gap must not leak
  // into the afternoon, the long one below them must.
  Calendar c;
  ASSERT_TRUE(add_open_rule(c, kMon, hm(8), hm(10)));
  ASSERT_TRUE(add_open_rule(c, kMon, hm(14), hm(17)));
  ASSERT_TRUE(add_capacity_override(c, mon(9), mon(16), 2));
  ASSERT_TRUE(add_capacity_override(c, mon(11), mon(12), 7));
  ASSERT_TRUE(add_capacity_override(c, mon(12), mon(13), 8));
  ASSERT_TRUE(add_capacity_override(c, mon(10), mon(14), 9));
  // 08 ==1== 09 ==2== 10 ------ 14 ==2== 16 ==1== 17
  EXPECT_EQ(states(c, mon(8), mon(17)), (States{sw(mon(8), mon(9), 1), sw(mon(9), mon(10), 2),
                                                sw(mon(10), mon(14), 0), sw(mon(14), mon(16), 2),
                                                sw(mon(16), mon(17), 1)}));
}

TEST(StateWindows, NestedCompositesAndZeroCapacityComponents) {
  Calendar a;
  ASSERT_TRUE(add_open_rule(a, kMon, hm(8), hm(17)));
  ASSERT_TRUE(set_default_capacity(a, 4));
  Calendar b;
  ASSERT_TRUE(add_open_rule(b, kMon, hm(10), hm(20)));
  ASSERT_TRUE(set_default_capacity(b, 2));
  const Calendar ab = make_composite({a, b});  // 10-17 with capacity 2

  // Nested: a third calendar open all Monday with an override of 1 from 12 to 13.
  Calendar c;
  ASSERT_TRUE(add_open_window(c, mon(0), tue(0)));
  ASSERT_TRUE(add_capacity_override(c, mon(12), mon(13), 1));
  ASSERT_TRUE(set_default_capacity(c, 9));
  const Calendar nested = make_composite({ab, c});
  // 00 ------ 10 ==2== 12 ==1== 13 ==2== 17 ------ 24
  EXPECT_EQ(states(nested, mon(0), tue(0)),
            (States{sw(mon(0), mon(10), 0), sw(mon(10), mon(12), 2), sw(mon(12), mon(13), 1),
                    sw(mon(13), mon(17), 2), sw(mon(17), tue(0), 0)}));

  // A component whose open time has capacity 0 closes the composite there:
  // 00 ---------- 12 ==1== 13 ---------- 24
  Calendar zero = c;
  ASSERT_TRUE(set_default_capacity(zero, 0));
  const Calendar with_zero = make_composite({zero, ab});
  EXPECT_EQ(states(with_zero, mon(0), tue(0)),
            (States{sw(mon(0), mon(12), 0), sw(mon(12), mon(13), 1), sw(mon(13), tue(0), 0)}));
  EXPECT_EQ(get_capacity_at(with_zero, mon(12, 30)), 1);
  EXPECT_EQ(get_capacity_at(with_zero, mon(11)), 0);
}

TEST(CapacityAt, BothSidesOfRuleBoundaries) {
  Calendar c;
  ASSERT_TRUE(add_open_rule(c, kMon, hm(22), hm(6)));
  ASSERT_TRUE(add_open_rule(c, kWed, hm(8), hm(0)));
  ASSERT_TRUE(add_open_rule(c, kSat, hm(23), hm(1)));
  ASSERT_TRUE(set_default_capacity(c, 3));
  EXPECT_EQ(get_capacity_at(c, mon(21, 59)), 0);
  EXPECT_EQ(get_capacity_at(c, mon(22)), 3);
  EXPECT_EQ(get_capacity_at(c, tue(5, 59)), 3);
  EXPECT_EQ(get_capacity_at(c, tue(6)), 0);
  EXPECT_EQ(get_capacity_at(c, at(day(2), 23, 59, 59, 999'999'999)), 3);
  EXPECT_EQ(get_capacity_at(c, at(day(3))), 0);  // Thursday 00:00
  EXPECT_EQ(get_capacity_at(c, at(day(6), 0, 30)), 3);  // Sunday after Saturday night
  EXPECT_EQ(get_capacity_at(c, sun(0, 30)), 3);  // and the Sunday before
  // Breaks and closed windows win at the instant; their ends are exclusive.
  ASSERT_TRUE(add_break_rule(c, kTue, hm(1), hm(2)));
  ASSERT_TRUE(set_entry(c, "x", EntryKind::Closed, tue(3), tue(4), 0));
  EXPECT_EQ(get_capacity_at(c, tue(1, 59)), 0);
  EXPECT_EQ(get_capacity_at(c, tue(2)), 3);
  EXPECT_EQ(get_capacity_at(c, tue(3)), 0);
  EXPECT_EQ(get_capacity_at(c, tue(4)), 3);
}

TEST(CapacityAt, OpenEntriesAndWindowsOpenAndOverridesNeverDo) {
  Calendar c;
  ASSERT_TRUE(add_capacity_override(c, mon(8), mon(18), 5));
  EXPECT_EQ(get_capacity_at(c, mon(9)), 0);
  ASSERT_TRUE(set_entry(c, "o", EntryKind::Open, mon(9), mon(10), 0));
  ASSERT_TRUE(add_open_window(c, mon(11), mon(12)));
  EXPECT_EQ(get_capacity_at(c, mon(9)), 5);
  EXPECT_EQ(get_capacity_at(c, mon(10)), 0);
  EXPECT_EQ(get_capacity_at(c, mon(11, 30)), 5);
  // An entry that changes kind stops opening time.
  ASSERT_TRUE(set_entry(c, "o", EntryKind::WithCapacity, mon(9), mon(10), 1));
  EXPECT_EQ(get_capacity_at(c, mon(9)), 0);
}

TEST(DerivedWindows, CapacityWindowsJoinAcrossCapacities) {
  // 08 ==2== 10 ==3== 12 ==1== 13 -- 24
  Calendar c;
  ASSERT_TRUE(add_open_rule(c, kMon, hm(8), hm(13)));
  ASSERT_TRUE(add_capacity_override(c, mon(8), mon(10), 2));
  ASSERT_TRUE(add_capacity_override(c, mon(10), mon(12), 3));
  EXPECT_EQ(get_capacity_windows(c, mon(0), tue(0), 2), Windows{win(mon(8), mon(12))});
  EXPECT_EQ(get_capacity_windows(c, mon(0), tue(0), 3), Windows{win(mon(10), mon(12))});
  EXPECT_EQ(get_capacity_windows(c, mon(0), tue(0), 4), Windows{});
  EXPECT_EQ(get_open_windows(c, mon(0), tue(0)), Windows{win(mon(8), mon(13))});
  EXPECT_EQ(get_unavailable_windows(c, mon(0), tue(0)), (Windows{win(mon(0), mon(8)), win(mon(13), tue(0))}));

  EXPECT_EQ(get_capacity_windows(c, tue(0), mon(0), 0).error(), kNotPositive);  // minimum before range
  EXPECT_EQ(get_capacity_windows(c, tue(0), mon(0), 1).error(), kEndBefore);
  EXPECT_EQ(get_open_windows(c, tue(0), mon(0)).error(), kEndBefore);
  EXPECT_EQ(get_unavailable_windows(c, tue(0), mon(0)).error(), kEndBefore);
  EXPECT_EQ(get_unavailable_windows(c, mon(9), mon(9)), Windows{});
}

TEST(Coverage, TouchingWindowsAreContinuous) {
  const TimeWindow range = win(mon(8), mon(12));
  EXPECT_TRUE(covers(range, {win(mon(8), mon(10)), win(mon(10), mon(12))}));
  EXPECT_TRUE(covers(range, {win(mon(1), mon(2)), win(mon(7), mon(13))}));  // window before is skipped
  EXPECT_FALSE(covers(range, {win(mon(8), mon(10)), win(mon(10, 1), mon(12))}));
  EXPECT_FALSE(covers(range, {win(mon(8, 1), mon(12))}));
  EXPECT_FALSE(covers(range, {win(mon(8), mon(11, 59))}));
  EXPECT_FALSE(covers(range, {}));
}

TEST(Coverage, CanWorkAndHasCapacityOverAWindow) {
  // 08 ==2== 10 ==1== 12
  Calendar c;
  ASSERT_TRUE(add_open_rule(c, kMon, hm(8), hm(12)));
  ASSERT_TRUE(add_capacity_override(c, mon(8), mon(10), 2));
  EXPECT_EQ(window_can_work(c, win(mon(8), mon(12))), true);
  EXPECT_EQ(window_has_capacity(c, win(mon(8), mon(12)), 2), false);
  EXPECT_EQ(window_has_capacity(c, win(mon(8), mon(10)), 2), true);
  EXPECT_EQ(window_can_work(c, win(mon(7, 59), mon(12))), false);
  EXPECT_EQ(window_can_work(c, win(mon(8), mon(12, 1))), false);
  ASSERT_TRUE(add_break_rule(c, kMon, hm(10), hm(10, 30)));
  EXPECT_EQ(window_can_work(c, win(mon(8), mon(12))), false);

  // Empty windows are always covered, even where nothing is ever open.
  EXPECT_EQ(window_can_work(Calendar{}, win(mon(9), mon(9))), true);
  EXPECT_EQ(window_has_capacity(Calendar{}, win(mon(9), mon(9)), 5), true);
  EXPECT_EQ(window_has_capacity(Calendar{}, win(mon(9), mon(9)), 0).error(), kNotPositive);
  EXPECT_EQ(window_has_capacity(c, win(mon(8), mon(9)), -3).error(), kNotPositive);
}

}  // namespace
}  // namespace hourloom
