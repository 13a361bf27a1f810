// Calendar editing: the order of the checks, nothing changed on failure,
// entries replaced in place, composite refusals and copy independence.
#include <functional>
#include <string>
#include <utility>

#include "engine/calendar.h"
#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;

constexpr Error kComposite{ErrorKind::Runtime, msg::kCompositeEdit};
constexpr Error kEndBefore{ErrorKind::Value, msg::kEndBeforeStart};
constexpr Error kNegCapacity{ErrorKind::Value, msg::kNegativeCapacity};
constexpr Error kEmptyId{ErrorKind::Value, msg::kEmptyEntryId};

Result<void> drop_value(Result<bool> r) {
  if (!r) return std::unexpected(r.error());
  return {};
}

// A calendar with something in every sequence.
Calendar filled() {
  Calendar c;
  EXPECT_TRUE(add_open_rule(c, kMon, hm(8), hm(17)));
  EXPECT_TRUE(add_break_rule(c, kMon, hm(12), hm(13)));
  EXPECT_TRUE(add_open_window(c, sat(8), sat(12)));
  EXPECT_TRUE(add_closed_window(c, tue(8), tue(9)));
  EXPECT_TRUE(add_holiday(c, day(2)));
  EXPECT_TRUE(add_capacity_override(c, mon(9), mon(10), 3));
  EXPECT_TRUE(set_entry(c, "a", EntryKind::Open, sun(8), sun(9), 0));
  EXPECT_TRUE(set_entry(c, "b", EntryKind::WithCapacity, mon(8), mon(9), 2));
  EXPECT_TRUE(set_default_capacity(c, 4));
  return c;
}

TEST(CalendarRules, AcceptOvernightAndRefuseEqualTimesAfterTheDay) {
  Calendar c;
  EXPECT_TRUE(add_open_rule(c, kFri, hm(22), hm(6)));
  EXPECT_TRUE(add_open_rule(c, kSat, hm(8), hm(0)));  // runs to midnight
  // Times that differ only in the fraction are different times.
  EXPECT_TRUE(add_break_rule(c, kMon, TimeOfDay::FromHms(8, 0, 0), TimeOfDay::FromHms(8, 0, 0, 1)));

  const Calendar before = c;
  EXPECT_EQ(add_open_rule(c, kMon, hm(8), hm(8)).error(), (Error{ErrorKind::Value, msg::kSameStartEnd}));
  EXPECT_EQ(add_open_rule(c, kMon, hm(0), hm(0)).error(), (Error{ErrorKind::Value, msg::kSameStartEnd}));
  EXPECT_EQ(add_break_rule(c, 7, hm(8), hm(8)).error(), (Error{ErrorKind::Value, msg::kDayRange}));
  EXPECT_EQ(add_open_rule(c, 255, hm(8), hm(9)).error(), (Error{ErrorKind::Value, msg::kDayRange}));
  EXPECT_EQ(c, before);

  ASSERT_EQ(c.open_rules.size(), 2u);
  EXPECT_EQ(c.open_rules[0].day(), Weekday::Friday);
  EXPECT_EQ(c.open_rules[1].end(), hm(0));
  EXPECT_EQ(c.break_rules.size(), 1u);
}

TEST(CalendarWindows, EmptyWindowsAreStoredReversedOnesRefused) {
  Calendar c;
  EXPECT_TRUE(add_open_window(c, mon(8), mon(8)));
  EXPECT_TRUE(add_closed_window(c, mon(9), mon(9)));
  EXPECT_TRUE(add_capacity_override(c, mon(10), mon(10), 0));
  const Calendar before = c;
  EXPECT_EQ(add_open_window(c, mon(9), mon(8)).error(), kEndBefore);
  EXPECT_EQ(add_closed_window(c, mon(9), mon(8)).error(), kEndBefore);
  EXPECT_EQ(add_capacity_override(c, mon(9), mon(8), 1).error(), kEndBefore);
  // The capacity is checked before the window.
  EXPECT_EQ(add_capacity_override(c, mon(9), mon(8), -1).error(), kNegCapacity);
  EXPECT_EQ(c, before);
  EXPECT_EQ(c.open_windows, std::vector<TimeWindow>{win(mon(8), mon(8))});
  EXPECT_EQ(c.capacity_overrides, (std::vector<CapacityWindow>{{win(mon(10), mon(10)), 0}}));
}

TEST(CalendarWindows, HolidayIsAClosedDayAndOverflowComesFirst) {
  Calendar c;
  ASSERT_TRUE(add_holiday(c, date(2024, 2, 29)));
  EXPECT_EQ(c.closed_windows, std::vector<TimeWindow>{win(at(2024, 2, 29), at(2024, 3, 1))});
  ASSERT_TRUE(clear_closed_windows(c));
  EXPECT_TRUE(c.closed_windows.empty());

  EXPECT_EQ(add_holiday(c, Date::Max()).error(), (Error{ErrorKind::Overflow, msg::kDateOverflow}));
  EXPECT_TRUE(add_holiday(c, Date::Min()));  // the day before is never needed

  Calendar composite = make_composite({Calendar{}});
  EXPECT_EQ(add_holiday(composite, Date::Max()).error(), (Error{ErrorKind::Overflow, msg::kDateOverflow}));
  EXPECT_EQ(add_holiday(composite, day(0)).error(), kComposite);
}

TEST(CalendarEntries, ChecksRunInOrder) {
  Calendar c;
  // Blank id beats a negative capacity and a reversed window.
  EXPECT_EQ(set_entry(c, "  ", EntryKind::WithCapacity, mon(9), mon(8), -1).error(), kEmptyId);
  // Negative capacity beats a reversed window, but only for Capacity entries.
  EXPECT_EQ(set_entry(c, "x", EntryKind::WithCapacity, mon(9), mon(8), -1).error(), kNegCapacity);
  EXPECT_EQ(set_entry(c, "x", EntryKind::Closed, mon(9), mon(8), -1).error(), kEndBefore);
  EXPECT_TRUE(c.entries.empty());

  ASSERT_TRUE(set_entry(c, "x", EntryKind::Closed, mon(8), mon(9), -5));
  ASSERT_TRUE(set_entry(c, "y", EntryKind::Open, mon(8), mon(8), -7));
  EXPECT_EQ(c.entries[0].capacity, -5);
  EXPECT_EQ(c.entries[1].window, win(mon(8), mon(8)));
}

TEST(CalendarEntries, ResettingAnIdKeepsItsPlace) {
  Calendar c;
  ASSERT_TRUE(set_entry(c, "a", EntryKind::Open, mon(8), mon(9), 0));
  ASSERT_TRUE(set_entry(c, "b", EntryKind::Closed, mon(9), mon(10), 0));
  ASSERT_TRUE(set_entry(c, "c", EntryKind::Open, mon(10), mon(11), 0));
  ASSERT_TRUE(set_entry(c, "a", EntryKind::WithCapacity, tue(1), tue(2), 7));

  ASSERT_EQ(c.entries.size(), 3u);
  EXPECT_EQ(c.entries[0], (Entry{"a", EntryKind::WithCapacity, win(tue(1), tue(2)), 7}));
  EXPECT_EQ(c.entries[1].id, "b");
  EXPECT_EQ(c.entries[2].id, "c");

  // A failed re-set leaves the stored entry as it was.
  const Calendar before = c;
  EXPECT_EQ(set_entry(c, "a", EntryKind::WithCapacity, tue(1), tue(2), -1).error(), kNegCapacity);
  EXPECT_EQ(set_entry(c, "a", EntryKind::Open, tue(2), tue(1), 0).error(), kEndBefore);
  EXPECT_EQ(c, before);
}

TEST(CalendarEntries, BlankIdsFollowPythonWhiteSpace) {
  const char* blank[] = {
      "",
      " ",
      "\t\n\v\f\r",
      "\x1c\x1d\x1e\x1f",
      "\xc2\x85",                   // U+0085
      "\xc2\xa0",                   // U+00A0
      "\xe1\x9a\x80",               // U+1680
      "\xe2\x80\x80\xe2\x80\x8a",   // U+2000, U+200A
      "\xe2\x80\xa8\xe2\x80\xa9",   // U+2028, U+2029
      "\xe2\x80\xaf\xe2\x81\x9f",   // U+202F, U+205F
      "\xe3\x80\x80",               // U+3000
  };
  for (const char* id : blank) EXPECT_TRUE(is_blank_id(id)) << id;

  const char* not_blank[] = {
      "a",
      " a ",
      "\x1b",                       // escape is not white space
      "\xe2\x80\x8b",               // U+200B zero width space
      "\xe1\xa0\x8e",               // U+180E
      "\xef\xbb\xbf",               // U+FEFF
      "\xc0\xa0",                   // overlong encoding of a space
      "\xe3\x80",                   // truncated U+3000
      "\xff",
      " \x80",
  };
  for (const char* id : not_blank) EXPECT_FALSE(is_blank_id(id)) << id;
  EXPECT_FALSE(is_blank_id(std::string_view("\0", 1)));  // NUL is a character, not white space
}

TEST(CalendarComposite, EveryEditIsRefusedFirstAndChangesNothing) {
  const Calendar composite = make_composite({filled(), make_composite({Calendar{}, filled()})});
  ASSERT_TRUE(composite.is_composite());
  EXPECT_EQ(composite.default_capacity, 1);
  EXPECT_TRUE(composite.open_rules.empty() && composite.entries.empty());
  ASSERT_EQ(composite.components.size(), 2u);
  EXPECT_EQ(composite.components[0], filled());
  EXPECT_TRUE(composite.components[1].is_composite());

  // Each edit carries arguments that would fail a later check too.
  const std::function<Result<void>(Calendar&)> edits[] = {
      [](Calendar& c) { return add_open_rule(c, 9, hm(8), hm(8)); },
      [](Calendar& c) { return add_break_rule(c, 9, hm(8), hm(8)); },
      [](Calendar& c) { return add_open_window(c, mon(9), mon(8)); },
      [](Calendar& c) { return add_closed_window(c, mon(9), mon(8)); },
      [](Calendar& c) { return add_holiday(c, day(0)); },
      [](Calendar& c) { return set_default_capacity(c, -1); },
      [](Calendar& c) { return add_capacity_override(c, mon(9), mon(8), -1); },
      [](Calendar& c) { return set_entry(c, "", EntryKind::WithCapacity, mon(9), mon(8), -1); },
      [](Calendar& c) { return drop_value(remove_entry(c, "")); },
      [](Calendar& c) { return drop_value(remove_entry(c, "a")); },
      clear_open_rules,
      clear_break_rules,
      clear_open_windows,
      clear_closed_windows,
      clear_capacity_overrides,
      clear_entries,
      clear,
  };
  for (std::size_t i = 0; i < std::size(edits); ++i) {
    Calendar c = composite;
    auto r = edits[i](c);
    ASSERT_FALSE(r) << "edit " << i;
    EXPECT_EQ(r.error(), kComposite) << "edit " << i;
    EXPECT_EQ(c, composite) << "edit " << i;
  }

  // Reading an entry is not an edit.
  EXPECT_EQ(*find_entry(composite, "a"), nullptr);
  EXPECT_EQ(find_entry(composite, " ").error(), kEmptyId);
}

TEST(CalendarCopy, CopiesAreIndependentBothWays) {
  Calendar original = filled();
  Calendar copy = original;
  ASSERT_TRUE(set_entry(copy, "a", EntryKind::Closed, mon(1), mon(2), 0));
  ASSERT_TRUE(add_open_rule(copy, kSun, hm(1), hm(2)));
  EXPECT_EQ(original, filled());

  ASSERT_TRUE(clear(original));
  EXPECT_EQ(copy.entries[0].kind, EntryKind::Closed);
  EXPECT_EQ(copy.open_rules.size(), 2u);

  // A composite holds its own copies of the components.
  Calendar source = filled();
  Calendar composite = make_composite({source});
  ASSERT_TRUE(clear(source));
  EXPECT_EQ(composite.components[0], filled());
}

}  // namespace
}  // namespace hourloom
