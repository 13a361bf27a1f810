"""Binding conventions: argument parsing, argument errors, integer widths,
receiver checks, borrow conflicts and the internal error."""
import re

import pytest

import hourloom
from conftest import at, hm

Cal = hourloom.HourloomCalendar


TW = hourloom.TimeWindow
OVERFLOW = r"^out of range integral type conversion attempted$"

# Argument errors: Python's own wording, with the argument named where one
# parameter's conversion fails; conversion runs in parameter order.
ARGUMENT_ERRORS = [
    (lambda c: c.AddOpenRule(1, hm(8)), "HourloomCalendar.AddOpenRule() missing 1 required positional argument: 'end'"),
    (lambda c: c.AddOpenRule(1), "HourloomCalendar.AddOpenRule() missing 2 required positional arguments: 'start' and 'end'"),
    (lambda c: c.AddOpenRule(),
     "HourloomCalendar.AddOpenRule() missing 3 required positional arguments: 'day', 'start', and 'end'"),
    (lambda c: c.AddOpenRule(1, hm(8), hm(9), 4), "HourloomCalendar.AddOpenRule() takes 3 positional arguments but 4 were given"),
    (lambda c: c.GetCapacityWindows(at(0), at(1), 1, 2),
     "HourloomCalendar.GetCapacityWindows() takes from 2 to 3 positional arguments but 4 were given"),
    (lambda c: TW(at(0), at(1)).Contains(at(0), at(0)), "TimeWindow.Contains() takes 1 positional argument but 2 were given"),
    (lambda c: c.Clear(1), "Clear() takes 0 positional arguments but 1 was given"),
    (lambda c: c.AddOpenRule(weekday=1, start=hm(8), end=hm(9)), "AddOpenRule() got an unexpected keyword argument 'weekday'"),
    (lambda c: c.AddOpenRule(1, hm(8), hm(9), day=2), "AddOpenRule() got multiple values for argument 'day'"),
    (lambda c: TW(at(0), start=at(0), end=at(1)), "TimeWindow.__new__() got multiple values for argument 'start'"),
    (lambda c: Cal(1), "HourloomCalendar.__new__() takes 0 positional arguments"),
    (lambda c: c.Capacity(capacity=3), "unexpected keyword argument 'capacity'"),
    (lambda c: Cal.Intersect(a=c), "unexpected keyword argument 'a'"),
    (lambda c: c.AddOpenRule(1, "08:00", hm(9)), "argument 'start': "),
    (lambda c: c.AddOpenRule(1.0, hm(8), hm(9)), "argument 'day': "),
    (lambda c: c.SetOpenWindow(5, at(0), at(1)), "argument 'id': "),
    (lambda c: c.AddCapacityOverride("x", "y", "z"), "argument 'start': "),
    (lambda c: c.AddCapacityOverride(at(0), at(1), "z"), "argument 'capacity': "),
]


@pytest.mark.parametrize("call,message", ARGUMENT_ERRORS)
def test_argument_errors(cal, call, message):
    with pytest.raises(TypeError, match=("^" if message.startswith("argument") else "") + re.escape(message)):
        call(cal)
    assert cal.OpenRules == [] and cal.CapacityOverrides == []


class TestArgumentParsing:
    def test_keywords_and_positionals_mix(self, cal):
        assert cal.AddOpenRule(day=1, start=hm(8), end=hm(12)) is cal
        assert cal.AddBreakRule(1, end=hm(11), start=hm(10)) is cal
        assert len(cal.OpenRules) == len(cal.BreakRules) == 1

    def test_keyword_names_need_not_be_interned(self, cal):
        name = "".join(["mini", "mumCapacity"])
        assert cal.GetCapacityWindows(at(0), at(1), **{name: 1}) == []


class TestArgumentConversion:
    @pytest.mark.parametrize("day", [300, -1, 256])
    def test_day_outside_eight_bits_is_an_unprefixed_overflow(self, cal, day):
        with pytest.raises(OverflowError, match=OVERFLOW):
            cal.AddOpenRule(day, hm(8), hm(9))

    def test_capacity_is_32_bit(self, cal):
        with pytest.raises(OverflowError, match="out of range integral type conversion attempted"):
            cal.SetDefaultCapacity(2**31)
        with pytest.raises(OverflowError):
            cal.SetDefaultCapacity(2**80)  # Python's own message beyond the machine word
        assert cal.SetDefaultCapacity(2**31 - 1).DefaultCapacity == 2**31 - 1

    def test_index_objects_and_bools_are_integers(self, cal):
        class Two:
            def __index__(self):
                return 2
        assert cal.SetDefaultCapacity(Two()).DefaultCapacity == 2
        assert cal.AddOpenRule(Two(), hm(8), hm(9)).OpenRules[0].Day == 2
        assert cal.SetDefaultCapacity(True).DefaultCapacity == 1


class TestReceiverCheck:
    def test_foreign_self_is_refused(self):
        with pytest.raises(TypeError, match=re.escape("'int' object cannot be cast as 'HourloomCalendar'")):
            Cal.AddOpenRule(5, 1, hm(8), hm(9))
        with pytest.raises(TypeError, match=re.escape("'TimeWindow' object cannot be cast as 'HourloomCalendar'")):
            Cal.GetStateWindows(TW(at(0), at(1)), at(0), at(1))
        with pytest.raises(TypeError, match=re.escape("'HourloomCalendar' object cannot be cast as 'TimeWindow'")):
            TW.Contains(Cal(), at(0))


class TestBorrowing:
    def test_reading_during_an_edit_is_refused(self, cal):
        class Sneaky:
            def __index__(self):
                cal.DefaultCapacity  # a shared hold while the edit holds the calendar
                return 2
        with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
            cal.SetDefaultCapacity(Sneaky())
        assert cal.DefaultCapacity == 1
        assert cal.SetDefaultCapacity(3) is cal  # the hold was released

    def test_editing_during_a_query_is_refused(self, cal):
        class Sneaky:
            def __index__(self):
                cal.SetDefaultCapacity(5)
                return 1
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            cal.GetCapacityWindows(at(0), at(1), Sneaky())
        assert cal.DefaultCapacity == 1

    def test_nested_reads_share_the_calendar(self, cal):
        class Reader:
            def __index__(self):
                return cal.DefaultCapacity
        assert cal.GetCapacityWindows(at(0), at(1), Reader()) == []


class TestInternalError:
    def test_unit_count_beyond_the_duration_range(self):
        with pytest.raises(BaseException) as info:
            hourloom.Hours(3 * 10**12)
        assert not isinstance(info.value, Exception)
        assert type(info.value).__bases__ == (BaseException,)
        assert len(info.value.args) == 1 and isinstance(info.value.args[0], str)
        assert hourloom.Hours(1).total_seconds() == 3600  # the module stays usable
