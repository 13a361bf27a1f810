// Naive wall-clock time values: Date, TimeOfDay, Instant and Duration.
// Small trivially copyable values with constexpr ordering; arithmetic that can
// leave the representable range returns an Error, never wraps.
//   Instant t = Instant::FromParts(Date::FromCivil(2024, 5, 6).value(), TimeOfDay::FromHms(8, 0, 0));
//   Result<Instant> later = t + Duration::FromSeconds(3600);
#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <optional>
#include <utility>

#include "time/checked.h"
#include "time/error.h"

namespace hourloom {

inline constexpr std::int64_t kSecondsPerDay = 86'400;
inline constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
inline constexpr std::int64_t kNanosPerMicro = 1'000;
inline constexpr std::int64_t kMicrosPerSecond = 1'000'000;

// Days of the week as this system numbers them: Sunday = 0 ... Saturday = 6.
enum class Weekday : std::uint8_t { Sunday = 0, Monday, Tuesday, Wednesday, Thursday, Friday, Saturday };
inline constexpr unsigned kDaysPerWeek = 7;

// weekday_from_number: the weekday numbered n, or nullopt outside 0..6.
constexpr std::optional<Weekday> weekday_from_number(unsigned n) {
  if (n >= kDaysPerWeek) return std::nullopt;
  return static_cast<Weekday>(n);
}
constexpr unsigned weekday_number(Weekday d) { return std::to_underlying(d); }
constexpr Weekday next_weekday(Weekday d) {
  return d == Weekday::Saturday ? Weekday::Sunday : static_cast<Weekday>(weekday_number(d) + 1);
}

struct CivilDate {
  std::int32_t year;
  unsigned month;  // [1:12]
  unsigned day;    // [1:31]
};

// A day of the proleptic Gregorian calendar, as a day count from 1970-01-01.
// Representable years are those of std::chrono::year: -32767 to 32767.
class Date {
 public:
  constexpr Date() = default;

  static constexpr Date FromDays(std::int32_t days) { return Date(days); }
  // FromCivil: year, month, day -> Date, or nullopt for a date that does not exist.
  static constexpr std::optional<Date> FromCivil(std::int64_t year, unsigned month, unsigned day) {
    if (year < kMinYear || year > kMaxYear) return std::nullopt;
    std::chrono::year_month_day ymd{std::chrono::year(static_cast<int>(year)), std::chrono::month(month),
                                    std::chrono::day(day)};
    if (!ymd.ok()) return std::nullopt;
    return Date(static_cast<std::int32_t>(std::chrono::sys_days(ymd).time_since_epoch().count()));
  }
  static constexpr Date Min() { return Date(kMinDays); }
  static constexpr Date Max() { return Date(kMaxDays); }

  constexpr std::int32_t days() const { return days_; }
  constexpr CivilDate civil() const {
    std::chrono::year_month_day ymd{std::chrono::sys_days(std::chrono::days(days_))};
    return {static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day())};
  }
  // weekday_sunday0: Sunday = 0 ... Saturday = 6 (1970-01-01 was a Thursday).
  constexpr Weekday weekday_sunday0() const { return static_cast<Weekday>(floor_mod(days_ + 4, kDaysPerWeek)); }

  // add_days: nullopt when the result leaves the representable years.
  constexpr std::optional<Date> add_days(std::int64_t n) const {
    auto d = checked_add(days_, n);
    if (!d || *d < kMinDays || *d > kMaxDays) return std::nullopt;
    return Date(static_cast<std::int32_t>(*d));
  }

  friend constexpr auto operator<=>(const Date&, const Date&) = default;

  static constexpr std::int64_t kMinYear = -32767;
  static constexpr std::int64_t kMaxYear = 32767;

 private:
  constexpr explicit Date(std::int32_t days) : days_(days) {}
  static constexpr std::int32_t kMinDays =
      std::chrono::sys_days(std::chrono::year(-32767) / 1 / 1).time_since_epoch().count();
  static constexpr std::int32_t kMaxDays =
      std::chrono::sys_days(std::chrono::year(32767) / 12 / 31).time_since_epoch().count();
  std::int32_t days_ = 0;
};

// Seconds since midnight [0, 86399] and a fraction in nanoseconds. A fraction
// of 1'000'000'000 or more marks a leap second (the 61st second of a minute).
// Both parts are always in range: only the factories below build one.
class TimeOfDay {
 public:
  static constexpr std::uint32_t kMaxNanos = 1'999'999'999;

  constexpr TimeOfDay() = default;

  // FromSeconds: nullopt when the second lies outside the day or the fraction
  // beyond the leap second.
  static constexpr std::optional<TimeOfDay> FromSeconds(std::uint32_t seconds, std::uint32_t nanos = 0) {
    if (seconds >= kSecondsPerDay || nanos > kMaxNanos) return std::nullopt;
    return TimeOfDay(seconds, nanos);
  }
  // FromHms: for parts already in range (a Python time, a literal): h in
  // [0, 23], m and s in [0, 59], nanos at most kMaxNanos. Not checked.
  static constexpr TimeOfDay FromHms(unsigned h, unsigned m, unsigned s, std::uint32_t nanos = 0) {
    return TimeOfDay(h * 3600 + m * 60 + s, nanos);
  }

  constexpr std::uint32_t seconds() const { return seconds_; }
  constexpr std::uint32_t nanos() const { return nanos_; }
  constexpr bool is_leap() const { return nanos_ >= kNanosPerSecond; }
  friend constexpr auto operator<=>(const TimeOfDay&, const TimeOfDay&) = default;

 private:
  friend class Instant;
  constexpr TimeOfDay(std::uint32_t s, std::uint32_t n) : seconds_(s), nanos_(n) {}
  std::uint32_t seconds_ = 0;
  std::uint32_t nanos_ = 0;
};

// Signed span: whole seconds plus a nanosecond part [0, 999'999'999] that is
// always added (-1.5 s is {-2, 500'000'000}). Range: +-(2^63 - 1) milliseconds.
class Duration {
 public:
  constexpr Duration() = default;

  static constexpr Duration Zero() { return {}; }
  static constexpr Duration FromSeconds(std::int64_t s) { return Duration(s, 0); }
  // FromNormalized: seconds and a nanosecond part already in [0, 1e9).
  static constexpr Duration FromNormalized(std::int64_t s, std::uint32_t nanos) { return Duration(s, nanos); }
  static constexpr Duration Max() { return Duration(kMaxSeconds, kMaxNanos); }
  static constexpr Duration Min() { return Duration(-kMaxSeconds - 1, kNanosPerSecond - kMaxNanos); }

  // FromParts: days, seconds, microseconds (each unnormalised, as a timedelta
  // or duck-typed object gives them) -> Duration. The days and seconds terms are
  // each checked against the range before they are added; Internal error otherwise.
  static constexpr Result<Duration> FromParts(std::int64_t days, std::int64_t seconds, std::int64_t micros) {
    auto day_seconds = checked_mul(days, kSecondsPerDay);
    if (!day_seconds || !in_range(*day_seconds, 0) || !in_range(seconds, 0))
      return fail(ErrorKind::Internal, msg::kDurationOverflow);
    std::int64_t micro_seconds = floor_div(micros, kMicrosPerSecond);
    auto nanos = static_cast<std::uint32_t>(floor_mod(micros, kMicrosPerSecond) * kNanosPerMicro);
    auto total = checked_add(*day_seconds, seconds);
    if (total) total = checked_add(*total, micro_seconds);
    if (!total || !in_range(*total, nanos)) return fail(ErrorKind::Internal, msg::kDurationOverflow);
    return Duration(*total, nanos);
  }

  constexpr std::int64_t seconds() const { return seconds_; }
  constexpr std::uint32_t nanos() const { return nanos_; }
  constexpr bool is_negative() const { return seconds_ < 0; }
  constexpr bool is_zero() const { return seconds_ == 0 && nanos_ == 0; }

  // total_micros: the exact total truncated toward zero, or nullopt when it
  // does not fit a signed 64-bit count.
  constexpr std::optional<std::int64_t> total_micros() const {
    std::int64_t s = seconds_;
    std::int64_t n = nanos_;
    if (s < 0 && n != 0) {
      s += 1;
      n -= kNanosPerSecond;
    }
    auto whole = checked_mul(s, kMicrosPerSecond);
    if (!whole) return std::nullopt;
    return checked_add(*whole, n / kNanosPerMicro);
  }

  friend constexpr Result<Duration> operator+(Duration a, Duration b) {
    auto s = checked_add(a.seconds_, b.seconds_);
    std::uint32_t n = a.nanos_ + b.nanos_;
    if (s && n >= kNanosPerSecond) {
      s = checked_add(*s, 1);
      n -= kNanosPerSecond;
    }
    if (!s || !in_range(*s, n)) return fail(ErrorKind::Internal, msg::kDurationOverflow);
    return Duration(*s, n);
  }
  friend constexpr Result<Duration> operator-(Duration a, Duration b) {
    auto s = checked_sub(a.seconds_, b.seconds_);
    std::uint32_t n = a.nanos_;
    if (s && n < b.nanos_) {
      s = checked_sub(*s, 1);
      n += kNanosPerSecond;
    }
    n -= b.nanos_;
    if (!s || !in_range(*s, n)) return fail(ErrorKind::Internal, msg::kDurationOverflow);
    return Duration(*s, n);
  }

  friend constexpr auto operator<=>(const Duration&, const Duration&) = default;

 private:
  friend class Instant;  // keeps a leap-second fraction in its offset (see Instant)
  constexpr Duration(std::int64_t s, std::uint32_t n) : seconds_(s), nanos_(n) {}
  static constexpr std::int64_t kMaxSeconds = INT64_MAX / 1000;               // 9'223'372'036'854'775
  static constexpr std::uint32_t kMaxNanos = (INT64_MAX % 1000) * 1'000'000;  // .807 s
  static constexpr bool in_range(std::int64_t s, std::uint32_t n) {
    if (s > kMaxSeconds || (s == kMaxSeconds && n > kMaxNanos)) return false;
    if (s < -kMaxSeconds - 1 || (s == -kMaxSeconds - 1 && n < kNanosPerSecond - kMaxNanos)) return false;
    return true;
  }
  std::int64_t seconds_ = 0;
  std::uint32_t nanos_ = 0;
};

// A naive date-time: an offset from 1970-01-01 00:00:00. The offset's seconds
// name the instant's second; its fraction may reach into [1e9, 2e9) for a
// leap second (the 61st second of a minute). Ordering by (seconds, fraction)
// is the ordering by date, then second of day, then fraction.
//
// Arithmetic sees a leap second as the end of the second it extends: every
// instant of 23:59:60.x counts as the next day's 00:00:00. This keeps the
// arithmetic monotone, so a <= b always gives b - a >= 0, and the lengths of
// adjacent windows add up: [23:59:59, 23:59:60.5) lasts 1 s and
// [23:59:60.5, 00:00:00) lasts 0. Adding a duration to a leap-second instant
// starts from that same point.
class Instant {
 public:
  constexpr Instant() = default;

  static constexpr Instant FromParts(Date d, TimeOfDay t) {
    return Instant(Duration(static_cast<std::int64_t>(d.days()) * kSecondsPerDay + t.seconds(), t.nanos()));
  }
  // FromUnix: `seconds` after 1970-01-01 00:00:00 plus a fraction below a
  // second, or nullopt outside [Min(), Max()].
  static constexpr std::optional<Instant> FromUnix(std::int64_t seconds, std::uint32_t nanos) {
    if (seconds < Min().offset_.seconds_ || seconds > Max().offset_.seconds_ || nanos >= kNanosPerSecond)
      return std::nullopt;
    return Instant(Duration::FromNormalized(seconds, nanos));
  }
  static constexpr Instant Min() { return FromParts(Date::Min(), {}); }
  static constexpr Instant Max() {
    return FromParts(Date::Max(), TimeOfDay(kSecondsPerDay - 1, kNanosPerSecond - 1));
  }

  constexpr Date date() const {
    return Date::FromDays(static_cast<std::int32_t>(floor_div(offset_.seconds_, kSecondsPerDay)));
  }
  constexpr TimeOfDay time_of_day() const {
    return TimeOfDay(static_cast<std::uint32_t>(floor_mod(offset_.seconds_, kSecondsPerDay)), offset_.nanos_);
  }
  constexpr Weekday weekday_sunday0() const { return date().weekday_sunday0(); }
  constexpr std::int64_t unix_seconds() const { return offset_.seconds_; }
  constexpr std::uint32_t nanos() const { return offset_.nanos_; }
  constexpr bool is_leap() const { return offset_.nanos_ >= kNanosPerSecond; }

  // since_epoch: the offset arithmetic uses (a leap second counts as the end of its second).
  constexpr Duration since_epoch() const {
    return is_leap() ? Duration(offset_.seconds_ + 1, 0) : offset_;
  }

  friend constexpr Result<Instant> operator+(Instant t, Duration d) {
    auto r = t.since_epoch() + d;
    if (!r || !in_range(*r)) return fail(ErrorKind::Internal, msg::kInstantAddOverflow);
    return Instant(*r);
  }
  friend constexpr Result<Instant> operator-(Instant t, Duration d) {
    auto r = t.since_epoch() - d;
    if (!r || !in_range(*r)) return fail(ErrorKind::Internal, msg::kInstantSubOverflow);
    return Instant(*r);
  }
  // a - b: exact, and never fails: the instant range spans far less than the
  // duration range.
  friend constexpr Duration operator-(Instant a, Instant b) { return *(a.since_epoch() - b.since_epoch()); }

  friend constexpr auto operator<=>(const Instant&, const Instant&) = default;

 private:
  constexpr explicit Instant(Duration offset) : offset_(offset) {}
  static constexpr bool in_range(Duration offset) { return Min().offset_ <= offset && offset <= Max().offset_; }
  Duration offset_;
};

}  // namespace hourloom
