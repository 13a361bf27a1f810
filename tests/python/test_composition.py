"""Fluent builders and composition: forms, copies, nesting and the refusal of edits."""
import datetime as dt
import re
import signal
import subprocess
import sys
import time

import pytest

import hourloom
from conftest import at, content, hm, populated
from test_calendar_editing import COMPOSITE, EDITS

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow


def two_shifts():
    a = Cal().AddOpenRule(1, hm(8), hm(17)).SetDefaultCapacity(4)
    b = Cal().AddOpenRule(1, hm(10), hm(20)).SetDefaultCapacity(2)
    return a, b


class TestBuilders:
    def test_forms(self, cal):
        assert content(Cal.Weekdays(hm(9), hm(17))) == content(Cal().AddWeekdayOpenRule(hm(9), hm(17)))
        assert Cal.Window(at(0), at(0)).OpenWindows == [TW(at(0), at(0))]
        with pytest.raises(TypeError, match=r"^argument 'end': "):
            Cal.weekdays(hm(9), 17)
        cal.Close(dt.date(2024, 5, 9)).Close(at(4, 15)).Close(at(0, 1), at(0, 2)).Open(at(0, 8), at(0, 12))
        assert cal.ClosedWindows == [TW(at(3), at(4)), TW(at(4), at(5)), TW(at(0, 1), at(0, 2))]
        cal.Down(at(0, 9), at(0, 10)).Capacity(3).Capacity(at(0, 8), at(0, 9), 2)
        assert cal.OpenWindows == [TW(at(0, 8), at(0, 12))] and cal.ClosedWindows[-1] == TW(at(0, 9), at(0, 10))
        assert cal.DefaultCapacity == 3 and content(cal)[5] == [(at(0, 8), at(0, 9), 2)]

    @pytest.mark.parametrize("call", [lambda c: c.Close("2024-05-09"), lambda c: c.Capacity(at(0), at(1), "2")])
    def test_star_arguments_convert_without_prefix(self, cal, call):
        with pytest.raises(TypeError) as info:
            call(cal)
        assert not str(info.value).startswith("argument")
        with pytest.raises(OverflowError, match="out of range integral type conversion attempted"):
            cal.Capacity(2**40)


class TestComposition:
    def test_and_copies_both(self):
        a, b = two_shifts()
        both = a.And(b)
        a.ClearOpenRules()
        assert [content(c) for c in both.Components] == [content(two_shifts()[0]), content(b)]
        assert len(a.and_(a).Components) == 2
        with pytest.raises(TypeError, match=re.escape("argument 'other': 'int' object cannot be cast as 'HourloomCalendar'")):
            a.And(5)

    def test_intersect(self):
        a, b = two_shifts()
        with pytest.raises(ValueError, match=re.escape("At least one calendar is required.")):
            Cal.Intersect()
        single = Cal.Intersect(a)
        assert single is not a and not single.IsComposite and content(single) == content(a)
        assert len(Cal.intersect(a, b, a).Components) == 3
        assert Cal.Intersect(a.And(b)).IsComposite
        with pytest.raises(TypeError, match=re.escape("'int' object cannot be cast as 'HourloomCalendar'")) as info:
            Cal.Intersect(a, 5)
        assert not str(info.value).startswith("argument")

    # Arguments that would fail a later check too: the refusal comes first.
    @pytest.mark.parametrize("name,args", EDITS + [
        ("AddDowntime", (at(1), at(0))), ("SetDefaultCapacity", (-1,)), ("RemoveEntry", ("x",)),
        ("AddOpenRule", (9, hm(8), hm(8))), ("SetCapacityWindow", ("", at(1), at(0), -1))])
    def test_composites_refuse_every_edit(self, name, args):
        both = Cal.Intersect(*two_shifts())
        before = [content(c) for c in both.Components]
        with pytest.raises(RuntimeError, match=re.escape(COMPOSITE)):
            getattr(both, name)(*args)
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

    def test_composite_near_the_first_year(self):
        # 0001-01-01 is a Monday; the long window reaches far past the question.
        early = Cal.Weekdays(hm(8), hm(17)).And(Cal().AddOpenWindow(dt.datetime.min, dt.datetime(3000, 1, 1)))
        assert early.CanWork(hourloom.TimeWindow(dt.datetime(1, 1, 1, 9), dt.datetime(1, 1, 1, 10))) is True

    def test_components_are_copies(self):
        a = populated()
        both = a.And(Cal())
        part = both.Components[0]
        part.ClearOpenRules()
        assert len(both.Components[0].OpenRules) == 1 and both.Components[0] is not both.Components[0]


CHILD = """import datetime as dt, resource, sys, time, hourloom
w, t = hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17)), dt.datetime(2024, 5, 6, 9)
if sys.argv[1] == "deep":
    c, start, took = w, time.perf_counter(), 0
    for n in range(100_000):
        c = c.And(w if n % 2 else w.And(w))
        took = time.perf_counter() - start if n == 10_000 else took
    print(took, c.GetCapacityAt(t), len(c.GetStateWindows(t, t + dt.timedelta(7))), len(c.GetWindowsAt(t)))
else:
    cal, peak = (hourloom.HourloomCalendar.Intersect(*[w] * int(sys.argv[1]))), resource.getrusage(resource.RUSAGE_SELF)
    cal.GetStateWindows(dt.datetime(1800, 1, 1), dt.datetime(2400, 1, 1))
    print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - peak.ru_maxrss)"""


def test_composites_deep_and_wide():
    def child(arg):
        return subprocess.run([sys.executable, "-c", CHILD, arg], capture_output=True, text=True, check=True).stdout
    took, capacity, states, matches = child("deep").split()
    assert float(took) <= 1 and (capacity, states, matches) == ("1", "11", str(150_002))
    assert int(child("20")) <= 1.5 * int(child("1"))  # extra peak memory for the same 313,067 state windows


@pytest.mark.parametrize("question", ["GetStateWindows", "GetWorkingDuration"])  # a sweep, a walk of pieces
def test_a_long_question_stops_at_ctrl_c_and_changes_nothing(question):
    code = CHILD.split("\nif ")[0] + f"""
cal = hourloom.HourloomCalendar.Intersect(*[w] * 20)
print("go", flush=True)
try:
    cal.{question}(dt.datetime.min, dt.datetime.max)  # many seconds
except KeyboardInterrupt:
    print(cal.GetCapacityAt(t), len(w.AddHoliday(t.date()).ClosedWindows), flush=True)"""
    with subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, text=True) as child:
        assert child.stdout.readline() == "go\n"
        time.sleep(0.2)
        sent = time.perf_counter()
        child.send_signal(signal.SIGINT)
        assert child.stdout.readline() == "1 1\n" and time.perf_counter() - sent < 0.5
