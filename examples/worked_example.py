"""A worked example: a small workshop's calendar.

Weekdays 08:00-17:00 with a lunch break, two public holidays, a busy week
with extra capacity, an id-keyed maintenance window, and a composite with the
calendar of the one machine the job needs.
"""
import datetime as dt

import hourloom
from hourloom import DayOfWeek, HourloomCalendar, TimeWindow


def day(d, hour=0, minute=0):
    return dt.datetime(d.year, d.month, d.day, hour, minute)


def show_states(title, states):
    print(title)
    for s in states:
        w = s.Window
        print(f"  {w.Start:%a %d %b %H:%M} - {w.End:%a %d %b %H:%M}  capacity {s.Capacity}"
              f"{'' if s.CanWork else '  (closed)'}")


workshop = (
    HourloomCalendar.Weekdays(dt.time(8), dt.time(17))
    .AddWeekdayBreakRule(dt.time(12), dt.time(13))
    .SetDefaultCapacity(3)
    .AddHoliday(dt.date(2024, 5, 9))        # Ascension Day
    .AddHoliday(dt.date(2024, 5, 20))       # Whit Monday
    .AddCapacityOverride(day(dt.date(2024, 5, 13)), day(dt.date(2024, 5, 18)), 5)
    .SetClosedWindow("maintenance", day(dt.date(2024, 5, 7), 14), day(dt.date(2024, 5, 7), 16))
    .AddOpenRule(DayOfWeek.Saturday, dt.time(9), dt.time(12))
)

press = HourloomCalendar().OpenWeekdays(dt.time(6), dt.time(14)).SetDefaultCapacity(2)
job_calendar = workshop.And(press)

monday = dt.date(2024, 5, 6)

show_states("Workshop, Monday and Tuesday of the week of 6 May 2024:",
            workshop.GetStateWindows(day(monday), day(monday + dt.timedelta(days=2))))
print("The maintenance window, by its id:", workshop.GetEntry("maintenance").Window)
print()
print("Capacity on Tuesday 10:00:", workshop.GetCapacityAt(day(dt.date(2024, 5, 7), 10)))
print("Capacity on Tuesday 15:00 (maintenance):", workshop.GetCapacityAt(day(dt.date(2024, 5, 7), 15)))
print("Capacity on Thursday 10:00 (holiday):", workshop.GetCapacityAt(day(dt.date(2024, 5, 9), 10)))
print("Capacity on Whit Monday 20 May 10:00 (holiday):", workshop.GetCapacityAt(day(dt.date(2024, 5, 20), 10)))
print("Capacity on Tuesday 14 May 10:00 (busy week):", workshop.GetCapacityAt(day(dt.date(2024, 5, 14), 10)))
morning = TimeWindow(day(monday, 8), day(monday, 12))
print("Can the workshop work all Monday morning?", workshop.CanWork(morning))
print("With at least 4 people?", workshop.HasCapacity(morning, 4))
print()
show_states("Workshop with the press (composite), Monday:",
            job_calendar.GetStateWindows(day(monday), day(monday + dt.timedelta(days=1))))
print()
print("Open windows of the composite on Monday:")
for w in job_calendar.GetOpenWindows(day(monday), day(monday + dt.timedelta(days=1))):
    print("  ", w)
print("Unavailable windows of the workshop, Saturday:")
saturday = monday + dt.timedelta(days=5)
for w in workshop.GetUnavailableWindows(day(saturday), day(saturday + dt.timedelta(days=1))):
    print("  ", w)
print()
print("One working day is", hourloom.Hours(8), "- module version", hourloom.__version__)
