"""Large calendars, measured in one run; every figure is a ratio that stays
small when a question costs what it looks at rather than what is stored:
  - SetOpenWindow of 100,000 distinct ids against 10,000 (linear growth is 10),
    with the arguments made beforehand (the engine's share) and in the loop;
  - GetCapacityAt, GetWindowsAt (spread only) and GetStateWindows over one week on the benchmark calendar
    with 100,000 entries against the same calendar with its 50 entries: once
    with the entries as dense as the 50 (spread over 2,000 years) and once all
    within its one year (there the answer itself grows with the density);
  - 100,000 alternating SetCapacityWindow / GetCapacityAt calls against 10,000
    (a run of 1,000 would sit in cache);
  - CanWork over datetime.min..datetime.max on a weekday calendar against
    CanWork over one closed hour."""
import datetime as dt
import os
import random
import sys

sys.path.insert(0, os.path.dirname(__file__))
from bench_state import START, add_entries, realistic  # noqa: E402
from common import best_of, per_call_ns, report, row  # noqa: E402

from hourloom import HourloomCalendar, TimeWindow  # noqa: E402


def more_entries(cal, count, days, seed=7):
    """More entries made as realistic() makes its 50, starting within `days`."""
    return add_entries(cal, random.Random(seed), count, days, prefix="more-")


def open_window_args(n):
    return HourloomCalendar(), [(f"id-{i}", START + dt.timedelta(minutes=i), START + dt.timedelta(minutes=i + 30))
                                for i in range(n)]


def set_open_windows(cal, rows):
    for args in rows:
        cal.SetOpenWindow(*args)


def user_loop(cal, n):
    """SetOpenWindow as a user writes it: the arguments made in the loop."""
    for i in range(n):
        cal.SetOpenWindow(f"id-{i}", START + dt.timedelta(minutes=i), START + dt.timedelta(minutes=i + 30))


def alternate_args(n):
    rng = random.Random(3)
    starts = [START + dt.timedelta(days=rng.randrange(365), minutes=15 * rng.randrange(96)) for _ in range(n)]
    return realistic(1), [(f"alt-{i}", s, s + dt.timedelta(hours=2), 3) for i, s in enumerate(starts)]


def alternate(cal, rows):
    for args in rows:
        cal.SetCapacityWindow(*args)
        cal.GetCapacityAt(args[1])


def rows():
    out = []
    small = best_of(set_open_windows, 7, setup=lambda: open_window_args(10_000))[0]
    large = best_of(set_open_windows, 5, setup=lambda: open_window_args(100_000))[0]
    out.append(row("SetOpenWindow x 100,000, arguments made before", large * 1e9, "x 10,000", small * 1e9, "<= 12"))
    small = best_of(user_loop, 7, setup=lambda: (HourloomCalendar(), 10_000))[0]
    large = best_of(user_loop, 3, setup=lambda: (HourloomCalendar(), 100_000))[0]
    out.append(row("SetOpenWindow x 100,000, arguments made in the loop", large * 1e9, "x 10,000", small * 1e9,
                   "<= 12"))

    base = realistic(1)
    spread = more_entries(realistic(1), 100_000 - 50, 2000 * 365)
    dense = more_entries(realistic(1), 100_000 - 50, 365)
    t = dt.datetime(2024, 6, 12, 10, 30)
    week = (dt.datetime(2024, 6, 10), dt.datetime(2024, 6, 17))
    g = {"base": base, "spread": spread, "dense": dense, "t": t, "s": week[0], "e": week[1]}
    for name in ("spread", "dense"):
        base_ns = per_call_ns("base.GetCapacityAt(t)", g, number=100_000)
        large_ns = per_call_ns(f"{name}.GetCapacityAt(t)", g, number=100_000 if name == "spread" else 20_000)
        out.append(row(f"GetCapacityAt, 100,000 entries ({name})", large_ns, "50 entries", base_ns))
        if name == "spread":
            base_ns = per_call_ns("base.GetWindowsAt(t)", g, number=20_000)
            large_ns = per_call_ns("spread.GetWindowsAt(t)", g, number=20_000)
            out.append(row("GetWindowsAt, 100,000 entries (spread)", large_ns, "50 entries", base_ns, "<= 3"))
        base_ns = per_call_ns("base.GetStateWindows(s, e)", g, number=20_000)
        large_ns = per_call_ns(f"{name}.GetStateWindows(s, e)", g, number=20_000 if name == "spread" else 500)
        windows = len(g[name].GetStateWindows(*week))
        out.append(row(f"GetStateWindows 1 week, 100,000 entries ({name}, {windows} windows)", large_ns,
                       f"50 entries ({len(base.GetStateWindows(*week))} windows)", base_ns))

    small = best_of(alternate, 7, setup=lambda: alternate_args(10_000))[0]
    large = best_of(alternate, 3, setup=lambda: alternate_args(100_000))[0]
    out.append(row("Alternating set/ask x 100,000", large * 1e9, "x 10,000", small * 1e9, "<= 12"))

    weekdays = HourloomCalendar.Weekdays(dt.time(8), dt.time(17))
    closed_hour = TimeWindow(dt.datetime(2024, 6, 12, 20), dt.datetime(2024, 6, 12, 21))
    g = {"cal": weekdays, "all": TimeWindow(dt.datetime.min, dt.datetime.max), "hour": closed_hour}
    whole_ns = per_call_ns("cal.CanWork(all)", g, number=20_000)
    hour_ns = per_call_ns("cal.CanWork(hour)", g, number=20_000)
    out.append(row("CanWork(datetime.min..max), weekdays", whole_ns, "CanWork(closed hour)", hour_ns, "<= 10"))
    return out


if __name__ == "__main__":
    report(rows())
