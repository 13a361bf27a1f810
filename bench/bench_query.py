"""Query objects and the instant analysis, measured in one run:
  - cal.At(t).CanWork() against cal.CanWork(t) on a calendar with 5,000
    entries (query objects of an unchanged calendar share one copy of it);
  - making a query object right after an edit (the copy it then takes) against
    the edit alone;
  - Analyze(t) against GetNextTransitionTime(t) on the realistic calendar of
    bench_state.py (the analysis searches its window once)."""
import datetime as dt
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from bench_state import START, realistic  # noqa: E402
from common import per_call_ns, report, row  # noqa: E402

from hourloom import HourloomCalendar  # noqa: E402


def with_entries(n):
    cal = HourloomCalendar.Weekdays(dt.time(8), dt.time(17))
    for i in range(n):
        s = START + dt.timedelta(hours=7 * i)
        cal.SetCapacityWindow(f"e{i}", s, s + dt.timedelta(hours=2), 1 + i % 4)
    return cal


def rows():
    big = with_entries(5_000)
    t = dt.datetime(2024, 6, 12, 10, 30)
    g = {"big": big, "t": t, "cal": realistic(1), "d": START.date()}
    figures = [
        ("cal.At(t).CanWork(), 5,000 entries", per_call_ns("big.At(t).CanWork()", g, number=20_000),
         "cal.CanWork(t)", per_call_ns("big.CanWork(t)", g, number=20_000)),
        ("edit, then cal.At(t), 5,000 entries", per_call_ns("big.SetDefaultCapacity(1); big.At(t)", g, number=200),
         "the edit alone", per_call_ns("big.SetDefaultCapacity(1)", g, number=200)),
        ("Analyze(t), realistic calendar", per_call_ns("cal.Analyze(t)", g, number=20_000),
         "GetNextTransitionTime(t)", per_call_ns("cal.GetNextTransitionTime(t)", g, number=20_000)),
    ]
    return [row(*f) for f in figures]


if __name__ == "__main__":
    report(rows())
