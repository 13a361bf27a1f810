#include "time/format.h"

#include <cstdint>

namespace hourloom {

namespace {

char* put_digits(char* p, std::uint32_t v, int width) {
  for (int k = width - 1; k >= 0; --k) {
    p[k] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  return p + width;
}

// put_clock: "HH:MM:SS[.fff|.ffffff|.fffffffff]"; a leap second shows as :60.
char* put_clock(char* p, TimeOfDay t) {
  std::uint32_t nanos = t.nanos();
  std::uint32_t second = t.seconds() % 60;
  if (nanos >= kNanosPerSecond) {
    nanos -= kNanosPerSecond;
    second = 60;
  }
  p = put_digits(p, t.seconds() / 3600, 2);
  *p++ = ':';
  p = put_digits(p, (t.seconds() / 60) % 60, 2);
  *p++ = ':';
  p = put_digits(p, second, 2);
  if (nanos == 0) return p;
  *p++ = '.';
  if (nanos % 1'000'000 == 0) return put_digits(p, nanos / 1'000'000, 3);
  if (nanos % 1'000 == 0) return put_digits(p, nanos / 1'000, 6);
  return put_digits(p, nanos, 9);
}

}  // namespace

void append_instant(std::string& out, Instant t, char separator) {
  char buf[48];
  char* p = buf;
  CivilDate c = t.date().civil();
  if (c.year >= 0 && c.year <= 9999) {
    p = put_digits(p, static_cast<std::uint32_t>(c.year), 4);
  } else {
    *p++ = c.year < 0 ? '-' : '+';
    auto year = static_cast<std::uint32_t>(c.year < 0 ? -static_cast<std::int64_t>(c.year) : c.year);
    p = put_digits(p, year, year > 9999 ? 5 : 4);  // years reach +-32767
  }
  *p++ = '-';
  p = put_digits(p, c.month, 2);
  *p++ = '-';
  p = put_digits(p, c.day, 2);
  *p++ = separator;
  p = put_clock(p, t.time_of_day());
  out.append(buf, static_cast<std::size_t>(p - buf));
}

void append_time_of_day(std::string& out, TimeOfDay t) {
  char buf[24];
  char* p = put_clock(buf, t);
  out.append(buf, static_cast<std::size_t>(p - buf));
}

std::string format_instant(Instant t) {
  std::string out;
  append_instant(out, t, ' ');
  return out;
}

}  // namespace hourloom
