"""Compiled timelines and batches: the compiled edges, sub-ranges, the Analyze
overloads, bulk calls and batches, and the timeline against its calendar on
random calendars."""
import datetime as dt
import random

import pytest
from hypothesis import given, settings, strategies as st

import hourloom
from conftest import at, hm, raises
from oracle import BASE, SPAN_MINUTES, calendars, instant

Cal = hourloom.HourloomCalendar
Batch = hourloom.HourloomTimelineBatch
K = hourloom.HourloomWindowKind
TW = hourloom.TimeWindow
OUTSIDE = "Timestamp is outside the compiled timeline."
RANGE_OUTSIDE = "Range is outside the compiled timeline."
US = dt.timedelta(microseconds=1)


def week(cal=None, start=at(0), end=at(7)):
    return (cal or Cal.Weekdays(hm(8), hm(17))).Compile(start, end)


def states(found):
    return [(s.Window.Start, s.Window.End, s.Capacity) for s in found]


class TestCompiledRange:
    def test_start_inside_end_outside(self):
        tl = week()
        assert tl.CanWork(at(0, 9)) is True and tl.Window == TW(at(0), at(7))
        for t in (at(7), at(0) - US):
            with raises(ValueError, OUTSIDE):
                tl.GetCapacityAt(t)
        with raises(ValueError, "End must be greater than or equal to start."):
            Cal().Compile(at(1), at(0))
        empty = Cal().Compile(at(0), at(0))
        assert empty.GetStateWindows(at(0), at(0)) == []
        with raises(ValueError, OUTSIDE):
            empty.Analyze(at(0))

    @pytest.mark.parametrize("t,current,previous,following", [
        (at(0, 3), (at(0), at(0, 8)), None, at(0, 8)),  # the compiled start is no transition
        (at(0, 8), (at(0, 8), at(0, 17)), None, at(0, 17)),
        (at(1, 8), (at(1, 8), at(1, 17)), at(0, 17), at(1, 17)),
        (at(4, 20), (at(4, 17), at(7)), at(4, 17), None),  # nor is the compiled end
    ])
    def test_compiled_edges_are_not_transitions(self, t, current, previous, following):
        a = week().Analyze(t)
        assert ((a.CurrentWindow.Start, a.CurrentWindow.End), a.PreviousTransition, a.NextTransition) == (
            current, previous, following)
        assert a.Matches == []

    def test_sub_ranges_clip_and_join(self):
        tl = week()
        for start, end in ((at(0), at(7) + US), (at(0) - US, at(1))):
            with raises(ValueError, RANGE_OUTSIDE):
                tl.GetOpenWindows(start, end)
        with raises(ValueError, "End must be greater than or equal to start."):
            tl.GetStateWindows(at(0, 18), at(0, 10))
        with raises(ValueError, "Required capacity must be positive."):
            tl.GetCapacityWindows(at(0, 18), at(0, 10), 0)
        r = tl.AnalyzeRange(at(0, 9), at(0, 18))
        assert (r.Window, r.WorkingDuration, states(r.Segments)) == (
            TW(at(0, 9), at(0, 18)), dt.timedelta(hours=8), states(tl.GetStateWindows(at(0, 9), at(0, 18))))

    def test_first_slot(self):
        tl = week()
        h = dt.timedelta(hours=1)
        assert tl.FindFirstSlot(at(0), 10 * h, 0) == TW(at(0), at(0, 10))  # a minimum of 0 keeps closed time
        assert tl.FindFirstSlot(at(0), dt.timedelta(days=999_999_999), 0) is None
        with raises(ValueError, RANGE_OUTSIDE):
            tl.FindFirstSlot(at(0), h, searchUntil=at(7) + US)
        with raises(ValueError, "Duration cannot be negative."):
            tl.FindFirstSlot(at(0), -h)


class TestAnalyzeOverloads:
    @pytest.mark.parametrize("args,kwargs,filled", [
        ((), {}, False), ((False,), {}, False), ((True,), {}, True), ((), {"includeMatches": True}, True),
        ((None,), {"includeMatches": True}, True), (("x",), {"includeMatches": True}, True),
        ((True,), {"includeMatches": False}, True),  # a bool second argument wins
        ((dt.date(2024, 5, 7),), {}, False),  # neither an instant nor a bool: ignored
        ((at(0, 18).replace(tzinfo=dt.timezone.utc),), {"includeMatches": True}, True),  # no instant: ignored
    ])
    def test_instant_forms(self, args, kwargs, filled):
        a = week().Analyze(at(0, 9), *args, **kwargs)
        assert isinstance(a, hourloom.HourloomInstantAnalysis) and bool(a.Matches) is filled

    def test_range_form(self):
        r = week().Analyze(at(0, 9), at(0, 18), includeMatches=True)
        assert isinstance(r, hourloom.HourloomTimelineAnalysis) and r.Window == TW(at(0, 9), at(0, 18))


class TestBulk:
    def test_whole_or_nothing(self):
        tl = week()
        assert tl.GetCapacitiesAt(t for t in (at(0, 9),)) == [1]  # any iterable
        assert [a.NextTransition for a in tl.AnalyzeMany((at(0, 9), at(0, 3)))] == [at(0, 17), at(0, 8)]
        assert all(a.Matches for a in tl.AnalyzeMany([at(0, 9)], includeMatches=True))
        for call in (tl.GetCapacitiesAt, tl.AnalyzeMany):
            assert call([]) == []
            with raises(ValueError, OUTSIDE):
                call([at(0, 9), at(7), at(0, 3)])
            # Every instant is converted before any is looked up.
            with raises(TypeError, "argument 'instants': 'str' object cannot be cast as 'datetime'"):
                call([at(7), "x"])
            with raises(TypeError, "argument 'instants':"):
                call(5)

    def test_batch(self):
        day = week()
        late = week(Cal.Weekdays(hm(14), hm(22)).SetDefaultCapacity(2))
        b = Batch([day, late])
        assert b.Count == 2
        assert [b.GetCapacitiesAt(at(1, h)) for h in (10, 15, 20)] == [[1, 0], [1, 2], [0, 2]]
        assert [a.CurrentWindow for a in b.Analyze(at(1, 15))] == [TW(at(1, 8), at(1, 17)), TW(at(1, 14), at(1, 22))]
        assert [bool(a.Matches) for a in b.Analyze(at(1, 15), True)] == [True, True]
        with raises(ValueError, OUTSIDE):
            Batch([day, week(start=at(7), end=at(14))]).GetCapacitiesAt(at(1, 10))
        empty = Batch.Create([])
        assert (empty.Count, empty.GetCapacitiesAt(at(99)), empty.Analyze(at(99))) == (0, [], [])
        assert Batch.Create(t for t in (late, day)).GetCapacitiesAt(at(1, 15)) == [2, 1]

    def test_batch_iterables(self):
        def failing():
            yield week()
            raise ZeroDivisionError("part way")

        with pytest.raises(ZeroDivisionError, match="part way"):
            Batch(failing())
        with raises(TypeError, "'HourloomCalendar' object cannot be cast as 'HourloomTimeline'"):
            Batch([week(), Cal()])
        with pytest.raises(TypeError):
            Batch(5)

    def test_independent_of_later_edits(self):
        cal = Cal.Weekdays(hm(8), hm(17))
        tl = week(cal)
        b = Batch([tl])
        cal.Clear().SetDefaultCapacity(0).AddCapacityOverride(at(0), at(7), 5)
        del tl
        assert b.GetCapacitiesAt(at(0, 9)) == [1]
        assert [m.Kind for m in b.Analyze(at(0, 9), True)[0].Matches] == [K.Available, K.OpenRule]


minutes = st.integers(0, SPAN_MINUTES)


@settings(max_examples=120, deadline=None)
@given(calendars(), st.lists(minutes, min_size=4, max_size=4), st.integers(1, 3), st.randoms(use_true_random=False))
def test_timeline_is_the_calendar_frozen(calendar, marks, minimum, rnd):
    model, cal = calendar
    lo, a, b, hi = sorted(marks)
    tl = cal.Compile(instant(lo), instant(hi))
    start, end = instant(a), instant(b)
    assert tl.GetStateWindows(start, end) == cal.GetStateWindows(start, end)
    assert tl.GetOpenWindows(start, end) == cal.GetOpenWindows(start, end)
    assert tl.GetUnavailableWindows(start, end) == cal.GetUnavailableWindows(start, end)
    assert tl.GetCapacityWindows(start, end, minimum) == cal.GetCapacityWindows(start, end, minimum)
    assert tl.GetWorkingDuration(start, end) == cal.GetWorkingDuration(start, end)
    d = dt.timedelta(minutes=(b - a) // 3)
    assert tl.FindFirstSlot(start, d, minimum, end) == cal.FindFirstSlot(start, d, minimum, end)
    # Lookups over a longer range, in order and shuffled, one by one and in bulk.
    first, last = BASE - dt.timedelta(days=3), BASE + dt.timedelta(days=60)
    long = cal.Compile(first, last)
    edges = [s.Window.End for s in cal.GetStateWindows(first, last)][:-1]
    ts = [first + dt.timedelta(seconds=rnd.randrange(63 * 86400)) for _ in range(40)] + [first, last - US]
    ts = sorted(ts + [e + d for e in rnd.sample(edges, min(6, len(edges))) for d in (-US, 0 * US, US)])
    expected = [cal.GetCapacityAt(t) for t in ts]
    assert long.GetCapacitiesAt(ts) == [long.GetCapacityAt(t) for t in ts] == expected
    order = list(range(len(ts)))
    rnd.shuffle(order)
    assert long.GetCapacitiesAt([ts[i] for i in order]) == [expected[i] for i in order]
    full = cal.GetStateWindows(instant(lo), instant(hi))
    for t in ts[:: 7]:
        if instant(lo) <= t < instant(hi):
            a = tl.Analyze(t, True)
            assert a.Matches == cal.GetWindowsAt(t)
            held = next(s for s in full if s.Window.Contains(t))
            assert (a.Capacity, a.CurrentWindow) == (held.Capacity, held.Window)
