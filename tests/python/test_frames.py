"""hourloom_tools with pandas, polars and pyarrow columns: each container
against the scalar loop, with its nulls; pandas alignment against pandas' own."""
import datetime as dt

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import hourloom
import hourloom_tools as ht
from conftest import raises
from oracle import BASE, SPAN_MINUTES, calendars, instant, model_capacity

pd = pytest.importorskip("pandas")
pl = pytest.importorskip("polars")
pa = pytest.importorskip("pyarrow")

H = dt.timedelta(hours=1)
MON9 = dt.datetime(2024, 5, 6, 9)
STARTS = [MON9, None, MON9 + 12 * H, MON9 + 80 * H]
ENDS = [MON9 + 30 * H, MON9, None, MON9 + 2 * H]
WORK = [8 * H, 2 * H, H, None]


def week():
    return hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17)).SetDefaultCapacity(2)


def arrow_series(values, kind):
    return pd.Series(pd.array(np.array(values, f"{kind}8[us]"), dtype=pd.ArrowDtype(
        pa.timestamp("us") if kind == "M" else pa.duration("us"))), name="v")


# Each container: how to make one of values, its type out, and its values as Python objects (None for missing).
CONTAINERS = {
    "series": (lambda v, k: pd.Series(np.array(v, f"{k}8[us]"), index=list("abcd")[:len(v)], name="v"), pd.Series,
               lambda r: [None if x is pd.NA or x != x else x for x in r.astype(object).tolist()]),
    "index": (lambda v, k: pd.Index(np.array(v, f"{k}8[us]"), name="v"), pd.Index,
              lambda r: [None if x is pd.NA or x != x else x for x in r.astype(object).tolist()]),
    "pandas array": (lambda v, k: pd.array(np.array(v, f"{k}8[us]")), pd.api.extensions.ExtensionArray,
                     lambda r: [None if x is pd.NA or x != x else x for x in r.astype(object).tolist()]),
    "arrow dtype": (arrow_series, pd.Series, lambda r: [None if x is pd.NA or x != x else x for x in r.tolist()]),
    "polars": (lambda v, k: pl.Series("v", np.array(v, f"{k}8[us]")), pl.Series, lambda r: r.to_list()),
    "pyarrow": (lambda v, k: pa.array(np.array(v, f"{k}8[us]")), pa.Array, lambda r: r.to_pylist()),
    "chunked": (lambda v, k: pa.chunked_array([pa.array(np.array(v, f"{k}8[us]"))]), pa.ChunkedArray,
                lambda r: r.to_pylist()),
}


def loop(fn, *columns):
    return [None if any(a is None for a in args) else fn(*args) for args in zip(*columns)]


@pytest.mark.parametrize("name", CONTAINERS)
def test_every_container_gives_its_own_kind_with_the_scalar_loops_answers(name):
    make, kind, values = CONTAINERS[name]
    cal = week()
    s, e, d = make(STARTS, "M"), make(ENDS, "M"), make(WORK, "m")
    cases = [
        (ht.capacity_at(cal, s), loop(cal.GetCapacityAt, STARTS)),
        (ht.can_work(cal, s), loop(lambda t: cal.GetCapacityAt(t) >= 1, STARTS)),
        (ht.next_open(cal, s), loop(cal.GetNextOpenTime, STARTS)),
        (ht.add_work(cal, s, d), loop(cal.AddWorkDuration, STARTS, WORK)),
        (ht.working_duration(cal, s, e), loop(lambda a, b: cal.GetWorkingDuration(a, b) if a <= b
                                              else -cal.GetWorkingDuration(b, a), STARTS, ENDS)),
        (ht.first_slot(cal, s, d), loop(lambda a, x: cal.FindFirstSlot(a, x).Start, STARTS, WORK)),
    ]
    for got, expected in cases:
        assert isinstance(got, kind) and values(got) == expected
        if name in ("series", "index", "arrow dtype", "polars"):
            assert got.name == "v"
        if name == "arrow dtype":
            assert isinstance(got.dtype, pd.ArrowDtype)
    assert values(ht.capacity_at(cal, s, fill=-1)) == [2, -1, 0, 0]


def test_pandas_arguments_align_on_their_labels_as_pandas_does():
    cal = week()
    starts = pd.Series(pd.to_datetime(["2024-05-06 10:00", "2024-05-07 10:00", "2024-05-08 10:00"]),
                       index=["a", "b", "c"], name="t")
    work = pd.Series(pd.to_timedelta([1, 5, 2, 3], unit="h"), index=["b", "a", "a", "d"], name="t")
    for d in (work, work.rename("other"), work.iloc[:2]):
        got = ht.add_work(cal, starts, d)
        left, right = starts.align(d, join="outer")
        assert got.index.equals((starts + d).index) and got.name == (starts + d).name
        assert got.tolist() == [pd.NaT if pd.isna(a) or pd.isna(b) else pd.Timestamp(cal.AddWorkDuration(a, b))
                                for a, b in zip(left, right)]
    # Three: the union of the labels. Labels in another order pair by label.
    horizon = pd.Series([pd.Timestamp("2024-05-10")], index=["z"], name="t")
    got = ht.add_work(cal, starts, work.iloc[:2], horizon)
    assert list(got.index) == ["a", "b", "c", "z"] and got.name == "t" and got.isna().tolist() == [1, 1, 1, 1]
    shuffled = starts.iloc[::-1]
    assert ht.working_duration(cal, starts, shuffled).tolist() == [pd.Timedelta(0)] * 3


ACCESSOR_CHECK = """
import datetime as dt, sys
{first}
import numpy as np, pandas as pd, polars as pl, hourloom
{second}
cal = hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17))
t = pd.Series(pd.to_datetime(["2024-05-06 10:00", None]), name="opened")
got = t.hourloom.add_work(cal, "8h")
assert got.equals(ht.add_work(cal, t, pd.Timedelta(hours=8))), got
lf = pl.LazyFrame({{"opened": t, "hours": [1, 2]}})
out = lf.with_columns(due=pl.col("opened").hourloom.add_work(cal, pl.duration(hours=pl.col("hours"))),
                      open=pl.col("opened").hourloom.can_work(cal)).collect()
assert out["due"].to_list() == [dt.datetime(2024, 5, 6, 11), None], out
assert out["open"].to_list() == [True, None] and out.schema["due"] == out.schema["opened"], out
"""


@pytest.mark.parametrize("order", ["before", "after"])
def test_accessors_register_whatever_the_import_order(order):
    import subprocess
    import sys
    imports = {"first": "import hourloom_tools as ht", "second": ""}
    if order == "after":
        imports = {"first": "", "second": "import hourloom_tools as ht"}
    code = ACCESSOR_CHECK.format(**imports)
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr


def test_zoned_lists_give_lists_in_the_zone():
    from zoneinfo import ZoneInfo
    berlin = ZoneInfo("Europe/Berlin")
    z = ht.Zoned(week(), "Europe/Berlin")
    starts = (dt.datetime(2024, 5, 6, 16, tzinfo=berlin), None)
    got = z.add_work(starts, H * 2)
    assert got == [dt.datetime(2024, 5, 7, 9, tzinfo=berlin), None] and got[0].tzinfo is berlin
    assert z.next_open(list(starts)) == [starts[0], None]
    assert z.capacity_at(list(starts)) == [2, None]


MINUTE = 60 * 10**9
points = st.integers(0, SPAN_MINUTES * MINUTE - 1)


@settings(max_examples=60, deadline=None)
@given(calendars(), st.lists(st.tuples(points, points, st.integers(0, 6 * 60 * MINUTE)), min_size=1, max_size=8))
def test_nanoseconds_are_kept_exactly(drawn, rows):
    """[ns] columns against integer arithmetic on the model's minutes (nanoseconds from BASE)."""
    model, cal = drawn
    caps = [model_capacity(model, instant(m)) for m in range(SPAN_MINUTES)]

    def open_time(a, b, weighted=False):
        return sum(max(0, min(b, (m + 1) * MINUTE) - max(a, m * MINUTE)) * (c if weighted else 1)
                   for m, c in enumerate(caps) if c >= 1)

    def walk(a, d):
        if d == 0:
            return a
        for m in range(a // MINUTE, SPAN_MINUTES):
            if caps[m] >= 1:
                here = (m + 1) * MINUTE - max(a, m * MINUTE)
                if d <= here:
                    return max(a, m * MINUTE) + d  # a closing instant, when the work ends there
                d -= here
        return None

    base = int(np.datetime64(BASE, "ns").view(np.int64))
    a, b, d = (np.array(c, np.int64) for c in zip(*rows))
    starts, ends = (base + a).view("M8[ns]"), (base + np.maximum(a, b)).view("M8[ns]")
    got = ht.working_duration(cal, starts, ends)
    assert got.dtype == "m8[ns]" and got.view(np.int64).tolist() == [open_time(x, max(x, y)) for x, y, _ in rows]
    assert ht.capacity_time(cal, starts, ends).view(np.int64).tolist() == [
        open_time(x, max(x, y), True) for x, y, _ in rows]
    done = ht.add_work(cal, starts, d.view("m8[ns]"))
    for (x, _, w), r in zip(rows, done.view(np.int64).tolist()):
        expected = walk(x, w)
        if expected is not None:
            assert r - base == expected


def test_nanoseconds_outside_their_range_are_refused_at_their_position():
    cal = hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17))
    late = np.array(["2024-05-06", "2262-04-11"], "M8[ns]")
    with raises(ValueError, "Instant is outside the datetime64[ns] range. (at position 1)"):
        ht.add_work(cal, late, np.timedelta64(9, "D").astype("m8[ns]"))
    with raises(OverflowError, "Duration is outside the timedelta64[ns] range. (at position 0)"):
        ht.capacity_time(cal.SetDefaultCapacity(3), np.array(["1678-01-01"], "M8[ns]"), dt.datetime(2261, 1, 1))
    # Scalars keep their types, pandas' with their nanoseconds; [us] columns stay in [us].
    cal.SetDefaultCapacity(1)
    t = pd.Timestamp("2024-05-06 10:00:00.000000900")
    assert ht.add_work(cal, t, pd.Timedelta(200, "ns")) == pd.Timestamp("2024-05-06 10:00:00.000001100")
    assert ht.working_duration(cal, t, t + pd.Timedelta(200, "ns")) == pd.Timedelta(200, "ns")
    assert type(ht.add_work(cal, dt.datetime(2024, 5, 6, 10), pd.Timedelta(H))) is dt.datetime
    assert ht.next_open(cal, np.array(["2024-05-06"], "M8[ms]")).dtype == "M8[us]"
    s = pl.Series("t", np.array(["2024-05-06T10:00:00.000000001"], "M8[ns]"))
    assert ht.next_open(cal, s).dtype == pl.Datetime("ns") and ht.next_open(cal, s)[0] == s[0]
