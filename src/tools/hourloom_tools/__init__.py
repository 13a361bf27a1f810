"""Whole columns at once: hourloom's questions asked of numpy and pandas
columns of instants and durations, answered in C++ with the interpreter lock
released.

    due = hourloom_tools.add_work(cal, tickets["opened"], np.timedelta64(8, "h"))

Each function takes a calendar (simple or composite) or a compiled timeline
first. Arguments broadcast by numpy's rules; a scalar in gives a Python
scalar out, a pandas Series, Index or array, a polars Series or a pyarrow
Array or ChunkedArray gives the same back, anything else gives a numpy array
of the broadcast shape. pandas Series with different indexes are aligned on
their labels first. NaT (or null) in gives a missing value out.
"""
import datetime as _dt
import math as _math
import operator as _operator

import numpy as _np

from . import _core
from . import _frames
from . import _pickle  # noqa: F401  (registers the picklers of hourloom's classes)

__all__ = ["capacity_at", "can_work", "next_open", "add_work", "working_duration", "capacity_time",
           "add_capacity_time", "first_slot", "last_slot", "windows", "plot", "Zoned", "add_windows", "add_holidays",
           "union", "total", "difference", "scale", "within", "effective", "repeat", "describe"]

(_CAPACITY_AT, _NEXT_OPEN, _ADD_WORK, _WORKING_DURATION, _CAPACITY_TIME, _FIRST_SLOT, _LAST_SLOT,
 _ADD_CAPACITY_TIME) = range(8)
_NAT = _np.iinfo(_np.int64).min
_ZONED = "time-zone-aware input is not supported here: use hourloom_tools.Zoned for time zones"
_FINER = {"ns": 1_000, "ps": 1_000_000, "fs": 1_000_000_000, "as": 1_000_000_000_000}
# Microseconds per unit (numpy's average year and month for durations).
_US_PER = {"Y": 31_556_952_000_000, "M": 2_629_746_000_000, "W": 604_800_000_000, "D": 86_400_000_000,
           "h": 3_600_000_000, "m": 60_000_000, "s": 1_000_000, "ms": 1_000, "us": 1}
_FIRST_US, _LAST_US = -62_135_596_800_000_000, 253_402_300_799_999_999  # datetime.min and max
_MONTHS = ((1 - 1970) * 12, (9999 - 1970) * 12 + 11)  # their months since 1970-01
_LONGEST = _np.iinfo(_np.int64).max
_OUTSIDE = _LONGEST  # an instant no datetime holds
_INT32 = (-2**31, 2**31 - 1)


# ---------------------------------------------------------------- arguments


class _Arg:
    """One converted argument: int64 microseconds (nanoseconds when ns) of the
    given shape, and what it came as: a scalar, or the pandas, polars or pyarrow
    column (or the pandas scalar) in `pandas`; kind "M" or "m"."""
    __slots__ = ("us", "scalar", "pandas", "kind", "ns")

    def __init__(self, us, scalar=False, pandas=None, kind=None, ns=False):
        self.us, self.scalar, self.pandas, self.kind, self.ns = us, scalar, pandas, kind, ns


def _is_pandas(x):
    return _frames.library(x) == "pandas"


def _zone_of(x):
    """The time zone of a tz-aware column: pandas (numpy- or Arrow-backed), pyarrow
    or polars; None for any other."""
    dtype = getattr(x, "dtype", None)
    arrow = getattr(dtype, "pyarrow_dtype", None) or getattr(x, "type", None)
    return getattr(dtype, "tz", None) or getattr(dtype, "time_zone", None) or getattr(arrow, "tz", None)


def _floor_us(arr, kind):
    """A datetime64/timedelta64 array of any unit as int64 microseconds, finer
    units floored, in exact integer arithmetic. An instant no datetime holds
    becomes _OUTSIDE (refused at its position); a duration past int64
    microseconds becomes the longest of its sign, which finds nothing, as any
    duration longer than the dates do."""
    if not arr.dtype.isnative:
        arr = arr.astype(arr.dtype.newbyteorder("="))
    unit, count = _np.datetime_data(arr.dtype)
    raw = arr.view(_np.int64)
    if unit == "generic":
        return arr.astype(f"{kind}8[us]").view(_np.int64)
    if kind == "M" and unit in ("Y", "M"):  # calendar units: in range, numpy's conversion is exact
        per = 12 if unit == "Y" else 1
        lo, hi = -(-_MONTHS[0] // (per * count)), _MONTHS[1] // (per * count)
        ok = (raw >= lo) & (raw <= hi)
        out = _np.where(ok, raw, 0).view(arr.dtype).astype("M8[us]").view(_np.int64)
        return _np.where(ok, out, _np.where(raw == _NAT, _NAT, _OUTSIDE))
    if unit in _FINER:
        g = _math.gcd(count, _FINER[unit])
        num, den = count // g, _FINER[unit] // g
    else:
        num, den = _US_PER[unit] * count, 1
    if num == 1 and den == 1:  # microseconds: the kernel refuses instants outside the dates
        return raw
    # Values outside [lo, hi] leave the range: floor(raw * num / den) is monotone in raw.
    first, last = (_FIRST_US, _LAST_US) if kind == "M" else (-_LONGEST, _LONGEST)
    lo = max(-(-first * den // num), _NAT + 1)
    hi = min(-(-(last + 1) * den // num) - 1, _LONGEST)
    if lo == _NAT + 1 and hi == _LONGEST and num == 1:  # every value but NaT in range
        out = _np.floor_divide(raw, den)
        out[raw == _NAT] = _NAT
        return out
    ok = (raw >= lo) & (raw <= hi)
    q, r = _np.divmod(_np.where(ok, raw, 0), den)
    if num * den < 2**62:
        out = q * num + r * num // den
    else:  # a unit no one uses: Python integers
        out = _np.array([int(a) * num + int(b) * num // den for a, b in zip(q.ravel(), r.ravel())],
                        _np.int64).reshape(q.shape)
    far = _OUTSIDE if kind == "M" else _np.where(raw > 0, _LONGEST, -_LONGEST)
    return _np.where(ok, out, _np.where(raw == _NAT, _NAT, far))


def _object_values(flat, read):
    """Microseconds of an object array's items, each read by read(item)."""
    out = _np.empty(flat.shape, _np.int64)
    for i, v in enumerate(flat.ravel()):
        out.flat[i] = read(v)
    return out


def _scalar_us(v, kind, name):
    if v is None or type(v).__name__ == "NaTType":
        return _NAT
    if getattr(v, "tzinfo", None) is not None:
        raise TypeError(_ZONED)
    if kind == "M" and hasattr(v, "to_datetime64"):  # pandas Timestamp: nanoseconds
        v = v.to_datetime64()
    elif kind == "m" and hasattr(v, "to_timedelta64"):
        v = v.to_timedelta64()
    if isinstance(v, _np.generic) and v.dtype.kind == kind:
        return int(_floor_us(_np.asarray(v).reshape(1), kind)[0])
    if kind == "M" and isinstance(v, _dt.datetime):
        return int(_np.datetime64(v, "us").view(_np.int64))
    if kind == "m" and isinstance(v, _dt.timedelta):
        us = (v.days * 86_400 + v.seconds) * 1_000_000 + v.microseconds
        return max(-_LONGEST, min(us, _LONGEST))
    what = "datetime" if kind == "M" else "timedelta"
    raise TypeError(f"argument '{name}': expected {what} values, got '{type(v).__name__}'")


def _is_ns(dtype):
    return _np.datetime_data(dtype) == ("ns", 1)


def _convert(x, kind, name, nanos=False):
    """x as an _Arg of int64 microseconds; kind "M" for instants, "m" for durations.
    With nanos, values given in [ns] (pandas scalars or columns) are kept in
    nanoseconds, and the _Arg says so."""
    if x is None or isinstance(x, (_dt.datetime, _dt.timedelta, _np.generic)) or type(x).__name__ == "NaTType":
        pandas = x if type(x).__module__.partition(".")[0] == "pandas" and hasattr(x, "unit") else None
        if nanos and pandas is not None and x.unit == "ns" and getattr(x, "tzinfo", None) is None:
            return _Arg(_np.asarray(x.value, _np.int64), True, pandas, kind, True)
        return _Arg(_np.asarray(_scalar_us(x, kind, name), _np.int64), True, pandas, kind)
    if _zone_of(x) is not None:
        raise TypeError(_ZONED)
    pandas = None
    if _frames.library(x) is not None:
        pandas = x
        x = _frames.read(x)
    arr = _np.asarray(x)
    if arr.dtype.kind == kind and nanos and _is_ns(arr.dtype):
        if not arr.dtype.isnative:
            arr = arr.astype(arr.dtype.newbyteorder("="))
        return _Arg(arr.view(_np.int64), pandas=pandas, kind=kind, ns=True)
    if arr.dtype.kind == kind:
        us = _floor_us(arr, kind)
    elif arr.dtype.kind == "O" or arr.size == 0:
        us = _object_values(arr, lambda v: _scalar_us(v, kind, name))  # datetimes or timedeltas, None, NaT
    else:
        what = "datetime64" if kind == "M" else "timedelta64"
        raise TypeError(f"argument '{name}': expected {what} values, got {arr.dtype}")
    return _Arg(us, pandas=pandas, kind=kind)


def _nanoseconds(args):
    """args (None for an absent one) all in nanoseconds when a column among them
    is given in [ns], or, scalars all, one of them: (args, whether in ns). A
    microsecond count [ns] cannot hold becomes an instant outside the range,
    or the longest duration of its sign."""
    given = [a for a in args if a is not None]
    columns = [a for a in given if not a.scalar] or given
    if not any(a.ns for a in columns):
        return args, False
    out = []
    for a in args:
        if a is None or a.ns:
            out.append(a)
            continue
        us = a.us
        ok = (us >= -(_LONGEST // 1_000)) & (us <= _LONGEST // 1_000)
        far = _OUTSIDE if a.kind == "M" else _np.where(us > 0, _LONGEST, -_LONGEST)
        ns = _np.where(ok, us * _np.where(ok, 1_000, 0), _np.where(us == _NAT, _NAT, far))
        out.append(_Arg(ns.astype(_np.int64), a.scalar, a.pandas, a.kind, True))
    return out, True


def _minimum(m):
    m = _operator.index(m)
    if not _INT32[0] <= m <= _INT32[1]:
        raise OverflowError("out of range integral type conversion attempted")
    return m


def _form(args, shape):
    """What a result of the broadcast shape comes as: an _Arg without values,
    scalar when every given argument is (with the first one's pandas scalar),
    else with the first column argument of its length, named as the pandas
    arguments are."""
    given = [a for a in args if a is not None]
    size = _math.prod(shape)
    scalar = all(a.scalar for a in given)
    if scalar:  # a pandas scalar as the first argument gives a pandas scalar
        return _Arg(None, scalar=True, pandas=given[0].pandas)
    pandas = next((a.pandas for a in given if a.pandas is not None and not a.scalar and len(a.pandas) == size and
                   len(shape) == 1), None)
    if _is_pandas(pandas):
        pandas = _frames.named(pandas, [a.pandas for a in given if not a.scalar])
    return _Arg(None, pandas=pandas)


def _flat(values, shape):
    """values broadcast to shape, flat and contiguous: one value stays one (the
    kernels read it for every position)."""
    if values.size == 1:
        return _np.ascontiguousarray(values.reshape(1))
    return _np.ascontiguousarray(_np.broadcast_to(values, shape).reshape(-1))


def _run(question, cal, flat, out, minimum=1, nanos=False):
    """The kernel over contiguous int64 columns (None where absent) into out,
    microseconds or nanoseconds; how many answers are NaT."""
    first, second, until = (flat + [None, None])[:3]
    return _core.run(question, cal, first, second, until, minimum, out, nanos)


def _ask(question, cal, args, minimum=1):
    """Broadcasts the _Args (None for an absent one) and runs the kernel, in
    nanoseconds when an argument is given in them: the raw int64 result of the
    broadcast shape, the argument that shapes it, whether scalar, how many
    answers are missing, and the unit."""
    args, nanos = _nanoseconds(args)
    shape = _np.broadcast_shapes(*(a.us.shape for a in args if a is not None))
    flat = [None if a is None else _flat(a.us, shape) for a in args]
    out = _np.empty(_math.prod(shape), _np.int64)
    missing = _run(question, cal, flat, out, minimum, nanos)
    form = _form(args, shape)
    return out.reshape(shape), form.pandas, form.scalar, missing, "ns" if nanos else "us"


def _until(until):
    return None if until is None else _convert(until, "M", "until", True)


# ---------------------------------------------------------------- results


def _wrap(raw, pandas, scalar, kind, unit="us"):
    """The result in the form of its input: a Python scalar (a pandas one for a
    pandas scalar), a Series or Index, another library's column, or numpy."""
    values = raw.view(f"{kind}8[{unit}]")
    if scalar:
        if raw.reshape(()) == _NAT:
            return None
        if pandas is not None:
            import pandas as pd
            return (pd.Timestamp if kind == "M" else pd.Timedelta)(int(raw.reshape(())), unit=unit)
        return values.reshape(()).item()
    if pandas is not None:
        return _frames.like(pandas, values.reshape(-1), None if _is_pandas(pandas) else raw.reshape(-1) == _NAT)
    return values


def _int(x, what):
    """x as an int; TypeError, naming what, for a bool or a value that is not an integer."""
    if isinstance(x, (bool, _np.bool_)) or not hasattr(type(x), "__index__"):
        raise TypeError(f"{what}: expected an int, got '{type(x).__name__}'")
    return _operator.index(x)


def _fill(fill, as_bool):
    """fill= checked: a bool for flags, an int that int64 holds for capacities, or None."""
    if fill is None:
        return None
    if as_bool:
        if not isinstance(fill, (bool, _np.bool_)):
            raise TypeError(f"fill: expected a bool, got '{type(fill).__name__}'")
        return bool(fill)
    value = _int(fill, "fill")
    if not _NAT <= value <= _LONGEST:
        raise ValueError(f"fill: {value} is outside the int64 range")
    return value


def _counts(raw, pandas, scalar, count, fill, as_bool):
    """Capacities (or can-work flags) with the missing-value rules of their form;
    count: how many are missing."""
    fill = _fill(fill, as_bool)
    values = raw >= 1 if as_bool else raw
    if scalar:
        if count:
            return fill
        return bool(values.reshape(())) if as_bool else int(values.reshape(()))
    missing = raw == _NAT if count or pandas is not None else None
    if pandas is not None and fill is None:
        return _frames.like(pandas, values.reshape(-1), missing.reshape(-1))
    if count:
        if fill is None:
            position = int(_np.flatnonzero(missing.reshape(-1))[0])
            raise ValueError(f"NaT has no capacity; pass fill= to give one (at position {position})")
        values = _np.where(missing, _np.asarray(fill, values.dtype), values)
    return _frames.like(pandas, values.reshape(-1), None) if pandas is not None else values


# ---------------------------------------------------------------- the functions


def capacity_at(cal, times, fill=None):
    """The capacity at each instant (GetCapacityAt), as int64."""
    raw, pandas, scalar, count, _ = _ask(_CAPACITY_AT, cal, [_convert(times, "M", "times", True)])
    return _counts(raw, pandas, scalar, count, fill, False)


def can_work(cal, times, fill=None):
    """Whether the capacity at each instant is at least 1, as bool."""
    raw, pandas, scalar, count, _ = _ask(_CAPACITY_AT, cal, [_convert(times, "M", "times", True)])
    return _counts(raw, pandas, scalar, count, fill, True)


def next_open(cal, times, until=None):
    """The next open instant from each instant (GetNextOpenTime); NaT when none comes before until."""
    times, until = _frames.align([times, until])
    raw, pandas, scalar, _, unit = _ask(_NEXT_OPEN, cal, [_convert(times, "M", "times", True), None, _until(until)])
    return _wrap(raw, pandas, scalar, "M", unit)


def add_work(cal, starts, durations, until=None):
    """The instant each duration of working time from each start ends (AddWorkDuration); NaT when not found.
    A negative duration walks back from its instant to the latest start that still
    finishes there, `until` then being the earliest instant it may use."""
    starts, durations, until = _frames.align([starts, durations, until])
    args = [_convert(starts, "M", "starts", True), _convert(durations, "m", "durations", True), _until(until)]
    raw, pandas, scalar, _, unit = _ask(_ADD_WORK, cal, args)
    return _wrap(raw, pandas, scalar, "M", unit)


def working_duration(cal, starts, ends):
    """The open time of each [start, end) (GetWorkingDuration), negative where the end comes first."""
    starts, ends = _frames.align([starts, ends])
    args = [_convert(starts, "M", "starts", True), _convert(ends, "M", "ends", True)]
    raw, pandas, scalar, _, unit = _ask(_WORKING_DURATION, cal, args)
    return _wrap(raw, pandas, scalar, "m", unit)


def capacity_time(cal, starts, ends):
    """The integral of capacity over each [start, end): two people for three hours is six hours."""
    starts, ends = _frames.align([starts, ends])
    args = [_convert(starts, "M", "starts", True), _convert(ends, "M", "ends", True)]
    raw, pandas, scalar, _, unit = _ask(_CAPACITY_TIME, cal, args)
    return _wrap(raw, pandas, scalar, "m", unit)


def add_capacity_time(cal, starts, amounts, until=None):
    """The first instant at which the capacity-weighted time from each start reaches its
    amount (the inverse of capacity_time, rounded up to the microsecond); NaT when not found.
    A negative amount walks back from its instant to the latest start from which the
    amount is reached there, `until` then being the earliest instant it may use."""
    starts, amounts, until = _frames.align([starts, amounts, until])
    args = [_convert(starts, "M", "starts", True), _convert(amounts, "m", "amounts", True), _until(until)]
    raw, pandas, scalar, _, unit = _ask(_ADD_CAPACITY_TIME, cal, args)
    return _wrap(raw, pandas, scalar, "M", unit)


def first_slot(cal, starts, durations, min_capacity=1, until=None):
    """The start of each first slot (FindFirstSlot); NaT when none."""
    starts, durations, until = _frames.align([starts, durations, until])
    args = [_convert(starts, "M", "starts", True), _convert(durations, "m", "durations", True), _until(until)]
    raw, pandas, scalar, _, unit = _ask(_FIRST_SLOT, cal, args, _minimum(min_capacity))
    return _wrap(raw, pandas, scalar, "M", unit)


def last_slot(cal, ends, durations, min_capacity=1, until=None):
    """The start of each latest slot that finishes by its end, no earlier than until; NaT when none."""
    ends, durations, until = _frames.align([ends, durations, until])
    args = [_convert(ends, "M", "ends", True), _convert(durations, "m", "durations", True), _until(until)]
    raw, pandas, scalar, _, unit = _ask(_LAST_SLOT, cal, args, _minimum(min_capacity))
    return _wrap(raw, pandas, scalar, "M", unit)


def _bound(x, name, convert=lambda x, name: _convert(x, "M", name)):
    """One instant given as x, in microseconds."""
    arg = convert(x, name)
    if arg.us.size != 1 or arg.us.reshape(()) == _NAT:
        raise TypeError(f"argument '{name}': expected one instant")
    return int(arg.us.reshape(()))


def windows(cal, start, end):
    """The state windows of [start, end) (GetStateWindows) as three 1-d arrays:
    starts and ends (datetime64[us]) and capacities (int64)."""
    starts, ends, capacities = _core.windows(cal, _bound(start, "start"), _bound(end, "end"))
    return (_np.frombuffer(starts, _np.int64).view("M8[us]").copy(),
            _np.frombuffer(ends, _np.int64).view("M8[us]").copy(),
            _np.frombuffer(capacities, _np.int64).copy())


def plot(cal, start, end, ax=None):
    """Draws the state windows of [start, end) with matplotlib: capacity as the
    height of open time, closed time shaded. Returns the axes."""
    try:
        import matplotlib.dates as mdates
        import matplotlib.pyplot as plt
        from matplotlib.patches import Patch
    except ImportError as e:
        raise ImportError("plot needs matplotlib: pip install 'hourloom[plot]'") from e
    starts, ends, capacities = windows(cal, start, end)
    if ax is None:
        ax = plt.subplots(figsize=(11, 3.6))[1]
    for a, b, c in zip(starts.astype(object), ends.astype(object), capacities.tolist()):
        if c >= 1:
            ax.fill_between([a, b], 0, c, step="pre", color="#2a7ab0", alpha=0.85, lw=0)
        else:
            ax.axvspan(a, b, color="#d9d9d9", lw=0)
    if len(starts):
        ax.set_xlim(starts[0].astype(object), ends[-1].astype(object))
    ax.set_ylim(0, (int(capacities.max()) if capacities.size else 0) + 1)
    ax.set_ylabel("capacity")
    ax.xaxis.set_major_locator(mdates.AutoDateLocator())
    ax.xaxis.set_major_formatter(mdates.ConciseDateFormatter(ax.xaxis.get_major_locator()))
    ax.legend(handles=[Patch(color="#2a7ab0", label="open: height = capacity"), Patch(color="#d9d9d9", label="closed")],
              loc="upper right", fontsize=8)
    return ax


from ._zoned import Zoned  # noqa: E402  (it builds on the functions above)
from ._build import add_windows, add_holidays  # noqa: E402
from ._algebra import union, total, difference, scale, within, effective, repeat, describe  # noqa: E402
from ._accessors import _ColumnFunctions, HourloomExprNamespace, HourloomSeriesAccessor  # noqa: E402
from ._accessors import install as _install  # noqa: E402
_install()
