#include "engine/calendar.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "engine/time_index.h"

namespace hourloom {

namespace {

Result<void> refuse_composite(const Calendar& c) {
  if (c.is_composite()) return fail(ErrorKind::Runtime, msg::kCompositeEdit);
  return {};
}

Result<void> add_rule(Calendar& c, std::vector<WeeklyRule>& rules, std::uint8_t day, TimeOfDay start, TimeOfDay end) {
  if (auto ok = refuse_composite(c); !ok) return ok;
  auto rule = make_weekly_rule(day, start, end);
  if (!rule) return std::unexpected(rule.error());
  rules.push_back(*rule);
  c.rules_week_open_time.reset();
  return {};
}

Result<void> add_window(Calendar& c, std::vector<TimeWindow>& windows, Instant start, Instant end) {
  if (auto ok = refuse_composite(c); !ok) return ok;
  auto w = make_window(start, end);
  if (!w) return std::unexpected(w.error());
  windows.push_back(*w);
  return {};
}

// decode_utf8: the code point starting at s[i], advancing i past it; nullopt
// (and i past the offending byte) for a malformed or overlong sequence.
std::optional<char32_t> decode_utf8(std::string_view s, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return std::nullopt;
  }
  if (s.size() - i < len) {
    i = s.size();
    return std::nullopt;
  }
  for (std::size_t k = 1; k < len; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      i += k;
      return std::nullopt;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += len;
  if (cp < min || cp > 0x10FFFF) return std::nullopt;
  return cp;
}

// is_unicode_space: the code points Python's str.isspace() accepts.
constexpr bool is_unicode_space(char32_t cp) {
  if (cp >= 0x09 && cp <= 0x0D) return true;
  if (cp >= 0x1C && cp <= 0x20) return true;
  if (cp >= 0x2000 && cp <= 0x200A) return true;
  switch (cp) {
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool is_blank_id(std::string_view id) {
  std::size_t i = 0;
  while (i < id.size()) {
    auto cp = decode_utf8(id, i);
    if (!cp || !is_unicode_space(*cp)) return false;
  }
  return true;
}

Result<void> add_open_rule(Calendar& c, std::uint8_t day, TimeOfDay start, TimeOfDay end) {
  return add_rule(c, c.open_rules, day, start, end);
}

Result<void> add_weekday_open_rules(Calendar& c, TimeOfDay start, TimeOfDay end) {
  // Every check of a rule is independent of its day, so the first day decides
  // for all five: either all are added or none.
  for (auto day = weekday_number(Weekday::Monday); day <= weekday_number(Weekday::Friday); ++day)
    if (auto ok = add_open_rule(c, static_cast<std::uint8_t>(day), start, end); !ok) return ok;
  return {};
}

Result<void> add_weekday_break_rules(Calendar& c, TimeOfDay start, TimeOfDay end) {
  for (auto day = weekday_number(Weekday::Monday); day <= weekday_number(Weekday::Friday); ++day)
    if (auto ok = add_break_rule(c, static_cast<std::uint8_t>(day), start, end); !ok) return ok;
  return {};
}

Result<void> add_break_rule(Calendar& c, std::uint8_t day, TimeOfDay start, TimeOfDay end) {
  return add_rule(c, c.break_rules, day, start, end);
}

Result<void> add_open_window(Calendar& c, Instant start, Instant end) {
  return add_window(c, c.open_windows, start, end);
}

Result<void> add_closed_window(Calendar& c, Instant start, Instant end) {
  return add_window(c, c.closed_windows, start, end);
}

Result<void> add_holiday(Calendar& c, Date date) {
  auto next = date.add_days(1);
  if (!next) return fail(ErrorKind::Overflow, msg::kDateOverflow);
  return add_closed_window(c, Instant::FromParts(date, {}), Instant::FromParts(*next, {}));
}

Result<void> set_default_capacity(Calendar& c, Capacity capacity) {
  if (auto ok = refuse_composite(c); !ok) return ok;
  if (capacity < 0) return fail(ErrorKind::Value, msg::kNegativeCapacity);
  c.default_capacity = capacity;
  return {};
}

Result<void> add_capacity_override(Calendar& c, Instant start, Instant end, Capacity capacity) {
  if (auto ok = refuse_composite(c); !ok) return ok;
  if (capacity < 0) return fail(ErrorKind::Value, msg::kNegativeCapacity);
  auto w = make_window(start, end);
  if (!w) return std::unexpected(w.error());
  c.capacity_overrides.push_back({*w, capacity});
  return {};
}

Result<void> set_entry(Calendar& c, std::string id, EntryKind kind, Instant start, Instant end, Capacity capacity) {
  if (auto ok = refuse_composite(c); !ok) return ok;
  if (is_blank_id(id)) return fail(ErrorKind::Value, msg::kEmptyEntryId);
  if (kind == EntryKind::WithCapacity && capacity < 0) return fail(ErrorKind::Value, msg::kNegativeCapacity);
  auto w = make_window(start, end);
  if (!w) return std::unexpected(w.error());
  // An entry with the same id is overwritten in place and keeps its position.
  entry_changed(c, c.entries.set(Entry{std::move(id), kind, *w, capacity}));
  return {};
}

Result<bool> remove_entry(Calendar& c, std::string_view id) {
  if (auto ok = refuse_composite(c); !ok) return std::unexpected(ok.error());
  if (is_blank_id(id)) return fail(ErrorKind::Value, msg::kEmptyEntryId);
  auto change = c.entries.remove(id);
  if (!change) return false;
  entry_changed(c, *change);
  return true;
}

Result<const Entry*> find_entry(const Calendar& c, std::string_view id) {
  if (is_blank_id(id)) return fail(ErrorKind::Value, msg::kEmptyEntryId);
  return c.entries.find(id);
}

namespace {
// clear_sequence: empties one of the calendar's sequences (refused on a
// composite). The time index goes with any but the rules, which it does not
// hold; the rules' week of open time goes with the rules.
template <class Sequence>
Result<void> clear_sequence(Calendar& c, Sequence Calendar::*sequence) {
  if (auto ok = refuse_composite(c); !ok) return ok;
  (c.*sequence).clear();
  if constexpr (std::is_same_v<Sequence, std::vector<WeeklyRule>>)
    c.rules_week_open_time.reset();
  else
    drop_index(c);
  return {};
}
}  // namespace

Result<void> clear_open_rules(Calendar& c) { return clear_sequence(c, &Calendar::open_rules); }
Result<void> clear_break_rules(Calendar& c) { return clear_sequence(c, &Calendar::break_rules); }
Result<void> clear_open_windows(Calendar& c) { return clear_sequence(c, &Calendar::open_windows); }
Result<void> clear_closed_windows(Calendar& c) { return clear_sequence(c, &Calendar::closed_windows); }
Result<void> clear_capacity_overrides(Calendar& c) { return clear_sequence(c, &Calendar::capacity_overrides); }
Result<void> clear_entries(Calendar& c) { return clear_sequence(c, &Calendar::entries); }

Result<void> clear(Calendar& c) {
  if (auto ok = refuse_composite(c); !ok) return ok;
  c = Calendar{};
  return {};
}

Calendar make_composite(std::vector<Calendar> components) {
  Calendar c;
  c.components = std::move(components);
  return c;
}

}  // namespace hourloom
