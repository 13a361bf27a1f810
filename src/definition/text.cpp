#include "definition/text.h"

#include <cstdint>

namespace hourloom {

namespace {

constexpr const char* kOutOfRange = "input is out of range";
constexpr const char* kImpossible = "no possible date and time matching input";
constexpr const char* kInvalid = "input contains invalid characters";
constexpr const char* kTooShort = "premature end of input";
constexpr const char* kTooLong = "trailing input";

constexpr bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Scanner: a cursor over the text; each step returns nullptr or the message.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}

  // number: 1 to max_digits digits.
  const char* number(int max_digits, std::int64_t& v) {
    if (at_end()) return kTooShort;
    if (!is_digit(s_[i_])) return kInvalid;
    v = 0;
    for (int n = 0; n < max_digits && !at_end() && is_digit(s_[i_]); ++n) v = v * 10 + (s_[i_++] - '0');
    return nullptr;
  }
  // field: a number within [lo, hi].
  const char* field(int max_digits, std::int64_t lo, std::int64_t hi, std::int64_t& v) {
    if (const char* e = number(max_digits, v)) return e;
    return v < lo || v > hi ? kOutOfRange : nullptr;
  }
  // separator: optional white space, then c.
  const char* separator(char c) {
    skip_space();
    if (at_end()) return kTooShort;
    if (s_[i_] != c) return kInvalid;
    ++i_;
    return nullptr;
  }
  // year: four digits, or a sign and up to ten digits.
  const char* year(std::int64_t& v) {
    if (!at_end() && (s_[i_] == '+' || s_[i_] == '-')) {
      bool negative = s_[i_++] == '-';
      if (const char* e = number(10, v)) return e;
      if (negative) v = -v;
    } else if (const char* e = number(4, v)) {
      return e;
    }
    return v < Date::kMinYear || v > Date::kMaxYear ? kOutOfRange : nullptr;
  }
  // seconds_and_fraction: second and optional fraction; with hour and minute -> t.
  const char* seconds_and_fraction(std::int64_t hour, std::int64_t minute, TimeOfDay& t) {
    std::int64_t second;
    if (const char* e = field(2, 0, 60, second)) return e;
    std::uint32_t nanos = 0;
    if (!at_end() && s_[i_] == '.') {
      ++i_;
      if (at_end()) return kTooShort;
      if (!is_digit(s_[i_])) return kInvalid;
      std::uint32_t scale = 100'000'000;
      for (; !at_end() && is_digit(s_[i_]); ++i_) {  // digits past the ninth are read and ignored
        nanos += static_cast<std::uint32_t>(s_[i_] - '0') * scale;
        scale /= 10;
      }
    }
    if (second == 60) {  // leap second: second 59 with the fraction carried past one second
      second = 59;
      nanos += kNanosPerSecond;
    }
    t = *TimeOfDay::FromSeconds(static_cast<std::uint32_t>(hour * 3600 + minute * 60 + second), nanos);
    return nullptr;
  }
  const char* finish() {
    skip_space();
    return at_end() ? nullptr : kTooLong;
  }
  bool at_end() const { return i_ == s_.size(); }
  bool peek_separator(char c) {
    skip_space();
    return !at_end() && s_[i_] == c;
  }

 private:
  void skip_space() {
    while (!at_end() && is_space(s_[i_])) ++i_;
  }
  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace

Expected<Instant, const char*> parse_instant(std::string_view text) {
  Scanner s(text);
  std::int64_t year, month, day, hour, minute;
  TimeOfDay t;
  const char* e = s.year(year);
  if (!e) e = s.separator('-');
  if (!e) e = s.field(2, 1, 12, month);
  if (!e) e = s.separator('-');
  if (!e) e = s.field(2, 1, 31, day);
  if (!e) e = s.separator('T');
  if (!e) e = s.field(2, 0, 23, hour);
  if (!e) e = s.separator(':');
  if (!e) e = s.field(2, 0, 59, minute);
  if (!e) e = s.separator(':');
  if (!e) e = s.seconds_and_fraction(hour, minute, t);
  if (!e) e = s.finish();
  if (e) return Unexpected(e);
  auto date = Date::FromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  if (!date) return Unexpected(kImpossible);
  return Instant::FromParts(*date, t);
}

Expected<TimeOfDay, const char*> parse_time_of_day(std::string_view text) {
  Scanner s(text);
  std::int64_t hour, minute;
  TimeOfDay t;
  const char* e = s.field(2, 0, 23, hour);
  if (!e) e = s.separator(':');
  if (!e) e = s.field(2, 0, 59, minute);
  if (e) return Unexpected(e);
  if (s.peek_separator(':')) {
    e = s.separator(':');
    if (!e) e = s.seconds_and_fraction(hour, minute, t);
    if (e) return Unexpected(e);
  } else {
    t = *TimeOfDay::FromSeconds(static_cast<std::uint32_t>(hour * 3600 + minute * 60));
  }
  if (const char* f = s.finish()) return Unexpected(f);
  return t;
}

}  // namespace hourloom
