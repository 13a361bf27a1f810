"""Draws one week of a workshop calendar as its state windows: capacity as the
height of each window, closed time shaded.

    python3 examples/plot_week.py [out.png]      (needs matplotlib: pip install '.[plot]')
"""
import datetime as dt
import sys

try:
    import matplotlib
except ModuleNotFoundError:
    sys.exit("plot_week.py draws with matplotlib, which is not installed here: pip install '.[plot]'")

matplotlib.use("Agg")

import hourloom_tools  # noqa: E402
from hourloom import HourloomCalendar  # noqa: E402

MONDAY = dt.datetime(2024, 5, 6)


def workshop():
    """Three people on weekdays 07:00-16:00 with a lunch break, a Saturday
    morning shift for one, a crew of five on Tuesday afternoon, a machine
    service on Wednesday morning and a public holiday on Thursday."""
    at = lambda day, h, m=0: MONDAY + dt.timedelta(days=day, hours=h, minutes=m)  # noqa: E731
    return (HourloomCalendar.Weekdays(dt.time(7), dt.time(16))
            .AddWeekdayBreakRule(dt.time(12), dt.time(12, 30))
            .AddOpenRule(6, dt.time(8), dt.time(12))
            .SetDefaultCapacity(3)
            .AddCapacityOverride(at(5, 0), at(6, 0), 1)
            .AddCapacityOverride(at(1, 12, 30), at(1, 16), 5)
            .AddDowntime(at(2, 9), at(2, 11))
            .AddHoliday(dt.date(2024, 5, 9)))


if __name__ == "__main__":
    ax = hourloom_tools.plot(workshop(), MONDAY, MONDAY + dt.timedelta(days=7))
    ax.set_title("One week of the workshop: open time by capacity, closed time shaded")
    ax.figure.tight_layout()
    ax.figure.savefig(sys.argv[1] if len(sys.argv) > 1 else "docs/week.png", dpi=110)
