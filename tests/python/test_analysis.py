"""Window matches with a search radius, the two forms of Analyze, and the point
and range query objects: their signatures, their frozen calendar, reversed
ranges, and one property test that each of their questions is the calendar's
own question with the bound instant or range filled in."""
import datetime as dt

import pytest
from hypothesis import given, settings, strategies as st

import hourloom
from conftest import at, hm, raises
from oracle import SPAN_MINUTES, calendars, instant

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow
K = hourloom.HourloomWindowKind
HOUR = dt.timedelta(hours=1)
END_BEFORE_START = "End must be greater than or equal to start."


def flat(value):
    """Result records as plain values, so that two answers compare."""
    if isinstance(value, list):
        return [flat(v) for v in value]
    if isinstance(value, hourloom.HourloomWindowMatch):
        return value.Kind, value.Window, value.Capacity
    if isinstance(value, hourloom.HourloomInstantAnalysis):
        return (value.Instant, value.Capacity, value.CanWork, value.CurrentWindow, value.PreviousTransition,
                value.NextTransition, flat(value.Matches))
    if isinstance(value, hourloom.HourloomTimelineAnalysis):
        return value.Window, value.Segments, value.WorkingTicks
    if isinstance(value, hourloom.WorkingTimeTrace):
        return value.Result, [(s.Window, s.Duration) for s in value.Steps], value.ConsumedTicks
    return value


def matches(cal, t):
    return [(m.Kind, m.Window.Start, m.Window.End, m.Capacity) for m in cal.GetWindowsAt(t)]


def outcome(call):
    try:
        return "ok", flat(call())
    except (ValueError, RuntimeError, OverflowError, TypeError, AttributeError) as e:
        return type(e), str(e)


class TestWindowsAt:
    cal = Cal().AddOpenRule(1, hm(8), hm(17)).AddClosedWindow(at(0, 12), at(0, 13))

    def test_the_radius_cuts_the_leading_window(self):
        assert flat(self.cal.GetWindowsAt(at(0, 10), HOUR)) == [
            (K.Available, TW(at(0, 9), at(0, 11)), 1), (K.OpenRule, TW(at(0, 8), at(0, 17)), None)]
        assert flat(self.cal.GetWindowsAt(at(0, 12, 30), searchRadius=None)) == [
            (K.Unavailable, TW(at(0, 12), at(0, 13)), 0), (K.OpenRule, TW(at(0, 8), at(0, 17)), None),
            (K.ClosedWindow, TW(at(0, 12), at(0, 13)), 0)]


class TestMatches:
    def test_order_and_kinds(self):
        cal = (Cal().AddOpenRule(1, hm(8), hm(17)).AddBreakRule(1, hm(9), hm(11))
               .AddCapacityOverride(at(0, 10), at(0, 12), 4).AddClosedWindow(at(0, 10), at(0, 11))
               .SetCapacityWindow("cap", at(0, 9), at(0, 13), 3).SetClosedWindow("shut", at(0, 10), at(0, 12))
               .SetOpenWindow("open", at(0, 10), at(0, 14)).AddOpenWindow(at(0, 10), at(0, 15)))
        assert matches(cal, at(0, 10, 30)) == [
            (K.Unavailable, at(0, 9), at(0, 12), 0), (K.OpenRule, at(0, 8), at(0, 17), None),
            (K.BreakRule, at(0, 9), at(0, 11), None), (K.ClosedWindow, at(0, 10), at(0, 11), 0),
            (K.CapacityOverride, at(0, 9), at(0, 13), 3), (K.ClosedWindow, at(0, 10), at(0, 12), None),
            (K.OpenWindow, at(0, 10), at(0, 14), None), (K.CapacityOverride, at(0, 10), at(0, 12), 4)]

    def test_overnight_rule_from_the_day_before(self):
        cal = Cal().AddOpenRule(1, hm(22), hm(6)).AddOpenRule(2, hm(1), hm(4))
        assert matches(cal, at(1, 3)) == [
            (K.Available, at(0, 22), at(1, 6), 1), (K.OpenRule, at(0, 22), at(1, 6), None),
            (K.OpenRule, at(1, 1), at(1, 4), None)]

    def test_one_off_open_windows_are_not_reported(self):
        cal = Cal().AddOpenWindow(at(0, 1), at(0, 2)).SetOpenWindow("o", at(0, 3), at(0, 4))
        assert matches(cal, at(0, 1, 30)) == [(K.Available, at(0, 1), at(0, 2), 1)]
        assert matches(cal, at(0, 3, 30))[1:] == [(K.OpenWindow, at(0, 3), at(0, 4), None)]
        # The state window is cut to seven days either side.
        assert matches(Cal(), at(0, 12)) == [(K.Unavailable, at(-7, 12), at(7, 12), 0)]

    def test_composites_component_by_component(self):
        a = Cal().AddOpenRule(1, hm(8), hm(17)).AddCapacityOverride(at(0, 9), at(0, 11), 3)
        b = Cal().AddOpenRule(1, hm(9), hm(12))
        both = Cal.Intersect(a, b.And(a))
        assert [m[0] for m in matches(both, at(0, 10))] == [
            K.Available, K.OpenRule, K.CapacityOverride, K.OpenRule, K.OpenRule, K.CapacityOverride]


class TestAnalyze:
    cal = Cal().AddOpenRule(1, hm(8), hm(17))

    def test_a_datetime_end_asks_for_the_range_and_the_radius_is_ignored(self):
        r = self.cal.Analyze(at(0, 6), at(0, 14), searchRadius="not looked at")
        assert isinstance(r, hourloom.HourloomTimelineAnalysis)
        assert r.Window == TW(at(0, 6), at(0, 14)) and r.Segments == self.cal.GetStateWindows(at(0, 6), at(0, 14))
        with raises(ValueError, END_BEFORE_START):
            self.cal.Analyze(at(0, 14), at(0, 6))

    def test_otherwise_the_second_argument_or_the_keyword_is_the_radius(self):
        t = at(0, 10)
        cut = lambda a: a.CurrentWindow  # noqa: E731
        assert cut(self.cal.Analyze(t)) == TW(at(0, 8), at(0, 17))
        assert cut(self.cal.Analyze(t, HOUR)) == TW(at(0, 9), at(0, 11))
        assert cut(self.cal.Analyze(t, None, HOUR)) == TW(at(0, 9), at(0, 11))
        assert cut(self.cal.Analyze(t, HOUR, searchRadius=2 * HOUR)) == TW(at(0, 8), at(0, 12))
        assert isinstance(self.cal.Analyze(t, HOUR), hourloom.HourloomInstantAnalysis)
        with raises(AttributeError, "'str' object has no attribute 'days'"):
            self.cal.Analyze(t, "1 hour")
        with raises(TypeError, "argument 'instant':"):
            self.cal.Analyze("monday", HOUR)


class TestFrozen:
    def test_a_composite_keeps_answering_as_the_composite(self):
        a, b = Cal().AddOpenRule(1, hm(8), hm(17)), Cal().AddOpenRule(1, hm(12), hm(20))
        point, span = a.And(b).At(at(0, 13)), Cal.Intersect(a, b).Between(at(0), at(1))
        a.Clear()
        b.AddHoliday(at(0).date())
        assert point.GetCurrentOpenWindow() == TW(at(0, 12), at(0, 17))
        assert span.GetOpenWindows() == [TW(at(0, 12), at(0, 17))]


def test_a_reversed_range_is_refused_by_every_question_that_needs_it_ordered():
    cal = Cal().AddOpenRule(1, hm(8), hm(17))
    reversed_ = cal.Between(at(0, 12), at(0, 9))
    for call in (reversed_.CanWork, lambda: reversed_.HasCapacity(1), lambda: reversed_.FindFirstSlot(HOUR)):
        with raises(ValueError, END_BEFORE_START):
            call()
    # The slot's own checks come first.
    with raises(ValueError, "Required capacity must be positive."):
        reversed_.FindFirstSlot(HOUR, 0)
    with raises(ValueError, "Duration cannot be negative."):
        reversed_.FindFirstSlot(-HOUR)
    with raises(ValueError, "Required capacity must be positive."):
        reversed_.HasCapacity(0)


minutes = st.integers(0, SPAN_MINUTES)
radii = st.one_of(st.none(), st.integers(-60, 3 * 24 * 60).map(lambda m: dt.timedelta(minutes=m)))


@settings(max_examples=60, deadline=None)
@given(calendars(), minutes, minutes, minutes, radii, st.integers(0, 3), st.integers(-30, 24 * 60))
def test_query_objects_ask_the_calendars_questions(calendar, a, b, c, radius, minimum, length):
    _, cal = calendar
    t, s, e = instant(a), instant(b), instant(c)  # s after e is kept on purpose
    d, until = dt.timedelta(minutes=length), instant(SPAN_MINUTES)
    # (object, its question, its arguments, the calendar's question, its arguments)
    questions = [
        ("At", "CanWork", (), "CanWork", (t,)), ("At", "HasCapacity", (minimum,), "HasCapacity", (t, minimum)),
        ("At", "GetCapacity", (), "GetCapacityAt", (t,)), ("At", "GetWindows", (radius,), "GetWindowsAt", (t, radius)),
        ("At", "GetNextOpenTime", (until,), "GetNextOpenTime", (t, until)),
        ("At", "AddWorkDuration", (d, until), "AddWorkDuration", (t, d, until)),
        ("At", "TraceWorkDuration", (d, until), "TraceWorkDuration", (t, d, until)),
        *[("At", name, (radius,), name, (t, radius)) for name in (
            "Analyze", "GetCurrentOpenWindow", "GetCurrentUnavailableWindow", "GetNextTransitionTime",
            "GetPreviousTransitionTime", "GetNearestTransitionTime")],
        *[("Between", name, (), name, (s, e)) for name in (
            "GetOpenWindows", "GetUnavailableWindows", "GetStateWindows", "Analyze", "GetWorkingDuration",
            "GetWorkingTicks")],
        ("Between", "GetCapacityWindows", (minimum,), "GetCapacityWindows", (s, e, minimum)),
    ]
    if s <= e:  # a reversed range is pinned above for these
        questions += [("Between", "CanWork", (), "CanWork", (TW(s, e),)),
                      ("Between", "HasCapacity", (minimum,), "HasCapacity", (TW(s, e), minimum)),
                      ("Between", "FindFirstSlot", (d, minimum), "FindFirstSlot", (s, d, minimum, e))]
    expected = {(maker, name): outcome(lambda: getattr(cal, cal_name)(*cal_args))
                for maker, name, _, cal_name, cal_args in questions}
    bound = {"At": cal.At(t), "Between": cal.Between(s, e)}
    if not cal.IsComposite:
        cal.Clear()  # no answer below may change
    for maker, name, args, _, _ in questions:
        assert outcome(lambda: getattr(bound[maker], name)(*args)) == expected[maker, name], (maker, name)
    # The analysis reads from one search what the separate questions each search for.
    kind, analysis = expected["At", "Analyze"]
    if kind == "ok":
        answer = {name: expected["At", name][1] for maker, name, *_ in questions if maker == "At"}
        assert analysis[1:] == (
            answer["GetCapacity"], answer["CanWork"],
            answer["GetCurrentOpenWindow"] or answer["GetCurrentUnavailableWindow"],
            answer["GetPreviousTransitionTime"], answer["GetNextTransitionTime"], answer["GetWindows"])
