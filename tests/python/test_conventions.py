"""Binding conventions: argument parsing, argument errors, integer widths,
receiver checks, borrow conflicts and the internal error."""
import re

import pytest

import hourloom
from conftest import at, hm

Cal = hourloom.HourloomCalendar


class TestArgumentParsing:
    def test_keywords_and_positionals_mix(self, cal):
        assert cal.AddOpenRule(day=1, start=hm(8), end=hm(12)) is cal
        assert cal.AddBreakRule(1, end=hm(11), start=hm(10)) is cal
        assert len(cal.OpenRules) == len(cal.BreakRules) == 1

    def test_keyword_names_need_not_be_interned(self, cal):
        name = "".join(["mini", "mumCapacity"])
        assert cal.GetCapacityWindows(at(0), at(1), **{name: 1}) == []

    @pytest.mark.parametrize("args,message", [
        ((1, hm(8)), "HourloomCalendar.AddOpenRule() missing 1 required positional argument: 'end'"),
        ((1,), "HourloomCalendar.AddOpenRule() missing 2 required positional arguments: 'start' and 'end'"),
        ((), "HourloomCalendar.AddOpenRule() missing 3 required positional arguments: 'day', 'start', and 'end'"),
        ((1, hm(8), hm(9), 4), "HourloomCalendar.AddOpenRule() takes 3 positional arguments but 4 were given"),
    ])
    def test_arity_errors(self, cal, args, message):
        with pytest.raises(TypeError, match=re.escape(message)):
            cal.AddOpenRule(*args)

    def test_range_of_positionals_when_defaults_exist(self, cal):
        with pytest.raises(TypeError, match=re.escape(
                "HourloomCalendar.GetCapacityWindows() takes from 2 to 3 positional arguments but 4 were given")):
            cal.GetCapacityWindows(at(0), at(1), 1, 2)
        with pytest.raises(TypeError, match=re.escape("TimeWindow.Contains() takes 1 positional argument but 2 were given")):
            hourloom.TimeWindow(at(0), at(1)).Contains(at(0), at(0))
        with pytest.raises(TypeError, match=re.escape("Clear() takes 0 positional arguments but 1 was given")):
            cal.Clear(1)

    def test_unknown_and_duplicate_keywords(self, cal):
        with pytest.raises(TypeError, match=re.escape("AddOpenRule() got an unexpected keyword argument 'weekday'")):
            cal.AddOpenRule(weekday=1, start=hm(8), end=hm(9))
        with pytest.raises(TypeError, match=re.escape("AddOpenRule() got multiple values for argument 'day'")):
            cal.AddOpenRule(1, hm(8), hm(9), day=2)
        with pytest.raises(TypeError, match=re.escape("TimeWindow.__new__() got multiple values for argument 'start'")):
            hourloom.TimeWindow(at(0), start=at(0), end=at(1))
        with pytest.raises(TypeError, match=re.escape("HourloomCalendar.__new__() takes 0 positional arguments")):
            Cal(1)
        assert cal.OpenRules == []

    def test_star_args_take_no_keywords(self, cal):
        with pytest.raises(TypeError, match="unexpected keyword argument 'capacity'"):
            cal.Capacity(capacity=3)
        with pytest.raises(TypeError, match="unexpected keyword argument 'a'"):
            Cal.Intersect(a=cal)

    def test_none_means_not_given_for_defaults(self, cal):
        cal.Open(at(0, 8), at(0, 9))
        assert cal.GetCapacityWindows(at(0), at(1), None) == cal.GetCapacityWindows(at(0), at(1))


class TestArgumentConversion:
    def test_type_errors_name_the_argument(self, cal):
        with pytest.raises(TypeError, match=r"^argument 'start': "):
            cal.AddOpenRule(1, "08:00", hm(9))
        with pytest.raises(TypeError, match=r"^argument 'day': "):
            cal.AddOpenRule(1.0, hm(8), hm(9))
        with pytest.raises(TypeError, match=r"^argument 'id': "):
            cal.SetOpenWindow(5, at(0), at(1))

    @pytest.mark.parametrize("day", [300, -1, 256])
    def test_day_outside_eight_bits_is_an_unprefixed_overflow(self, cal, day):
        with pytest.raises(OverflowError, match=r"^out of range integral type conversion attempted$"):
            cal.AddOpenRule(day, hm(8), hm(9))

    def test_day_seven_is_a_value_error(self, cal):
        with pytest.raises(ValueError, match=re.escape("Day must be in DayOfWeek range 0..6.")):
            cal.AddOpenRule(7, hm(8), hm(9))

    def test_capacity_is_32_bit(self, cal):
        with pytest.raises(OverflowError, match="out of range integral type conversion attempted"):
            cal.SetDefaultCapacity(2**31)
        with pytest.raises(OverflowError):
            cal.SetDefaultCapacity(2**80)  # Python's own message beyond the machine word
        assert cal.SetDefaultCapacity(2**31 - 1).DefaultCapacity == 2**31 - 1

    def test_index_objects_are_integers(self, cal):
        class Two:
            def __index__(self):
                return 2
        assert cal.SetDefaultCapacity(Two()).DefaultCapacity == 2
        assert cal.AddOpenRule(Two(), hm(8), hm(9)).OpenRules[0].Day == 2

    def test_bool_where_int_expected_is_accepted_as_int(self, cal):
        assert cal.SetDefaultCapacity(True).DefaultCapacity == 1

    def test_conversion_happens_in_parameter_order(self, cal):
        with pytest.raises(TypeError, match=r"^argument 'start'"):
            cal.AddCapacityOverride("x", "y", "z")
        with pytest.raises(TypeError, match=r"^argument 'capacity'"):
            cal.AddCapacityOverride(at(0), at(1), "z")


class TestReceiverCheck:
    def test_foreign_self_is_refused(self):
        with pytest.raises(TypeError, match=re.escape("'int' object cannot be cast as 'HourloomCalendar'")):
            Cal.AddOpenRule(5, 1, hm(8), hm(9))
        window = hourloom.TimeWindow(at(0), at(1))
        with pytest.raises(TypeError, match=re.escape("'TimeWindow' object cannot be cast as 'HourloomCalendar'")):
            Cal.GetStateWindows(window, "x", "y")  # before any argument is converted
        with pytest.raises(TypeError, match=re.escape("'HourloomCalendar' object cannot be cast as 'TimeWindow'")):
            hourloom.TimeWindow.Contains(Cal(), at(0))

    def test_module_class_arguments(self):
        window = hourloom.TimeWindow(at(0), at(1))
        with pytest.raises(TypeError, match=re.escape("argument 'other': 'int' object cannot be cast as 'TimeWindow'")):
            window.Overlaps(3)


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
