"""hourloom_tools against a loop of the scalar methods, on random calendars and
timelines, and the input and output forms of its functions."""
import datetime as dt
import math
import re
import time
from fractions import Fraction

import numpy as np
import pytest
from hypothesis import example, given, settings, strategies as st

import hourloom
import hourloom_tools as ht
from hourloom_tools import _core
from conftest import raises
from oracle import BASE, QUARTERS, SPAN_MINUTES, calendars, instant, model_capacity

pd = pytest.importorskip("pandas")
NAT = np.datetime64("NaT", "us")
V = np.array([0, 10, 20], np.int64)
H = dt.timedelta(hours=1)

# Instants on quarter hours (state boundaries) and odd seconds, around the model's span, some NaT,
# some far away (too far to compile the range between: asked one by one).
instants = st.one_of(st.integers(-96, SPAN_MINUTES // 15 + 96).map(lambda q: BASE + dt.timedelta(minutes=15 * q)),
                     st.integers(-1440, SPAN_MINUTES + 1440).map(lambda m: BASE + dt.timedelta(minutes=m, seconds=7)),
                     st.none(), st.sampled_from([BASE - dt.timedelta(days=900), BASE + dt.timedelta(days=2000)]))
durations = st.integers(0, 3 * 24 * 4).map(lambda q: dt.timedelta(minutes=15 * q))


@st.composite
def sources(draw):
    """A random calendar, or a timeline of it over part of the span; with the calendar."""
    _, cal = draw(calendars())
    if draw(st.booleans()):
        return cal, cal
    a, b = sorted(draw(st.lists(st.integers(0, SPAN_MINUTES // 15), min_size=2, max_size=2)))
    return cal.Compile(BASE + dt.timedelta(minutes=15 * a), BASE + dt.timedelta(minutes=15 * b)), cal


def column(values, kind="M"):
    return np.array(list(values), f"{kind}8[us]")  # None is NaT


def plain(values):
    return [None if v is None or v != v else v for v in values.astype(object).tolist()]


def oracle(fn, *args, missing=None):
    """The scalar answer, None for "none" and for a working-time miss."""
    if any(a is None for a in args):
        return missing
    try:
        return fn(*args)
    except RuntimeError as e:
        if "not found inside the search range" in str(e):
            return None
        raise


def expect_same(ask, scalar, *columns, missing=None):
    """ask() equals the scalar loop over the zipped columns, or raises the first element's error with its position."""
    expected = []
    for i, args in enumerate(zip(*columns)):
        try:
            expected.append(oracle(scalar, *args, missing=missing))
        except (ValueError, RuntimeError, OverflowError) as e:
            with raises(type(e), f"{e} (at position {i})"):
                ask()
            return
    got = ask()
    assert (got.tolist() if got.dtype.kind == "i" else plain(got)) == expected


def walk_limit(source, start, until):
    """A timeline's walk sees nothing after its compiled end: the calendar's walk with that horizon."""
    if not isinstance(source, hourloom.HourloomTimeline) or start is None:
        return until
    end = source.Window.End
    if not source.Window.Start <= start < end:
        raise ValueError("Timestamp is outside the compiled timeline.")
    return end if until is None or end < until else until


def signed(fn, s, e):
    return fn(s, e) if s <= e else -fn(e, s)


def weighted(source, s, e):
    states = source.GetStateWindows(s, e)
    return sum(((w.Window.End - w.Window.Start) * w.Capacity for w in states if w.Capacity > 0), dt.timedelta(0))


@settings(max_examples=200, deadline=None)
@given(sources(), st.lists(st.tuples(instants, instants, durations), min_size=1, max_size=6), instants,
       st.integers(0, 3))
def test_every_function_matches_the_scalar_loop(source, rows, until, minimum):
    tl, cal = source
    starts, others, ds = zip(*rows)
    a, b, d = column(starts), column(others), column(ds, "m")
    for times in (a, np.resize(a, 70), np.sort(np.resize(np.concatenate([a, b]), 70))):  # long columns are indexed
        expect_same(lambda: ht.capacity_at(tl, times, fill=-1), tl.GetCapacityAt, plain(times), missing=-1)
    expect_same(lambda: ht.next_open(tl, a, until), lambda s: cal.GetNextOpenTime(s, walk_limit(tl, s, until)),
                starts)
    expect_same(lambda: ht.next_open(tl, a, b), lambda s, u: cal.GetNextOpenTime(s, walk_limit(tl, s, u)),
                starts, others)
    expect_same(lambda: ht.add_work(tl, a, d, until),
                lambda s, x: cal.AddWorkDuration(s, x, walk_limit(tl, s, until)), starts, ds)
    if all(s is None or not isinstance(tl, hourloom.HourloomTimeline) or tl.Window.Start <= s < tl.Window.End
           for s in starts):  # horizons exactly at the answers found without one
        found, opens = ht.add_work(tl, a, d), ht.next_open(tl, a)
        expect_same(lambda: ht.add_work(tl, a, d, found),
                    lambda s, x, u: cal.AddWorkDuration(s, x, walk_limit(tl, s, u)), starts, ds, plain(found))
        expect_same(lambda: ht.next_open(tl, a, opens),
                    lambda s, u: cal.GetNextOpenTime(s, walk_limit(tl, s, u)), starts, plain(opens))
    for x, y, z in ((a, b, d), (np.resize(a, 70), np.resize(b, 70), np.resize(d, 70))):  # long columns are indexed
        expect_same(lambda: ht.working_duration(tl, x, y), lambda s, e: signed(tl.GetWorkingDuration, s, e),
                    plain(x), plain(y))
        expect_same(lambda: ht.add_work(tl, x, z, until),
                    lambda s, w: cal.AddWorkDuration(s, w, walk_limit(tl, s, until)), plain(x), plain(z))
    expect_same(lambda: ht.capacity_time(tl, a, b), lambda s, e: signed(lambda x, y: weighted(tl, x, y), s, e),
                starts, others)
    slot = (lambda s, x: tl.FindFirstSlot(s, x, minimum, until)) if until is not None else \
        (lambda s, x: tl.FindFirstSlot(s, x, minimum))
    expect_same(lambda: ht.first_slot(tl, a, d, minimum, until), lambda s, x: getattr(slot(s, x), "Start", None),
                starts, ds)


def model_back(caps, e, d, u, keep, whole):
    """The minute model walking back from minute e to minute u: the latest x with d kept minutes in
    [x, e) (whole: all of them, a slot), or for a slot of 0 the end of the last kept minute."""
    if d == 0 and not whole:
        return instant(e)
    run = 0
    for m in range(e - 1, u - 1, -1):
        if keep(caps[m]):
            run += 1
            if run == max(d, 1):
                return instant(m + (d == 0))
        elif whole:
            run = 0
    return None


def far_too(ask, source, *cols):
    """ask() over the columns, checked against the same with one far end added: the range is then too
    long to compile, and the calendar's own backward walk answers every element."""
    got = ask(*cols)
    if not isinstance(source, hourloom.HourloomTimeline):
        far = ask(*(np.append(c, c[:1] if c.dtype.kind == "m" else c[:1] + np.timedelta64(3000, "D")) for c in cols))
        assert plain(far[:-1]) == plain(got)
    return got


@settings(max_examples=400, deadline=None)
@given(calendars(), st.lists(st.tuples(st.integers(0, QUARTERS), st.integers(0, 32),
                                       st.one_of(st.just(QUARTERS), st.integers(0, QUARTERS))), min_size=1, max_size=6),
       st.integers(1, 3), st.integers(0, QUARTERS), st.data())
def test_walking_back_and_its_inverse_laws(drawn, rows, minimum, split, data):
    model, cal = drawn
    caps = [c for q in range(QUARTERS) for c in [model_capacity(model, instant(15 * q))] * 15]
    lo, hi, source = 0, QUARTERS, cal
    if data.draw(st.booleans()):  # a timeline over part of the span
        lo, hi = sorted((split, data.draw(st.integers(0, QUARTERS))))
        source = cal.Compile(instant(15 * lo), instant(15 * hi))
    ends = [min(max(e, lo), hi) * 15 for e, _, _ in rows]
    bounds = [max(e - 15 * back, 15 * lo) for e, (_, _, back) in zip(ends, rows)]
    d = [15 * q if q or source is cal else 15 for _, q, _ in rows]  # minutes; a timeline's 0 is a forward walk
    E, U, D = column(map(instant, ends)), column(map(instant, bounds)), np.array(d, "m8[m]").astype("m8[us]")
    opened = lambda c: c >= 1
    found = far_too(lambda e, x, u: ht.add_work(source, e, -x, u), source, E, D, U)
    assert plain(found) == [model_back(caps, *r, opened, False) for r in zip(ends, d, bounds)]
    assert plain(ht.add_work(source, E, -D, found)) == plain(found)  # `until` exactly at the answer
    slots = far_too(lambda e, x, u: ht.last_slot(source, e, x, minimum, u), source, E, D, U)
    assert plain(slots) == [model_back(caps, *r, lambda c: c >= minimum, True) for r in zip(ends, d, bounds)]
    positive = D > np.timedelta64(0, "us")
    assert plain(ht.last_slot(source, E[positive], D[positive], minimum, slots[positive])) == plain(slots[positive])
    # The laws, where the walks are found, for d > 0.
    ok = [f is not None and x > 0 for f, x in zip(plain(found), d)]
    assert plain(ht.working_duration(source, found[ok], E[ok])) == [dt.timedelta(minutes=x) for x, k in zip(d, ok) if k]
    last_open = [max((m + 1 for m in range(e) if caps[m] >= 1), default=None) for e in ends]
    there = [instant(e) if e and caps[e - 1] >= 1 else instant(m) if m else None for e, m in zip(ends, last_open)]
    assert plain(ht.add_work(source, found[ok], D[ok])) == [t for t, k in zip(there, ok) if k]
    starts = [s for s in ends if s < 15 * hi]  # a timeline walks forward from inside its range only
    S, DS = column(map(instant, starts)), D[[s < 15 * hi for s in ends]]
    if source is cal:  # horizons a day on: the states compiled over them answer
        U1 = S + np.timedelta64(1, "D")
        assert plain(ht.first_slot(cal, S, DS, minimum, U1)) == [
            getattr(cal.FindFirstSlot(*r, minimum, u), "Start", None) for r, u in zip(zip(plain(S), plain(DS)), plain(U1))]
    ahead = ht.add_work(source, S, DS)
    back = ht.add_work(source, ahead, -DS)
    for s, x, a, b in zip(starts, DS, plain(ahead), plain(back)):
        if a is not None and x > np.timedelta64(0, "us") and a <= instant(SPAN_MINUTES):
            assert b == instant(next(m for m in range(s, SPAN_MINUTES) if caps[m] >= 1))


def test_windows_and_walks_past_a_timeline():
    cal = hourloom_week()
    tl = cal.Compile(BASE, BASE + dt.timedelta(days=4))
    starts, ends, caps = ht.windows(tl, BASE, BASE + dt.timedelta(days=2))
    assert [(w.Window.Start, w.Window.End, w.Capacity) for w in tl.GetStateWindows(BASE, BASE + dt.timedelta(days=2))] \
        == list(zip(plain(starts), plain(ends), caps.tolist()))
    assert ht.add_work(tl, BASE + dt.timedelta(days=3), 30 * H) is None
    assert ht.add_work(cal, BASE + dt.timedelta(days=3), 30 * H) == cal.AddWorkDuration(BASE + dt.timedelta(days=3),
                                                                                          30 * H)
    # Walking back: a stretch filled exactly gives its start; a timeline sees nothing before its range.
    mon9 = BASE + dt.timedelta(days=1, hours=9)
    assert ht.add_work(cal, mon9, np.array([-1, 0, -2], "m8[h]")).tolist() == [mon9 - H, mon9, mon9 - 65 * H]
    far = [mon9, mon9 + dt.timedelta(days=3000)]  # too long a range to compile: the calendar's own walks
    assert ht.add_work(cal, far, -H).tolist()[0] == ht.last_slot(cal, far, H).tolist()[0] == mon9 - H
    assert ht.add_work(tl, [mon9, BASE + dt.timedelta(days=4)], -2 * H).tolist() == [None, mon9 + 54 * H]
    assert ht.last_slot(tl, mon9, [H, 2 * H, 0 * H]).tolist() == [mon9 - H, None, mon9]
    with raises(ValueError, "Timestamp is outside the compiled timeline. (at position 0)"):
        ht.add_work(tl, BASE - H, -H)


def hourloom_week():
    return hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17)).SetDefaultCapacity(2)


def test_input_and_output_forms():
    cal = hourloom_week()
    mon9 = dt.datetime(2024, 5, 6, 9)
    times = pd.Series([mon9, None, mon9 + 12 * H], index=list("xyz"), name="t")
    got = ht.capacity_at(cal, times)
    assert got.dtype == "Int64" and got.name == "t" and list(got.index) == list("xyz")
    assert got.tolist() == [2, pd.NA, 0]
    assert ht.can_work(cal, pd.Index(times)).tolist() == [True, pd.NA, False]
    assert ht.add_work(cal, times, pd.Timedelta(hours=8)).tolist()[0] == pd.Timestamp(cal.AddWorkDuration(mon9, 8 * H))
    # Scalars of every kind in, Python scalars out; numpy shapes broadcast, 0-d kept.
    for t in (mon9, np.datetime64(mon9), pd.Timestamp(mon9)):
        assert ht.capacity_at(cal, t) == 2 and ht.can_work(cal, t) is True
        assert ht.working_duration(cal, t, mon9 + 24 * H) == 9 * H
    assert ht.next_open(cal, None) is None and ht.capacity_at(cal, NAT, fill=7) == 7
    grid = np.datetime64(mon9) + np.arange(6).reshape(2, 3, 1) * np.timedelta64(1, "h")
    assert ht.add_work(cal, grid, np.array([1, 2], "m8[h]")).shape == (2, 3, 2)
    assert ht.capacity_at(cal, np.array(np.datetime64(mon9))).shape == ()
    # Any unit finer than [us] but [ns], floored; big-endian, strided, read-only and object arrays; the input unchanged.
    ns = np.array([np.datetime64(mon9) - np.timedelta64(10, "ns")], "M8[10ns]")
    assert ht.next_open(cal, ns)[0] == np.datetime64(mon9 - dt.timedelta(microseconds=1), "us")
    big = np.array([mon9, mon9 + 12 * H] * 2, "M8[us]").astype(">M8[us]")[::2]
    big.flags.writeable = False
    assert ht.capacity_at(cal, big).tolist() == [2, 2] and big[0] == np.datetime64(mon9)
    assert ht.capacity_at(cal, np.array([mon9], object)).tolist() == [2]
    assert ht.capacity_at(cal, [mon9, mon9]).tolist() == [2, 2]


@pytest.mark.parametrize("call, error, text", [
    (lambda c: ht.capacity_at(c, np.array([np.datetime64("2024-05-06"), NAT])), ValueError, "(at position 1)"),
    (lambda c: ht.capacity_at(c, np.array(["10000-01-01"], "M8[D]")), ValueError,
     "Instant is outside the range of datetime. (at position 0)"),
    (lambda c: ht.capacity_at(c, np.array(["2024-05-06"] * 70 + ["10000-01-01"], "M8[D]")), ValueError,
     "Instant is outside the range of datetime. (at position 70)"),
    (lambda c: ht.working_duration(c, np.datetime64("2024-05-06"), np.array(["10000-01-01"], "M8[D]")), ValueError,
     "Instant is outside the range of datetime. (at position 0)"),
    (lambda c: ht.next_open(c, np.datetime64("2024-05-06"), np.array(["10000-01-01"], "M8[D]")), ValueError,
     "Instant is outside the range of datetime. (at position 0)"),
    (lambda c: ht.capacity_at(c, pd.Series(pd.to_datetime(["2024-05-06"]).tz_localize("UTC"))), TypeError,
     "hourloom_tools.Zoned"),
    (lambda c: ht.capacity_at(c, dt.datetime(2024, 5, 6, tzinfo=dt.timezone.utc)), TypeError, "hourloom_tools.Zoned"),
    (lambda c: ht.first_slot(c, dt.datetime(2024, 5, 6), H, 0), ValueError,
     "Required capacity must be positive. (at position 0)"),
    (lambda c: ht.capacity_at(c.Compile(dt.datetime(2024, 5, 6), dt.datetime(2024, 5, 7)),
                              [dt.datetime(2024, 5, 6), dt.datetime(2024, 5, 7)]), ValueError,
     "Timestamp is outside the compiled timeline. (at position 1)"),
    (lambda c: ht.capacity_at(object(), dt.datetime(2024, 5, 6)), TypeError, "HourloomCalendar"),
    (lambda c: ht.last_slot(c.Compile(dt.datetime(2024, 5, 6), dt.datetime(2024, 5, 7)),
                            [dt.datetime(2024, 5, 6, 9), dt.datetime(2024, 5, 8)], H), ValueError,
     "Timestamp is outside the compiled timeline. (at position 1)"),
    (lambda c: ht.capacity_at(c, [NAT], fill=2**63), ValueError, "fill: 9223372036854775808 is outside the int64 range"),
    (lambda c: ht.capacity_at(c, [NAT], fill=1.5), TypeError, "fill: expected an int, got 'float'"),
    (lambda c: ht.can_work(c, [NAT], fill=1), TypeError, "fill: expected a bool, got 'int'"),
    # The private kernel checks what the public functions always pass right.
    (lambda c: _core.run(2, c, V, None, None, 1, np.empty(3, np.int64)), TypeError, "second: expected an int64 buffer"),
    (lambda c: _core.to_wall(V, V[:2], V[:1], np.empty(3, np.int64)), ValueError, "offsets: expected 3 int64 values"),
    (lambda c: _core.to_wall(V, V.astype(np.int32), V, np.empty(3, np.int64)), ValueError, "bounds: expected int64 values"),
    (lambda c: _core.to_wall(V, V[:1], np.array([0, 2**62]), np.empty(3, np.int64)), ValueError, "within a day"),
    (lambda c: _core.slots(V[:2], V[1:] + 1, V[:2], 1, V, V, V, False, np.empty(3, np.int64)), ValueError, "without gaps"),
])
def test_errors_name_their_position(call, error, text):
    with pytest.raises(error, match=re.escape(text)):
        call(hourloom_week())


UNITS = {"Y": None, "M": None, "W": 604_800_000_000, "D": 86_400_000_000, "7D": 604_800_000_000, "h": 3_600_000_000,
         "m": 60_000_000, "s": 1_000_000, "ms": 1_000, "us": 1, "ns": Fraction(1, 1000), "10ns": Fraction(1, 100)}


@settings(max_examples=150, deadline=None)
@example("ns", [2**63 - 1])  # pandas' Timestamp.max
@example("10ns", [-5])  # floored, not truncated
@given(st.sampled_from(sorted(UNITS)), st.lists(st.one_of(st.integers(-2**63 + 1, 2**63 - 1), st.integers(-10**6, 10**6)),
                                                min_size=1, max_size=3))
def test_every_unit_is_read_exactly_or_refused(unit, values):
    """Instants that no datetime holds are refused at their position; durations past int64 microseconds find nothing."""
    cal, epoch, huge, mon9 = hourloom_week(), dt.datetime(1970, 1, 1), dt.timedelta.max // 2, dt.datetime(2024, 5, 6, 9)
    times, expected = [], []
    for v in values:
        months = v * (12 if unit == "Y" else 1) if UNITS[unit] is None else None
        us = None if months is not None else math.floor(v * UNITS[unit])
        try:
            times.append(dt.datetime(1970 + months // 12, months % 12 + 1, 1) if months is not None
                         else epoch + dt.timedelta(microseconds=us))
        except (ValueError, OverflowError):
            times.append(None)
    arr = np.array(values, f"M8[{unit}]")
    if None in times:
        with raises(ValueError, f"Instant is outside the range of datetime. (at position {times.index(None)})"):
            ht.capacity_at(cal, arr)
    else:
        assert ht.capacity_at(cal, arr).tolist() == [cal.GetCapacityAt(t) for t in times]
    per = UNITS[unit] or (31_556_952_000_000 if unit == "Y" else 2_629_746_000_000)  # numpy's average year, month
    for v in values:
        us = math.floor(v * per)
        d = dt.timedelta(microseconds=us) if abs(us) < 2**63 else huge if us > 0 else -huge
        if us < 0:
            with raises(ValueError, "Duration cannot be negative. (at position 0)"):
                ht.first_slot(cal, mon9, np.array([v], f"m8[{unit}]"))
        else:
            assert ht.first_slot(cal, mon9, np.array([v], f"m8[{unit}]")).astype("M8[us]").tolist() == [
                getattr(cal.FindFirstSlot(mon9, d), "Start", None)]
    assert ht.add_work(cal, mon9, dt.timedelta(microseconds=2**64) + H) is None  # Python's timedelta too
    assert ht.first_slot(cal, mon9, dt.timedelta.max) is None


def test_plot_draws_the_windows(monkeypatch):
    pytest.importorskip("matplotlib").use("Agg")
    cal, monday = hourloom_week(), dt.datetime(2024, 5, 6)
    ax = ht.plot(cal, monday, monday + dt.timedelta(days=7))
    assert len(ax.collections) == 5 and ax.get_ylim() == (0, 3)  # five open days of capacity 2
    monkeypatch.setitem(__import__("sys").modules, "matplotlib.pyplot", None)
    with raises(ImportError, "pip install 'hourloom[plot]'"):
        ht.plot(cal, monday, monday)


CHILD = """
import datetime as dt, sys, numpy as np, hourloom, hourloom_tools as ht
w = hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17))
cal = hourloom.HourloomCalendar.Intersect(*[w] * 20)
day = np.datetime64("2024-01-01", "us") + np.arange(31) * np.timedelta64(1, "D")
print("go", flush=True)
try:
    if sys.argv[1] == "spans":  # one walk over the union of the spans: many seconds
        ht.working_duration(cal, day - np.timedelta64(700_000, "D"), day + np.timedelta64(2_900_000, "D"))
    elif sys.argv[1] == "weighted":
        ht.capacity_time(cal, np.datetime64("9999-12-26"), day)
    else:  # no slot of 20 hours: each element walks to year 9000
        ht.first_slot(cal, day, dt.timedelta(hours=20), 1, np.datetime64("9000-01-01"))
except KeyboardInterrupt:
    print(ht.capacity_at(cal, day[0] + np.timedelta64(9, "h")), len(w.AddHoliday(day[1].item()).ClosedWindows), flush=True)
"""


@pytest.mark.parametrize("case", ["spans", "weighted", "slots"])
def test_a_long_column_stops_at_ctrl_c_and_changes_nothing(case):
    import signal
    import subprocess
    import sys
    with subprocess.Popen([sys.executable, "-c", CHILD, case], stdout=subprocess.PIPE, text=True) as child:
        assert child.stdout.readline() == "go\n"
        time.sleep(0.3)
        sent = time.perf_counter()
        child.send_signal(signal.SIGINT)
        assert child.stdout.readline() == "1 1\n" and time.perf_counter() - sent < 0.5
