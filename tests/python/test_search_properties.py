"""Searches and working time against a scan of the minute model, on random
simple and composite calendars. Forward searches stop at the model's span."""
import copy
import datetime as dt

from hypothesis import given, settings, strategies as st

from oracle import (SPAN_MINUTES, TW, Cal, apply_entry_op, calendars, entry_ops, instant, model_capacity, model_states,
                    simple_calendars)

HORIZON = instant(SPAN_MINUTES)


def minutes(n):
    return dt.timedelta(minutes=n)


def first(items, default=None):
    return next(iter(items), default)


@settings(max_examples=40, deadline=None)
@given(st.one_of(calendars(), simple_calendars(plain=True)), st.integers(0, SPAN_MINUTES - 1),
       st.integers(0, 24 * 60), st.integers(1, 3), st.integers(1, 2 * 24 * 60))
def test_searches_match_a_scan_of_the_minute_model(calendar, start, amount, minimum, radius):
    model, cal = calendar
    caps = [model_capacity(model, instant(m)) for m in range(SPAN_MINUTES)]
    open_after = [m for m in range(start, SPAN_MINUTES) if caps[m] >= 1]
    s = instant(start)

    assert cal.GetWorkingDuration(s, HORIZON) == minutes(len(open_after))
    assert cal.GetNextOpenTime(s, HORIZON) == first(instant(m) for m in open_after)

    # Added time lands where the open time since the start reaches the amount.
    if amount == 0:
        assert cal.AddWorkDuration(s, minutes(0), HORIZON) == s
    elif amount <= len(open_after):
        expected = instant(open_after[amount - 1] + 1)
        assert cal.AddWorkDuration(s, minutes(amount), HORIZON) == expected
        trace = cal.TraceWorkDuration(s, minutes(amount), HORIZON)
        assert trace.Result == expected and trace.ConsumedTicks == trace.RequestedTicks
        windows = [step.Window for step in trace.Steps]
        assert all(w.Duration == step.Duration > dt.timedelta(0) for w, step in zip(windows, trace.Steps))
        assert all(cal.CanWork(w) for w in windows)
        # Within a week of the start, steps are whole stretches: never touching.
        assert all(a.End < b.Start for a, b in zip(windows, windows[1:]))
        assert windows[-1].End == expected
    else:
        try:
            cal.AddWorkDuration(s, minutes(amount), HORIZON)
            raise AssertionError("found work beyond the horizon")
        except RuntimeError:
            pass

    # The first slot is the first run of `amount` minutes at the minimum.
    def fits(a):
        return a + amount <= SPAN_MINUTES and all(c >= minimum for c in caps[a:a + max(amount, 1)])
    slot = first(TW(instant(a), instant(a + amount)) for a in range(start, SPAN_MINUTES) if fits(a))
    assert cal.FindFirstSlot(s, minutes(amount), minimum, HORIZON) == slot

    # Around an instant: the state windows of the search window, scanned.
    t = min(max(start, radius), SPAN_MINUTES - radius)
    lo, hi = t - radius, t + radius
    states = model_states(caps[lo:hi], lo)
    inner = [end for _, end, _ in states[:-1]]
    before = [b for b in inner if b < instant(t)]
    after = [b for b in inner if b > instant(t)]
    r = minutes(radius)
    assert cal.GetPreviousTransitionTime(instant(t), r) == (before[-1] if before else None)
    assert cal.GetNextTransitionTime(instant(t), r) == first(after)
    if instant(t) in inner:
        nearest = instant(t)
    elif before and after:
        nearest = before[-1] if instant(t) - before[-1] <= after[0] - instant(t) else after[0]
    else:
        nearest = before[-1] if before else first(after)
    assert cal.GetNearestTransitionTime(instant(t), r) == nearest
    current = first((a, b, c) for a, b, c in states if a <= instant(t) < b)
    assert cal.GetCurrentOpenWindow(instant(t), r) == (TW(*current[:2]) if current[2] >= 1 else None)
    assert cal.GetCurrentUnavailableWindow(instant(t), r) == (TW(*current[:2]) if current[2] == 0 else None)
    assert cal.Analyze(instant(t), searchRadius=r).Capacity == current[2]


@settings(max_examples=40, deadline=None)
@given(simple_calendars(), st.integers(-3 * 24 * 60, 24 * 60), st.integers(14 * 24 * 60, 40 * 24 * 60))
def test_working_duration_adds_up_over_days(calendar, start, length):
    # Long ranges are counted by weeks; single days are expanded whole.
    _, cal = calendar
    s, e = instant(start), instant(start + length)
    days = [min(s + dt.timedelta(days=k), e) for k in range(length // (24 * 60) + 2)]
    assert cal.GetWorkingDuration(s, e) == sum((cal.GetWorkingDuration(a, b) for a, b in zip(days, days[1:])),
                                               dt.timedelta(0))


@settings(max_examples=40, deadline=None)
@given(simple_calendars(), entry_ops, st.integers(0, SPAN_MINUTES - 1))
def test_entry_edits_after_a_question_and_a_copy(calendar, ops, start):
    # The first question builds the time index; the copy shares it, and each
    # later edit patches the edited calendar's own index, not the copy's.
    model, cal = calendar
    cal.GetStateWindows(instant(0), HORIZON)
    before, twin = copy.deepcopy(model), Cal.Intersect(cal)
    for op in ops:
        apply_entry_op(model, cal, op)
    for m, c in ((model, cal), (before, twin)):
        caps = [model_capacity(m, instant(k)) for k in range(start, SPAN_MINUTES)]
        got = [(s.Window.Start, s.Window.End, s.Capacity) for s in c.GetStateWindows(instant(start), HORIZON)]
        assert got == model_states(caps, start)
        assert c.GetWorkingDuration(instant(start), HORIZON) == minutes(sum(x >= 1 for x in caps))
        opened = [k for k, x in enumerate(caps) if x >= 1]
        assert c.GetNextOpenTime(instant(start), HORIZON) == (instant(start + opened[0]) if opened else None)
