"""Compiled timelines on the realistic calendar of bench_state, measured in one run:
  - GetCapacitiesAt on 1,000,000 datetimes over a compiled year, random and
    sorted, against the numpy route (datetime64 array, searchsorted over the
    state ends, take, tolist) and against [d.weekday() for d in datetimes];
  - Compile over 10 years against GetStateWindows over the same 10 years;
  - timeline.GetCapacityAt(t) against cal.GetCapacityAt(t)."""
import datetime as dt
import os
import random
import sys

sys.path.insert(0, os.path.dirname(__file__))
from bench_state import START, realistic  # noqa: E402
from common import best_of, per_call_ns, report, row  # noqa: E402

try:
    import numpy as np
except ImportError:  # the numpy baseline is skipped without numpy
    np = None

N = 1_000_000


def numpy_route(ends, caps, datetimes):
    keys = np.array(datetimes, dtype="datetime64[us]")
    return caps.take(np.searchsorted(ends, keys, side="right")).tolist()


def rows():
    cal = realistic(1)
    one_year = START.replace(year=2025)
    tl = cal.Compile(START, one_year)
    rng = random.Random(7)
    span = int((one_year - START).total_seconds() * 1e6)
    shuffled = [START + dt.timedelta(microseconds=rng.randrange(span)) for _ in range(N)]
    ordered = sorted(shuffled)
    states = tl.GetStateWindows(START, one_year)
    if np is not None:
        ends = np.array([s.Window.End for s in states], dtype="datetime64[us]")
        caps = np.array([s.Capacity for s in states], dtype=np.int64)
        assert numpy_route(ends, caps, shuffled[:1000]) == tl.GetCapacitiesAt(shuffled[:1000])
    out = []
    for label, data in (("random", shuffled), ("sorted", ordered)):
        ours = best_of(lambda: tl.GetCapacitiesAt(data))[0] / N * 1e9
        weekday = best_of(lambda: [d.weekday() for d in data])[0] / N * 1e9
        operation = f"GetCapacitiesAt, {label}, per element ({len(states)} states)"
        out.append(row(operation, ours, "[d.weekday() for d in ...]", weekday))
        if np is not None:
            route = best_of(lambda: numpy_route(ends, caps, data), repeat=2)[0] / N * 1e9
            out.append(row(operation, ours, "numpy datetime64 + searchsorted", route))

    ten_years = START.replace(year=2034)
    g = {"cal": cal, "s": START, "y10": ten_years}
    compile_ns = per_call_ns("cal.Compile(s, y10)", g, number=3)
    windows_ns = per_call_ns("cal.GetStateWindows(s, y10)", g, number=3)
    out.append(row("Compile, 10 years", compile_ns, "GetStateWindows, 10 years", windows_ns))

    g.update({"tl": tl, "t": dt.datetime(2024, 6, 12, 10, 30)})
    timeline_ns = per_call_ns("tl.GetCapacityAt(t)", g)
    calendar_ns = per_call_ns("cal.GetCapacityAt(t)", g)
    out.append(row("timeline.GetCapacityAt(t)", timeline_ns, "cal.GetCapacityAt(t)", calendar_ns))
    return out


if __name__ == "__main__":
    report(rows())
