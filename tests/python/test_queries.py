"""Calendar queries: state windows, capacity at an instant, window lists and
coverage answers, for simple and composite calendars."""
import datetime as dt
import re

import pytest

import hourloom
from conftest import at, hm

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow
END_BEFORE_START = "End must be greater than or equal to start."
NOT_POSITIVE = "Required capacity must be positive."


def states(cal, start, end):
    return [(s.Window.Start, s.Window.End, s.Capacity) for s in cal.GetStateWindows(start, end)]


def monday_shift():
    return Cal().AddOpenRule(1, hm(8), hm(17)).AddBreakRule(1, hm(12), hm(13))


class TestStateWindows:
    def test_shift_with_break(self):
        assert states(monday_shift(), at(0), at(1)) == [
            (at(0), at(0, 8), 0), (at(0, 8), at(0, 12), 1), (at(0, 12), at(0, 13), 0),
            (at(0, 13), at(0, 17), 1), (at(0, 17), at(1), 0)]

    def test_default_capacity_zero_closes_everything(self):
        assert states(monday_shift().SetDefaultCapacity(0), at(0), at(1)) == [(at(0), at(1), 0)]

    def test_never_open_and_empty_and_reversed_ranges(self, cal):
        assert states(cal, at(0, 3), at(2)) == [(at(0, 3), at(2), 0)]
        assert cal.GetStateWindows(at(0), at(0)) == []
        for query in (cal.GetStateWindows, cal.GetOpenWindows, cal.GetUnavailableWindows, cal.GetCapacityWindows):
            with pytest.raises(ValueError, match=re.escape(END_BEFORE_START)):
                query(at(1), at(0))

    def test_overrides_inside_and_outside_open_time(self):
        cal = Cal().AddOpenRule(1, hm(8), hm(17)).AddCapacityOverride(at(0, 10), at(0, 11), 3)
        cal.AddCapacityOverride(at(0, 18), at(0, 19), 5)
        assert states(cal, at(0, 8), at(0, 17)) == [
            (at(0, 8), at(0, 10), 1), (at(0, 10), at(0, 11), 3), (at(0, 11), at(0, 17), 1)]
        assert states(cal, at(0, 17), at(0, 20)) == [(at(0, 17), at(0, 20), 0)]

    @pytest.mark.parametrize("a_first,expected", [
        (True, [(9, 10, 5), (10, 11, 2), (11, 12, 5)]),
        (False, [(9, 12, 5)]),
    ])
    def test_later_override_wins(self, a_first, expected):
        cal = Cal().AddOpenRule(1, hm(9), hm(12))
        a, b = (at(0, 9), at(0, 12), 5), (at(0, 10), at(0, 11), 2)
        for o in ((a, b) if a_first else (b, a)):
            cal.AddCapacityOverride(*o)
        assert states(cal, at(0, 9), at(0, 12)) == [(at(0, s), at(0, e), c) for s, e, c in expected]

    def test_capacity_entry_beats_every_override_and_keeps_its_position(self):
        cal = Cal().AddOpenRule(1, hm(8), hm(17))
        cal.SetCapacityWindow("first", at(0, 9), at(0, 12), 4).SetCapacityWindow("second", at(0, 10), at(0, 11), 6)
        cal.AddCapacityOverride(at(0, 8), at(0, 17), 2)
        cal.SetCapacityWindow("first", at(0, 9), at(0, 12), 7)  # re-set: still before "second"
        assert states(cal, at(0, 8), at(0, 17)) == [
            (at(0, 8), at(0, 9), 2), (at(0, 9), at(0, 10), 7), (at(0, 10), at(0, 11), 6),
            (at(0, 11), at(0, 12), 7), (at(0, 12), at(0, 17), 2)]

    def test_equal_capacity_and_inner_open_window_do_not_split(self):
        cal = Cal().AddOpenRule(1, hm(8), hm(17)).AddCapacityOverride(at(0, 10), at(0, 11), 1)
        cal.AddOpenWindow(at(0, 10), at(0, 12))
        assert states(cal, at(0, 8), at(0, 17)) == [(at(0, 8), at(0, 17), 1)]

    def test_closing_beats_opening_whatever_the_order(self):
        cal = Cal().AddBreakRule(1, hm(12), hm(13)).AddClosedWindow(at(0, 15), at(0, 16))
        cal.AddOpenRule(1, hm(8), hm(17)).AddOpenWindow(at(0, 12), at(0, 13)).SetOpenWindow("o", at(0, 15), at(0, 16))
        assert cal.GetOpenWindows(at(0), at(1)) == [TW(at(0, 8), at(0, 12)), TW(at(0, 13), at(0, 15)),
                                                    TW(at(0, 16), at(0, 17))]

    def test_zero_capacity_override_joins_closed_neighbours(self):
        cal = Cal().AddOpenRule(1, hm(8), hm(17)).AddCapacityOverride(at(0, 8), at(0, 12), 0)
        assert states(cal, at(0), at(0, 17)) == [(at(0), at(0, 12), 0), (at(0, 12), at(0, 17), 1)]

    def test_overnight_rules(self):
        cal = Cal().AddOpenRule(1, hm(22), hm(6)).AddOpenRule(6, hm(22), hm(2)).AddOpenRule(3, hm(8), hm(0))
        assert states(cal, at(1), at(1, 12)) == [(at(1), at(1, 6), 1), (at(1, 6), at(1, 12), 0)]
        assert states(cal, at(0), at(0, 23)) == [(at(0), at(0, 22), 0), (at(0, 22), at(0, 23), 1)]
        assert cal.GetOpenWindows(at(6), at(7)) == [TW(at(6), at(6, 2))]  # Saturday into Sunday
        assert cal.GetOpenWindows(at(2), at(4)) == [TW(at(2, 8), at(3))]  # 08:00 to midnight
        assert [cal.GetCapacityAt(t) for t in (at(1, 5, 59), at(1, 6), at(0, 22))] == [1, 0, 1]

    def test_results_are_fresh_records(self):
        first = monday_shift().GetStateWindows(at(0), at(1))
        again = monday_shift().GetStateWindows(at(0), at(1))
        assert first == again and first[0] is not again[0]
        s = first[1]
        assert (s.Window, s.Capacity, s.CanWork) == (TW(at(0, 8), at(0, 12)), 1, True)
        assert (s.window, s.capacity, s.can_work) == (s.Window, 1, True)
        assert first[0].CanWork is False


class TestStateWindowRecords:
    def test_equality(self):
        cal = Cal().AddOpenRule(1, hm(8), hm(9)).SetDefaultCapacity(2)
        s = cal.GetStateWindows(at(0, 8), at(0, 9))[0]
        same = cal.GetStateWindows(at(0, 8), at(0, 9))[0]
        other = cal.SetDefaultCapacity(3).GetStateWindows(at(0, 8), at(0, 9))[0]
        assert s == same and s != other and (s == s.Window) is False
        with pytest.raises(ValueError, match=re.escape("HourloomStateWindow only supports equality comparison.")):
            s < same
        with pytest.raises(TypeError):
            hash(s)


class TestCapacityAndCoverage:
    def test_capacity_at(self):
        cal = monday_shift().SetDefaultCapacity(3)
        assert [cal.GetCapacityAt(t) for t in (at(0, 7, 59), at(0, 8), at(0, 12), at(0, 16, 59, 59, 999999), at(0, 17))] \
            == [0, 3, 0, 3, 0]

    def test_can_work_instant_and_window(self):
        cal = Cal().AddOpenRule(1, hm(8), hm(10)).AddCapacityOverride(at(0, 8), at(0, 10), 2)
        cal.AddOpenRule(1, hm(10), hm(12))
        assert cal.CanWork(at(0, 9)) and not cal.CanWork(at(0, 12))
        assert cal.CanWork(TW(at(0, 8), at(0, 12)))  # touching windows of different capacity cover it
        assert not cal.CanWork(TW(at(0, 7), at(0, 12)))
        cal.AddBreakRule(1, hm(10), hm(10, 30))
        assert not cal.CanWork(TW(at(0, 8), at(0, 12)))

    def test_empty_windows_always_fit(self, cal):
        empty = TW(at(0, 8), at(0, 8))
        assert cal.CanWork(empty) is True and cal.HasCapacity(empty, 5) is True

    def test_has_capacity(self):
        cal = Cal().AddOpenRule(1, hm(8), hm(12)).AddCapacityOverride(at(0, 8), at(0, 10), 3)
        cal.AddCapacityOverride(at(0, 10), at(0, 11), 2)
        assert cal.HasCapacity(at(0, 9), 3) and not cal.HasCapacity(at(0, 10), 3)
        assert cal.HasCapacity(TW(at(0, 8), at(0, 11)), 2)
        assert not cal.HasCapacity(TW(at(0, 8), at(0, 12)), 2)
        assert cal.has_capacity(target=TW(at(0, 8), at(0, 12)), minimumCapacity=1)

    @pytest.mark.parametrize("target", [at(0), TW(at(1), at(1)), "not a target", None])
    def test_minimum_capacity_checked_before_the_target(self, cal, target):
        with pytest.raises(ValueError, match=re.escape(NOT_POSITIVE)):
            cal.HasCapacity(target, 0)

    @pytest.mark.parametrize("target", [dt.date(2024, 5, 6), 5, "2024-05-06"])
    def test_bad_targets_are_unprefixed_type_errors(self, cal, target):
        for call in (lambda: cal.CanWork(target), lambda: cal.HasCapacity(target, 1)):
            with pytest.raises(TypeError) as info:
                call()
            assert not str(info.value).startswith("argument")

    def test_minimum_capacity_argument_error_is_prefixed(self, cal):
        for target in (at(0), "not a target"):  # converted before the target
            with pytest.raises(TypeError, match=r"^argument 'minimumCapacity': "):
                cal.HasCapacity(target, "1")


class TestWindowLists:
    def day_with_capacities(self):
        return (Cal().AddOpenRule(1, hm(8), hm(10)).AddOpenRule(1, hm(10), hm(12)).AddOpenRule(1, hm(12), hm(13))
                .AddCapacityOverride(at(0, 8), at(0, 10), 2).AddCapacityOverride(at(0, 10), at(0, 12), 3))

    def test_open_windows_join_capacities(self):
        cal = self.day_with_capacities()
        assert cal.GetOpenWindows(at(0), at(1)) == [TW(at(0, 8), at(0, 13))]
        assert len(cal.GetStateWindows(at(0, 8), at(0, 13))) == 3

    def test_capacity_windows(self):
        cal = self.day_with_capacities()
        assert cal.GetCapacityWindows(at(0), at(1), 2) == [TW(at(0, 8), at(0, 12))]
        assert cal.GetCapacityWindows(at(0), at(1), minimumCapacity=3) == [TW(at(0, 10), at(0, 12))]
        assert cal.GetCapacityWindows(at(0), at(1)) == [TW(at(0, 8), at(0, 13))]
        assert cal.GetCapacityWindows(at(0), at(1), 4) == []
        assert all(type(w) is TW for w in cal.GetCapacityWindows(at(0), at(1)))
        with pytest.raises(ValueError, match=re.escape(NOT_POSITIVE)):
            cal.GetCapacityWindows(at(1), at(0), 0)  # before the range check

    def test_unavailable_windows(self):
        cal = self.day_with_capacities()
        assert cal.GetUnavailableWindows(at(0, 8), at(0, 13)) == []
        assert cal.GetUnavailableWindows(at(0), at(1)) == [TW(at(0), at(0, 8)), TW(at(0, 13), at(1))]
        assert Cal().GetUnavailableWindows(at(0), at(2)) == [TW(at(0), at(2))]
        assert Cal().GetUnavailableWindows(at(0), at(0)) == []


class TestComposites:
    def test_intersection_of_two_shifts(self):
        a = Cal().AddOpenRule(1, hm(8), hm(17)).SetDefaultCapacity(4)
        b = Cal().AddOpenRule(1, hm(10), hm(20)).SetDefaultCapacity(2)
        both = a.And(b)
        assert states(both, at(0), at(1)) == [(at(0), at(0, 10), 0), (at(0, 10), at(0, 17), 2), (at(0, 17), at(1), 0)]
        assert both.GetCapacityAt(at(0, 9)) == 0 and both.GetCapacityAt(at(0, 12)) == 2
        assert both.CanWork(TW(at(0, 10), at(0, 17))) and not both.HasCapacity(TW(at(0, 10), at(0, 17)), 3)
        assert both.GetUnavailableWindows(at(0), at(1)) == [TW(at(0), at(0, 10)), TW(at(0, 17), at(1))]

    def test_nested_composite_equals_flat_intersection(self):
        a = Cal().AddOpenRule(1, hm(8), hm(17)).SetDefaultCapacity(4)
        b = Cal().AddOpenRule(1, hm(10), hm(20)).SetDefaultCapacity(2)
        c = Cal().AddOpenRule(1, hm(6), hm(11)).AddOpenRule(1, hm(12), hm(23)).SetDefaultCapacity(3)
        assert states(a.And(b).And(c), at(0), at(1)) == states(Cal.Intersect(a, b, c), at(0), at(1))
