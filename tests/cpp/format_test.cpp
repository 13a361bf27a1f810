// Instant text beyond what Python datetimes carry: nanoseconds, years outside
// four digits and the leap second.
#include "time/format.h"

#include <gtest/gtest.h>

namespace hourloom {
namespace {

Instant at(std::int64_t year, unsigned month, unsigned day, unsigned h, unsigned m, unsigned s, std::uint32_t nanos) {
  return Instant::FromParts(Date::FromCivil(year, month, day).value(), TimeOfDay::FromHms(h, m, s, nanos));
}

TEST(FormatInstant, NanosecondsSignedYearsAndTheLeapSecond) {
  EXPECT_EQ(format_instant(at(2024, 5, 6, 8, 0, 0, 1)), "2024-05-06 08:00:00.000000001");
  EXPECT_EQ(format_instant(at(10000, 1, 1, 0, 0, 0, 0)), "+10000-01-01 00:00:00");
  EXPECT_EQ(format_instant(at(-1, 12, 31, 23, 59, 59, 0)), "-0001-12-31 23:59:59");
  EXPECT_EQ(format_instant(at(2016, 12, 31, 23, 59, 59, 1'500'000'000)), "2016-12-31 23:59:60.500");
}

}  // namespace
}  // namespace hourloom
