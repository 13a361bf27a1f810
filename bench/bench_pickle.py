"""Calendars that travel, measured in one run:
  - pickle.dumps plus pickle.loads of a calendar of 100,000 entries against
    ToJson plus FromJson of the same calendar;
  - Dask's threaded scheduler mapping add_work over 4M rows with 2 threads
    against 1 thread, and its process scheduler (for information)."""
import datetime as dt
import os
import pickle
import sys

import numpy as np
import pandas as pd

sys.path.insert(0, os.path.dirname(__file__))
from common import best_of, report, row  # noqa: E402

import hourloom  # noqa: E402
import hourloom_tools as ht  # noqa: E402,F401  (registers the picklers)

ROWS = 4_000_000


def entry_calendar(n):
    day = dt.datetime(2024, 1, 1)
    cal = hourloom.HourloomCalendar().Weekdays(dt.time(8), dt.time(17))
    for i in range(n):
        start = day + dt.timedelta(minutes=37 * i)
        cal.SetClosedWindow(f"outage-{i}", start, start + dt.timedelta(minutes=20))
    return cal


def pickle_rows():
    cal = entry_calendar(100_000)
    text = cal.ToJson()
    blob = pickle.dumps(cal, 5)
    assert len(blob) <= 1.1 * len(text)
    pickled = best_of(lambda: pickle.loads(pickle.dumps(cal, 5)), 5)[0]
    json = best_of(lambda: hourloom.HourloomCalendar.FromJson(cal.ToJson()), 5)[0]
    return [row(f"pickle dumps+loads, 100k entries ({len(blob) / len(text):.2f}x the text)", pickled * 1e9,
                "ToJson+FromJson", json * 1e9, "<= 1.2")]


def dask_rows():
    import dask.dataframe as dd
    cal = hourloom.HourloomCalendar().Weekdays(dt.time(8), dt.time(17))
    starts = np.datetime64("2024-01-01", "us") + np.arange(ROWS) * np.timedelta64(7919, "ms")
    frame = dd.from_pandas(pd.DataFrame({"start": starts}), npartitions=16)
    due = frame["start"].map_partitions(lambda s: ht.add_work(cal, s, np.timedelta64(8, "h")),
                                        meta=("start", "M8[us]"))

    def run(scheduler, workers):
        return best_of(lambda: due.compute(scheduler=scheduler, num_workers=workers), 7)[0] * 1e9

    one = run("threads", 1)
    return [row("dask threads, add_work over 4M rows, 2 threads", run("threads", 2), "1 thread", one, "<= 2/3"),
            row("dask processes, same, 2 processes", run("processes", 2), "1 thread", one)]


def rows():
    return pickle_rows() + dask_rows()


if __name__ == "__main__":
    report(rows())
