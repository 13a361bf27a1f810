"""Per-call cost of the value types against their pure-Python equivalents,
measured in one run:
  TimeWindow.Contains(t)  vs  start <= t < end  (same datetimes)
  Hours(5)                vs  datetime.timedelta(hours=5), and the positional timedelta(0, 18000)
  a bare C method call (t.weekday()) for scale."""
import datetime as dt
import sys
import os

sys.path.insert(0, os.path.dirname(__file__))
from common import per_call_ns, report, row  # noqa: E402

import hourloom  # noqa: E402

start, end = dt.datetime(2024, 5, 6, 8), dt.datetime(2024, 5, 6, 17)
t = dt.datetime(2024, 5, 6, 12, 30)
w = hourloom.TimeWindow(start, end)
g = {"w": w, "t": t, "start": start, "end": end, "Hours": hourloom.Hours, "timedelta": dt.timedelta}


def rows():
    contains = per_call_ns("w.Contains(t)", g)
    python_contains = per_call_ns("start <= t < end", g)
    hours = per_call_ns("Hours(5)", g)
    timedelta = per_call_ns("timedelta(hours=5)", g)
    timedelta_positional = per_call_ns("timedelta(0, 18000)", g)
    bare = per_call_ns("t.weekday()", g)

    return [
        row("TimeWindow.Contains(t)", contains, "start <= t < end", python_contains),
        row("Hours(5)", hours, "timedelta(hours=5)", timedelta),
        row("Hours(5)", hours, "timedelta(0, 18000)", timedelta_positional),
        row("TimeWindow.Contains(t)", contains, "t.weekday()", bare),
    ]


if __name__ == "__main__":
    report(rows())
