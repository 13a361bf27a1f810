"""Zoned: a calendar kept in a zone's wall-clock time, asked with real instants.

The capacity at a real instant is the calendar's capacity at its wall-clock
reading in the zone. The zone's offsets over the range a call touches are cut
into segments of one offset each (a zoneinfo zone's changes read exactly from
its TZif file); inside a segment the wall clock is the real clock shifted, so
each question runs the wall-clock kernels segment by segment and joins the
answers on the real line.

    berlin = Zoned(cal, "Europe/Berlin")
    due = berlin.add_work(tickets["opened"], pd.Timedelta(hours=8))
"""
import bisect as _bisect
import calendar as _calendar
import datetime as _dt
import os as _os
import re as _re
import struct as _struct
import zoneinfo as _zoneinfo
from importlib import resources as _resources

import numpy as _np

from . import _Arg, _bound, _convert, _counts, _form, _minimum, _object_values, _run, _wrap
from . import _CAPACITY_AT, _NEXT_OPEN, _ADD_WORK, _WORKING_DURATION, _CAPACITY_TIME, _FIRST_SLOT, _LAST_SLOT
from . import _NAT, _is_pandas, _floor_us
# The instants a datetime holds, real or read on the wall clock; the largest int64.
from . import _FIRST_US as _REACH_FIRST, _LAST_US as _REACH_LAST, _LONGEST as _FOREVER
from . import _core

_NAIVE = "a naive datetime is ambiguous here: attach a zone (numpy datetime64 values are read as UTC)"
_PYTZ = ("pytz zones ignore fold, so the repeated hour of a clock change cannot be told apart: "
         "use zoneinfo.ZoneInfo or the zone's name")
_UTC = _dt.timezone.utc
_EPOCH = _dt.datetime(1970, 1, 1, tzinfo=_UTC)
_US = _dt.timedelta(microseconds=1)
_DAY_US = 86_400_000_000
_SECOND_US = 1_000_000
_DEFAULT_SPAN_US = 1830 * _DAY_US  # the walks' default search span
# Real instants whose offsets can be read: a day inside the years a datetime holds.
_FIRST_US = (_dt.datetime(1, 1, 2, tzinfo=_UTC) - _EPOCH) // _US
_LAST_US = (_dt.datetime(9999, 12, 30, tzinfo=_UTC) - _EPOCH) // _US


def _zone_of(zone):
    if isinstance(zone, str):
        return _zoneinfo.ZoneInfo(zone)
    if type(zone).__module__.partition(".")[0] == "pytz" or hasattr(zone, "localize"):
        raise TypeError(_PYTZ)
    if not isinstance(zone, _dt.tzinfo):
        raise TypeError(f"zone: expected a zoneinfo.ZoneInfo, a zone name or a tzinfo, got '{type(zone).__name__}'")
    return zone


# ---------------------------------------------------------------- instants


def _aware_us(v):
    """Microseconds since the epoch (UTC) of one instant; NAT for a missing one."""
    if v is None or type(v).__name__ == "NaTType":
        return _NAT
    if isinstance(v, _np.generic):
        if v.dtype.kind != "M":
            raise TypeError(f"expected datetime values, got '{type(v).__name__}'")
        return int(_floor_us(_np.asarray(v).reshape(1), "M")[0])
    if not isinstance(v, _dt.datetime):
        raise TypeError(f"expected datetime values, got '{type(v).__name__}'")
    if v.tzinfo is None or v.utcoffset() is None:
        raise TypeError(_NAIVE)
    if hasattr(v, "value") and hasattr(v, "to_datetime64"):  # pandas Timestamp: nanoseconds
        return v.value // 1000
    return (v - _EPOCH) // _US


class _Instants(_Arg):
    """Real instants, and whether they came as a numpy scalar."""
    __slots__ = ("numpy",)

    def __init__(self, us, scalar=False, pandas=None, numpy=False):
        super().__init__(us, scalar, pandas)
        self.numpy = numpy


def _instants(x, name):
    """x as _Instants (UTC microseconds)."""
    if x is None or isinstance(x, (_dt.datetime, _np.generic)) or type(x).__name__ == "NaTType":
        try:
            return _Instants(_np.asarray(_aware_us(x), _np.int64), scalar=True, numpy=isinstance(x, _np.generic))
        except TypeError as e:
            raise TypeError(f"argument '{name}': {e}") from None
    pandas = None
    if _is_pandas(x):
        tz = getattr(x.dtype, "tz", None)
        arrow = getattr(x.dtype, "pyarrow_dtype", None)
        if tz is None and getattr(arrow, "tz", None):  # Arrow-backed: as pandas' aware values, the unit kept
            import pandas as pd
            pandas, x = x, x.astype(pd.DatetimeTZDtype(arrow.unit, "UTC"))
            tz = x.dtype.tz
        if tz is None:
            if x.dtype.kind == "M":
                raise TypeError(f"argument '{name}': {_NAIVE}")
            arr = x.to_numpy()
        else:
            arr = _np.asarray(x.array.tz_convert(None))  # UTC, naive
        pandas = x if pandas is None else pandas
    else:
        arr = _np.asarray(x)
        pandas = x if isinstance(x, (list, tuple)) else None  # a list in gives a list out
    if arr.dtype.kind == "M":
        return _Instants(_floor_us(arr, "M"), pandas=pandas)
    if arr.dtype.kind == "O" or arr.size == 0:
        try:
            return _Instants(_object_values(arr, _aware_us), pandas=pandas)
        except TypeError as e:
            raise TypeError(f"argument '{name}': {e}") from None
    raise TypeError(f"argument '{name}': expected datetime64 values, got {arr.dtype}")


def _broadcast(*args):
    """The _Args' microseconds broadcast to one flat shape: (flat arrays, shape)."""
    shape = _np.broadcast_shapes(*(a.us.shape for a in args if a is not None))
    return [None if a is None else _np.broadcast_to(a.us, shape).reshape(-1) for a in args], shape


def _extent(*columns):
    """The least and greatest known instants of the columns (None where absent),
    and whether any is NaT; None when none is known."""
    lo = hi = None
    nat = False
    for c in columns:
        if c is None or not c.size:
            continue
        top, bottom = int(c.max()), int(c.min())
        if bottom == _NAT:
            nat = True
            if top == _NAT:
                continue
            bottom = int(c[c != _NAT].min())
        lo = bottom if lo is None else min(lo, bottom)
        hi = top if hi is None else max(hi, top)
    return None if lo is None else (lo, hi, nat)


# ---------------------------------------------------------------- the zone's segments


class _Segments:
    """The zone's offsets over a real range: segment k runs over real
    [bounds[k - 1], bounds[k]) (unbounded at both ends) with offsets[k]."""
    __slots__ = ("bounds", "offsets", "_starts", "_ends")

    def __init__(self, bounds, offsets):
        self.bounds = _np.asarray(bounds, _np.int64)
        self.offsets = _np.asarray(offsets, _np.int64)
        self._starts = _np.concatenate(([_NAT], self.bounds))
        self._ends = _np.concatenate((self.bounds, [_FOREVER]))

    def upto(self, us):
        """The segments as far as the one holding real instant us, the last
        of them unbounded: the same readings and segment indexes up to us."""
        j = int(_np.searchsorted(self.bounds, us, side="right")) + 1
        return self if j >= len(self.bounds) else _Segments(self.bounds[:j], self.offsets[:j + 1])

    def index(self, us):
        if not len(self.bounds):
            return _np.zeros(_np.shape(us), _np.intp)
        return _np.searchsorted(self.bounds, us, side="right")

    def wall(self, us, index=None):
        """Wall-clock readings of real instants, NaT kept; index: an int64 array
        of their shape given the segment of each."""
        us = _np.ascontiguousarray(us, _np.int64)
        out = _np.empty(us.shape, _np.int64)
        _core.to_wall(us.reshape(-1), self.bounds, self.offsets, out.reshape(-1),
                      None if index is None else index.reshape(-1))
        return out

    def start(self, k):
        """The real start of each segment k (the smallest int64 for the first)."""
        return self._starts[k]

    def end(self, k):
        """The real end of each segment k (the largest int64 for the last)."""
        return self._ends[k]


class _Sampled:
    """The offsets of any tzinfo, read from the tzinfo and kept per year: daily
    samples, each change bisected to the second. Two changes within a day that
    cancel are missed, and the first and last days of time, which astimezone
    cannot always read, take the offsets of the days beside them; zoneinfo
    zones are read from their files instead."""

    def __init__(self, zone):
        self.zone = zone
        self.years = {}

    def at(self, us):
        t = _EPOCH + _dt.timedelta(microseconds=int(min(max(us, _FIRST_US), _LAST_US)))
        return t.astimezone(self.zone).utcoffset() // _US

    def _year(self, year):
        """The changes in a year: (real instant, offset from then on)."""
        if year in self.years:
            return self.years[year]
        first = max((_dt.datetime(year, 1, 1, tzinfo=_UTC) - _EPOCH) // _US, _FIRST_US)
        last = min((_dt.datetime(year + 1, 1, 1, tzinfo=_UTC) - _EPOCH) // _US if year < 9999 else _LAST_US, _LAST_US)
        changes = []
        t, o = first, self.at(first)
        while t < last:
            nxt = min(t + _DAY_US, last)
            o_next = self.at(nxt)
            while o_next != o:
                lo, hi = t, nxt  # offset o at lo, another at hi
                while hi - lo > _SECOND_US:
                    mid = lo + (hi - lo) // 2 // _SECOND_US * _SECOND_US or lo + _SECOND_US
                    if self.at(mid) == o:
                        lo = mid
                    else:
                        hi = mid
                t, o = hi, self.at(hi)
                changes.append((t, o))
            t, o = nxt, o_next
        self.years[year] = changes
        return changes

    def changes(self, lo, hi):
        """The changes in real (lo, hi]: (instant, offset from then on), in order."""
        lo, hi = max(lo, _FIRST_US), min(hi, _LAST_US)
        if isinstance(self.zone, _dt.timezone) or lo >= hi:
            return []
        y0, y1 = (_year_of(v // _SECOND_US) for v in (lo, hi))
        return [(t, o) for y in range(y0, y1 + 1) for t, o in self._year(y) if lo < t <= hi]


# ---------------------------------------------------------------- zone files


def _days_before_year(year):
    """Days from 1970-01-01 to January 1 of the year (proleptic Gregorian)."""
    y = year - 1
    return y * 365 + y // 4 - y // 100 + y // 400 - 719162


def _year_of(seconds):
    """The UTC year of an instant in seconds, held to 1-9999."""
    days = min(max(seconds // 86400, _days_before_year(1)), _days_before_year(10000) - 1)
    return (_dt.date(1970, 1, 1) + _dt.timedelta(days=days)).year


def _clock(text):
    """Seconds of "[+-]h[:mm[:ss]]"."""
    sign = -1 if text.startswith("-") else 1
    h, m, s = (int(v) for v in (text.lstrip("+-").split(":") + ["0", "0"])[:3])
    return sign * (h * 3600 + m * 60 + s)


class _Rule:
    """A TZif footer's yearly rule "STD offset DST [offset],start[/time],end[/time]",
    read as zoneinfo reads it: each UTC year has its own start and end, standard
    and daylight offsets in seconds east of UTC."""
    _NAME = r"(<[^>]*>|[^<0-9:.+,-]+)"
    _RE = _re.compile(rf"{_NAME}([+-]?[0-9:]+)?(?:{_NAME}([+-]?[0-9:]+)?)?(?:,([^,]+),([^,]+))?", _re.ASCII)

    def __init__(self, text):
        m = self._RE.fullmatch(text)
        if m is None or (m[3] is None) != (m[5] is None):
            raise ValueError(f"unreadable zone rule {text!r}")
        self.std = -_clock(m[2] or "0")
        self.dst = -_clock(m[4]) if m[4] else self.std + 3600
        self.dates = (self._date(m[5]), self._date(m[6])) if m[5] else None
        self.years = {}

    @staticmethod
    def _date(text):
        day, _, time = text.partition("/")
        return day, _clock(time) if time else 7200

    @staticmethod
    def _local(rule, year):
        """Local seconds since the epoch of a yearly date rule in a year (zoneinfo's reading)."""
        (day, time) = rule
        if day[0] == "M":
            month, week, weekday = (int(v) for v in day[1:].split("."))
            first, length = _calendar.monthrange(year, month)
            mday = (weekday - (first + 1)) % 7 + 1 + (week - 1) * 7
            days = _days_before_year(year) + (_dt.date(year, month, 1).toordinal() - _dt.date(year, 1, 1).toordinal())
            days += (mday - 7 if mday > length else mday) - 1
        else:
            n = int(day.lstrip("J"))
            days = _days_before_year(year) - 1 + n + (day[0] == "J" and n >= 59 and _calendar.isleap(year))
        return days * 86400 + time

    def year(self, year):
        """A UTC year's (offset at a second of it, its first second, its
        changes [(second, offset from then on)] in order)."""
        if year not in self.years:
            first, after = _days_before_year(year) * 86400, _days_before_year(year + 1) * 86400
            start = self._local(self.dates[0], year) - self.std
            end = self._local(self.dates[1], year) - self.dst
            at = lambda t: self.dst if ((start <= t < end) if start < end else not (end <= t < start)) else self.std
            points = sorted(t for t in (start, end) if first < t < after)
            changes, o = [], at(first)
            for t in points:
                if at(t) != o:
                    o = at(t)
                    changes.append((t, o))
            self.years[year] = (at, first, changes)
        return self.years[year]


class _ZoneFile:
    """The offsets of a zoneinfo zone, read exactly from the TZif file its key
    names: the transitions it lists, then its footer's rule, as zoneinfo reads
    them (in whole seconds: an instant's offset is that of its second)."""

    def __init__(self, data):
        self.trans, self.offsets, self.before, self.after = _read_tzif(data)
        self.rule = self.after if isinstance(self.after, _Rule) else None

    def _at(self, t):
        """The offset at second t, in seconds."""
        trans = self.trans
        if trans and t < trans[0]:
            return self.before
        if not trans or t > trans[-1]:
            return self.rule.year(_year_of(t))[0](t) if self.rule else self.after
        return self.offsets[_bisect.bisect_right(trans, t) - 1]

    def at(self, us):
        return self._at(us // _SECOND_US) * _SECOND_US

    def changes(self, lo, hi):
        """The changes in real (lo, hi]: (instant, offset from then on), in order."""
        lo, hi = lo // _SECOND_US, hi // _SECOND_US  # seconds t with lo < t * 10**6 <= hi
        trans = self.trans
        points = trans[_bisect.bisect_right(trans, lo):_bisect.bisect_right(trans, hi)]
        if hi > (trans[-1] if trans else lo):  # the footer's from the second after the last
            after = trans[-1] + 1 if trans else lo + 1
            if lo < after:
                points.append(after)
            for y in range(_year_of(max(lo, after)), _year_of(hi) + 1) if self.rule else ():
                _, first, changes = self.rule.year(y)
                points += [t for t in [first] + [t for t, _ in changes] if max(lo, after - 1) < t <= hi]
        out, o = [], self._at(lo)
        for t in points:
            if self._at(t) != o:
                o = self._at(t)
                out.append((t * _SECOND_US, o * _SECOND_US))
        return out


def _read_tzif(data):
    """A TZif file's transitions (seconds), the offset from each on, the offset
    before the first, and what follows the last: a fixed offset or a _Rule."""
    if data[:4] != b"TZif":
        raise ValueError("not a TZif file")
    head = _struct.Struct(">6l")
    counts = head.unpack_from(data, 20)
    at = 44
    if data[4:5] >= b"2":  # skip the 32-bit block for the 64-bit one
        isut, isstd, leap, times, types, chars = counts
        at += times * 5 + types * 6 + chars + leap * 8 + isstd + isut
        counts = head.unpack_from(data, at + 20)
        at += 44
        width = 8
    else:
        width = 4
    isut, isstd, leap, times, types, chars = counts
    trans = list(_struct.unpack_from(f">{times}{'q' if width == 8 else 'l'}", data, at))
    at += times * width
    index = data[at:at + times]
    at += times
    kinds = [_struct.unpack_from(">lBB", data, at + 6 * i) for i in range(types)]
    at += types * 6 + chars + leap * (width + 4) + isstd + isut
    offsets = [kinds[i][0] for i in index]
    before = next((k[0] for k in kinds if not k[1]), offsets[0] if offsets else None)
    footer = data[at:].split(b"\n")[1].decode() if width == 8 and data[at:at + 1] == b"\n" else ""
    if footer:
        rule = _Rule(footer)
        after = rule if rule.dates else rule.std
    else:
        after = offsets[-1] if offsets else kinds[-1][0]
    return trans, offsets, before, after


def _zone_data(key):
    """The TZif bytes zoneinfo reads for a key: the first file on its path, else the tzdata package's."""
    for root in _zoneinfo.TZPATH:
        path = _os.path.join(root, key)
        if _os.path.isfile(path):
            with open(path, "rb") as f:
                return f.read()
    *package, name = key.split("/")
    return _resources.files(".".join(["tzdata", "zoneinfo", *package])).joinpath(name).read_bytes()


class _Offsets:
    """A zone's offsets (microseconds east of UTC), exact for zoneinfo zones and
    fixed offsets, sampled for other tzinfos."""

    def __init__(self, zone, data=None):
        """data: the zone's TZif bytes, read by key for a zoneinfo zone when not given."""
        self.source = _Sampled(zone)
        key = getattr(zone, "key", None)
        try:
            if data is None and isinstance(zone, _zoneinfo.ZoneInfo) and key:
                data = _zone_data(key)
            if data is not None:
                self.source = _ZoneFile(data)
        except (OSError, ValueError, ModuleNotFoundError, _struct.error):
            pass

    def segments(self, lo, hi):
        """The segments of real [lo, hi]."""
        changes = self.source.changes(lo, hi) if lo < hi else []
        return _Segments([t for t, _ in changes], [self.source.at(lo)] + [o for _, o in changes])


_OFFSETS = {}


# ---------------------------------------------------------------- Zoned


class Zoned:
    """A calendar (or timeline) whose rules are wall-clock times in a zone, asked
    with real instants: aware datetimes and Timestamps, tz-aware Series and Index
    in any zone, numpy datetime64 read as UTC. Answers come in the zone (numpy
    ones in UTC); durations are real elapsed working time."""

    def __init__(self, cal, zone):
        import hourloom
        if not isinstance(cal, (hourloom.HourloomCalendar, hourloom.HourloomTimeline)):
            raise TypeError(f"cal: expected a HourloomCalendar or HourloomTimeline, got '{type(cal).__name__}'")
        self._cal = cal
        self._zone = _zone_of(zone)
        try:  # zones of the same key share what was read of their offsets
            self._offsets = _OFFSETS.get(self._zone) or _OFFSETS.setdefault(self._zone, _Offsets(self._zone))
        except TypeError:  # an unhashable tzinfo
            self._offsets = _Offsets(self._zone)
        self._timeline = isinstance(cal, hourloom.HourloomTimeline)
        self._range = None

    @property
    def calendar(self):
        return self._cal

    @property
    def zone(self):
        return self._zone

    def _key(self):
        return getattr(self._zone, "key", None) or self._zone

    def __repr__(self):
        return f"hourloom_tools.Zoned({type(self._cal).__name__}, {self._key()!r})"

    def __reduce__(self):
        return (Zoned, (self._cal, self._key()))

    # ------------------------------------------------------------ helpers

    def _segments(self, *columns):
        """The segments over the known instants of the columns."""
        return self._over(_extent(*columns))

    def _over(self, extent):
        """The segments over an extent as _extent gives it (None: no instant known)."""
        return self._offsets.segments(extent[0], extent[1]) if extent else _Segments([], [0])

    def _real_range(self):
        """For a timeline: the real range [first, last] it answers on, and its
        compiled start and end on the wall clock (unbounded for a calendar).
        The range is the longest one whose readings stay inside the compiled
        range: from the instant after which readings no longer fall below the
        start to the first whose reading reaches the end. Where a clock change
        repeats an hour, instants before it or after it may read inside the
        compiled range as well; they are outside."""
        if self._range is None:
            if not self._timeline:
                self._range = (_NAT, _FOREVER, _NAT, _FOREVER)
            else:
                window = self._cal.Window
                start, end = (int(_np.datetime64(t, "us").view(_np.int64)) for t in (window.Start, window.End))
                self._range = (self._last_rising(start), self._first_reaching(end), start, end)
        return self._range

    def _near(self, wall):
        """The segments around the real instants that read `wall`: a reading
        lies within 26 hours of its real instant."""
        return self._offsets.segments(wall - 2 * _DAY_US, wall + 2 * _DAY_US)

    def _first_reaching(self, wall):
        """The first real instant whose reading is at least wall."""
        seg = self._near(wall)
        for k in range(len(seg.offsets)):
            o = int(seg.offsets[k])
            if k == len(seg.offsets) - 1 or int(seg.end(k)) + o > wall:
                return max(int(seg.start(k)), wall - o)

    def _last_rising(self, wall):
        """The real instant from which readings are at least wall."""
        seg = self._near(wall)
        for k in reversed(range(len(seg.offsets))):
            o = int(seg.offsets[k])
            if wall - o > int(seg.start(k)):  # part of segment k reads below wall
                return min(wall - o, int(seg.end(k)))

    def _readings(self, seg, us, index=None):
        """The wall-clock readings of real instants (index: see _Segments.wall);
        for a timeline, those outside its real range whose readings fall inside
        the compiled range read just outside it, so that it refuses them as it
        refuses the instants around them."""
        wall = seg.wall(us, index)
        if self._timeline:
            first, last, start, end = self._real_range()
            wall[(us > last) & (wall < end)] = end + 1
            wall[(us < first) & (wall >= start)] = start - 1
        return wall

    def _datetime(self, us):
        """Real instant us (UTC microseconds) as an aware datetime in the zone; None for NaT."""
        return None if us == _NAT else (_EPOCH + _dt.timedelta(microseconds=us)).astimezone(self._zone)

    def _aware(self, raw, args, shape):
        """Real instants (UTC microseconds) in the form of the arguments that
        shape them: a numpy scalar of instants first gives numpy's, in UTC."""
        values = raw.view("M8[us]")
        arg = _form(args, shape)
        if arg.scalar and args[0].numpy:
            return values.reshape(())[()]
        if arg.scalar:
            return self._datetime(int(raw.reshape(())))
        if isinstance(arg.pandas, (list, tuple)):
            return [self._datetime(us) for us in raw.reshape(-1).tolist()]
        if arg.pandas is not None:
            import pandas as pd
            idx = pd.DatetimeIndex(raw.reshape(-1), dtype=pd.DatetimeTZDtype("us", self._zone))  # from UTC
            if type(arg.pandas).__name__ == "Series":
                return pd.Series(idx, index=arg.pandas.index, name=arg.pandas.name)
            return idx.rename(arg.pandas.name)
        return values

    def _naive(self, question, columns, minimum=1):
        """The wall-clock kernel over flat int64 columns (None where absent)."""
        size = max(len(c) for c in columns if c is not None)
        out = _np.empty(size, _np.int64)
        _run(question, self._cal, [None if c is None else _np.ascontiguousarray(c) for c in columns], out, minimum)
        return out

    # ------------------------------------------------------------ capacities

    def _capacities(self, times, fill, as_bool):
        arg = _instants(times, "times")
        raw = self._readings(self._segments(arg.us), arg.us)
        # Each capacity is written where its instant was read, after reading it:
        # the wall-clock readings are answered in place.
        flat = raw.reshape(-1)
        count = _run(_CAPACITY_AT, self._cal, [flat], flat)
        return _counts(raw, arg.pandas, arg.scalar, count, fill, as_bool)

    def capacity_at(self, times, fill=None):
        """The capacity at each real instant: the calendar's at its wall-clock reading."""
        return self._capacities(times, fill, False)

    def can_work(self, times, fill=None):
        """Whether the capacity at each real instant is at least 1."""
        return self._capacities(times, fill, True)

    # ------------------------------------------------------------ spans

    def _between(self, question, starts, ends):
        a_arg, b_arg = _instants(starts, "starts"), _instants(ends, "ends")
        (a, b), shape = _broadcast(a_arg, b_arg)
        extent = _extent(a, b)
        seg = self._over(extent)
        missing = (a == _NAT) | (b == _NAT)
        ia, ib = seg.index(a), seg.index(b)
        wa, wb = self._readings(seg, a), self._readings(seg, b)
        same = (ia == ib) | missing
        # F(u) = C[k] + the wall-clock answer from the start of u's segment k
        # (or from the earliest instant) to u; the answer is F(b) - F(a), or
        # the wall-clock answer itself where both ends share a segment.
        lo = extent[0] if extent else 0
        seg_start = lambda k: _np.maximum(seg.start(k), lo) + seg.offsets[k]
        part = self._naive(question, [_np.where(same, wa, seg_start(ib)), wb])
        if not same.all():
            whole = self._naive(question, [seg_start(_np.arange(len(seg.bounds))), seg.bounds + seg.offsets[:-1]])
            c = _np.concatenate(([0], _np.cumsum(whole)))
            head = self._naive(question, [_np.where(same, wa, seg_start(ia)), wa])
            part = _np.where(same, part, c[ib] - c[ia] + part - head)
        raw = _np.where(missing, _NAT, part).reshape(shape)
        form = _form([a_arg, b_arg], shape)
        return _wrap(raw, form.pandas, form.scalar, "m")

    def working_duration(self, starts, ends):
        """The real time of each [start, end) with capacity at least 1, negative where the end comes first."""
        return self._between(_WORKING_DURATION, starts, ends)

    def capacity_time(self, starts, ends):
        """The integral of capacity over each real [start, end), signed like working_duration."""
        return self._between(_CAPACITY_TIME, starts, ends)

    # ------------------------------------------------------------ walks

    def _walk(self, question, s, d, until, shape, args):
        """add_work or next_open on the real line. The wall-clock walk from each
        instant answers where it stays inside the instant's segment; the others
        walk again one segment at a time."""
        back = _np.zeros(len(s), bool) if d is None else d < 0
        some_back = bool(back.any())
        starts = _extent(s)
        extent = _extent(s, until) if until is not None else starts and (
            max(starts[0] - _DEFAULT_SPAN_US, _REACH_FIRST) if some_back else starts[0],
            min(starts[1] + _DEFAULT_SPAN_US, _REACH_LAST))  # the default span, cut to what a datetime holds
        seg = self._over(extent)
        near = seg.upto(starts[1]) if starts else seg  # enough for reading the instants
        # The wall-clock walk without a horizon gives the errors, at their positions.
        k = _np.empty(len(s), _np.int64)
        wall = self._readings(near, s, k)
        out = self._naive(question, [wall, d, None])
        missing = out == _NAT
        wall -= s
        out -= wall  # the answers on the real line
        again = missing
        if len(near.bounds):
            # An answer past the change that ends the instant's segment does not
            # count, nor an open instant at it: the change's instant reads the
            # later offset. Walking back, the time just before an instant at a
            # change has the earlier offset.
            ahead = out >= near.end(k) if d is None else out > near.end(k)
            again = again | (_np.where(back, out < near.start(k), ahead) if some_back else ahead)
        if not starts or starts[2]:
            again &= s != _NAT
        if until is not None:
            again &= until != _NAT
            # A walk may end at until; an open instant lies before it; no work ends where it starts.
            late = out >= until if d is None else _np.where(back, out < until, out > until) & (d != 0)
            out[late & ~again] = _NAT
        out[missing] = _NAT
        for backward in (False, True) if some_back else (False,):
            todo = _np.flatnonzero(again & (back == backward))
            if todo.size:
                cur = s[todo]
                span = -_DEFAULT_SPAN_US if backward else _DEFAULT_SPAN_US
                horizon = cur + span if until is None else until[todo]
                out[todo] = self._rewalk(question, seg, cur, None if d is None else d[todo], horizon, backward)
        return self._aware(out.reshape(shape), args, shape)

    def _rewalk(self, question, seg, cur, rest, horizon, backward):
        """The walks from cur, one segment at a time, while they have not
        answered and the next segment starts inside the horizon and the range."""
        first, last, _, _ = self._real_range()
        out = _np.full(len(cur), _NAT, _np.int64)
        cur = cur.copy()
        rest = None if rest is None else rest.copy()
        k = _np.searchsorted(seg.bounds, cur, side="left" if backward else "right")
        live = _np.arange(len(cur))
        while live.size:
            kk = k[live]
            off = seg.offsets[kk]
            stop = (_np.maximum(_np.maximum(seg.start(kk), horizon[live]), first) if backward
                    else _np.minimum(_np.minimum(seg.end(kk), horizon[live]), last))
            # A walk ends at the horizon, the range's ends, or the wall clock's.
            ended = cur[live] <= stop if backward else cur[live] >= stop
            stop = _np.clip(stop + off, _REACH_FIRST, _REACH_LAST)
            ended |= cur[live] + off <= stop if backward else cur[live] + off >= stop
            live, off, stop = live[~ended], off[~ended], stop[~ended]
            raw = self._naive(question, [cur[live] + off, None if rest is None else rest[live], stop])
            found = raw != _NAT
            out[live[found]] = raw[found] - off[found]
            live = live[~found]
            if backward:
                live = live[k[live] > 0]
                edge = seg.start(k[live])
                go = (edge > horizon[live]) & (edge > first)
            else:
                live = live[k[live] < len(seg.bounds)]
                edge = seg.end(k[live])
                go = (edge < horizon[live]) & (edge < last)
            live, edge = live[go], edge[go]
            if rest is not None and live.size:
                off = seg.offsets[k[live]]
                done = self._naive(_WORKING_DURATION, [cur[live] + off, edge + off])
                rest[live] -= done  # working time is signed: negative walking back
            cur[live] = edge
            k[live] += -1 if backward else 1
        return out

    def next_open(self, times, until=None):
        """The first real instant from each instant at which the capacity is at least 1; NaT when none before until."""
        t_arg = _instants(times, "times")
        u_arg = None if until is None else _instants(until, "until")
        (t, u), shape = _broadcast(t_arg, u_arg)
        return self._walk(_NEXT_OPEN, t, None, u, shape, [t_arg, u_arg])

    def add_work(self, starts, durations, until=None):
        """The real instant at which each duration of working time from each start is done; NaT when not found."""
        s_arg, d_arg = _instants(starts, "starts"), _convert(durations, "m", "durations")
        u_arg = None if until is None else _instants(until, "until")
        (s, d, u), shape = _broadcast(s_arg, d_arg, u_arg)
        if (d_arg.us == _NAT).any():
            s = _np.where(d == _NAT, _NAT, s)
        if u is not None:
            s = _np.where(u == _NAT, _NAT, s)
        return self._walk(_ADD_WORK, s, d, u, shape, [s_arg, d_arg, u_arg])

    # ------------------------------------------------------------ windows and slots

    def _real_windows(self, lo, hi):
        """The state windows of real [lo, hi), joined across the zone's changes."""
        seg = self._offsets.segments(lo, hi)
        parts = []
        for k in range(len(seg.offsets)):
            a, b = max(lo, int(seg.start(k))), min(hi, int(seg.end(k)))
            if a >= b:
                continue
            o = int(seg.offsets[k])
            if max(a + o, _REACH_FIRST) >= min(b + o, _REACH_LAST):
                continue  # read outside the instants a datetime holds
            st, en, caps = _core.windows(self._cal, max(a + o, _REACH_FIRST), min(b + o, _REACH_LAST))
            parts.append((_np.frombuffer(st, _np.int64) - o, _np.frombuffer(en, _np.int64) - o,
                          _np.frombuffer(caps, _np.int64)))
        if not parts:
            return _np.empty(0, _np.int64), _np.empty(0, _np.int64), _np.empty(0, _np.int64)
        starts, ends, caps = (_np.concatenate(p) for p in zip(*parts))
        if not len(starts):
            return starts, ends, caps
        keep = _np.ones(len(starts), bool)
        keep[1:] = (caps[1:] != caps[:-1]) | (starts[1:] != ends[:-1])
        last = _np.flatnonzero(_np.append(keep[1:], True))
        return starts[keep], ends[last], caps[keep]

    def windows(self, start, end):
        """The state windows of real [start, end): starts, ends and capacities. Aware
        bounds give lists of aware datetimes in the zone; datetime64 bounds give
        numpy arrays in UTC."""
        a, b = _bound(start, "start", _instants), _bound(end, "end", _instants)
        if b < a:
            _core.windows(self._cal, a, b)  # the wall-clock functions' error
        starts, ends, caps = self._real_windows(a, b)
        if isinstance(start, _np.generic) and isinstance(end, _np.generic):
            return starts.view("M8[us]").copy(), ends.view("M8[us]").copy(), caps.copy()
        return [self._datetime(v) for v in starts.tolist()], [self._datetime(v) for v in ends.tolist()], caps.copy()

    def _slots(self, question, starts, durations, min_capacity, until, names):
        s_arg, d_arg = _instants(starts, names[0]), _convert(durations, "m", "durations")
        u_arg = None if until is None else _instants(until, "until")
        m = _minimum(min_capacity)
        (s, d, u), shape = _broadcast(s_arg, d_arg, u_arg)
        # The wall-clock function gives the errors (negative durations, capacities, timeline ranges).
        self._naive(question, [self._readings(self._segments(s), s), d, None], m)
        back = question == _LAST_SLOT
        span = -_DEFAULT_SPAN_US if back else _DEFAULT_SPAN_US
        horizon = _np.where(s == _NAT, _NAT, _np.clip(s + span, _REACH_FIRST, _REACH_LAST)) if u is None else u
        out = _np.full(len(s), _NAT, _np.int64)
        ok = (s != _NAT) & (d != _NAT) & (horizon != _NAT)
        if ok.any():
            lo = min(int(s[ok].min()), int(horizon[ok].min()))
            hi = max(int(s[ok].max()), int(horizon[ok].max()))
            first, last, _, _ = self._real_range()
            lo, hi = max(lo, first), min(hi, last)
            starts, ends, caps = self._real_windows(lo, max(hi, lo))
            bound = _np.maximum(horizon[ok], lo) if back else _np.minimum(horizon[ok], hi)
            found = _np.empty(len(bound), _np.int64)
            _core.slots(starts, ends, caps, m, s[ok], d[ok], bound, back, found)
            out[ok] = found
        return self._aware(out.reshape(shape), [s_arg, d_arg, u_arg], shape)

    def first_slot(self, starts, durations, min_capacity=1, until=None):
        """The real start of each first slot of the duration whose capacity stays at
        least min_capacity; NaT when none before until."""
        return self._slots(_FIRST_SLOT, starts, durations, min_capacity, until, ("starts",))

    def last_slot(self, ends, durations, min_capacity=1, until=None):
        """The real start of each latest slot of the duration ending by the end
        whose capacity stays at least min_capacity; NaT when none after until."""
        return self._slots(_LAST_SLOT, ends, durations, min_capacity, until, ("ends",))


Zoned.__module__ = "hourloom_tools"
