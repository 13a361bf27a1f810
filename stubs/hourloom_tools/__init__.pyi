import datetime
from typing import Any, Iterable, Literal, overload

import numpy as np
import numpy.typing as npt

from hourloom import HourloomCalendar, HourloomTimeline

__all__ = ["capacity_at", "can_work", "next_open", "add_work", "working_duration", "capacity_time",
           "add_capacity_time", "first_slot", "last_slot", "windows", "plot", "Zoned", "add_windows", "add_holidays",
           "union", "total", "difference", "scale", "within", "effective", "repeat", "describe"]

_Source = HourloomCalendar | HourloomTimeline
_Instant = datetime.datetime | np.datetime64
_Duration = datetime.timedelta | np.timedelta64

# A scalar in gives a Python scalar out (None where missing; a pandas scalar for
# a pandas one); columns give numpy arrays or the pandas, polars or pyarrow
# column they came as, in [ns] for [ns] input.
@overload
def capacity_at(cal: _Source, times: _Instant, fill: int | None = None) -> int | None:
    """The capacity in force at each instant (NaT gives <NA>, or `fill`, or an error for numpy input)."""
@overload
def capacity_at(cal: _Source, times: Any, fill: int | None = None) -> Any:
    """The capacity in force at each instant (NaT gives <NA>, or `fill`, or an error for numpy input)."""
@overload
def can_work(cal: _Source, times: _Instant, fill: bool | None = None) -> bool | None:
    """Whether each instant has capacity of at least 1."""
@overload
def can_work(cal: _Source, times: Any, fill: bool | None = None) -> Any:
    """Whether each instant has capacity of at least 1."""
@overload
def next_open(cal: _Source, times: _Instant, until: _Instant | None = None) -> datetime.datetime | None:
    """The first instant at or after each start with capacity of at least 1, searched up to `until`; NaT where none."""
@overload
def next_open(cal: _Source, times: Any, until: Any = None) -> Any:
    """The first instant at or after each start with capacity of at least 1, searched up to `until`; NaT where none."""
@overload
def add_work(
    cal: _Source, starts: _Instant, durations: _Duration, until: _Instant | None = None
) -> datetime.datetime | None:
    """Where each amount of working time runs out from its start; a negative amount walks back to the latest start that still finishes by then."""
@overload
def add_work(cal: _Source, starts: Any, durations: Any, until: Any = None) -> Any:
    """Where each amount of working time runs out from its start; a negative amount walks back to the latest start that still finishes by then."""
@overload
def working_duration(cal: _Source, starts: _Instant, ends: _Instant) -> datetime.timedelta | None:
    """The open time between each start and end; negative where the end comes first."""
@overload
def working_duration(cal: _Source, starts: Any, ends: Any) -> Any:
    """The open time between each start and end; negative where the end comes first."""
@overload
def capacity_time(cal: _Source, starts: _Instant, ends: _Instant) -> datetime.timedelta | None:
    """Capacity times time between each start and end (two people for three hours is six hours); signed like working_duration."""
@overload
def capacity_time(cal: _Source, starts: Any, ends: Any) -> Any:
    """Capacity times time between each start and end (two people for three hours is six hours); signed like working_duration."""
@overload
def add_capacity_time(
    cal: _Source, starts: _Instant, amounts: _Duration, until: _Instant | None = None
) -> datetime.datetime | None:
    """The first instant at which the capacity-weighted time from each start reaches its amount; a negative amount walks back to the latest start that reaches it by then."""
@overload
def add_capacity_time(cal: _Source, starts: Any, amounts: Any, until: Any = None) -> Any:
    """The first instant at which the capacity-weighted time from each start reaches its amount; a negative amount walks back to the latest start that reaches it by then."""
@overload
def first_slot(
    cal: _Source, starts: _Instant, durations: _Duration, min_capacity: int = 1, until: _Instant | None = None
) -> datetime.datetime | None:
    """The start of the first window of the given length, at or after each start, whose capacity stays at least `min_capacity`."""
@overload
def first_slot(cal: _Source, starts: Any, durations: Any, min_capacity: int = 1, until: Any = None) -> Any:
    """The start of the first window of the given length, at or after each start, whose capacity stays at least `min_capacity`."""
@overload
def last_slot(
    cal: _Source, ends: _Instant, durations: _Duration, min_capacity: int = 1, until: _Instant | None = None
) -> datetime.datetime | None:
    """The start of the latest window of the given length ending by each end whose capacity stays at least `min_capacity`."""
@overload
def last_slot(cal: _Source, ends: Any, durations: Any, min_capacity: int = 1, until: Any = None) -> Any:
    """The start of the latest window of the given length ending by each end whose capacity stays at least `min_capacity`."""
def windows(
    cal: _Source, start: _Instant, end: _Instant
) -> tuple[npt.NDArray[np.datetime64], npt.NDArray[np.datetime64], npt.NDArray[np.int64]]:
    """The state windows of [start, end): their starts, their ends and their capacities."""
def plot(cal: _Source, start: _Instant, end: _Instant, ax: Any = None) -> Any:
    """Draws the state windows of [start, end) with matplotlib (capacity as bar height, closed time shaded) and returns the axes."""

# Calendars from data: every edit made, in order, or none (the error names its position).
def add_windows(
    cal: HourloomCalendar,
    starts: Any,
    ends: Any,
    kind: Literal["open", "closed", "capacity"],
    *,
    capacity: Any = None,
    ids: Any = None,
    zone: datetime.tzinfo | str | None = None,
) -> HourloomCalendar:
    """Adds a window from each start to each end (or, with ids, sets each entry); naive and datetime64 values are wall-clock times, aware ones are read in `zone`."""
def add_holidays(cal: HourloomCalendar, source: Any, *, years: int | Iterable[int] | None = None) -> HourloomCalendar:
    """Closes each whole day of a holidays package object (for `years`, when given), a mapping or iterable of dates, or datetime64 values."""

# Calendars from calendars: each returns a composite calendar.
def union(*cals: HourloomCalendar) -> HourloomCalendar:
    """Open where any is open: the largest of the capacities."""
def total(*cals: HourloomCalendar) -> HourloomCalendar:
    """The sum of the capacities (crews, teams), saturating at 2,147,483,647."""
def difference(a: HourloomCalendar, b: HourloomCalendar) -> HourloomCalendar:
    """a's capacity where b's is 0, else 0."""
def scale(cal: HourloomCalendar, k: int) -> HourloomCalendar:
    """k times the capacity, for an int k >= 0, saturating as total does."""
def within(cal: HourloomCalendar, start: _Instant, end: _Instant) -> HourloomCalendar:
    """The capacity from start (inclusive) to end (exclusive), 0 elsewhere."""
def effective(pairs: Iterable[tuple[_Instant, HourloomCalendar | None]]) -> HourloomCalendar:
    """From each (instant, calendar or None) of strictly increasing instants, that calendar's capacity until the next; 0 before the first and for None."""
def repeat(pattern: HourloomCalendar, anchor: _Instant, period: _Duration) -> HourloomCalendar:
    """The pattern's capacities over [anchor, anchor + period), repeated for ever in both directions."""
def describe(cal: HourloomCalendar) -> str:
    """The composition tree as text, one node a line."""

_Aware = datetime.datetime | np.datetime64

# Real instants in (aware datetimes, tz-aware pandas values, numpy datetime64
# read as UTC); answers in the zone, numpy ones in UTC.
class Zoned:
    """A calendar kept in a zone's wall-clock time, answering for real instants across clock changes."""
    def __init__(self, cal: _Source, zone: datetime.tzinfo | str) -> None:
        """A calendar or timeline kept in the wall-clock time of `zone`, asked with real instants."""
    @property
    def calendar(self) -> _Source:
        """The calendar or timeline whose wall-clock rules apply."""
    @property
    def zone(self) -> datetime.tzinfo:
        """The zone whose wall clock the calendar's rules read."""
    def __reduce__(self) -> tuple[type[Zoned], tuple[_Source, datetime.tzinfo | str]]:
        """Pickles the calendar and the zone by its key."""
    @overload
    def capacity_at(self, times: _Aware, fill: int | None = None) -> int | None:
        """The capacity in force at each real instant, read on the zone's wall clock."""
    @overload
    def capacity_at(self, times: Any, fill: int | None = None) -> Any:
        """The capacity in force at each real instant, read on the zone's wall clock."""
    @overload
    def can_work(self, times: _Aware, fill: bool | None = None) -> bool | None:
        """Whether each real instant has capacity of at least 1."""
    @overload
    def can_work(self, times: Any, fill: bool | None = None) -> Any:
        """Whether each real instant has capacity of at least 1."""
    @overload
    def next_open(self, times: _Aware, until: _Aware | None = None) -> datetime.datetime | None:
        """The first real instant at or after each start with capacity of at least 1; NaT where none."""
    @overload
    def next_open(self, times: Any, until: Any = None) -> Any:
        """The first real instant at or after each start with capacity of at least 1; NaT where none."""
    @overload
    def add_work(self, starts: _Aware, durations: _Duration, until: _Aware | None = None) -> datetime.datetime | None:
        """Where each amount of working time runs out on the real time line; negative amounts walk back."""
    @overload
    def add_work(self, starts: Any, durations: Any, until: Any = None) -> Any:
        """Where each amount of working time runs out on the real time line; negative amounts walk back."""
    @overload
    def working_duration(self, starts: _Aware, ends: _Aware) -> datetime.timedelta | None:
        """The real open time between each start and end, clock changes included; signed."""
    @overload
    def working_duration(self, starts: Any, ends: Any) -> Any:
        """The real open time between each start and end, clock changes included; signed."""
    @overload
    def capacity_time(self, starts: _Aware, ends: _Aware) -> datetime.timedelta | None:
        """Capacity times real time between each start and end; signed."""
    @overload
    def capacity_time(self, starts: Any, ends: Any) -> Any:
        """Capacity times real time between each start and end; signed."""
    @overload
    def first_slot(
        self, starts: _Aware, durations: _Duration, min_capacity: int = 1, until: _Aware | None = None
    ) -> datetime.datetime | None:
        """The start of the first real window of the given length whose capacity stays at least `min_capacity`."""
    @overload
    def first_slot(self, starts: Any, durations: Any, min_capacity: int = 1, until: Any = None) -> Any:
        """The start of the first real window of the given length whose capacity stays at least `min_capacity`."""
    @overload
    def last_slot(
        self, ends: _Aware, durations: _Duration, min_capacity: int = 1, until: _Aware | None = None
    ) -> datetime.datetime | None:
        """The start of the latest real window of the given length ending by each end with capacity at least `min_capacity`."""
    @overload
    def last_slot(self, ends: Any, durations: Any, min_capacity: int = 1, until: Any = None) -> Any:
        """The start of the latest real window of the given length ending by each end with capacity at least `min_capacity`."""
    @overload
    def windows(
        self, start: np.datetime64, end: np.datetime64
    ) -> tuple[npt.NDArray[np.datetime64], npt.NDArray[np.datetime64], npt.NDArray[np.int64]]:
        """The maximal real spans of constant capacity in [start, end), with their capacities."""
    @overload
    def windows(
        self, start: datetime.datetime, end: datetime.datetime
    ) -> tuple[list[datetime.datetime], list[datetime.datetime], npt.NDArray[np.int64]]:
        """The maximal real spans of constant capacity in [start, end), with their capacities."""

# `series.hourloom` (pandas) and `pl.col(...).hourloom` (polars): the column
# functions with the Series or expression as their first column. Registered
# once pandas or polars is imported, in either order.
class _ColumnFunctions:
    def capacity_at(self, cal: _Source, fill: int | None = None) -> Any: ...
    def can_work(self, cal: _Source, fill: bool | None = None) -> Any: ...
    def next_open(self, cal: _Source, until: Any = None) -> Any: ...
    def add_work(self, cal: _Source, durations: Any, until: Any = None) -> Any: ...
    def working_duration(self, cal: _Source, ends: Any) -> Any: ...
    def capacity_time(self, cal: _Source, ends: Any) -> Any: ...
    def add_capacity_time(self, cal: _Source, amounts: Any, until: Any = None) -> Any: ...
    def first_slot(self, cal: _Source, durations: Any, min_capacity: int = 1, until: Any = None) -> Any: ...
    def last_slot(self, cal: _Source, durations: Any, min_capacity: int = 1, until: Any = None) -> Any: ...

class HourloomSeriesAccessor(_ColumnFunctions):
    """`series.hourloom`: string durations read as pd.Timedelta reads them, string instants as pd.Timestamp."""
    def __init__(self, series: Any) -> None: ...

class HourloomExprNamespace(_ColumnFunctions):
    """`pl.col(...).hourloom`: polars expressions; other arguments may be expressions or values."""
    def __init__(self, expr: Any) -> None: ...
