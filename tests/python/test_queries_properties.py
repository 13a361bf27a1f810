"""Property tests: the module's answers and records against the plain minute
model on random calendars, simple and composite."""
import datetime as dt

from hypothesis import given, settings, strategies as st

import hourloom
from conftest import content
from oracle import (BASE, QUARTERS, SPAN_MINUTES, TW, Cal, apply_entry_op, calendars, capacities, entry_op, in_window,
                    instant, model_capacity, model_states, rule_holds, rules, runs, simple_calendars, windows)

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


edits = st.one_of(entry_op, entry_op, st.just(("clear entries",)), st.just(("clear overrides",)),
                  st.tuples(st.just("override"), windows, capacities), st.tuples(st.just("closed"), windows))


def apply_edit(model, cal, edit):
    if edit[0] == "clear entries":
        model["entries"].clear()
        cal.ClearEntries()
    elif edit[0] == "clear overrides":
        model["overrides"].clear()
        cal.ClearCapacityOverrides()
    elif edit[0] == "override":
        model["overrides"].append(edit[1:])
        cal.AddCapacityOverride(*edit[1], edit[2])
    elif edit[0] == "closed":
        model["closed_windows"].append(edit[1])
        cal.AddClosedWindow(*edit[1])
    else:
        apply_entry_op(model, cal, edit)


@settings(max_examples=60, deadline=None)
@given(simple_calendars(), st.lists(st.tuples(edits, st.integers(0, SPAN_MINUTES - 1)), max_size=30))
def test_edits_interleaved_with_questions(calendar, steps):
    # Each edit is followed by questions over the whole span (every stored
    # instant lies on the quarter-hour grid); a composite taken halfway keeps
    # the answers of the calendar as it was then.
    model, cal = calendar
    snapshot = None
    for i, (edit, minute) in enumerate(steps):
        apply_edit(model, cal, edit)
        caps = [c for q in range(QUARTERS) for c in [model_capacity(model, instant(15 * q))] * 15]
        got = [(s.Window.Start, s.Window.End, s.Capacity) for s in cal.GetStateWindows(BASE, instant(SPAN_MINUTES))]
        assert got == model_states(caps, 0)
        assert cal.GetCapacityAt(instant(minute)) == caps[minute]
        last = min(SPAN_MINUTES, minute + 240)
        assert cal.CanWork(TW(instant(minute), instant(last))) == all(c >= 1 for c in caps[minute:last])
        if i == len(steps) // 2:
            frozen = {k: (dict(v) if k == "entries" else list(v) if isinstance(v, list) else v) for k, v in model.items()}
            always = Cal().SetDefaultCapacity(3).AddOpenWindow(instant(-SPAN_MINUTES), instant(2 * SPAN_MINUTES))
            snapshot = frozen, Cal.Intersect(cal, always)
    assert [(e.Id, e.Window.Start, e.Window.End) for e in cal.Entries] == [
        (k, w[0], w[1]) for k, (_, w, _) in model["entries"].items()]
    if snapshot:
        frozen, composite = snapshot
        for minute in range(0, SPAN_MINUTES, 97):
            assert composite.GetCapacityAt(instant(minute)) == model_capacity(frozen, instant(minute))
