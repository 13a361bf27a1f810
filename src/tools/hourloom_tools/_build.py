"""Calendars from data: many windows, or holidays, put into a simple calendar
in one call that makes every edit or none, as a loop of the scalar editing
methods would make them.

    hourloom_tools.add_windows(cal, sessions["open"], sessions["close"], "open")
    hourloom_tools.add_holidays(cal, holidays.US(), years=range(2024, 2027))
"""
import datetime as _dt
import math as _math
import operator as _operator

import numpy as _np

from . import _INT32, _ZONED, _NAT, _convert, _flat, _is_pandas, _core
from ._zoned import Zoned, _DAY_US, _instants

# Capacities beyond an int32 are refused; these stand for them and stay beyond it.
_CAPACITY_RANGE = (_INT32[0] - 1, _INT32[1] + 1)
# The engine's numbers of the six kinds of stored window: added windows, then entries.
_KINDS = {"open": (0, 3), "closed": (1, 4), "capacity": (2, 5)}


def _wall(x, name, zoned):
    """x as an _Arg of wall-clock microseconds: naive values and datetime64 as
    they stand, aware ones read in the zone of zoned (a Zoned)."""
    try:
        return _convert(x, "M", name)
    except TypeError as e:
        if e.args != (_ZONED,):
            raise
        if zoned is None:
            raise TypeError(f"argument '{name}': time-zone-aware values need zone=, the zone whose "
                            "wall-clock time the calendar is written in") from None
    arg = _instants(x, name)
    arg.us = zoned._segments(arg.us).wall(arg.us)
    return arg


def _capacities(capacity):
    """One int or a column of them as int64 (capacities beyond an int32 kept
    beyond it, for the edit to refuse at their position)."""
    if isinstance(capacity, (int, _np.integer)):
        return _np.asarray(min(max(int(capacity), _CAPACITY_RANGE[0]), _CAPACITY_RANGE[1]), _np.int64)
    if _is_pandas(capacity):  # nullable integers as objects, a missing one refused at its position
        capacity = capacity.to_numpy(None if isinstance(capacity.dtype, _np.dtype) else object)
    arr = _np.asarray(capacity)
    if arr.dtype.kind in "iub":
        if arr.dtype == _np.uint64:  # the one integer type beyond int64
            arr = _np.minimum(arr, _np.uint64(_CAPACITY_RANGE[1]))
        return _np.clip(arr.astype(_np.int64), *_CAPACITY_RANGE)
    if arr.dtype.kind == "O" and arr.ndim:
        out = _np.empty(arr.shape, _np.int64)
        for i, v in enumerate(arr.ravel()):
            try:
                out.flat[i] = min(max(_operator.index(v), _CAPACITY_RANGE[0]), _CAPACITY_RANGE[1])
            except TypeError as e:
                raise TypeError(f"argument 'capacity': {e} (at position {i})") from None
        return out
    if arr.ndim == 0:
        raise TypeError(f"argument 'capacity': '{type(capacity).__name__}' object cannot be interpreted as an integer")
    raise TypeError(f"argument 'capacity': expected integer values, got {arr.dtype}")


def _ids(ids):
    """Ids as a numpy array, of str or of objects (the edit checks that each is a str)."""
    if _is_pandas(ids):
        ids = ids.to_numpy()
    return _np.asarray(ids) if hasattr(ids, "__array__") else _np.asarray(ids, object)


def add_windows(cal, starts, ends, kind, *, capacity=None, ids=None, zone=None):
    """Adds a window from each start to each end to a simple calendar, in order,
    and returns the calendar. kind is "open" (AddOpenWindow), "closed"
    (AddClosedWindow) or "capacity" (AddCapacityOverride with capacity, one int
    or a column); with ids, each sets the entry of its id instead (SetOpenWindow,
    SetClosedWindow, SetCapacityWindow), a later repeated id replacing the
    earlier one in place. Arguments broadcast by numpy's rules.

    A calendar is written in wall-clock time, so naive datetimes and numpy
    datetime64 values are taken as they stand, with or without zone= (unlike
    Zoned, which reads datetime64 as UTC instants). Aware values need zone=:
    each is read as its wall-clock time there (astimezone(zone) without its
    tzinfo).

    Every element is checked first: on any error (NaT, an end before its start,
    a value a datetime cannot hold, a bad capacity, a blank id, a composite
    calendar) the scalar method's error is raised with " (at position i)" and
    the calendar is left unchanged."""
    if kind not in _KINDS:
        raise ValueError(f"kind: expected 'open', 'closed' or 'capacity', got {kind!r}")
    if (capacity is None) == (kind == "capacity"):
        raise TypeError("capacity= is required for kind 'capacity', and only for it")
    zoned = None if zone is None else Zoned(cal, zone)
    columns = [_wall(starts, "starts", zoned).us, _wall(ends, "ends", zoned).us]
    if capacity is not None:
        columns.append(_capacities(capacity))
    # A list of str is passed as it is (the edit checks each item); other ids go through numpy.
    plain = type(ids) is list and not (ids and isinstance(ids[0], list))
    keyed = ids is not None
    shapes = [c.shape for c in columns]
    if keyed:
        ids = ids if plain else _ids(ids)
        shapes.append((len(ids),) if plain else ids.shape)
    shape = _np.broadcast_shapes(*shapes)
    size = _math.prod(shape)
    if keyed and not (plain and len(ids) in (1, size)):
        ids = _flat(_ids(ids) if plain else ids, shape).tolist()
    flat = [_flat(c, shape) for c in columns]
    _core.add_windows(cal, _KINDS[kind][keyed], size, flat[0], flat[1], flat[2] if capacity is not None else None,
                      ids)
    return cal


def _holiday_dates(source, years):
    """The dates a holidays package object holds, or, for years (one or many),
    its dates of each of those years (asking it for them), in order."""
    if years is None:
        return list(source)
    dates = []
    for y in [years] if isinstance(years, int) else years:
        first, last = _dt.date(y, 1, 1), _dt.date(y, 12, 31)
        dates += source[first:last] + ([last] if last in source else [])
    return dates


def add_holidays(cal, source, *, years=None):
    """Closes each whole day of source in a simple calendar, in order (AddHoliday),
    and returns the calendar. source is a holidays package object (with years,
    its holidays of those years; without, the dates it holds), a mapping or
    iterable of dates (a mapping's keys), numpy datetime64 values or a pandas
    DatetimeIndex of midnights; a datetime stands for its date. Every element is
    checked first, as add_windows checks them."""
    if type(source).__module__.partition(".")[0] == "holidays":
        source = _holiday_dates(source, years)
    elif years is not None:
        raise TypeError("years= is for a holidays package object")
    if not (hasattr(source, "__array__") or _is_pandas(source)):
        source = [_np.datetime64(v, "D") if isinstance(v, _dt.date) and not isinstance(v, _dt.datetime) else v
                  for v in source]
    us = _convert(source, "M", "source").us.reshape(-1)
    days = _np.where(us == _NAT, _NAT, us // _DAY_US)
    _core.add_holidays(cal, _np.ascontiguousarray(days))
    return cal
