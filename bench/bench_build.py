"""Calendars from data with hourloom_tools, measured in one run:
  - add_windows of 100k open windows from datetime64 columns against a Python
    loop of AddOpenWindow over the same values as datetimes, and against
    HourloomCalendar.FromJson of the calendar it builds;
  - add_windows with 100k ids (entries) against the same without ids, a loop
    of SetOpenWindow and FromJson of the calendar it builds;
  - add_holidays of 10 years of a country's holidays, the holidays object made
    inside the clock, against a loop of AddHoliday over the same."""
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
from common import best_of, report, row  # noqa: E402

import hourloom_tools as ht  # noqa: E402
from hourloom import HourloomCalendar  # noqa: E402

N = 100_000


def columns(n, seed):
    rng = np.random.default_rng(seed)
    starts = np.datetime64("2024-01-01", "us") + rng.integers(0, 366 * 86_400 * 10**6, n).astype("m8[us]")
    return starts, starts + rng.integers(0, 8 * 3600 * 10**6, n).astype("m8[us]")


def window_rows():
    starts, ends = columns(N, 1)
    fresh = lambda: (HourloomCalendar(),)
    add_ns = best_of(lambda c: ht.add_windows(c, starts, ends, "open"), 7, fresh)[0] * 1e9
    pairs = list(zip(starts.astype(object).tolist(), ends.astype(object).tolist()))

    def loop(c):
        for s, e in pairs:
            c.AddOpenWindow(s, e)
        return c

    loop_s, built = best_of(loop, 3, fresh)
    text = built.ToJson()
    assert ht.add_windows(HourloomCalendar(), starts, ends, "open").ToJson() == text
    json_ns = best_of(lambda: HourloomCalendar.FromJson(text), 7)[0] * 1e9
    ids = [f"window {i}" for i in range(N)]
    ids_ns = best_of(lambda c: ht.add_windows(c, starts, ends, "open", ids=ids), 7, fresh)[0] * 1e9
    named = [(i, s, e) for i, (s, e) in zip(ids, pairs)]

    def set_loop(c):
        for i, s, e in named:
            c.SetOpenWindow(i, s, e)
        return c

    set_s, entries = best_of(set_loop, 3, fresh)
    entries_text = entries.ToJson()
    entries_json_ns = best_of(lambda: HourloomCalendar.FromJson(entries_text), 3)[0] * 1e9
    return [row("add_windows, 100k open from datetime64", add_ns, "loop of AddOpenWindow", loop_s * 1e9, "<= 1/10"),
            row("add_windows, 100k open from datetime64", add_ns, "FromJson of its JSON", json_ns, "<= 1.5"),
            row("add_windows, 100k open with ids", ids_ns, "the same without ids", add_ns, "<= 1.5"),
            row("add_windows, 100k open with ids", ids_ns, "loop of SetOpenWindow", set_s * 1e9),
            row("add_windows, 100k open with ids", ids_ns, "FromJson of its JSON", entries_json_ns)]


def holiday_rows():
    try:
        import holidays
    except ImportError:
        return []
    years = range(2015, 2025)
    fresh = lambda: (HourloomCalendar(),)

    def loop(c):
        for day in holidays.country_holidays("US", years=years):
            c.AddHoliday(day)
        return c

    call_ns = best_of(lambda c: ht.add_holidays(c, holidays.country_holidays("US"), years=years), 7, fresh)[0] * 1e9
    loop_ns = best_of(loop, 7, fresh)[0] * 1e9
    return [row("add_holidays, 10 years of US holidays", call_ns, "loop of AddHoliday", loop_ns, "<= 2")]


def rows():
    return window_rows() + holiday_rows()


if __name__ == "__main__":
    report(rows())
