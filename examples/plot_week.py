"""Draws one week of a workshop calendar as its state windows: capacity as the
height of each window, closed time shaded, the public holiday marked.

    python3 examples/plot_week.py [out.png]      (needs matplotlib: pip install '.[plot]')
"""
import datetime as dt
import sys

try:
    import matplotlib
except ModuleNotFoundError:
    sys.exit("plot_week.py draws with matplotlib, which is not installed here: pip install '.[plot]'")

matplotlib.use("Agg")
import matplotlib.dates as mdates  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.patches import Patch  # noqa: E402

from hourloom import HourloomCalendar  # noqa: E402

MONDAY = dt.datetime(2024, 5, 6)
HOLIDAY = dt.date(2024, 5, 9)  # Ascension Day


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
            .AddHoliday(HOLIDAY))


def draw(cal, out):
    start, end = MONDAY, MONDAY + dt.timedelta(days=7)
    fig, ax = plt.subplots(figsize=(11, 3.6), dpi=110)
    top = 0
    for state in cal.GetStateWindows(start, end):
        w = state.Window
        if state.CanWork:
            ax.fill_between([w.Start, w.End], 0, state.Capacity, step="pre", color="#2a7ab0", alpha=0.85, lw=0)
            top = max(top, state.Capacity)
        else:
            ax.axvspan(w.Start, w.End, color="#d9d9d9", lw=0)
    day = dt.datetime.combine(HOLIDAY, dt.time())
    ax.axvspan(day, day + dt.timedelta(days=1), facecolor="none", edgecolor="#c0392b", hatch="//", lw=0)
    ax.text(day + dt.timedelta(hours=12), top + 0.4, "public holiday", ha="center", color="#c0392b")
    service = MONDAY + dt.timedelta(days=2, hours=10)
    ax.annotate("service", (service, 0.15), (service, top - 1.2), ha="center", arrowprops={"arrowstyle": "->"})
    handles = [Patch(color="#2a7ab0", label="open: height = people"), Patch(color="#d9d9d9", label="closed"),
               Patch(facecolor="none", edgecolor="#c0392b", hatch="//", label="holiday")]
    ax.legend(handles=handles, loc="upper right", fontsize=8, framealpha=0.95)
    ax.set_xlim(start, end)
    ax.set_ylim(0, top + 1.5)
    ax.set_ylabel("people (capacity)")
    ax.xaxis.set_major_locator(mdates.DayLocator())
    ax.xaxis.set_major_formatter(mdates.DateFormatter("%a %d %b"))
    ax.xaxis.set_minor_locator(mdates.HourLocator(byhour=[6, 12, 18]))
    ax.grid(axis="x", which="major", color="#888888", lw=0.6)
    ax.set_title("One week of the workshop: open time by capacity, closed time shaded")
    fig.tight_layout()
    fig.savefig(out)


if __name__ == "__main__":
    draw(workshop(), sys.argv[1] if len(sys.argv) > 1 else "docs/week.png")
