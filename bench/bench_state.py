"""State windows and capacity on a realistic calendar, measured in one run:
  - GetStateWindows over 1 year and over 10 years (the ratio shows linear growth);
  - a composite of three such calendars over 1 year against the sum of its
    three components' own state windows;
  - GetCapacityAt(t) against the bare C method call t.weekday()."""
import datetime as dt
import os
import random
import sys

sys.path.insert(0, os.path.dirname(__file__))
from common import per_call_ns, report, row  # noqa: E402

from hourloom import HourloomCalendar  # noqa: E402

START = dt.datetime(2024, 1, 1)


def realistic(seed):
    """Weekdays with a break, 10 holidays, 20 capacity overrides, 50 entries."""
    rng = random.Random(seed)
    cal = HourloomCalendar.Weekdays(dt.time(8), dt.time(17)).AddWeekdayBreakRule(dt.time(12), dt.time(12, 45))
    cal.SetDefaultCapacity(4)
    for _ in range(10):
        cal.AddHoliday((START + dt.timedelta(days=rng.randrange(365))).date())
    for _ in range(20):
        s = START + dt.timedelta(days=rng.randrange(365), hours=rng.randrange(24))
        cal.AddCapacityOverride(s, s + dt.timedelta(hours=rng.randrange(1, 72)), rng.randrange(1, 8))
    return add_entries(cal, rng, 50, 365)


def add_entries(cal, rng, count, days, prefix=""):
    """`count` open, closed and capacity entries of up to 10 hours, starting within `days`."""
    for i in range(count):
        s = START + dt.timedelta(days=rng.randrange(days), minutes=15 * rng.randrange(96))
        e = s + dt.timedelta(minutes=15 * rng.randrange(1, 40))
        kind = i % 3
        if kind == 0:
            cal.SetOpenWindow(f"{prefix}open-{i}", s, e)
        elif kind == 1:
            cal.SetClosedWindow(f"{prefix}closed-{i}", s, e)
        else:
            cal.SetCapacityWindow(f"{prefix}capacity-{i}", s, e, rng.randrange(0, 6))
    return cal


def rows():
    cal = realistic(1)
    one_year, ten_years = START.replace(year=2025), START.replace(year=2034)
    g = {"cal": cal, "s": START, "y1": one_year, "y10": ten_years}
    year_ns = per_call_ns("cal.GetStateWindows(s, y1)", g, number=30)
    decade_ns = per_call_ns("cal.GetStateWindows(s, y10)", g, number=3)
    windows = len(cal.GetStateWindows(START, one_year))
    out = [row(f"GetStateWindows, 10 years (1 year: {windows} windows)", decade_ns, "1 year", year_ns, "<= 12")]

    parts = [realistic(seed) for seed in (1, 2, 3)]
    composite = HourloomCalendar.Intersect(*parts)
    g.update({"composite": composite, "a": parts[0], "b": parts[1], "c": parts[2]})
    composite_ns = per_call_ns("composite.GetStateWindows(s, y1)", g, number=30)
    parts_ns = per_call_ns("a.GetStateWindows(s, y1); b.GetStateWindows(s, y1); c.GetStateWindows(s, y1)", g,
                           number=30)
    out.append(row("Composite of 3, GetStateWindows 1 year", composite_ns, "its 3 components' own", parts_ns))

    g["t"] = dt.datetime(2024, 6, 12, 10, 30)
    capacity_ns = per_call_ns("cal.GetCapacityAt(t)", g, number=200_000)
    weekday_ns = per_call_ns("t.weekday()", g, number=200_000)
    out.append(row("GetCapacityAt(t), realistic calendar", capacity_ns, "t.weekday()", weekday_ns))
    return out


if __name__ == "__main__":
    report(rows())
