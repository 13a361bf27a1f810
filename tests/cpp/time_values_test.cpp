// Value arithmetic at the edges of its range: durations built from parts,
// microsecond totals, instant and date arithmetic that must report overflow
// rather than wrap, weekdays, and the value-type properties the engine relies on.
#include <cstdint>
#include <limits>
#include <type_traits>

#include "test_support.h"
#include "time/records.h"
#include "time/weekly_rule.h"

namespace hourloom {
namespace {

using namespace test;

// The value types are plain trivially copyable values.
template <typename... T>
constexpr bool kPlainValues = (std::is_trivially_copyable_v<T> && ...);
static_assert(kPlainValues<Date, TimeOfDay, Duration, Instant, TimeWindow, WeeklyRule, CapacityWindow, StateWindow>);
static_assert(sizeof(Instant) == 16 && sizeof(TimeWindow) == 32);
// Construction and ordering work at compile time.
static_assert(Date::FromCivil(1970, 1, 1)->days() == 0);
static_assert(Date::FromCivil(1970, 1, 1)->weekday_sunday0() == Weekday::Thursday);
static_assert(Instant::Min() < Instant::Max());
static_assert(Duration::Min() < Duration::Zero() && Duration::Zero() < Duration::Max());

constexpr std::int64_t kMaxSeconds = INT64_MAX / 1000;  // the duration range in whole seconds
constexpr Error kDurationOverflow{ErrorKind::Internal, msg::kDurationOverflow};

TEST(DurationFromParts, NormalisesMicrosecondsByFloorDivision) {
  EXPECT_EQ(Duration::FromParts(0, 0, -1).value(), Duration::FromNormalized(-1, 999'999'000));
  EXPECT_EQ(Duration::FromParts(0, 0, -1'500'000).value(), Duration::FromNormalized(-2, 500'000'000));
  EXPECT_EQ(Duration::FromParts(1, -86'400, 0).value(), Duration::Zero());
  EXPECT_EQ(Duration::FromParts(-1, 0, 86'400'000'000).value(), Duration::Zero());
}

TEST(DurationFromParts, RangeIsExactlyPlusMinusInt64MaxMilliseconds) {
  // Largest: kMaxSeconds + 0.807 s; one microsecond more is out of range.
  EXPECT_EQ(Duration::FromParts(0, kMaxSeconds, 807'000).value(), Duration::Max());
  EXPECT_EQ(Duration::FromParts(0, kMaxSeconds, 807'001).error(), kDurationOverflow);
  // Smallest: -(kMaxSeconds + 0.807 s) = {-kMaxSeconds - 1, 0.193 s}.
  EXPECT_EQ(Duration::FromParts(0, -kMaxSeconds, -807'000).value(), Duration::Min());
  EXPECT_EQ(Duration::FromParts(0, -kMaxSeconds, -807'001).error(), kDurationOverflow);
}

TEST(DurationFromParts, EachTermIsCheckedBeforeTheSum) {
  // The seconds term alone is out of range although the sum would fit.
  EXPECT_EQ(Duration::FromParts(0, kMaxSeconds + 1, -2'000'000).error(), kDurationOverflow);
  EXPECT_EQ(Duration::FromParts(0, -kMaxSeconds - 1, 193'000).error(), kDurationOverflow);
  EXPECT_EQ(Duration::FromParts(-1, kMaxSeconds + 1, 0).error(), kDurationOverflow);
  const std::int64_t max_days = kMaxSeconds / 86'400;
  EXPECT_TRUE(Duration::FromParts(max_days, 0, 0));
  EXPECT_EQ(Duration::FromParts(max_days + 1, -86'400, 0).error(), kDurationOverflow);
  // days x 86400 overflowing 64 bits is reported, not wrapped.
  EXPECT_EQ(Duration::FromParts(INT64_MAX, 0, 0).error(), kDurationOverflow);
  EXPECT_EQ(Duration::FromParts(INT64_MIN, 0, 0).error(), kDurationOverflow);
  EXPECT_TRUE(Duration::FromParts(0, 0, INT64_MIN));
}

TEST(DurationTotalMicros, TruncatesTowardZero) {
  EXPECT_EQ(Duration::FromNormalized(-1, 999'999'999).total_micros(), 0);       // -1 ns
  EXPECT_EQ(Duration::FromNormalized(-1, 999'998'500).total_micros(), -1);      // -1.5 us
  EXPECT_EQ(Duration::FromNormalized(0, 1'500).total_micros(), 1);
  EXPECT_EQ(Duration::FromNormalized(-2, 500'000'000).total_micros(), -1'500'000);
}

TEST(DurationTotalMicros, FailsExactlyBeyondSixtyFourBits) {
  // INT64_MAX microseconds = 9223372036854.775807 s.
  EXPECT_EQ(Duration::FromNormalized(9'223'372'036'854, 775'807'999).total_micros(), INT64_MAX);
  EXPECT_EQ(Duration::FromNormalized(9'223'372'036'854, 775'808'000).total_micros(), std::nullopt);
  // INT64_MIN microseconds; a further nanosecond truncates back to it.
  EXPECT_EQ(Duration::FromNormalized(-9'223'372'036'855, 224'192'000).total_micros(), INT64_MIN);
  EXPECT_EQ(Duration::FromNormalized(-9'223'372'036'855, 224'191'001).total_micros(), INT64_MIN);
  EXPECT_EQ(Duration::FromNormalized(-9'223'372'036'855, 224'191'000).total_micros(), std::nullopt);
  EXPECT_EQ(Duration::Max().total_micros(), std::nullopt);
}

TEST(DurationTicks, DropSubMicrosecondPartsAndReportOverflow) {
  EXPECT_EQ(duration_to_ticks(Duration::FromSeconds(1)), 10'000'000);
  EXPECT_EQ(duration_to_ticks(Duration::FromNormalized(0, 1'500)), 10);
  EXPECT_EQ(duration_to_ticks(Duration::FromNormalized(-1, 999'998'500)), -10);
  EXPECT_EQ(duration_to_ticks(Duration::FromNormalized(0, 150)), 0);
  // Fits as microseconds, not as ticks.
  EXPECT_EQ(duration_to_ticks(Duration::FromSeconds(1'000'000'000'000)).error(),
            (Error{ErrorKind::Overflow, msg::kTickOverflow}));
}

TEST(DurationSum, CarriesNanosecondsAndReportsOverflow) {
  EXPECT_EQ(Duration::FromNormalized(0, 600'000'000) + Duration::FromNormalized(0, 700'000'000),
            Duration::FromNormalized(1, 300'000'000));
  EXPECT_EQ(Duration::Max() + Duration::Min(), Duration::Zero());  // the range is symmetric
  EXPECT_EQ((Duration::Max() + Duration::FromNormalized(0, 1)).error(), kDurationOverflow);
  EXPECT_EQ((Duration::Min() + Duration::FromNormalized(-1, 999'999'999)).error(), kDurationOverflow);
}

TEST(InstantArithmetic, OverflowIsReportedAtBothEnds) {
  const Duration ns = Duration::FromNormalized(0, 1);
  const Error add{ErrorKind::Internal, msg::kInstantAddOverflow};
  const Error sub{ErrorKind::Internal, msg::kInstantSubOverflow};
  EXPECT_EQ((Instant::Max() + ns).error(), add);
  EXPECT_EQ((Instant::Min() - ns).error(), sub);
  EXPECT_EQ((Instant::Min() + Duration::FromNormalized(-1, 999'999'999)).error(), add);
  EXPECT_EQ((Instant::Max() - Duration::FromNormalized(-1, 999'999'999)).error(), sub);
  // Far out of range, including the extreme durations, without wrapping.
  EXPECT_EQ((Instant::Max() + Duration::Max()).error(), add);
  EXPECT_EQ((Instant::Min() + Duration::Min()).error(), add);
  EXPECT_EQ((Instant::Min() - Duration::Max()).error(), sub);
  EXPECT_EQ((Instant::Max() - Duration::Min()).error(), sub);
  // Exactly reaching the ends is fine and reversible.
  const Duration span = Instant::Max() - Instant::Min();
  EXPECT_EQ(Instant::Min() + span, Instant::Max());
  EXPECT_EQ(Instant::Max() - span, Instant::Min());
}

TEST(InstantArithmetic, BorrowsAndCarriesAcrossSecondsAndDays) {
  const Instant t = at(date(1970, 1, 1), 0, 0, 0, 250'000'000);
  EXPECT_EQ(t - Duration::FromNormalized(0, 500'000'000), at(date(1969, 12, 31), 23, 59, 59, 750'000'000));
  EXPECT_EQ(t + Duration::FromNormalized(-1, 0), at(date(1969, 12, 31), 23, 59, 59, 250'000'000));
  EXPECT_EQ(at(date(2024, 2, 28), 23, 59, 59, 999'999'999) + Duration::FromNormalized(0, 1), at(2024, 2, 29));
  EXPECT_EQ(at(2024, 3, 1) - at(2024, 2, 28), Duration::FromSeconds(2 * 86'400));
  EXPECT_EQ(t - at(1970, 1, 1, 0, 0), Duration::FromNormalized(0, 250'000'000));
  EXPECT_EQ(at(1970, 1, 1) - t, Duration::FromNormalized(-1, 750'000'000));
}

TEST(DurationDifference, BorrowsAndReportsOverflow) {
  EXPECT_EQ(Duration::FromNormalized(1, 300'000'000) - Duration::FromNormalized(0, 700'000'000),
            Duration::FromNormalized(0, 600'000'000));
  EXPECT_EQ(Duration::Zero() - Duration::Max(), Duration::Min());
  EXPECT_EQ(Duration::Zero() - Duration::Min(), Duration::Max());
  EXPECT_EQ((Duration::Min() - Duration::FromNormalized(0, 1)).error(), kDurationOverflow);
  EXPECT_EQ((Duration::Max() - Duration::FromNormalized(-1, 999'999'999)).error(), kDurationOverflow);
}

// A leap second (fraction >= 1 s) orders after its second and before the
// next, and arithmetic counts it as the end of its second, so differences
// of ordered instants are never negative and add up.
TEST(InstantArithmetic, LeapSecondsKeepDifferencesMonotoneAndAdditive) {
  const Date eve = date(2016, 12, 31);
  const Instant before = at(eve, 23, 59, 59, 500'000'000);
  const Instant leap = at(eve, 23, 59, 59, 1'500'000'000);  // 23:59:60.5
  const Instant late_leap = at(eve, 23, 59, 59, TimeOfDay::kMaxNanos);
  const Instant midnight = at(2017, 1, 1);
  ASSERT_LT(before, leap);
  ASSERT_LT(leap, late_leap);
  ASSERT_LT(late_leap, midnight);
  EXPECT_EQ(midnight - leap, Duration::Zero());
  EXPECT_EQ(late_leap - leap, Duration::Zero());
  EXPECT_EQ(leap - before, Duration::FromNormalized(0, 500'000'000));
  const Instant points[] = {before, leap, late_leap, midnight, at(date(2017, 1, 1), 0, 0, 0, 1)};
  for (const Instant& a : points)
    for (const Instant& b : points)
      for (const Instant& c : points) {
        if (!(a <= b && b <= c)) continue;
        EXPECT_GE(b - a, Duration::Zero());
        EXPECT_EQ((b - a) + (c - b), c - a);
      }
  // Adding starts from the same point, so a + (b - a) = b for an ordinary b.
  EXPECT_EQ(leap + Duration::FromSeconds(1), at(date(2017, 1, 1), 0, 0, 1));
  EXPECT_EQ(leap + (midnight - leap), midnight);
  EXPECT_EQ(leap - Duration::FromSeconds(1), at(eve, 23, 59, 59));
}

TEST(TimeOfDayValues, StayWithinTheDayAndTheLeapSecond) {
  EXPECT_EQ(TimeOfDay::FromSeconds(86'400), std::nullopt);
  EXPECT_EQ(TimeOfDay::FromSeconds(0, TimeOfDay::kMaxNanos + 1), std::nullopt);
  EXPECT_TRUE(TimeOfDay::FromSeconds(86'399, TimeOfDay::kMaxNanos)->is_leap());
}

TEST(InstantParts, DateAndTimeOfDayBeforeTheEpoch) {
  const Instant t = at(date(1969, 12, 31), 23, 59, 59, 500);
  EXPECT_EQ(t.date(), date(1969, 12, 31));
  EXPECT_EQ(t.time_of_day(), TimeOfDay::FromSeconds(86'399, 500));
  EXPECT_EQ(Instant::Min().date(), Date::Min());
  EXPECT_EQ(Instant::Max().time_of_day(), TimeOfDay::FromSeconds(86'399, 999'999'999));
  // Ordering is by date, then second of day, then fraction.
  EXPECT_LT(at(date(2024, 5, 6), 8, 0, 0, 999'999'999), at(date(2024, 5, 6), 8, 0, 1));
  EXPECT_LT(at(date(2024, 5, 5), 23, 59, 59, 999'999'999), at(2024, 5, 6));
}

TEST(DateArithmetic, AddDaysStopsAtTheRepresentableYears) {
  EXPECT_EQ(Date::Max().add_days(1), std::nullopt);
  EXPECT_EQ(Date::Min().add_days(-1), std::nullopt);
  EXPECT_EQ(Date::Max().add_days(-1)->add_days(1), Date::Max());
  EXPECT_EQ(Date::Min().add_days(Date::Max().days() - Date::Min().days()), Date::Max());
  // Day counts far beyond the range are refused without overflowing.
  EXPECT_EQ(date(2024, 1, 1).add_days(INT64_MAX), std::nullopt);
  EXPECT_EQ(date(2024, 1, 1).add_days(INT64_MIN), std::nullopt);
  EXPECT_EQ(Date::Min().civil().year, Date::kMinYear);
  EXPECT_EQ(Date::Max().civil().year, Date::kMaxYear);
}

TEST(DateArithmetic, CivilDatesAndWeekdays) {
  EXPECT_TRUE(Date::FromCivil(2000, 2, 29));
  EXPECT_FALSE(Date::FromCivil(1900, 2, 29));
  EXPECT_FALSE(Date::FromCivil(2024, 13, 1));
  EXPECT_FALSE(Date::FromCivil(2024, 4, 31));
  EXPECT_FALSE(Date::FromCivil(2024, 1, 0));
  EXPECT_FALSE(Date::FromCivil(Date::kMaxYear + 1, 1, 1));
  EXPECT_FALSE(Date::FromCivil(Date::kMinYear - 1, 12, 31));
  const CivilDate c = date(-44, 3, 15).civil();
  EXPECT_EQ(c.year, -44);
  EXPECT_EQ(c.month, 3u);
  EXPECT_EQ(c.day, 15u);

  EXPECT_EQ(date(1, 1, 1).weekday_sunday0(), Weekday::Monday);
  EXPECT_EQ(date(9999, 12, 31).weekday_sunday0(), Weekday::Friday);
  EXPECT_EQ(date(1969, 12, 31).weekday_sunday0(), Weekday::Wednesday);
  EXPECT_EQ(at(date(2024, 5, 5), 23, 59, 59, 999'999'999).weekday_sunday0(), Weekday::Sunday);
  // Consecutive days step through the week, before and after the epoch.
  for (std::int64_t n = -10; n < 10; ++n) {
    const Date d = date(1970, 1, 1).add_days(n).value();
    EXPECT_EQ(d.add_days(1)->weekday_sunday0(), next_weekday(d.weekday_sunday0()));
  }
  EXPECT_EQ(weekday_from_number(6), Weekday::Saturday);
  EXPECT_EQ(weekday_from_number(7), std::nullopt);
}

TEST(WeeklyRuleValues, WindowAtTheLastDate) {
  const WeeklyRule overnight = make_weekly_rule(kFri, hm(22), hm(6)).value();
  // No next date: the occurrence runs to the last instant.
  EXPECT_EQ(rule_window(overnight, Date::Max()), win(at(Date::Max(), 22), Instant::Max()));
}

}  // namespace
}  // namespace hourloom
