"""Calendars from calendars (hourloom_tools' operators), measured in one run:
  - GetCapacityAt on the total of 20 weekday calendars against their Intersect;
  - GetStateWindows over 10 years: the total of 20 against the Intersect of 20,
    and a repeat of an 8-day pattern with two 12-hour shifts against a weekly
    calendar with the same number of shifts;
  - GetCapacityAt on a repeat against on its pattern;
  - add_work over 100,000 starts on the total of 5 calendars against one of them;
  - the peak memory of GetStateWindows of an effective over 200 years and of a
    repeat over 1,000 years against the result's own size: the peak is the rise
    of a fresh process's peak RSS during the call, the size what tracemalloc
    sees the result hold in another fresh process. A simple weekday calendar
    over 200 years shows the ratio the list of windows itself costs."""
import datetime as dt
import os
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
from common import best_of, report, row  # noqa: E402

import hourloom  # noqa: E402
import hourloom_tools as ht  # noqa: E402

Cal = hourloom.HourloomCalendar
START = dt.datetime(2024, 1, 1)
TEN_YEARS = START.replace(year=2034)


def weekdays(i):
    """The i-th of a family of weekday calendars with different hours and breaks."""
    return (Cal.Weekdays(dt.time(6 + i % 4), dt.time(15 + i % 5))
            .AddWeekdayBreakRule(dt.time(12), dt.time(12, 30 + i % 3 * 10)).AddHoliday(dt.date(2024, 1, 1 + i)))


def shifts():
    """An 8-day pattern from START with two 12-hour shifts, and a weekly calendar with two such shifts."""
    pattern = Cal().AddOpenWindow(START + dt.timedelta(hours=7), START + dt.timedelta(hours=19)) \
                   .AddOpenWindow(START + dt.timedelta(days=1, hours=19), START + dt.timedelta(days=2, hours=7))
    weekly = Cal().AddOpenRule(1, dt.time(7), dt.time(19)).AddOpenRule(2, dt.time(19), dt.time(7))
    return pattern, ht.repeat(pattern, START, dt.timedelta(days=8)), weekly


def paired(ask, a, b, rounds=7):
    """ask(a) and ask(b) in turn, `rounds` times: each one's best nanoseconds, both timed
    through the same spells of a shared machine's load."""
    best = [float("inf")] * 2
    for _ in range(rounds):
        for i, x in enumerate((a, b)):
            best[i] = min(best[i], best_of(lambda: ask(x), 1)[0] * 1e9)
    return best


def query_rows():
    parts = [weekdays(i) for i in range(20)]
    total, both = ht.total(*parts), Cal.Intersect(*parts)
    t = dt.datetime(2024, 5, 7, 10, 15)
    capacity = [ns / 20_000 for ns in paired(lambda c: [c.GetCapacityAt(t) for _ in range(20_000)], total, both)]
    out = [row("GetCapacityAt, total of 20", capacity[0], "Intersect of 20", capacity[1], "<= 1.3")]
    states = paired(lambda c: c.GetStateWindows(START, TEN_YEARS), total, both, 3)
    out.append(row("GetStateWindows 10 years, total of 20", states[0], "Intersect of 20", states[1], "<= 1.5"))
    pattern, rota, weekly = shifts()
    states = paired(lambda c: c.GetStateWindows(START, TEN_YEARS), rota, weekly)
    out.append(row("GetStateWindows 10 years, repeat of 8 days", states[0], "weekly, 2 shifts", states[1], "<= 2"))
    t = dt.datetime(2031, 5, 7, 10, 15)
    mapped = START + (t - START) % dt.timedelta(days=8)
    capacity = [ns / 20_000 for ns in paired(lambda ct: [ct[0].GetCapacityAt(ct[1]) for _ in range(20_000)],
                                              (rota, t), (pattern, mapped))]
    out.append(row("GetCapacityAt, repeat of 8 days", capacity[0], "its pattern", capacity[1], "<= 2"))
    starts = np.datetime64(START, "us") + np.random.default_rng(3).integers(0, 366 * 86_400 * 10**6, 100_000).astype(
        "m8[us]")
    eight, five = np.timedelta64(8, "h"), [weekdays(i) for i in range(5)]
    work = [ns / len(starts) for ns in paired(lambda c: ht.add_work(c, starts, eight), ht.total(*five), five[0])]
    out.append(row("add_work 8 h, 100k starts, total of 5", work[0], "one of them", work[1], "<= 3"))
    return out


CHILD = """import datetime as dt, resource, sys, tracemalloc
sys.path.insert(0, sys.argv[3])
import hourloom, hourloom_tools as ht
from bench_algebra import START, shifts, weekdays
years = int(sys.argv[2])
if sys.argv[1] == "effective":
    cal = ht.effective([(START.replace(year=1900), weekdays(0)), (START.replace(year=1950), None),
                        (START.replace(year=1960), weekdays(1)), (START.replace(year=2030), weekdays(2))])
elif sys.argv[1] == "repeat":
    cal = shifts()[1]
else:
    cal = weekdays(0)
a, b = START.replace(year=1900), START.replace(year=1900 + years)
cal.GetStateWindows(a, START.replace(year=1901))  # everything made once is made before the measure
if sys.argv[4] == "size":
    tracemalloc.start()
    held = cal.GetStateWindows(a, b)
    print(tracemalloc.get_traced_memory()[0])
else:
    rss = int(open("/proc/self/statm").read().split()[1]) * resource.getpagesize()
    held = cal.GetStateWindows(a, b)
    print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 - rss)"""


def memory_rows():
    here = os.path.dirname(os.path.abspath(__file__))
    out = []
    for kind, years in (("effective", 200), ("repeat", 1000), ("simple calendar", 200)):  # the last for reference
        peak, size = (int(subprocess.run([sys.executable, "-c", CHILD, kind, str(years), here, what], check=True,
                                         capture_output=True, text=True).stdout) for what in ("peak", "size"))
        out.append(row(f"GetStateWindows peak memory, {kind} over {years} years (bytes, shown as ns)", peak,
                       "the result's size", size, "" if kind == "simple calendar" else "<= 3/2"))
    return out


def rows():
    return query_rows() + memory_rows()


if __name__ == "__main__":
    report(rows())
