"""Property tests: the module's answers and records against the plain minute
model on random calendars, simple and composite."""
import datetime as dt

from hypothesis import given, settings, strategies as st

import hourloom
from conftest import content
from oracle import (BASE, SPAN_MINUTES, TW, calendars, in_window, instant, model_capacity, model_states, rule_holds,
                    rules, runs, windows)

ranges = st.tuples(st.integers(0, SPAN_MINUTES), st.integers(0, 2 * 24 * 60)).map(
    lambda p: (p[0], min(SPAN_MINUTES, p[0] + p[1])))


KINDS = {"open": 0, "closed": 1, "capacity": 2}


def model_content(model):
    if "components" in model:
        return (1, [], [], [], [], [], [], [model_content(m) for m in model["components"]])
    return (model["default"], model["open_rules"], model["break_rules"], model["open_windows"],
            model["closed_windows"], [(*w, c) for w, c in model["overrides"]],
            [(i, KINDS[kind], *w, c if kind == "capacity" else 0) for i, (kind, w, c) in model["entries"].items()],
            [])


@settings(max_examples=150, deadline=None)
@given(calendars(), ranges, st.integers(1, 3))
def test_queries_match_the_minute_model(calendar, minutes, minimum):
    model, cal = calendar
    # The records read back in call order: entries re-set keep their place,
    # composites keep their nesting.
    assert content(cal) == model_content(model) and cal.IsComposite == ("components" in model)
    first, last = minutes
    start, end = instant(first), instant(last)
    caps = [model_capacity(model, instant(m)) for m in range(first, last)]

    got = [(s.Window.Start, s.Window.End, s.Capacity) for s in cal.GetStateWindows(start, end)]
    assert got == model_states(caps, first)
    assert cal.GetOpenWindows(start, end) == runs(caps, first, lambda c: c >= 1)
    assert cal.GetCapacityWindows(start, end, minimum) == runs(caps, first, lambda c: c >= minimum)
    assert cal.GetUnavailableWindows(start, end) == runs(caps, first, lambda c: c == 0)
    for m in range(first, last, 37):
        assert cal.GetCapacityAt(instant(m)) == caps[m - first]
        assert cal.CanWork(instant(m)) == (caps[m - first] >= 1)
        assert cal.HasCapacity(instant(m), minimum) == (caps[m - first] >= minimum)
    window = TW(start, end)
    assert cal.CanWork(window) == all(c >= 1 for c in caps)
    assert cal.HasCapacity(window, minimum) == all(c >= minimum for c in caps)


@settings(max_examples=60, deadline=None)
@given(calendars(), st.integers(0, SPAN_MINUTES * 60 - 1))
def test_capacity_between_minutes(calendar, second):
    # Instants off the minute grid take the capacity of their minute.
    model, cal = calendar
    t = BASE + dt.timedelta(seconds=second, microseconds=1)
    assert cal.GetCapacityAt(t) == model_capacity(model, t.replace(second=0, microsecond=0))


@settings(max_examples=200, deadline=None)
@given(rules, st.integers(0, SPAN_MINUTES - 1))
def test_weekly_rule_contains(rule, minute):
    assert hourloom.HourloomWeeklyRule(*rule).Contains(instant(minute)) == rule_holds(rule, instant(minute))


@settings(max_examples=200, deadline=None)
@given(windows, windows, st.integers(0, SPAN_MINUTES))
def test_window_operations(a, b, minute):
    wa, wb = TW(*a), TW(*b)
    assert wa.Contains(instant(minute)) == in_window(a, instant(minute))
    assert (wa.Duration, wa.IsEmpty) == (a[1] - a[0], a[0] == a[1])
    assert wa.Overlaps(wb) == (a[0] < b[1] and b[0] < a[1])  # an empty window inside overlaps
    start, end = max(a[0], b[0]), min(a[1], b[1])
    assert wa.Intersect(wb) == (TW(start, end) if start < end else None)
