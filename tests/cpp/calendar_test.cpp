// Calendar editing at the edges Python cannot reach: dates beyond the
// representable years and entry ids that are not valid UTF-8.
#include <string>

#include "engine/calendar.h"
#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;

TEST(CalendarEdits, HolidayDateOverflowComesBeforeTheCompositeRefusal) {
  const Error overflow{ErrorKind::Overflow, msg::kDateOverflow};
  Calendar c;
  EXPECT_EQ(add_holiday(c, Date::Max()).error(), overflow);
  EXPECT_TRUE(add_holiday(c, Date::Min()));  // the day before is never needed
  EXPECT_EQ(c.closed_windows().size(), 1u);

  Calendar composite = make_composite({Calendar{}});
  EXPECT_EQ(add_holiday(composite, Date::Max()).error(), overflow);
  EXPECT_EQ(add_holiday(composite, day(0)).error(), (Error{ErrorKind::Runtime, msg::kCompositeEdit}));
}

TEST(CalendarEdits, MalformedUtf8IdsAreNotBlank) {
  const char* not_blank[] = {
      "\xc0\xa0",  // overlong encoding of a space
      "\xe3\x80",  // truncated U+3000
      "\xff",
      " \x80",
  };
  for (const char* id : not_blank) EXPECT_FALSE(is_blank_id(id)) << id;
  EXPECT_TRUE(is_blank_id("\xe3\x80\x80 \xc2\xa0"));
}

}  // namespace
}  // namespace hourloom
