"""Time values: duration functions, instant conversion, TimeWindow, weekly rules."""
import datetime as dt
import re

import pytest

import hourloom
from conftest import at, content, hm

TW = hourloom.TimeWindow
Rule = hourloom.HourloomWeeklyRule


class TestDurationFunctions:
    @pytest.mark.parametrize("fn,unit", [
        (hourloom.Hours, dt.timedelta(hours=1)), (hourloom.hours, dt.timedelta(hours=1)),
        (hourloom.Minutes, dt.timedelta(minutes=1)), (hourloom.minutes, dt.timedelta(minutes=1)),
        (hourloom.Seconds, dt.timedelta(seconds=1)), (hourloom.seconds, dt.timedelta(seconds=1)),
    ])
    @pytest.mark.parametrize("count", [0, 1, -2, -90, 12345])
    def test_counts(self, fn, unit, count):
        assert fn(count) == unit * count
        assert fn(value=count) == unit * count

    @pytest.mark.parametrize("bad", [1.5, "1", None])
    def test_non_integers(self, bad):
        with pytest.raises(TypeError, match=r"^argument 'value': "):
            hourloom.Hours(bad)

    @pytest.mark.parametrize("fn,limit", [
        (hourloom.Hours, 2_562_047_788), (hourloom.Minutes, 153_722_867_280), (hourloom.Seconds, 9_223_372_036_854),
    ])
    def test_timedelta_range_edge(self, fn, limit):
        assert fn(limit) > dt.timedelta(0)
        assert fn(-limit) == -fn(limit)
        for count in (limit + 1, -limit - 1):
            with pytest.raises(OverflowError, match=re.escape("Duration is outside Python timedelta range.")):
                fn(count)

        with pytest.raises(OverflowError):
            fn(2**64)


class TestInstantConversion:
    def test_aware_datetimes_and_dates_are_refused(self):
        aware = dt.datetime(2024, 5, 6, tzinfo=dt.timezone.utc)
        with pytest.raises(TypeError, match=r"^argument 'start': expected a datetime without tzinfo$"):
            TW(aware, at(1))
        with pytest.raises(TypeError, match=r"^argument 'end': "):
            TW(at(0), dt.date(2024, 5, 7))

    def test_missing_timestamps_are_refused_and_timestamps_convert(self):
        pd = pytest.importorskip("pandas")
        cal = hourloom.HourloomCalendar.Weekdays(hm(8), hm(17))
        before = content(cal)
        for call, name in [(lambda: cal.AddWorkDuration(pd.NaT, hourloom.Hours(8)), "start"),
                           (lambda: cal.GetWorkingDuration(at(0), pd.NaT), "end"),
                           (lambda: cal.AddHoliday(pd.NaT), "date")]:
            with pytest.raises(TypeError, match=rf"^argument '{name}': expected a datetime, got NaT$"):
                call()
        assert content(cal) == before
        stamp = pd.Timestamp(2024, 5, 6, 9, 30)
        assert cal.AddWorkDuration(stamp, hourloom.Hours(8)) == at(1, 8, 30)
        assert cal.AddHoliday(stamp).ClosedWindows == [TW(at(0), at(1))]

    def test_subclasses_and_microseconds_round_trip(self):
        class MyDateTime(dt.datetime):
            pass
        start = MyDateTime(2024, 5, 6, 8, 0, 0, 123456)
        w = TW(start, dt.datetime(9999, 12, 31, 23, 59, 59, 999999))
        assert type(w.Start) is dt.datetime and w.Start == start and w.Start.tzinfo is None
        assert w.End == dt.datetime.max
        assert TW(dt.datetime.min, dt.datetime.max).Duration == dt.datetime.max - dt.datetime.min

    def test_fold_is_ignored(self):
        assert TW(at(0, 1).replace(fold=1), at(0, 2)) == TW(at(0, 1), at(0, 2))


class TestTimeWindow:
    def test_construction_check(self):
        with pytest.raises(ValueError, match=re.escape("End must be greater than or equal to start.")):
            TW(at(0, 12), at(0, 8))

    def test_equality_ordering_and_hash(self):
        a, b = TW(at(0, 8), at(0, 12)), TW(at(0, 8), at(0, 12))
        assert a == b and not (a != b) and a is not b
        assert a != TW(at(0, 8), at(0, 13))
        assert (a == 5) is False and (a != 5) is True
        for op in ("__lt__", "__le__", "__gt__", "__ge__"):
            with pytest.raises(ValueError, match=re.escape("TimeWindow only supports equality comparison.")):
                getattr(a, op)(b)
        with pytest.raises(TypeError):
            a < 5
        with pytest.raises(TypeError):
            {a}
        assert a.Start is not a.Start  # fresh objects

    def test_repr(self):  # the instant text itself is pinned by test_definition.py::test_instant_text
        w = TW(dt.datetime(5, 1, 2), dt.datetime(5, 1, 2, 8, 0, 0, 250000))
        assert repr(w) == "TimeWindow(0005-01-02 00:00:00, 0005-01-02 08:00:00.250)"


class TestWeeklyRule:
    def test_checks_in_order(self):
        with pytest.raises(ValueError, match=re.escape("Day must be in DayOfWeek range 0..6.")):
            Rule(9, hm(8), hm(8))
        with pytest.raises(ValueError, match=re.escape("Start and end cannot be the same time.")):
            Rule(1, hm(0), hm(0))
        with pytest.raises(TypeError, match=r"^argument 'start': "):
            Rule(1, at(0, 8), hm(9))

    def test_properties(self):
        r = Rule(hourloom.DayOfWeek.Friday, dt.time(22, 30, tzinfo=dt.timezone.utc), hm(6))
        assert (r.Day, r.Start, r.End) == (5, dt.time(22, 30), dt.time(6))

    def test_to_window_ignores_the_weekday(self):
        r = Rule(5, hm(22), hm(6))
        assert r.ToWindow(at(0).date()) == TW(at(0, 22), at(1, 6))
        assert r.ToWindow(at(0, 15)) == TW(at(0, 22), at(1, 6))  # a datetime gives its date
        assert Rule(1, hm(8), hm(12)).to_window(at(2).date()) == TW(at(2, 8), at(2, 12))
        assert Rule(1, hm(8), hm(0)).ToWindow(at(0).date()) == TW(at(0, 8), at(1, 0))

    def test_identity_equality(self):
        assert Rule(1, hm(8), hm(9)) != Rule(1, hm(8), hm(9))
