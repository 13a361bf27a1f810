"""Searches and working time: argument order, chunk boundaries in traces,
exclusive horizons, long slots, and searches at the ends of datetime's range.
Generic answers are pinned against the minute model in test_search_properties."""
import datetime as dt
import re

import pytest

import hourloom
from conftest import at, hm

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow
DAY, HOUR, US = dt.timedelta(days=1), dt.timedelta(hours=1), dt.timedelta(microseconds=1)
NOT_FOUND = "The requested working duration was not found inside the search range."


def weekdays():
    return Cal.Weekdays(hm(8), hm(17))


def always_open():
    return Cal().Open(dt.datetime.min, dt.datetime.max)


AROUND = ["GetWindowsAt", "Analyze", "GetCurrentOpenWindow", "GetCurrentUnavailableWindow", "GetNextTransitionTime",
          "GetPreviousTransitionTime", "GetNearestTransitionTime"]
FORWARD = ["AddWorkDuration", "TraceWorkDuration", "FindFirstSlot"]


class TestArgumentOrder:
    @pytest.mark.parametrize("name", AROUND)
    def test_instant_then_radius(self, name):
        method = getattr(weekdays(), name)
        with pytest.raises(TypeError, match="^argument 'instant'"):
            method(1, "junk")
        with pytest.raises(AttributeError):
            method(at(0), "junk")
        for radius in (dt.timedelta(0), -US):  # refused even where there is something to find
            with pytest.raises(ValueError, match=re.escape("Search radius must be positive.")):
                method(at(0, 12), radius)

    @pytest.mark.parametrize("name", FORWARD)
    def test_declared_arguments_before_the_duration(self, name):
        method = getattr(weekdays(), name)
        with pytest.raises(TypeError, match="^argument 'searchUntil'"):
            method(at(0), "junk", searchUntil=1)
        with pytest.raises(AttributeError):
            method(at(0), "junk")
        with pytest.raises(ValueError, match="^Duration cannot be negative.$"):
            method(at(0), -US, searchUntil=None)

    def test_slot_checks_capacity_after_conversion_and_after_the_sign(self):
        cal = weekdays()
        with pytest.raises(TypeError, match="^argument 'minimumCapacity'"):
            cal.FindFirstSlot(at(0), "junk", "x")
        with pytest.raises(ValueError, match="^Duration cannot be negative.$"):
            cal.FindFirstSlot(at(0), -HOUR, 0)
        with pytest.raises(ValueError, match="^Required capacity must be positive.$"):
            cal.FindFirstSlot(at(0), HOUR, 0)
        assert cal.FindFirstSlot(at(0), HOUR, None) == TW(at(0, 8), at(0, 9))

    def test_ranges(self):
        for method in (weekdays().GetWorkingDuration, weekdays().GetWorkingTicks):
            with pytest.raises(ValueError, match="^End must be greater than or equal to start.$"):
                method(at(1), at(0))
        assert weekdays().GetWorkingTicks(at(0, 8), at(0, 9)) == 36_000_000_000


def test_whole_weeks_follow_the_rules_of_the_calendar_asked():
    lunch = weekdays()
    for day in range(1, 6):
        lunch.AddBreakRule(day, hm(12), hm(13))
    for cal, per_day in ((weekdays(), 9 * HOUR), (lunch, 8 * HOUR), (weekdays(), 9 * HOUR)):
        assert cal.GetWorkingDuration(at(0, 10), at(28, 10)) == 20 * per_day


class TestTransitions:
    def test_far_transitions_and_the_search_window_edge(self):
        cal = Cal().Open(at(0, 8), at(2, 20))
        assert cal.GetPreviousTransitionTime(at(1, 12)) == at(0, 8)
        assert cal.GetNextTransitionTime(at(1, 12)) == at(2, 20)
        assert cal.GetNearestTransitionTime(at(1, 12)) == at(0, 8)
        assert cal.GetCurrentOpenWindow(at(1, 12), 2 * DAY) == TW(at(0, 8), at(2, 20))
        # At a transition the current window is the one that begins there.
        assert cal.GetCurrentOpenWindow(at(0, 8)) == TW(at(0, 8), at(2, 20))
        assert cal.GetCurrentUnavailableWindow(at(2, 20)) == TW(at(2, 20), at(9, 20))
        # A change exactly at the edge of the search window is not seen.
        assert cal.GetNextTransitionTime(at(2, 12), 8 * HOUR) is None
        assert cal.GetNextTransitionTime(at(2, 12), 8 * HOUR + US) == at(2, 20)


class TestTrace:
    def test_open_time_is_cut_at_every_week_from_the_start(self):
        trace = always_open().TraceWorkDuration(at(0, 9), 10 * DAY)
        assert [(s.Window.Start, s.Window.End) for s in trace.Steps] == [(at(0, 9), at(7, 9)), (at(7, 9), at(10, 9))]
        assert trace.Result == at(10, 9) and trace.ConsumedTicks == trace.RequestedTicks
        # A working day that holds the chunk boundary becomes two steps.
        trace = weekdays().TraceWorkDuration(at(0, 9), 46 * HOUR)
        assert [(s.Window.Start, s.Window.End) for s in trace.Steps[-2:]] == [(at(7, 8), at(7, 9)), (at(7, 9), at(7, 10))]

    def test_zero_and_missing_work(self):
        trace = weekdays().TraceWorkDuration(at(5, 10), dt.timedelta(0))
        assert (trace.Start, trace.Result, trace.Steps, trace.RequestedDuration) == (at(5, 10), at(5, 10), [], dt.timedelta(0))
        with pytest.raises(RuntimeError, match=re.escape(NOT_FOUND)):
            weekdays().TraceWorkDuration(at(0), HOUR, at(0, 8))


class TestHorizon:
    def test_the_horizon_itself_is_never_looked_at(self):
        cal = weekdays()
        assert cal.GetNextOpenTime(at(5), at(7, 8)) is None
        assert cal.GetNextOpenTime(at(5), at(7, 8) + US) == at(7, 8)
        assert cal.GetNextOpenTime(at(2), at(1)) is None
        assert cal.FindFirstSlot(at(0), 4 * HOUR, 1, at(0, 12) - US) is None

    def test_never_open_walks_the_default_horizon(self, cal):
        assert cal.SetDefaultCapacity(0).GetNextOpenTime(at(0)) is None
        with pytest.raises(RuntimeError, match=re.escape(NOT_FOUND)):
            cal.AddWorkDuration(at(0), US)
        late = Cal().Open(at(1830) - HOUR, at(1831)).AddCapacityOverride(at(1829), at(1830), 2)
        assert late.GetNextOpenTime(at(0)) == at(1830) - HOUR
        assert late.FindFirstSlot(at(0), HOUR) == TW(at(1830) - HOUR, at(1830))
        assert late.FindFirstSlot(at(0), HOUR + US) is None
        assert late.AddWorkDuration(at(0), HOUR) == at(1830)
        assert late.GetWorkingDuration(at(0), at(1831)) == 25 * HOUR


class TestLongSlots:
    def test_a_week_long_slot_across_a_chunk_end(self):
        cal = always_open().Down(at(1, 10), at(1, 11))
        assert cal.FindFirstSlot(at(0, 9), 7 * DAY) == TW(at(1, 11), at(8, 11))
        assert cal.FindFirstSlot(at(0, 9), 10 * DAY) == TW(at(1, 11), at(11, 11))
        assert cal.FindFirstSlot(at(0, 9), 4 * DAY) == TW(at(1, 11), at(5, 11))

    def test_slots_longer_than_any_stretch_or_the_range(self):
        cal = weekdays()
        assert cal.FindFirstSlot(at(0), 7 * DAY - US) is None
        assert cal.FindFirstSlot(at(0), dt.timedelta(days=999_999_999)) is None
        assert always_open().FindFirstSlot(at(0), dt.timedelta(days=999_999_999)) is None


class TestYearEdges:
    """Windows and forward searches stop at the ends of datetime's range; transitions there are found."""

    def test_search_windows_are_cut_to_the_range(self):
        cal = always_open()
        assert cal.GetCurrentOpenWindow(dt.datetime(1, 1, 1)) == TW(dt.datetime(1, 1, 1), dt.datetime(1, 1, 8))
        assert cal.GetCurrentOpenWindow(dt.datetime(1, 1, 2), dt.timedelta.max) == TW(dt.datetime.min, dt.datetime.max)
        assert cal.GetCurrentOpenWindow(dt.datetime.max) is None
        assert weekdays().GetCurrentUnavailableWindow(dt.datetime(1, 1, 1, 3)) == TW(dt.datetime.min, dt.datetime(1, 1, 1, 8))
        assert weekdays().GetNextTransitionTime(dt.datetime(9999, 12, 31, 16)) == dt.datetime(9999, 12, 31, 17)

    def test_transitions_at_and_beyond_the_ends(self):
        end = Cal().Window(dt.datetime(9999, 1, 1), dt.datetime.max)
        assert end.GetNextTransitionTime(dt.datetime(9999, 12, 31, 23), HOUR) == dt.datetime.max
        assert end.GetNearestTransitionTime(dt.datetime.max - US, HOUR) == dt.datetime.max
        text = Cal().Open(at(0), at(1)).Close(dt.datetime(1, 1, 1), dt.datetime(1, 1, 1, 1)).ToJson()
        early = Cal.FromJson(text.replace(at(0).isoformat(), "0000-06-01T00:00:00"))
        assert early.GetPreviousTransitionTime(dt.datetime(1, 1, 1, 0, 30)) == dt.datetime.min
        with pytest.raises(ValueError, match="year 0 is out of range"):
            early.GetPreviousTransitionTime(dt.datetime(1, 1, 1), 400 * DAY)

    def test_forward_searches_end_at_the_last_instant(self):
        cal = weekdays()
        assert cal.GetNextOpenTime(dt.datetime(9999, 12, 31, 18)) is None
        assert cal.FindFirstSlot(dt.datetime(9999, 12, 31, 18), HOUR) is None
        with pytest.raises(RuntimeError, match=re.escape(NOT_FOUND)):
            cal.AddWorkDuration(dt.datetime(9999, 12, 31, 18), HOUR)
        assert always_open().AddWorkDuration(dt.datetime(9999, 12, 31), 24 * HOUR - US) == dt.datetime.max


@pytest.mark.parametrize("many", [0, 40])  # below and above the number of stored items that gets an index
def test_precedence_ties_and_exact_fits(many):
    cal = weekdays().AddHoliday(at(1).date()).AddCapacityOverride(at(0, 9), at(0, 12), 5)
    cal.AddCapacityOverride(at(0, 10), at(0, 11), 2)
    for i in range(many):
        cal.SetOpenWindow(f"far{i}", at(30 + i, 1), at(30 + i, 2))
    assert (cal.GetCapacityAt(at(1, 10)), cal.CanWork(at(1, 10)), cal.GetCapacityAt(at(0, 10, 30))) == (0, False, 2)
    assert cal.GetNearestTransitionTime(at(2, 12, 30)) == at(2, 8)  # equally far: the previous one
    timeline = cal.Compile(at(0), at(7))
    assert cal.GetPreviousTransitionTime(at(3, 8)) == cal.Analyze(at(3, 8)).PreviousTransition == at(2, 17)
    assert timeline.Analyze(at(3, 8)).PreviousTransition == at(2, 17)
    day = Cal().Open(at(0, 8), at(0, 17))
    exact = TW(at(0, 8), at(0, 17))
    assert day.FindFirstSlot(at(0, 8), 9 * HOUR, 1, at(0, 17)) == day.Between(at(0, 8), at(0, 17)).FindFirstSlot(9 * HOUR) == exact


def test_a_transition_found_after_a_closing_entry_is_an_instant():
    # A found transition is an optional instant inside a result: a result type
    # that kept its flag in the value's padding read it back as an error.
    cal = hourloom.HourloomCalendar.FromJson(
        '{"defaultCapacity":1,"openRules":[{"day":3,"start":"18:45:00","end":"08:00:00"},'
        '{"day":5,"start":"11:15:00","end":"00:00:00"}],"breakRules":[{"day":4,"start":"12:30:00","end":"19:45:00"}],'
        '"openWindows":[{"start":"2024-05-03T07:15:00","end":"2024-05-15T07:00:00"}],"closedWindows":[],'
        '"capacityWindows":[],"entries":[{"id":"a","kind":1,"start":"2024-05-07T16:45:00",'
        '"end":"2024-05-11T10:45:00","capacity":0}]}')
    found = cal.GetNextTransitionTime(dt.datetime(2024, 5, 5, 17, 10), dt.timedelta(days=2, seconds=34320))
    assert found == dt.datetime(2024, 5, 7, 16, 45)
