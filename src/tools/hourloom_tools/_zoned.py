"""Zoned: a calendar kept in a zone's wall-clock time, asked with real instants.

The capacity at a real instant is the calendar's capacity at its wall-clock
reading in the zone. The zone's offsets over the range a call touches are cut
into segments of one offset each; inside a segment the wall clock is the real
clock shifted, so each question runs the wall-clock kernels segment by segment
and joins the answers on the real line.

    berlin = Zoned(cal, "Europe/Berlin")
    due = berlin.add_work(tickets["opened"], pd.Timedelta(hours=8))
"""
import datetime as _dt
import zoneinfo as _zoneinfo

import numpy as _np

from . import _Arg, _bound, _convert, _counts, _form, _minimum, _object_values, _run, _wrap
from . import _CAPACITY_AT, _NEXT_OPEN, _ADD_WORK, _WORKING_DURATION, _CAPACITY_TIME, _FIRST_SLOT, _LAST_SLOT
from . import _NAT, _is_pandas, _floor_us
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


def _instants(x, name):
    """x as an _Arg of real instants (UTC microseconds)."""
    if x is None or isinstance(x, (_dt.datetime, _np.generic)) or type(x).__name__ == "NaTType":
        try:
            return _Arg(_np.asarray(_aware_us(x), _np.int64), scalar=True)
        except TypeError as e:
            raise TypeError(f"argument '{name}': {e}") from None
    pandas = None
    if _is_pandas(x):
        tz = getattr(x.dtype, "tz", None)
        if tz is None:
            if x.dtype.kind == "M":
                raise TypeError(f"argument '{name}': {_NAIVE}")
            arr = x.to_numpy()
        else:
            arr = (x.dt if type(x).__name__ == "Series" else x).tz_convert(None).to_numpy()  # UTC, naive
        pandas = x
    else:
        arr = _np.asarray(x)
    if arr.dtype.kind == "M":
        return _Arg(_floor_us(arr, "M"), pandas=pandas)
    if arr.dtype.kind == "O" or arr.size == 0:
        try:
            return _Arg(_object_values(arr, _aware_us), pandas=pandas)
        except TypeError as e:
            raise TypeError(f"argument '{name}': {e}") from None
    raise TypeError(f"argument '{name}': expected datetime64 values, got {arr.dtype}")


def _broadcast(*args):
    """The _Args' microseconds broadcast to one flat shape: (flat arrays, shape)."""
    shape = _np.broadcast_shapes(*(a.us.shape for a in args if a is not None))
    return [None if a is None else _np.broadcast_to(a.us, shape).reshape(-1) for a in args], shape


def _known(us):
    return us[us != _NAT]


# ---------------------------------------------------------------- the zone's segments


class _Segments:
    """The zone's offsets over a real range: segment k runs over real
    [bounds[k - 1], bounds[k]) (unbounded at both ends) with offsets[k]."""
    __slots__ = ("bounds", "offsets", "_starts", "_ends")

    def __init__(self, bounds, offsets):
        self.bounds = _np.asarray(bounds, _np.int64)
        self.offsets = _np.asarray(offsets, _np.int64)
        self._starts = _np.concatenate(([_NAT], self.bounds))
        self._ends = _np.concatenate((self.bounds, [_np.iinfo(_np.int64).max]))

    def index(self, us):
        if not len(self.bounds):
            return _np.zeros(_np.shape(us), _np.intp)
        return _np.searchsorted(self.bounds, us, side="right")

    def wall(self, us):
        """Wall-clock readings of real instants, NaT kept."""
        us = _np.ascontiguousarray(us, _np.int64)
        out = _np.empty(us.shape, _np.int64)
        _core.to_wall(us.reshape(-1), self.bounds, self.offsets, out.reshape(-1))
        return out

    def start(self, k):
        """The real start of each segment k (the smallest int64 for the first)."""
        return self._starts[k]

    def end(self, k):
        """The real end of each segment k (the largest int64 for the last)."""
        return self._ends[k]


class _Offsets:
    """The offsets of a tzinfo, read from the tzinfo and kept per year."""

    def __init__(self, zone):
        self.zone = zone
        self.fixed = isinstance(zone, _dt.timezone)
        self.years = {}

    def at(self, us):
        t = _EPOCH + _dt.timedelta(microseconds=int(min(max(us, _FIRST_US), _LAST_US)))
        return t.astimezone(self.zone).utcoffset() // _US

    def _year(self, year):
        """The changes in a year: (real instant, offset from then on), by daily
        steps and bisection to the second."""
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

    def segments(self, lo, hi):
        """The segments of real [lo, hi]."""
        lo, hi = max(lo, _FIRST_US), min(hi, _LAST_US)
        if self.fixed or lo > hi:
            return _Segments([], [self.at(lo if lo <= hi else 0)])
        bounds, offsets = [], [self.at(lo)]
        y0 = (_EPOCH + _dt.timedelta(microseconds=int(max(lo, _FIRST_US)))).year
        y1 = (_EPOCH + _dt.timedelta(microseconds=int(min(hi, _LAST_US)))).year
        for y in range(y0, y1 + 1):
            for t, o in self._year(y):
                if lo < t <= hi and o != offsets[-1]:
                    bounds.append(t)
                    offsets.append(o)
        return _Segments(bounds, offsets)


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
            self._offsets = _OFFSETS.setdefault(self._zone, _Offsets(self._zone))
        except TypeError:  # an unhashable tzinfo
            self._offsets = _Offsets(self._zone)
        self._timeline = isinstance(cal, hourloom.HourloomTimeline)

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
        lo, hi = None, None
        for c in columns:
            if c is None or not c.size:
                continue
            top, bottom = int(c.max()), int(c.min())
            if bottom == _NAT:
                if top == _NAT:
                    continue
                bottom = int(_known(c).min())
            lo = bottom if lo is None else min(lo, bottom)
            hi = top if hi is None else max(hi, top)
        if lo is None:
            return _Segments([], [0])
        return self._offsets.segments(lo, min(hi, _LAST_US))

    def _real_range(self, seg):
        """For a timeline: the real range it answers on, from the first real
        instant whose reading reaches its compiled start to the first whose
        reading reaches its compiled end (unbounded for a calendar)."""
        if not self._timeline:
            return _NAT, _np.iinfo(_np.int64).max
        window = self._cal.Window
        return tuple(self._first_reaching(seg, int(_np.datetime64(t, "us").view(_np.int64)))
                     for t in (window.Start, window.End))

    def _first_reaching(self, seg, wall):
        for k in range(len(seg.offsets)):
            o = int(seg.offsets[k])
            if k == len(seg.offsets) - 1 or int(seg.end(k)) + o > wall:
                return max(int(seg.start(k)), wall - o)

    def _aware(self, raw, arg):
        """Real instants (UTC microseconds) in the form of the argument that shapes them."""
        values = raw.view("M8[us]")
        if arg.scalar:
            us = int(raw.reshape(()))
            return None if us == _NAT else (_EPOCH + _dt.timedelta(microseconds=us)).astimezone(self._zone)
        if arg.pandas is not None:
            import pandas as pd
            idx = pd.DatetimeIndex(values.reshape(-1)).tz_localize("UTC").tz_convert(self._zone)
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
        raw = self._segments(arg.us).wall(arg.us)
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
        seg = self._segments(a, b)
        missing = (a == _NAT) | (b == _NAT)
        ia, ib = seg.index(a), seg.index(b)
        wa, wb = seg.wall(a), seg.wall(b)
        same = (ia == ib) | missing
        # F(u) = C[k] + the wall-clock answer from the start of u's segment k
        # (or from the earliest instant) to u; the answer is F(b) - F(a), or
        # the wall-clock answer itself where both ends share a segment.
        known = _known(_np.concatenate((a, b)))
        lo = int(known.min()) if known.size else 0
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
        horizon = _np.where(back, s - _DEFAULT_SPAN_US, s + _DEFAULT_SPAN_US) if until is None else until
        horizon = _np.where(s == _NAT, _NAT, horizon)
        seg = self._segments(s, horizon)
        # The wall-clock walk without a horizon gives the errors, at their positions.
        wall = seg.wall(s)
        raw = self._naive(question, [wall, d, None])
        out = raw - (wall - s)
        # An answer past a change of offset does not count, nor an open instant
        # at one: the change's instant reads the later offset. Walking back, the
        # time just before an instant at a change has the earlier offset.
        again = _np.zeros(len(s), bool)
        past = (lambda b: b <= out) if d is None else (lambda b: b < out)
        for b in seg.bounds:
            again |= _np.where(back, (out < b) & (b <= s), (s < b) & past(b))
        again = (again | (raw == _NAT)) & (s != _NAT) & (horizon != _NAT)
        if until is not None:
            # A walk may end at until; an open instant lies before it; no work ends where it starts.
            late = out >= until if d is None else _np.where(back, out < until, out > until) & (d != 0)
            out[late & ~again] = _NAT
        out[raw == _NAT] = _NAT
        for backward in (False, True):
            todo = _np.flatnonzero(again & (back == backward))
            if todo.size:
                out[todo] = self._rewalk(question, seg, s[todo], None if d is None else d[todo], horizon[todo],
                                         backward)
        return self._aware(out.reshape(shape), _form(args, shape))

    def _rewalk(self, question, seg, cur, rest, horizon, backward):
        """The walks from cur, one segment at a time, while they have not
        answered and the next segment starts inside the horizon and the range."""
        first, last = self._real_range(seg)
        out = _np.full(len(cur), _NAT, _np.int64)
        cur = cur.copy()
        rest = None if rest is None else rest.copy()
        k = _np.searchsorted(seg.bounds, cur, side="left" if backward else "right")
        live = _np.arange(len(cur))
        while live.size:
            kk = k[live]
            off = seg.offsets[kk]
            stop = (_np.maximum(seg.start(kk), horizon[live]) if backward
                    else _np.minimum(seg.end(kk), horizon[live]))
            raw = self._naive(question, [cur[live] + off, None if rest is None else rest[live], stop + off])
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
        t = t.copy()
        return self._walk(_NEXT_OPEN, t, None, u, shape, [t_arg, u_arg])

    def add_work(self, starts, durations, until=None):
        """The real instant at which each duration of working time from each start is done; NaT when not found."""
        s_arg, d_arg = _instants(starts, "starts"), _convert(durations, "m", "durations")
        u_arg = None if until is None else _instants(until, "until")
        (s, d, u), shape = _broadcast(s_arg, d_arg, u_arg)
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
            st, en, caps = _core.windows(self._cal, a + o, b + o)
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
        aware = lambda v: (_EPOCH + _dt.timedelta(microseconds=int(v))).astimezone(self._zone)
        return [aware(v) for v in starts], [aware(v) for v in ends], caps.copy()

    def _slots(self, question, starts, durations, min_capacity, until, names):
        s_arg, d_arg = _instants(starts, names[0]), _convert(durations, "m", "durations")
        u_arg = None if until is None else _instants(until, "until")
        m = _minimum(min_capacity)
        (s, d, u), shape = _broadcast(s_arg, d_arg, u_arg)
        # The wall-clock function gives the errors (negative durations, capacities, timeline ranges).
        self._naive(question, [self._segments(s).wall(s), d, None], m)
        back = question == _LAST_SLOT
        span = -_DEFAULT_SPAN_US if back else _DEFAULT_SPAN_US
        horizon = _np.where(s == _NAT, _NAT, s + span) if u is None else u
        out = _np.full(len(s), _NAT, _np.int64)
        ok = (s != _NAT) & (d != _NAT) & (horizon != _NAT)
        if ok.any():
            lo = min(int(s[ok].min()), int(horizon[ok].min()))
            hi = max(int(s[ok].max()), int(horizon[ok].max()))
            first, last = self._real_range(self._offsets.segments(lo, hi))
            lo, hi = max(lo, first), min(hi, last)
            starts, ends, caps = self._real_windows(lo, max(hi, lo))
            bound = _np.maximum(horizon[ok], lo) if back else _np.minimum(horizon[ok], hi)
            found = _np.empty(len(bound), _np.int64)
            _core.slots(starts, ends, caps, m, s[ok], d[ok], bound, back, found)
            out[ok] = found
        return self._aware(out.reshape(shape), _form([s_arg, d_arg, u_arg], shape))

    def first_slot(self, starts, durations, min_capacity=1, until=None):
        """The real start of each first slot of the duration whose capacity stays at
        least min_capacity; NaT when none before until."""
        return self._slots(_FIRST_SLOT, starts, durations, min_capacity, until, ("starts",))

    def last_slot(self, ends, durations, min_capacity=1, until=None):
        """The real start of each latest slot of the duration ending by the end
        whose capacity stays at least min_capacity; NaT when none after until."""
        return self._slots(_LAST_SLOT, ends, durations, min_capacity, until, ("ends",))


Zoned.__module__ = "hourloom_tools"
