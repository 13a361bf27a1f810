"""HourloomCalendar construction, properties, editing, entries and records."""
import datetime as dt
import re

import pytest

import hourloom
from conftest import at, hm

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow
Kind = hourloom.HourloomEntryKind
COMPOSITE = "Composite calendars are query-only. Add rules to source calendars before composing."


def content(cal):
    """Everything a calendar reports about itself, as plain values."""
    return (
        cal.DefaultCapacity,
        [(r.Day, r.Start, r.End) for r in cal.OpenRules],
        [(r.Day, r.Start, r.End) for r in cal.BreakRules],
        [(w.Start, w.End) for w in cal.OpenWindows],
        [(w.Start, w.End) for w in cal.ClosedWindows],
        [(o.Window.Start, o.Window.End, o.Capacity) for o in cal.CapacityOverrides],
        [(e.Id, e.Kind, e.Window.Start, e.Window.End, e.Capacity) for e in cal.Entries],
        [content(c) for c in cal.Components],
    )


def populated():
    return (Cal().AddOpenRule(1, hm(8), hm(17)).AddBreakRule(1, hm(12), hm(13))
            .AddOpenWindow(at(5, 9), at(5, 12)).AddHoliday(dt.date(2024, 5, 9))
            .AddCapacityOverride(at(0, 8), at(0, 10), 3).SetOpenWindow("a", at(6, 8), at(6, 9))
            .SetDefaultCapacity(2))


class TestConstruction:
    @pytest.mark.parametrize("make", [Cal, Cal.Create, Cal.create, lambda: Cal().create()])
    def test_new_calendars_are_simple_and_empty(self, make):
        cal = make()
        assert type(cal) is Cal
        assert content(cal) == (1, [], [], [], [], [], [], [])
        assert cal.IsComposite is False and cal.Components == []

    def test_constructor_takes_no_arguments(self):
        with pytest.raises(TypeError):
            Cal(1)


class TestEditing:
    def test_every_edit_returns_the_calendar_itself(self, cal):
        calls = [
            lambda: cal.SetDefaultCapacity(1), lambda: cal.AddOpenRule(1, hm(8), hm(9)),
            lambda: cal.AddWeekdayOpenRule(hm(8), hm(9)), lambda: cal.OpenWeekdays(hm(8), hm(9)),
            lambda: cal.AddBreakRule(1, hm(8), hm(9)), lambda: cal.AddWeekdayBreakRule(hm(8), hm(9)),
            lambda: cal.BreakWeekdays(hm(8), hm(9)), lambda: cal.AddOpenWindow(at(0), at(1)),
            lambda: cal.AddHoliday(dt.date(2024, 5, 6)), lambda: cal.AddDowntime(at(0), at(1)),
            lambda: cal.AddClosedWindow(at(0), at(1)), lambda: cal.AddCapacityOverride(at(0), at(1), 2),
            lambda: cal.SetOpenWindow("o", at(0), at(1)), lambda: cal.SetClosedWindow("c", at(0), at(1)),
            lambda: cal.SetCapacityWindow("k", at(0), at(1), 2), lambda: cal.ClearOpenRules(),
            lambda: cal.ClearOpenWindows(), lambda: cal.ClearBreakRules(), lambda: cal.ClearClosedWindows(),
            lambda: cal.ClearCapacityOverrides(), lambda: cal.ClearEntries(), lambda: cal.Clear(),
            lambda: cal.Open(at(0), at(1)), lambda: cal.Close(at(0), at(1)), lambda: cal.Close(at(0)),
            lambda: cal.Down(at(0), at(1)), lambda: cal.Capacity(2), lambda: cal.Capacity(at(0), at(1), 2),
        ]
        for call in calls:
            assert call() is cal

    def test_rules_keep_call_order(self, cal):
        cal.AddOpenRule(3, hm(8), hm(9)).AddOpenRule(1, hm(22), hm(6)).AddOpenRule(3, hm(7), hm(8))
        assert [(r.Day, r.Start, r.End) for r in cal.OpenRules] == [
            (3, hm(8), hm(9)), (1, hm(22), hm(6)), (3, hm(7), hm(8))]

    @pytest.mark.parametrize("method", ["AddWeekdayOpenRule", "OpenWeekdays"])
    def test_weekday_rules(self, cal, method):
        getattr(cal, method)(hm(9), hm(17))
        assert [r.Day for r in cal.OpenRules] == [1, 2, 3, 4, 5]
        with pytest.raises(ValueError, match=re.escape("Start and end cannot be the same time.")):
            getattr(cal, method)(hm(9), hm(9))
        assert len(cal.OpenRules) == 5

    def test_weekday_break_rules(self, cal):
        cal.AddWeekdayBreakRule(hm(12), hm(13)).BreakWeekdays(hm(15), hm(15, 15))
        assert [r.Day for r in cal.BreakRules] == [1, 2, 3, 4, 5] * 2

    @pytest.mark.parametrize("call,error,message", [
        (lambda c: c.AddOpenRule(7, hm(8), hm(8)), ValueError, "Day must be in DayOfWeek range 0..6."),
        (lambda c: c.AddBreakRule(1, hm(8), hm(8)), ValueError, "Start and end cannot be the same time."),
        (lambda c: c.AddOpenWindow(at(1), at(0)), ValueError, "End must be greater than or equal to start."),
        (lambda c: c.AddDowntime(at(1), at(0)), ValueError, "End must be greater than or equal to start."),
        (lambda c: c.AddCapacityOverride(at(1), at(0), -1), ValueError, "Capacity cannot be negative."),
        (lambda c: c.AddCapacityOverride(at(1), at(0), 1), ValueError, "End must be greater than or equal to start."),
        (lambda c: c.SetDefaultCapacity(-1), ValueError, "Capacity cannot be negative."),
        (lambda c: c.SetOpenWindow("   ", at(1), at(0)), ValueError, "Entry id cannot be empty."),
        (lambda c: c.SetCapacityWindow("a", at(1), at(0), -5), ValueError, "Capacity cannot be negative."),
        (lambda c: c.SetCapacityWindow("a", at(1), at(0), 5), ValueError, "End must be greater than or equal to start."),
        (lambda c: c.Capacity(-1), ValueError, "Capacity cannot be negative."),
    ])
    def test_failed_edits_change_nothing(self, call, error, message):
        cal = populated()
        before = content(cal)
        with pytest.raises(error, match=re.escape(message)):
            call(cal)
        assert content(cal) == before

    def test_empty_windows_are_stored(self, cal):
        cal.AddOpenWindow(at(0, 8), at(0, 8)).AddCapacityOverride(at(0, 9), at(0, 9), 0)
        cal.SetClosedWindow("x", at(0, 9), at(0, 9))
        assert cal.OpenWindows == [TW(at(0, 8), at(0, 8))]
        assert cal.CapacityOverrides[0].Capacity == 0
        assert cal.Entries[0].Window.IsEmpty

    def test_holidays_and_downtime_are_closed_windows(self, cal):
        cal.AddHoliday(dt.date(2024, 5, 9)).AddHoliday(at(4, 15, 30)).AddDowntime(at(0, 1), at(0, 2))
        cal.AddClosedWindow(at(0, 3), at(0, 4)).SetClosedWindow("e", at(0, 5), at(0, 6))
        assert cal.ClosedWindows == [TW(at(3), at(4)), TW(at(4), at(5)), TW(at(0, 1), at(0, 2)),
                                     TW(at(0, 3), at(0, 4))]
        cal.ClearClosedWindows()
        assert cal.ClosedWindows == [] and [e.Id for e in cal.Entries] == ["e"]

    def test_holiday_wants_a_date(self, cal):
        with pytest.raises(TypeError, match=r"^argument 'date': "):
            cal.AddHoliday("2024-05-09")

    def test_clearing(self):
        cal = populated()
        cal.ClearOpenRules().ClearBreakRules().ClearOpenWindows().ClearCapacityOverrides()
        assert (cal.OpenRules, cal.BreakRules, cal.OpenWindows, cal.CapacityOverrides) == ([], [], [], [])
        assert len(cal.ClosedWindows) == 1 and len(cal.Entries) == 1 and cal.DefaultCapacity == 2
        cal.ClearEntries()
        assert cal.Entries == []
        populated_again = populated().Capacity(5).Clear()
        assert content(populated_again) == content(Cal())


class TestEntries:
    def test_reset_keeps_position_and_may_change_kind(self, cal):
        cal.SetOpenWindow("a", at(0, 8), at(0, 9)).SetClosedWindow("b", at(0, 9), at(0, 10))
        cal.SetOpenWindow("a", at(1, 8), at(1, 9))
        assert [(e.Id, e.Window) for e in cal.Entries] == [("a", TW(at(1, 8), at(1, 9))), ("b", TW(at(0, 9), at(0, 10)))]
        cal.SetCapacityWindow("a", at(2, 8), at(2, 9), 4)
        entry = cal.Entries[0]
        assert (entry.Id, entry.Kind, entry.Capacity) == ("a", Kind.Capacity, 4)

    def test_ids_are_exact_and_untrimmed(self, cal):
        cal.SetOpenWindow(" a", at(0), at(1)).SetOpenWindow("a", at(1), at(2)).SetOpenWindow("A", at(2), at(3))
        assert [e.Id for e in cal.Entries] == [" a", "a", "A"]
        assert cal.GetEntry(" a").Window == TW(at(0), at(1))
        assert cal.RemoveEntry("a") is True and [e.Id for e in cal.Entries] == [" a", "A"]

    def test_unicode_ids(self, cal):
        cal.SetOpenWindow("Größe-✓", at(0), at(1))
        assert cal.GetEntry("Größe-✓").Id == "Größe-✓"
        with pytest.raises(ValueError, match=re.escape("Entry id cannot be empty.")):
            cal.SetOpenWindow("\u3000\u00a0\t", at(0), at(1))

    def test_entry_records(self, cal):
        cal.SetOpenWindow("o", at(0), at(1)).SetClosedWindow("c", at(1), at(2))
        cal.SetCapacityWindow("k", at(2), at(3), 7)
        got = [(e.Id, e.Kind, e.Window, e.Capacity) for e in cal.Entries]
        assert got == [("o", Kind.Open, TW(at(0), at(1)), 0), ("c", Kind.Closed, TW(at(1), at(2)), 0),
                       ("k", Kind.Capacity, TW(at(2), at(3)), 7)]
        e = cal.Entries[2]
        assert (e.id, e.kind, e.window, e.capacity) == ("k", 2, TW(at(2), at(3)), 7)

    def test_get_and_remove(self, cal):
        cal.SetOpenWindow("a", at(0), at(1))
        assert cal.GetEntry("nope") is None
        assert cal.RemoveEntry("nope") is False
        assert cal.RemoveEntry("a") is True and cal.RemoveEntry("a") is False
        for call in (lambda: cal.GetEntry(" "), lambda: cal.RemoveEntry(""), lambda: cal.SetOpenWindow("", at(0), at(1))):
            with pytest.raises(ValueError, match=re.escape("Entry id cannot be empty.")):
                call()

    def test_returned_entries_are_copies(self, cal):
        cal.SetOpenWindow("a", at(0), at(1))
        entry = cal.GetEntry("a")
        cal.SetOpenWindow("a", at(2), at(3)).RemoveEntry("a")
        assert entry.Window == TW(at(0), at(1))


class TestRecordsAndCopies:
    def test_capacity_override_records(self, cal):
        cal.AddCapacityOverride(at(0, 8), at(0, 10), 3).Capacity(at(0, 9), at(0, 11), 0)
        assert [(o.Window, o.Capacity) for o in cal.CapacityOverrides] == [
            (TW(at(0, 8), at(0, 10)), 3), (TW(at(0, 9), at(0, 11)), 0)]
        o = cal.CapacityOverrides[0]
        assert o.window == o.Window and o.capacity == 3 and o.Window is not o.Window

    def test_lists_are_fresh_and_detached(self):
        cal = populated()
        rules = cal.OpenRules
        rules.clear()
        assert len(cal.OpenRules) == 1
        assert cal.OpenRules is not cal.OpenRules
        assert cal.OpenRules[0] is not cal.OpenRules[0]
