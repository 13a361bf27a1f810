import datetime as dt
import re

import pytest

import hourloom

# 2024-05-06 is a Monday.
MONDAY = dt.date(2024, 5, 6)


def at(day_offset=0, hour=0, minute=0, second=0, micro=0):
    """An instant `day_offset` days after Monday 2024-05-06."""
    d = MONDAY + dt.timedelta(days=day_offset)
    return dt.datetime(d.year, d.month, d.day, hour, minute, second, micro)


def raises(exc, text):
    """pytest.raises for an exact message (a prefix of it, to be precise)."""
    return pytest.raises(exc, match=re.escape(text))


def hm(hour, minute=0):
    return dt.time(hour, minute)


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
    """A calendar with something in most of its sequences."""
    return (hourloom.HourloomCalendar().AddOpenRule(1, hm(8), hm(17)).AddBreakRule(1, hm(12), hm(13))
            .AddOpenWindow(at(5, 9), at(5, 12)).AddHoliday(dt.date(2024, 5, 9))
            .AddCapacityOverride(at(0, 8), at(0, 10), 3).SetOpenWindow("a", at(6, 8), at(6, 9))
            .SetDefaultCapacity(2))


@pytest.fixture
def cal():
    return hourloom.HourloomCalendar()
