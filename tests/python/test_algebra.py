"""Calendars from calendars. Over a finite range R, every expression of
hourloom_tools' operators must answer as a plain calendar materialised from it:
open windows and capacity overrides equal to its state windows over R, closed
outside R. The expression's capacities come from its leaves' state windows,
minute by minute, in plain numpy."""
import copy
import datetime as dt
import pickle

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import hourloom
import hourloom_tools as ht
from conftest import raises
from oracle import BASE, Cal, simple_calendars, times

MAX = 2**31 - 1
MIN = dt.timedelta(minutes=1)
US = dt.timedelta(microseconds=1)
G0, GN = BASE - dt.timedelta(days=4), 12 * 1440  # every capacity is known over G = [G0, G0 + GN minutes)
R0, R1 = 4 * 1440, 8 * 1440                      # R = [BASE, BASE + 4 days), in minutes of G


def g(m):
    return G0 + int(m) * MIN


def minute(t):
    return (t - G0) // MIN


def capacities(cal):
    caps = np.zeros(GN, np.int64)
    for s in cal.GetStateWindows(g(0), g(GN)):
        caps[minute(s.Window.Start):minute(s.Window.End)] = s.Capacity
    return caps


def states(caps, lo=R0, hi=R1):
    """Runs of equal capacity over [lo, hi) as (start, end, capacity)."""
    if lo == hi:
        return []
    cut = [lo] + [int(m) for m in np.flatnonzero(caps[lo + 1:hi] != caps[lo:hi - 1]) + lo + 1] + [hi]
    return [(g(a), g(b), int(caps[a])) for a, b in zip(cut, cut[1:])]


def materialised(caps):
    cal = Cal()
    for s, e, c in states(caps):
        if c >= 1:
            cal.AddOpenWindow(s, e)
            if c != 1:
                cal.AddCapacityOverride(s, e, c)
    return cal


# ---------------------------------------------------------------- random expressions

minutes = st.integers(0, GN)
periods = st.one_of(st.integers(1, 3 * 1440), st.sampled_from([1440, 2880, 1439, 61]))


@st.composite
def trees(draw, depth=4, big=True):
    """(capacities over G, the expression, instants of its own worth asking at) of depth <= depth."""
    if depth == 0 or draw(st.integers(0, 3)) == 0:
        cal = draw(simple_calendars())[1]  # and open some hours every day, for leaves that are mostly closed
        daily = sorted(draw(st.lists(times, min_size=2, max_size=2, unique=True)))
        for day in range(7):
            cal.AddOpenRule(day, *daily)
        cal.SetDefaultCapacity(max(cal.DefaultCapacity, 1))
        return capacities(cal), cal, []
    op = draw(st.sampled_from(["union", "total", "intersect", "difference", "scale", "within", "effective", "repeat"]))
    kids = [draw(trees(depth - 1, big)) for _ in range(draw(st.integers(1, 3)) if op in ("union", "total", "intersect")
                                                      else 2 if op == "difference" else 1)]
    caps, cals = np.stack([k[0] for k in kids]), [k[1] for k in kids]
    marks = [m for k in kids for m in k[2]]
    if op == "union":
        return caps.max(0), ht.union(*cals), marks
    if op == "total":
        return np.minimum(caps.sum(0), MAX), ht.total(*cals), marks
    if op == "intersect":
        return np.where((caps == 0).any(0), 0, caps.min(0)), Cal.Intersect(*cals), marks
    if op == "difference":
        return np.where(caps[1] == 0, caps[0], 0), ht.difference(*cals), marks
    if op == "scale":
        k = draw(st.sampled_from([0, 2, 3] + [MAX] * 2 * big))
        return np.minimum(caps[0] * k, MAX), ht.scale(cals[0], k), marks
    m = np.arange(GN)
    if op == "within":
        a, b = sorted(draw(st.lists(minutes, min_size=2, max_size=2)))
        return np.where((a <= m) & (m < b), caps[0], 0), ht.within(cals[0], g(a), g(b)), marks + [a, b]
    if op == "effective":
        switches = sorted(draw(st.sets(minutes, min_size=1, max_size=3)))
        pieces = [draw(st.one_of(st.none(), trees(depth - 1, big))) for _ in switches]
        out = np.zeros(GN, np.int64)
        for a, b, p in zip(switches, switches[1:] + [GN], pieces):
            out[a:b] = 0 if p is None else p[0][a:b]
        return (out, ht.effective([(g(a), None if p is None else p[1]) for a, p in zip(switches, pieces)]),
                marks + switches + [x for p in pieces if p for x in p[2]])
    anchor, period = draw(st.integers(1440, 9 * 1440)), draw(periods)
    multiples = range(anchor + (R0 - anchor) // period * period, R1 + 1, period)[:20]  # from just before R
    return caps[0][anchor + (m - anchor) % period], ht.repeat(cals[0], g(anchor), period * MIN), marks + list(multiples)


def answer(ask, *args):
    """ask(*args) as plain values, or the exception it raises as (type, message)."""
    try:
        got = ask(*args)
    except (ValueError, RuntimeError, OverflowError) as e:
        return type(e), str(e)
    if isinstance(got, np.ndarray):
        return got.tolist()
    if isinstance(got, list):
        return [(s.Window.Start, s.Window.End, s.Capacity) for s in got]
    return got


def same(ask, a, b, *args):
    assert answer(ask, a, *args) == answer(ask, b, *args), args


def column(values, kind="M"):
    return np.array(list(values), f"{kind}8[us]")


# ---------------------------------------------------------------- the oracle


@settings(max_examples=150, deadline=None)
@given(trees(), st.data())
def test_every_expression_answers_as_its_materialised_calendar(tree, data):
    caps, cal, marks = tree
    plain = materialised(caps)
    r0, r1 = g(R0), g(R1)
    assert answer(cal.GetStateWindows, r0, r1) == states(caps)
    a, b = sorted(data.draw(st.lists(st.integers(R0, R1), min_size=2, max_size=2)))
    assert answer(cal.GetStateWindows, g(a), g(b)) == states(caps, a, b)
    for m in [m for m in marks if R0 < m < R1][:40] + data.draw(st.lists(st.integers(R0 + 1, R1 - 1), max_size=5)):
        assert (cal.GetCapacityAt(g(m)), cal.GetCapacityAt(g(m) - US)) == (caps[m], caps[m - 1])
    starts = data.draw(st.lists(st.integers(R0 * 60, R1 * 60 - 1), min_size=1, max_size=4))
    S = [G0 + dt.timedelta(seconds=s, microseconds=7) for s in starts]
    D = [dt.timedelta(minutes=x) for x in data.draw(st.lists(st.integers(0, 2 * 1440), min_size=len(S),
                                                             max_size=len(S)))]
    level = data.draw(st.integers(1, 3))
    for s, d in zip(S, D):
        same(lambda c, *x: c.AddWorkDuration(*x), cal, plain, s, d, r1)
        same(lambda c, *x: c.GetWorkingDuration(*x), cal, plain, *sorted((s, min(s + d, r1))))
        same(lambda c, *x: c.FindFirstSlot(*x), cal, plain, s, d, level, r1)
        radius = min(s - r0, r1 - s, d)  # the search window inside R
        for question in ("GetNextTransitionTime", "GetPreviousTransitionTime", "GetNearestTransitionTime")[:3 * bool(radius)]:
            same(lambda c, *x: getattr(c, question)(*x), cal, plain, s, radius)
    tl, plain_tl = cal.Compile(r0, r1), plain.Compile(r0, r1)
    assert answer(tl.GetStateWindows, r0, r1) == states(caps)
    # Columns, of the expression and of its timeline, with searches kept inside R.
    SC, DC = column(S), column(D, "m")
    for source in (cal, tl):
        plain_source = plain if source is cal else plain_tl
        same(ht.capacity_at, source, plain_source, SC)
        same(ht.next_open, source, plain_source, SC, r1)
        same(ht.add_work, source, plain_source, SC, DC, r1)
        same(ht.add_work, source, plain_source, SC, -DC, r0)
        same(ht.working_duration, source, plain_source, SC, SC[::-1])
        same(ht.capacity_time, source, plain_source, SC, SC[::-1])
        same(ht.add_capacity_time, source, plain_source, SC, DC, r1)
        same(ht.add_capacity_time, source, plain_source, SC, -DC, r0)
        same(ht.first_slot, source, plain_source, SC, DC, level, r1)
        same(ht.last_slot, source, plain_source, SC, DC, level, r0)
        same(lambda c, *x: ht.windows(c, *x)[2], source, plain_source, r0, r1)
    # Pickled and copied, it is the same expression (damaged payloads: test_pickle).
    for other in (pickle.loads(pickle.dumps(cal)), copy.deepcopy(cal)):
        assert answer(other.GetStateWindows, r0, r1) == states(caps) and ht.describe(other) == ht.describe(cal)


# ---------------------------------------------------------------- add_capacity_time


@settings(max_examples=150, deadline=None)
@given(trees(depth=2, big=False),
       st.lists(st.tuples(st.integers(R0 * 60, R1 * 60 - 1), st.sampled_from([1000, 1001]) | st.integers(0, 1100)),
                min_size=1, max_size=5))
def test_add_capacity_time_inverts_capacity_time(tree, rows):
    # Forward, the first whole microsecond whose weighted time from the start reaches the amount: one
    # microsecond earlier falls short (as it would not after a stretch of capacity 0). Back, the latest start.
    cal, one = tree[1], np.timedelta64(1, "us")
    S = column(G0 + dt.timedelta(seconds=s, microseconds=7 * (s % 2)) for s, _ in rows)
    for sign, bound in ((1, g(R1)), (-1, g(R0))):
        room = ht.capacity_time(cal, S, bound) * sign  # all there is up to the bound
        A = np.maximum(room * np.array([p for _, p in rows]) // 1000, one) * sign  # all of it, some beyond
        got = ht.add_capacity_time(cal, S, A, bound)
        # One start 3000 days on makes the range too long to compile: each is then walked on the calendar.
        far = np.append(S, S[-1] + np.timedelta64(3000, "D"))
        assert ht.add_capacity_time(cal, far, np.append(A, A[-1]), bound)[:-1].tolist() == got.tolist()
        found = ~np.isnat(got)
        assert (found == (abs(A) <= room)).all()
        x, a = got[found], abs(A[found])
        spent = lambda y: ht.capacity_time(cal, S[found], y) * sign
        assert (spent(x) >= a).all() and (spent(x - sign * one) < a).all()
        # And the other way round: the weighted time to an instant leads to it, or to an earlier instant
        # (later, walking back) with the same weighted time.
        again = ht.add_capacity_time(cal, S[found], spent(x) * sign, bound)
        assert (spent(again) == spent(x)).all() and ((again - x) * sign <= np.timedelta64(0, "us")).all()


def test_add_capacity_time_rounds_up_and_keeps_add_works_conventions():
    three = Cal.Weekdays(dt.time(8), dt.time(17)).SetDefaultCapacity(3)
    mon9 = dt.datetime(2024, 5, 6, 9)
    # Two microseconds of three-person time take one microsecond and a third: the next whole one is the answer.
    assert ht.add_capacity_time(three, mon9, np.array([1, 2, 3, 0, -2], "m8[us]")).tolist() == [
        mon9 + US, mon9 + US, mon9 + US, mon9, mon9 - US]
    assert ht.add_capacity_time(three, mon9, dt.timedelta(hours=30)) == dt.datetime(2024, 5, 7, 10)
    assert ht.add_capacity_time(three, [mon9, None], -dt.timedelta(hours=30)).tolist() == [dt.datetime(2024, 5, 3, 8),
                                                                                           None]
    assert ht.add_capacity_time(three, mon9, dt.timedelta(hours=30), mon9 + dt.timedelta(hours=24)) is None
    tl = three.Compile(mon9, mon9 + dt.timedelta(days=2))
    assert ht.add_capacity_time(tl, mon9, dt.timedelta(hours=60)) is None
    with raises(ValueError, "Timestamp is outside the compiled timeline. (at position 1)"):
        ht.add_capacity_time(tl, [mon9, mon9 - US], dt.timedelta(hours=1))
    # Capacity saturated at 2,147,483,647 for 9 hours: weighted sums past int64 nanoseconds stay exact.
    huge = ht.total(ht.scale(three, MAX), three)
    assert ht.add_capacity_time(huge, mon9, [US, -US]).tolist() == [mon9 + US, mon9 - US]
    assert ht.add_capacity_time(huge, mon9, ht.capacity_time(huge, mon9, mon9 + dt.timedelta(hours=1))) == \
        mon9 + dt.timedelta(hours=1)


# ---------------------------------------------------------------- refusals

W = Cal.Weekdays(dt.time(8), dt.time(17))
T0 = dt.datetime(2024, 5, 6)


@pytest.mark.parametrize("call, error, text", [
    (lambda: ht.union(), ValueError, "At least one calendar is required."),
    (lambda: ht.total(W, 5), TypeError, "calendar 1: expected a HourloomCalendar, got 'int'"),
    (lambda: ht.union(W, W.Compile(T0, T0 + dt.timedelta(1))), TypeError,
     "calendar 1: expected a HourloomCalendar, got a HourloomTimeline, which answers only inside its compiled range"),
    (lambda: ht.difference(W, None), TypeError, "calendar 1: expected a HourloomCalendar, got 'NoneType'"),
    (lambda: ht.scale(W, -1), ValueError, "Scale factor must be between 0 and 2147483647."),
    (lambda: ht.scale(W, MAX + 1), ValueError, "Scale factor must be between 0 and 2147483647."),
    (lambda: ht.scale(W, 1.5), TypeError, "argument 'k': expected an int, got 'float'"),
    (lambda: ht.within(W, T0, T0 - US), ValueError, "End must be greater than or equal to start."),
    (lambda: ht.within(W, T0, "2024-05-07"), TypeError, "argument 'end': expected datetime values, got 'str'"),
    (lambda: ht.effective([]), ValueError, "At least one (instant, calendar) pair is required."),
    (lambda: ht.effective([(T0, W), (T0, W)]), ValueError, "Switch instants must be strictly increasing."),
    (lambda: ht.effective([(T0, W), (T0 - US, None)]), ValueError, "Switch instants must be strictly increasing."),
    (lambda: ht.effective([(T0, 3)]), TypeError, "expected a HourloomCalendar, got 'int'"),
    (lambda: ht.effective([T0]), TypeError, "pairs[0]: expected an (instant, calendar) pair, got 'datetime'"),
    (lambda: ht.repeat(W, T0, dt.timedelta(0)), ValueError, "Period must be positive."),
    (lambda: ht.repeat(W, T0, -US), ValueError, "Period must be positive."),
    (lambda: ht.repeat(W, None, US), TypeError, "argument 'anchor': "),
    (lambda: ht.add_capacity_time(W, T0, 5), TypeError, "argument 'amounts': expected timedelta64 values, got int64"),
])
def test_bad_input_is_refused(call, error, text):
    with raises(error, text):
        call()
