import datetime as dt

import pytest

import hourloom

# 2024-05-06 is a Monday.
MONDAY = dt.date(2024, 5, 6)


def at(day_offset=0, hour=0, minute=0, second=0, micro=0):
    """An instant `day_offset` days after Monday 2024-05-06."""
    d = MONDAY + dt.timedelta(days=day_offset)
    return dt.datetime(d.year, d.month, d.day, hour, minute, second, micro)


def hm(hour, minute=0):
    return dt.time(hour, minute)


@pytest.fixture
def cal():
    return hourloom.HourloomCalendar()
