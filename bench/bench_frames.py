"""Columns from other containers, measured in one run on the realistic calendar:
  - add_work of 8 hours over 1M starts in a polars Series and in a pyarrow
    array against the same numpy datetime64[us] array;
  - the same starts in [ns] (computed in nanoseconds) against [us];
  - the polars expression namespace in a lazy frame of 1M rows against the
    direct call on its column;
  - aligning two shuffled 1M-row Series (the step add_work takes before it
    asks) against pandas' own s + d."""
import datetime as dt
import os
import sys

import numpy as np
import pandas as pd
import polars as pl
import pyarrow as pa

sys.path.insert(0, os.path.dirname(__file__))
from bench_state import START, realistic  # noqa: E402
from common import best_of, report, row  # noqa: E402

import hourloom_tools as ht  # noqa: E402
from hourloom_tools import _frames  # noqa: E402

N = 1_000_000
EIGHT = dt.timedelta(hours=8)


def per_element(fn, repeat=5):
    return best_of(fn, repeat)[0] / N * 1e9


def rows():
    cal = realistic(1)
    rng = np.random.default_rng(7)
    starts = np.datetime64(START, "us") + rng.integers(0, 366 * 86_400 * 10**6, N).astype("m8[us]")
    series = pl.Series("opened", starts)
    arrow = pa.array(starts)
    ns = starts.astype("M8[ns]")
    expected = ht.add_work(cal, starts, EIGHT)
    assert ht.add_work(cal, series, EIGHT).to_numpy().astype("M8[us]").tolist() == expected.tolist()
    numpy_ns = per_element(lambda: ht.add_work(cal, starts, EIGHT))
    out = [row("add_work 1M polars Series", per_element(lambda: ht.add_work(cal, series, EIGHT)),
               "numpy array", numpy_ns, "<= 1.3"),
           row("add_work 1M pyarrow array", per_element(lambda: ht.add_work(cal, arrow, EIGHT)),
               "numpy array", numpy_ns, "<= 1.3"),
           row("add_work 1M [ns] starts", per_element(lambda: ht.add_work(cal, ns, EIGHT)),
               "[us] starts", numpy_ns, "<= 1.2")]
    lazy = pl.LazyFrame({"opened": series})
    query = lazy.select(pl.col("opened").hourloom.add_work(cal, EIGHT))
    assert query.collect()["opened"].to_list() == ht.add_work(cal, series, EIGHT).to_list()
    out.append(row("polars namespace, lazy frame 1M", per_element(lambda: query.collect()),
                   "direct call on the column", per_element(lambda: ht.add_work(cal, series, EIGHT)), "<= 1.5"))
    labels = rng.permutation(N)
    s = pd.Series(starts, index=labels)
    d = pd.Series(pd.to_timedelta(rng.integers(1, 40, N), unit="h"), index=rng.permutation(labels))
    out.append(row("align two shuffled 1M Series", per_element(lambda: _frames.align([s, d, None])),
                   "pandas s + d", per_element(lambda: s + d), "<= 2"))
    return out


if __name__ == "__main__":
    report(rows())
