"""Calendar queries: argument checks and their order, targets, and the state
window records. The answers themselves are checked against the minute model."""
import datetime as dt
import re

import pytest

import hourloom
from conftest import at, hm

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow
END_BEFORE_START = "End must be greater than or equal to start."
NOT_POSITIVE = "Required capacity must be positive."


@pytest.mark.parametrize("query", ["GetStateWindows", "GetOpenWindows", "GetUnavailableWindows", "GetCapacityWindows"])
@pytest.mark.parametrize("composite", [False, True])
def test_ranges_must_not_be_reversed(query, composite):
    cal = Cal().And(Cal()) if composite else Cal()
    with pytest.raises(ValueError, match=re.escape(END_BEFORE_START)):
        getattr(cal, query)(at(1), at(0))
    assert getattr(cal, query)(at(1), at(1)) == []


@pytest.mark.parametrize("call", [
    lambda c: c.GetCapacityWindows(at(1), at(0), 0),  # before the range check
    lambda c: c.GetCapacityWindows(at(0), at(1), minimumCapacity=-3),
    lambda c: c.HasCapacity(at(0), 0),
    lambda c: c.HasCapacity(TW(at(1), at(1)), 0),
    lambda c: c.HasCapacity("not a target", 0),  # before the target conversion
    lambda c: c.HasCapacity(None, 0),
])
def test_minimum_capacity_must_be_positive(cal, call):
    with pytest.raises(ValueError, match=re.escape(NOT_POSITIVE)):
        call(cal)


@pytest.mark.parametrize("target", [dt.date(2024, 5, 6), 5, "2024-05-06"])
def test_bad_targets_are_unprefixed_type_errors(cal, target):
    for call in (lambda: cal.CanWork(target), lambda: cal.HasCapacity(target, 1)):
        with pytest.raises(TypeError) as info:
            call()
        assert not str(info.value).startswith("argument")
    with pytest.raises(TypeError, match=r"^argument 'minimumCapacity': "):
        cal.HasCapacity(at(0), "1")


def test_defaults_keywords_and_empty_targets(cal):
    cal.AddOpenRule(1, hm(8), hm(12)).AddCapacityOverride(at(0, 8), at(0, 10), 2)
    assert cal.GetCapacityWindows(at(0), at(1)) == [TW(at(0, 8), at(0, 12))]
    assert cal.has_capacity(target=TW(at(0, 8), at(0, 10)), minimumCapacity=2)
    assert all(type(w) is TW for w in cal.GetCapacityWindows(at(0), at(1), 2))
    empty = TW(at(0, 13), at(0, 13))
    assert Cal().CanWork(empty) is True and Cal().HasCapacity(empty, 5) is True


def test_state_window_records():
    cal = Cal().AddOpenRule(1, hm(8), hm(9)).SetDefaultCapacity(2)
    first = cal.GetStateWindows(at(0, 7), at(0, 9))
    s, same = first[1], cal.GetStateWindows(at(0, 8), at(0, 9))[0]
    assert (s.Window, s.Capacity, s.CanWork) == (TW(at(0, 8), at(0, 9)), 2, True)
    assert first[0].CanWork is False
    assert s == same and s is not same and s.Window is not s.Window
    assert s != cal.SetDefaultCapacity(3).GetStateWindows(at(0, 8), at(0, 9))[0] and (s == s.Window) is False
    with pytest.raises(ValueError, match=re.escape("HourloomStateWindow only supports equality comparison.")):
        s < same
    with pytest.raises(TypeError):
        hash(s)
