"""Fluent builders and composition."""
import datetime as dt
import re

import pytest

import hourloom
from conftest import at, hm
from test_calendar_editing import COMPOSITE, content, populated

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow


def two_shifts():
    a = Cal().AddOpenRule(1, hm(8), hm(17)).SetDefaultCapacity(4)
    b = Cal().AddOpenRule(1, hm(10), hm(20)).SetDefaultCapacity(2)
    return a, b


class TestBuilders:
    def test_weekdays(self):
        cal = Cal.Weekdays(dt.time(9), dt.time(17))
        assert content(cal) == content(Cal().AddWeekdayOpenRule(hm(9), hm(17)))
        assert cal.CanWork(at(2, 10)) and not cal.CanWork(at(5, 10))
        with pytest.raises(ValueError, match=re.escape("Start and end cannot be the same time.")):
            Cal.Weekdays(hm(9), hm(9))
        with pytest.raises(TypeError, match=r"^argument 'end': "):
            Cal.weekdays(hm(9), 17)

    def test_window(self):
        assert Cal.Window(at(0), at(1)).OpenWindows == [TW(at(0), at(1))]
        assert Cal.Window(at(0), at(0)).OpenWindows == [TW(at(0), at(0))]
        with pytest.raises(ValueError, match=re.escape("End must be greater than or equal to start.")):
            Cal.Window(at(1), at(0))

    def test_close_forms(self, cal):
        cal.Close(dt.date(2024, 5, 9)).Close(at(4, 15)).Close(at(0, 1), at(0, 2))
        assert cal.ClosedWindows == [TW(at(3), at(4)), TW(at(4), at(5)), TW(at(0, 1), at(0, 2))]
        for args in [(), (at(0), at(1), at(2))]:
            with pytest.raises(ValueError, match=re.escape("Close expects 1 or 2 arguments.")):
                cal.Close(*args)

    def test_capacity_forms(self, cal):
        assert cal.Capacity(3).DefaultCapacity == 3
        cal.Capacity(at(0, 8), at(0, 9), 2)
        assert [(o.Window, o.Capacity) for o in cal.CapacityOverrides] == [(TW(at(0, 8), at(0, 9)), 2)]
        for args in [(), (at(0), at(1)), (1, 2, 3, 4)]:
            with pytest.raises(ValueError, match=re.escape("Capacity expects 1 or 3 arguments.")):
                cal.Capacity(*args)
        with pytest.raises(ValueError, match=re.escape("Capacity cannot be negative.")):
            cal.Capacity(-1)

    def test_star_arguments_convert_without_prefix(self, cal):
        with pytest.raises(TypeError) as info:
            cal.Close("2024-05-09")
        assert not str(info.value).startswith("argument")
        with pytest.raises(TypeError) as info:
            cal.Capacity(at(0), at(1), "2")
        assert not str(info.value).startswith("argument")
        with pytest.raises(OverflowError, match="out of range integral type conversion attempted"):
            cal.Capacity(2**40)

    def test_chain_edits_one_calendar(self, cal):
        assert cal.Open(at(0, 8), at(0, 12)).Down(at(0, 9), at(0, 10)).Capacity(2) is cal
        assert (len(cal.OpenWindows), len(cal.ClosedWindows), cal.DefaultCapacity) == (1, 1, 2)


class TestComposition:
    def test_and_copies_both(self):
        a, b = two_shifts()
        both = a.And(b)
        assert both.IsComposite and [content(c) for c in both.Components] == [content(a), content(b)]
        assert content(both)[:7] == (1, [], [], [], [], [], [])
        a.ClearOpenRules()
        assert both.GetCapacityAt(at(0, 12)) == 2  # the composite kept its own copy

    def test_and_with_itself_and_wrong_type(self):
        a, _ = two_shifts()
        assert len(a.and_(a).Components) == 2
        with pytest.raises(TypeError, match=re.escape("argument 'other': 'int' object cannot be cast as 'HourloomCalendar'")):
            a.And(5)

    def test_intersect(self):
        a, b = two_shifts()
        with pytest.raises(ValueError, match=re.escape("At least one calendar is required.")):
            Cal.Intersect()
        single = Cal.Intersect(a)
        assert single is not a and not single.IsComposite and content(single) == content(a)
        three = Cal.intersect(a, b, a)
        assert len(three.Components) == 3
        assert content(Cal.Intersect(a, b)) == content(a.And(b))
        with pytest.raises(TypeError, match=re.escape("'int' object cannot be cast as 'HourloomCalendar'")) as info:
            Cal.Intersect(a, 5)
        assert not str(info.value).startswith("argument")

    def test_nested_composites_are_not_flattened(self):
        a, b = two_shifts()
        nested = a.And(b).And(Cal.Weekdays(hm(0), hm(23)))
        assert [c.IsComposite for c in nested.Components] == [True, False]
        assert Cal.Intersect(a.And(b)).IsComposite

    def test_composite_answers_as_intersection(self):
        a, b = two_shifts()
        both = a.And(b)
        assert both.GetCapacityAt(at(0, 12)) == 2
        assert both.CanWork(at(0, 9)) is False
        assert both.GetStateWindows(at(0), at(1)) == a.And(b).GetStateWindows(at(0), at(1))
        # Far from today as well: 0001-01-01 is a Monday.
        early = Cal.Weekdays(hm(8), hm(17)).And(Cal().AddOpenWindow(dt.datetime.min, dt.datetime(3000, 1, 1)))
        assert early.CanWork(TW(dt.datetime(1, 1, 1, 9), dt.datetime(1, 1, 1, 10))) is True

    @pytest.mark.parametrize("edit", [
        lambda c: c.AddHoliday(dt.date(2024, 5, 9)), lambda c: c.ClearEntries(), lambda c: c.Clear(),
        lambda c: c.RemoveEntry("x"), lambda c: c.Open(at(0), at(1)), lambda c: c.Down(at(0), at(1)),
        lambda c: c.Capacity(1), lambda c: c.Close(dt.date(2024, 5, 9)), lambda c: c.AddOpenRule(1, hm(8), hm(9)),
        lambda c: c.AddWeekdayBreakRule(hm(8), hm(9)), lambda c: c.SetDefaultCapacity(2),
        lambda c: c.AddCapacityOverride(at(0), at(1), 2), lambda c: c.SetCapacityWindow("k", at(0), at(1), 2),
        lambda c: c.ClearOpenRules(), lambda c: c.ClearClosedWindows(), lambda c: c.AddDowntime(at(1), at(0)),
        lambda c: c.SetDefaultCapacity(-1),
    ])
    def test_composites_refuse_every_edit(self, edit):
        both = Cal.Intersect(*two_shifts())
        before = [content(c) for c in both.Components]
        with pytest.raises(RuntimeError, match=re.escape(COMPOSITE)):
            edit(both)
        assert [content(c) for c in both.Components] == before

    def test_conversion_errors_come_before_the_composite_refusal(self):
        both = Cal.Intersect(*two_shifts())
        with pytest.raises(TypeError, match=r"^argument 'start'"):
            both.AddOpenWindow("x", at(1))
        with pytest.raises(ValueError, match=re.escape("Close expects 1 or 2 arguments.")):
            both.Close()
        with pytest.raises(ValueError, match=re.escape("Capacity expects 1 or 3 arguments.")):
            both.Capacity()

    def test_composite_reads(self):
        both = Cal.Intersect(*two_shifts())
        assert both.GetEntry("x") is None and both.OpenRules == [] and both.DefaultCapacity == 1
        with pytest.raises(ValueError, match=re.escape("Entry id cannot be empty.")):
            both.GetEntry(" ")
        with pytest.raises(RuntimeError, match=re.escape(COMPOSITE)):
            both.RemoveEntry("")

    def test_components_are_copies(self):
        a = populated()
        both = a.And(Cal())
        part = both.Components[0]
        part.ClearOpenRules()
        assert len(both.Components[0].OpenRules) == 1 and both.Components[0] is not both.Components[0]
