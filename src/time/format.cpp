#include "time/format.h"

#include <cstdio>
#include <cstdlib>

namespace hourloom {

std::string format_instant(Instant t) {
  CivilDate c = t.date().civil();
  TimeOfDay tod = t.time_of_day();
  std::uint32_t nanos = tod.nanos();
  std::uint32_t second = tod.seconds() % 60;
  if (nanos >= kNanosPerSecond) {
    nanos -= kNanosPerSecond;
    second = 60;
  }
  char buf[64];
  int n = 0;
  if (c.year >= 0 && c.year <= 9999)
    n = std::snprintf(buf, sizeof buf, "%04d", c.year);
  else
    n = std::snprintf(buf, sizeof buf, "%c%04d", c.year < 0 ? '-' : '+', std::abs(c.year));
  n += std::snprintf(buf + n, sizeof buf - n, "-%02u-%02u %02u:%02u:%02u", c.month, c.day, tod.seconds() / 3600,
                     (tod.seconds() / 60) % 60, second);
  if (nanos != 0) {
    if (nanos % 1'000'000 == 0)
      std::snprintf(buf + n, sizeof buf - n, ".%03u", nanos / 1'000'000);
    else if (nanos % 1'000 == 0)
      std::snprintf(buf + n, sizeof buf - n, ".%06u", nanos / 1'000);
    else
      std::snprintf(buf + n, sizeof buf - n, ".%09u", nanos);
  }
  return buf;
}

}  // namespace hourloom
