"""HourloomCalendar construction, editing checks and their order, entries and records."""
import datetime as dt
import re

import pytest
from hypothesis import given, settings, strategies as st

import hourloom
from conftest import at, content, hm, populated

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow
SPACES = "".join(chr(c) for c in range(0x3001) if chr(c).isspace())
EDITS = [
    ("SetDefaultCapacity", (1,)), ("AddOpenRule", (1, hm(8), hm(9))), ("AddWeekdayOpenRule", (hm(8), hm(9))),
    ("OpenWeekdays", (hm(8), hm(9))), ("AddBreakRule", (1, hm(8), hm(9))), ("AddWeekdayBreakRule", (hm(8), hm(9))),
    ("BreakWeekdays", (hm(8), hm(9))), ("AddOpenWindow", (at(0), at(1))), ("AddHoliday", (dt.date(2024, 5, 6),)),
    ("AddDowntime", (at(0), at(1))), ("AddClosedWindow", (at(0), at(1))), ("AddCapacityOverride", (at(0), at(1), 2)),
    ("SetOpenWindow", ("o", at(0), at(1))), ("SetClosedWindow", ("c", at(0), at(1))),
    ("SetCapacityWindow", ("k", at(0), at(1), 2)), ("ClearOpenRules", ()), ("ClearOpenWindows", ()),
    ("ClearBreakRules", ()), ("ClearClosedWindows", ()), ("ClearCapacityOverrides", ()), ("ClearEntries", ()),
    ("Clear", ()), ("Open", (at(0), at(1))), ("Close", (at(0), at(1))), ("Close", (at(0),)),
    ("Close", (dt.date(2024, 5, 9),)), ("Down", (at(0), at(1))), ("Capacity", (2,)), ("Capacity", (at(0), at(1), 2)),
]
COMPOSITE = "Composite calendars are query-only. Add rules to source calendars before composing."


def test_new_calendars_are_simple_and_empty():
    for cal in (Cal(), Cal.Create(), Cal().create()):
        assert type(cal) is Cal and content(cal) == (1, [], [], [], [], [], [], []) and cal.IsComposite is False


class TestEditing:
    @pytest.mark.parametrize("name,args", EDITS)
    def test_every_edit_returns_the_calendar_itself(self, cal, name, args):
        assert getattr(cal, name)(*args) is cal

    @pytest.mark.parametrize("method,rules", [("AddWeekdayOpenRule", "OpenRules"), ("OpenWeekdays", "OpenRules"),
                                              ("AddWeekdayBreakRule", "BreakRules"), ("BreakWeekdays", "BreakRules")])
    def test_weekday_rules_all_or_nothing(self, cal, method, rules):
        getattr(cal, method)(hm(9), hm(17))
        assert [(r.Day, r.Start, r.End) for r in getattr(cal, rules)] == [(d, hm(9), hm(17)) for d in range(1, 6)]
        with pytest.raises(ValueError, match=re.escape("Start and end cannot be the same time.")):
            getattr(cal, method)(hm(9), hm(9))
        assert len(getattr(cal, rules)) == 5

    @pytest.mark.parametrize("call,message", [
        (lambda c: c.AddOpenRule(7, hm(8), hm(8)), "Day must be in DayOfWeek range 0..6."),
        (lambda c: c.AddBreakRule(1, hm(8), hm(8)), "Start and end cannot be the same time."),
        (lambda c: c.AddOpenWindow(at(1), at(0)), "End must be greater than or equal to start."),
        (lambda c: c.AddDowntime(at(1), at(0)), "End must be greater than or equal to start."),
        (lambda c: c.AddCapacityOverride(at(1), at(0), -1), "Capacity cannot be negative."),
        (lambda c: c.AddCapacityOverride(at(1), at(0), 1), "End must be greater than or equal to start."),
        (lambda c: c.SetDefaultCapacity(-1), "Capacity cannot be negative."),
        (lambda c: c.SetOpenWindow("   ", at(1), at(0)), "Entry id cannot be empty."),
        (lambda c: c.SetCapacityWindow("a", at(1), at(0), -5), "Capacity cannot be negative."),
        (lambda c: c.SetCapacityWindow("a", at(1), at(0), 5), "End must be greater than or equal to start."),
        (lambda c: c.Capacity(-1), "Capacity cannot be negative."),
        (lambda c: c.Capacity(), "Capacity expects 1 or 3 arguments."),
        (lambda c: c.Capacity(at(0), at(1)), "Capacity expects 1 or 3 arguments."),
        (lambda c: c.Capacity(1, 2, 3, 4), "Capacity expects 1 or 3 arguments."),
        (lambda c: c.Close(), "Close expects 1 or 2 arguments."),
        (lambda c: c.Close(at(0), at(1), at(2)), "Close expects 1 or 2 arguments."),
        (lambda c: Cal.Weekdays(hm(9), hm(9)), "Start and end cannot be the same time."),
        (lambda c: Cal.Window(at(1), at(0)), "End must be greater than or equal to start."),
    ])
    def test_failed_edits_change_nothing(self, call, message):
        cal = populated()
        before = content(cal)
        with pytest.raises(ValueError, match=re.escape(message)):
            call(cal)
        assert content(cal) == before

    def test_holidays_and_downtime_are_closed_windows(self, cal):
        cal.AddHoliday(at(4, 15, 30)).AddDowntime(at(0, 1), at(0, 2)).SetClosedWindow("e", at(0, 5), at(0, 6))
        assert cal.ClosedWindows == [TW(at(4), at(5)), TW(at(0, 1), at(0, 2))]
        cal.ClearClosedWindows()
        assert cal.ClosedWindows == [] and [e.Id for e in cal.Entries] == ["e"]
        with pytest.raises(TypeError, match=r"^argument 'date': "):
            cal.AddHoliday("2024-05-09")

    def test_clearing(self):
        cal = populated().ClearOpenRules().ClearBreakRules().ClearOpenWindows().ClearCapacityOverrides()
        assert content(cal)[:6] == (2, [], [], [], [(at(3), at(4))], []) and len(cal.Entries) == 1
        assert content(populated().Clear()) == content(Cal())


class TestEntries:
    def test_ids_are_exact_and_untrimmed(self, cal):
        cal.SetOpenWindow(" a", at(0), at(1)).SetOpenWindow("a", at(1), at(2)).SetOpenWindow("A", at(2), at(3))
        assert [e.Id for e in cal.Entries] == [" a", "a", "A"]
        assert cal.GetEntry(" a").Window == TW(at(0), at(1))
        assert cal.RemoveEntry("a") is True and [e.Id for e in cal.Entries] == [" a", "A"]

    @settings(max_examples=200, deadline=None)
    @given(st.text(alphabet=SPACES + "a\x1b\x00\u200b\u180e\ufeffß✓", max_size=4))
    def test_blank_ids_are_python_white_space(self, entry_id):
        # Blank means empty or only characters Python's str.isspace() accepts.
        cal = Cal()
        if entry_id.strip():
            assert cal.SetOpenWindow(entry_id, at(0), at(1)).GetEntry(entry_id).Id == entry_id
        else:
            with pytest.raises(ValueError, match=re.escape("Entry id cannot be empty.")):
                cal.SetOpenWindow(entry_id, at(0), at(1))

    def test_get_and_remove(self, cal):
        assert cal.GetEntry("a") is None and cal.RemoveEntry("a") is False
        for call in (lambda: cal.GetEntry(" "), lambda: cal.RemoveEntry("")):
            with pytest.raises(ValueError, match=re.escape("Entry id cannot be empty.")):
                call()

    @settings(max_examples=25, deadline=None)
    @given(st.permutations(range(60)), st.integers(1, 59))
    def test_many_removals(self, order, removed):
        # 60 ids collide in the id table; removing more than half compacts the store.
        cal, quarter = Cal().Open(at(0), at(30)), [at(0) + dt.timedelta(minutes=15 * n) for n in range(61)]
        for n in range(60):
            cal.SetCapacityWindow(str(n), quarter[n], quarter[n + 1], 2)
        for n in order[:removed]:
            assert cal.RemoveEntry(str(n)) and cal.GetCapacityAt(quarter[n]) == 1
        kept = sorted(order[removed:])
        for n in kept:
            assert cal.GetEntry(str(n)).Capacity == 2 and cal.SetCapacityWindow(str(n), at(1), at(1, 1), n + 3)
        assert [(e.Id, e.Capacity) for e in cal.Entries] == [(str(n), n + 3) for n in kept]
        assert [cal.GetCapacityAt(quarter[n]) for n in range(60)] == [1] * 60

    def test_long_ids_are_read_whole(self, cal):
        long_id = "entry ß✓\x00" * 6
        cal.SetOpenWindow(long_id, at(0), at(1))
        assert cal.GetEntry(long_id).Id == long_id and cal.GetEntry(long_id[:-1]) is None
        assert cal.RemoveEntry(long_id) is True and cal.Entries == []

    @pytest.mark.parametrize("bad, error, text", [
        (5, TypeError, "argument 'id': 'int' object cannot be cast as 'str'"),
        ("a\ud800", UnicodeEncodeError, "surrogates not allowed"),
    ])
    def test_id_conversion_errors(self, cal, bad, error, text):
        for call in (lambda: cal.SetOpenWindow(bad, at(0), at(1)), lambda: cal.GetEntry(bad),
                     lambda: cal.RemoveEntry(bad)):
            with pytest.raises(error, match=re.escape(text)):
                call()

    def test_returned_entries_are_copies(self, cal):
        cal.SetOpenWindow("a", at(0), at(1))
        entry = cal.GetEntry("a")
        cal.SetOpenWindow("a", at(2), at(3)).RemoveEntry("a")
        assert entry.Window == TW(at(0), at(1))


class TestRecordsAndCopies:
    def test_records_are_fresh_and_detached(self):
        cal = populated()
        o = cal.CapacityOverrides[0]
        assert o.Window is not o.Window
        cal.OpenRules.clear()
        assert len(cal.OpenRules) == 1 and cal.OpenRules is not cal.OpenRules
        assert cal.OpenRules[0] is not cal.OpenRules[0]
