"""Searches and working time, measured in one run (ratios against baselines
timed in the same run):
  - AddWorkDuration(t, 13 h) on weekdays 08:00-17:00 with 10 holidays, against
    pandas' CustomBusinessHour adding 13 hours; and with a 12:00-13:00 lunch
    break as well, against GetCapacityAt(t) on that calendar;
  - GetWorkingDuration over 30 days against businesstimedelta's difference,
    and over 10 years against 1 year;
  - GetNextOpenTime and FindFirstSlot(t, 7 days - 1 us) with nothing to find
    (a walk over 1,830 days) against GetStateWindows over the same days;
  - GetNearestTransitionTime against GetNextTransitionTime.
The comparators are installed for this script only: pip install pandas businesstimedelta."""
import datetime as dt
import os
import random
import sys

sys.path.insert(0, os.path.dirname(__file__))
from common import best_of, per_call_ns, report, row  # noqa: E402

import businesstimedelta  # noqa: E402
import pandas as pd  # noqa: E402

from hourloom import HourloomCalendar  # noqa: E402

START = dt.datetime(2024, 1, 1)
SPAN = dt.timedelta(days=1830)


def per_item_ns(fn, items, repeat=5):
    def each():
        for x in items:
            fn(x)
    return best_of(each, repeat)[0] * 1e9 / len(items)


def rows():
    out = []
    rng = random.Random(7)
    holidays = sorted({(START + dt.timedelta(days=rng.randrange(365))).date() for _ in range(10)})
    cal = HourloomCalendar.Weekdays(dt.time(8), dt.time(17))
    for day in holidays:
        cal.AddHoliday(day)
    stamps = [START + dt.timedelta(minutes=rng.randrange(300 * 24 * 60)) for _ in range(2000)]
    hours13 = dt.timedelta(hours=13)

    # Added time against pandas, checking equal answers strictly inside open time.
    offset = pd.offsets.CustomBusinessHour(n=13, start="08:00", end="17:00", holidays=holidays)
    pd_stamps = [pd.Timestamp(t) for t in stamps]
    compared = 0
    for t, p in zip(stamps, pd_stamps):
        ours = cal.AddWorkDuration(t, hours13)
        if dt.time(8) < ours.time() < dt.time(17):
            assert (p + offset).to_pydatetime() == ours, (t, ours, p + offset)
            compared += 1
    add_ns = per_item_ns(lambda t: cal.AddWorkDuration(t, hours13), stamps)
    pandas_ns = per_item_ns(lambda p: p + offset, pd_stamps[:300], repeat=3)
    out.append(row("AddWorkDuration(t, 13 h)", add_ns, "pandas CustomBusinessHour + 13 h", pandas_ns, "<= 1/300"))
    # Against the point query on the same calendar with a lunch break (pandas has none).
    lunch = HourloomCalendar.Weekdays(dt.time(8), dt.time(17)).AddWeekdayBreakRule(dt.time(12), dt.time(13))
    for day in holidays:
        lunch.AddHoliday(day)
    lunch_ns = per_item_ns(lambda t: lunch.AddWorkDuration(t, hours13), stamps)
    capacity_ns = per_item_ns(lunch.GetCapacityAt, stamps)
    out.append(row("AddWorkDuration(t, 13 h), lunch break", lunch_ns, "GetCapacityAt(t)", capacity_ns, "<= 5"))

    # Working duration against businesstimedelta, checking equal answers.
    rules = businesstimedelta.Rules([
        businesstimedelta.WorkDayRule(start_time=dt.time(8), end_time=dt.time(17), working_days=[0, 1, 2, 3, 4]),
        businesstimedelta.HolidayRule(holidays),
    ])
    month = dt.timedelta(days=30)
    for t in stamps[:50]:
        theirs = rules.difference(t, t + month)
        assert dt.timedelta(hours=theirs.hours, seconds=theirs.seconds) == cal.GetWorkingDuration(t, t + month)
    ours_ns = per_item_ns(lambda t: cal.GetWorkingDuration(t, t + month), stamps)
    theirs_ns = per_item_ns(lambda t: rules.difference(t, t + month), stamps[:20], repeat=2)
    out.append(row("GetWorkingDuration over 30 days", ours_ns, "businesstimedelta difference", theirs_ns,
                   "<= 1/1000"))
    g = {"cal": cal, "s": START, "y1": START.replace(year=2025), "y10": START.replace(year=2034)}
    year_ns = per_call_ns("cal.GetWorkingDuration(s, y1)", g, number=200, repeat=5)
    decade_ns = per_call_ns("cal.GetWorkingDuration(s, y10)", g, number=20, repeat=5)
    out.append(row("GetWorkingDuration over 10 years", decade_ns, "the same over 1 year", year_ns, "<= 11"))

    # Walks that find nothing over the default 1,830 days.
    closed = HourloomCalendar.Weekdays(dt.time(8), dt.time(17)).AddWeekdayBreakRule(dt.time(8), dt.time(17))
    for label, c in (("empty calendar", HourloomCalendar()), ("weekdays cancelled by breaks", closed)):
        g = {"cal": c, "s": START, "e": START + SPAN}
        states_ns = per_call_ns("cal.GetStateWindows(s, e)", g, number=50, repeat=5)
        open_ns = per_call_ns("cal.GetNextOpenTime(s)", g, number=50, repeat=5)
        out.append(row(f"GetNextOpenTime, {label}", open_ns, "GetStateWindows over 1,830 days", states_ns, "<= 2"))
    g = {"cal": cal, "s": START, "e": START + SPAN, "d": dt.timedelta(days=7) - dt.timedelta(microseconds=1)}
    states_ns = per_call_ns("cal.GetStateWindows(s, e)", g, number=20, repeat=5)
    slot_ns = per_call_ns("cal.FindFirstSlot(s, d)", g, number=20, repeat=5)
    out.append(row("FindFirstSlot(t, 7 days - 1 us), no slot", slot_ns, "GetStateWindows over 1,830 days", states_ns,
                   "<= 2"))

    # Nearest against next transition.
    nearest_ns = per_item_ns(cal.GetNearestTransitionTime, stamps)
    next_ns = per_item_ns(cal.GetNextTransitionTime, stamps)
    out.append(row("GetNearestTransitionTime(t)", nearest_ns, "GetNextTransitionTime(t)", next_ns, "<= 3/2"))
    return out


if __name__ == "__main__":
    report(rows())
