"""hourloom_tools.Zoned against a minute-by-minute walk of real time around
clock changes, reading the wall clock and asking the naive calendar; over UTC
against the naive functions; and its input and output forms."""
import datetime as dt
import io
import pickle
import struct
import zoneinfo
from zoneinfo import ZoneInfo

import numpy as np
import pytest
from hypothesis import example, given, settings, strategies as st

import hourloom
import hourloom_tools as ht
from conftest import raises
from oracle import calendars
from test_tools import durations, instants, plain, sources
from hourloom_tools import _zoned

UTC = dt.timezone.utc
MIN = np.timedelta64(1, "m")
SPAN = 72 * 60  # minutes of real time around each change
# Zones with a real instant near one of their changes (or anywhere, for those without).
CHANGES = [("Europe/Berlin", "2024-03-31T01:00"), ("Europe/Berlin", "2024-10-27T01:00"),
           ("America/New_York", "2024-11-03T06:00"), ("Australia/Lord_Howe", "2024-04-06T15:00"),
           ("Australia/Lord_Howe", "2024-10-05T15:30"), ("Asia/Kolkata", "2024-05-06T00:00"),
           ("Pacific/Apia", "2011-12-30T10:00"), (dt.timezone(-dt.timedelta(hours=3, minutes=30)), "2024-05-06T00:00")]
# Real minutes of the span, the change itself (its middle) often.
minutes = st.one_of(st.integers(0, SPAN), st.just(SPAN // 2))


def first(seq, default=None):
    return next(iter(seq), default)


@settings(max_examples=40, deadline=None)
@given(calendars(), st.sampled_from(CHANGES), st.lists(st.tuples(minutes, minutes, st.integers(0, 20 * 60)),
                                                       min_size=1, max_size=6), st.booleans())
# Opening at 02:00 on the Sunday New York's clocks fall back from 02:00 to 01:00,
# for 22 hours: a slot of 22 hours fits exactly.
@example((None, hourloom.HourloomCalendar().AddOpenRule(0, dt.time(2), dt.time(0))), CHANGES[2],
         [(0, 0, 0), (0, SPAN, 22 * 60), (SPAN, 0, 22 * 60)], False)
def test_zoned_walks_real_minutes(drawn, change, picks, compiled):
    cal, (zone, at) = drawn[1], change
    t0 = np.datetime64(at, "us") - np.timedelta64(36, "h")
    reals = t0 + MIN * np.arange(SPAN + 1)
    tz = ht.Zoned(cal, zone).zone
    walls = [r.replace(tzinfo=UTC).astimezone(tz).replace(tzinfo=None) for r in reals.astype(object)]
    # A timeline of the span's wall-clock readings (and a minute after) answers on the span.
    z = ht.Zoned(cal.Compile(walls[0], walls[-1] + dt.timedelta(minutes=1)) if compiled else cal, zone)
    caps = np.array([cal.GetCapacityAt(w) for w in walls[:-1]])
    opened = np.concatenate(([0], np.cumsum(caps >= 1)))
    weighted = np.concatenate(([0], np.cumsum(np.where(caps >= 1, caps, 0))))
    i, j, d = (np.array(c) for c in zip(*picks))
    end = reals[-1]

    assert z.capacity_at(reals[:-1]).tolist() == caps.tolist()
    assert (z.working_duration(reals[i], reals[j]) == (opened[j] - opened[i]) * MIN).all()
    assert (z.capacity_time(reals[i], reals[j]) == (weighted[j] - weighted[i]) * MIN).all()

    def walk(a, n):
        return a if n == 0 else first((m for m in range(a + 1, SPAN + 1) if opened[m] - opened[a] >= n), None)

    def back(a, n):
        return a if n == 0 else first((m for m in range(a - 1, -1, -1) if opened[a] - opened[m] >= n), None)

    def slot(a, n):
        starts = (x for x in range(a, SPAN) if caps[x] >= 1 and (x == a or caps[x - 1] < 1))
        return first(x for x in starts if x + n <= SPAN and (caps[x:x + n] >= 1).all())

    def latest(a, n):
        ends = (y for y in range(a, 0, -1) if caps[y - 1] >= 1 and (y == a or caps[y] < 1))
        return first(y - n for y in ends if y >= n and (caps[y - n:y] >= 1).all())

    def at_minutes(got):
        return [None if g is None else int((g - t0) // MIN) for g in plain(got)]

    ahead, behind = z.add_work(reals[i], d * MIN, end), z.add_work(reals[i], -d * MIN, t0)
    assert at_minutes(ahead) == [walk(a, n) for a, n in zip(i, d)]
    assert at_minutes(behind) == [back(a, n) for a, n in zip(i, d)]
    # The inverse laws: the walks' working time is the duration asked, both ways.
    for got, sign in ((ahead, 1), (behind, -1)):
        found = ~np.isnat(got)
        assert (z.working_duration(reals[i][found], got[found]) == sign * d[found] * MIN).all()
    assert at_minutes(z.last_slot(reals[i], d * MIN, 1, t0)) == [latest(a, n) for a, n in zip(i, d)]
    assert at_minutes(z.next_open(reals[i], end)) == [first(m for m in range(a, SPAN) if caps[m] >= 1) for a in i]
    assert at_minutes(z.first_slot(reals[i], d * MIN, 1, end)) == [slot(a, n) for a, n in zip(i, d)]
    starts, ends, got = z.windows(t0, end)
    runs = np.flatnonzero(np.diff(caps, prepend=-1, append=-1))
    assert at_minutes(starts) == runs[:-1].tolist() and at_minutes(ends) == runs[1:].tolist()
    assert got.tolist() == caps[runs[:-1]].tolist()


@settings(max_examples=40, deadline=None)
@given(sources(), st.lists(st.tuples(instants, instants, durations), min_size=1, max_size=5))
def test_zoned_over_utc_is_naive(source, rows):
    cal = source[0]
    z = ht.Zoned(cal, "UTC")
    a, b, d = (np.array(c, k)
               for c, k in zip(zip(*rows), ("M8[us]", "M8[us]", "m8[us]")))
    for name, args in [("next_open", (a,)), ("add_work", (a, d)), ("working_duration", (a, b)),
                       ("capacity_time", (a, b)), ("first_slot", (a, d)), ("add_work", (a, -d)), ("last_slot", (a, d))]:
        try:
            expected = getattr(ht, name)(cal, *args)
        except (ValueError, RuntimeError) as e:
            with raises(type(e), str(e)):
                getattr(z, name)(*args)
            continue
        assert plain(getattr(z, name)(*args)) == plain(expected), name


def test_zoned_forms():
    berlin = ZoneInfo("Europe/Berlin")
    cal = hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17)).AddOpenRule(hourloom.DayOfWeek.Sunday,
                                                                                  dt.time(0), dt.time(12))
    z = ht.Zoned(cal, "Europe/Berlin")
    assert (z.calendar is cal, z.zone, repr(z)) == (True, berlin, "hourloom_tools.Zoned(HourloomCalendar, 'Europe/Berlin')")
    # The zone pickles by its key.
    back = pickle.loads(pickle.dumps(z))
    assert z.__reduce__()[1][1] == "Europe/Berlin" and back.zone is berlin and back.calendar.ToJson() == cal.ToJson()
    # 02:30 CEST plus an hour of work is 02:30 CET, the second pass of the hour.
    got = z.add_work(dt.datetime(2024, 10, 27, 0, 30, tzinfo=UTC), dt.timedelta(hours=1))
    assert (got, got.fold, got.tzinfo) == (dt.datetime(2024, 10, 27, 2, 30, fold=1, tzinfo=berlin), 1, berlin)
    pd = pytest.importorskip("pandas")
    s = pd.Series(pd.to_datetime(["2024-05-06 10:00", None]).tz_localize("America/New_York"), name="x")
    out = z.next_open(s)
    assert str(out.dtype) == "datetime64[us, Europe/Berlin]" and out.name == "x" and out.isna().tolist() == [False, True]
    assert z.capacity_at(np.array(["2024-05-06T10:00"], "M8[us]")).tolist() == [1]
    # Arrow-backed aware data is aware; a numpy scalar is answered in numpy, in UTC.
    pa = pytest.importorskip("pyarrow")
    assert z.next_open(s.astype(pd.ArrowDtype(pa.timestamp("us", tz="America/New_York")))).equals(out)
    got = z.next_open(np.datetime64("2024-05-06T14:00"))
    assert (type(got), got) == (np.datetime64, np.datetime64("2024-05-06T14:00", "us"))
    for naive in (dt.datetime(2024, 5, 6), pd.Series(pd.to_datetime(["2024-05-06"]))):
        with raises(TypeError, "argument 'times': a naive datetime is ambiguous here: attach a zone"):
            z.capacity_at(naive)
    pytz = pytest.importorskip("pytz")
    with raises(TypeError, "pytz zones ignore fold"):
        ht.Zoned(z.calendar, pytz.timezone("Europe/Berlin"))


def test_zoned_timeline_at_clock_changes():
    cal = hourloom.HourloomCalendar()
    for day in range(7):
        cal.AddOpenRule(day, dt.time(0), dt.time(23))
    # Compiled up to 02:30 on Berlin's autumn Sunday: its real range ends at
    # 00:30 UTC, and 01:00-01:30 UTC read 02:00-02:30 again, in CET.
    z = ht.Zoned(cal.Compile(dt.datetime(2024, 10, 26), dt.datetime(2024, 10, 27, 2, 30)), "Europe/Berlin")
    again = dt.datetime(2024, 10, 27, 1, 10, tzinfo=UTC)
    assert z.capacity_at(again - dt.timedelta(minutes=50)) == 1
    for call in (z.capacity_at, z.can_work, z.next_open, lambda t: z.add_work(t, dt.timedelta(minutes=1))):
        with raises(ValueError, "Timestamp is outside the compiled timeline."):
            call(again)
    with raises(ValueError, "Range is outside the compiled timeline."):
        z.working_duration(again, again + dt.timedelta(minutes=10))
    # Compiled from 02:30 that Sunday: 00:40 UTC reads 02:40 CEST, yet the real
    # range starts at 01:30 UTC, once the repeated hour is past.
    z = ht.Zoned(cal.Compile(dt.datetime(2024, 10, 27, 2, 30), dt.datetime(2024, 10, 28)), "Europe/Berlin")
    with raises(ValueError, "Timestamp is outside the compiled timeline."):
        z.capacity_at(again - dt.timedelta(minutes=30))
    assert z.add_work(again + dt.timedelta(minutes=30), -dt.timedelta(minutes=20)) is None
    # Compiled from a skipped time: the real range starts when the clocks jump past it.
    for zone, start, real in [("Europe/Berlin", dt.datetime(2024, 3, 31, 2, 30), dt.datetime(2024, 3, 31, 1)),
                              ("Pacific/Apia", dt.datetime(2011, 12, 30, 12), dt.datetime(2011, 12, 30, 10))]:
        z = ht.Zoned(cal.Compile(start, start + dt.timedelta(days=2)), zone)
        real = real.replace(tzinfo=UTC)
        assert (z.capacity_at(real), z.add_work(real, -dt.timedelta(microseconds=1))) == (1, None)


def test_zoned_ends_of_time_over_utc_are_naive():
    """Within the default search span of the ends of time."""
    cal = hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17))
    ends, hour = np.array(["0001-01-01T06", "0001-01-03", "9999-12-28", "9999-12-31T18"], "M8[us]"), np.timedelta64(1, "h")
    for name, args in [("next_open", (ends,)), ("add_work", (ends, hour)), ("add_work", (ends, -hour)),
                       ("first_slot", (ends, hour)), ("last_slot", (ends, hour))]:
        assert plain(getattr(ht.Zoned(cal, "UTC"), name)(*args)) == plain(getattr(ht, name)(cal, *args)), name
    # Readings past the ends: 19:00 on the last Friday in Tokyo, 01:04 on the first Monday in New York.
    for zone, t, questions in [("Asia/Tokyo", "9999-12-31T10", [("next_open",), ("first_slot", hour)]),
                               ("America/New_York", "0001-01-01T06", [("add_work", -hour), ("last_slot", hour)])]:
        for name, *rest in questions:
            assert np.isnat(getattr(ht.Zoned(cal, zone), name)(np.datetime64(t), *rest)), (zone, name)


def test_zoned_offsets_are_exact():
    """Every zone's changes against astimezone on both sides of each, over two
    centuries, the ends of time and an aware instant between each two; and two
    changes within a day that cancel, which daily samples of a zone miss."""
    us = dt.timedelta(microseconds=1)
    epoch = dt.datetime(1970, 1, 1, tzinfo=UTC)
    lo, hi = ((dt.datetime(*d, tzinfo=UTC) - epoch) // us for d in ((1900, 1, 1), (2100, 1, 1)))
    first, last = ((d.replace(tzinfo=UTC) - epoch) // us for d in (dt.datetime.min, dt.datetime.max))
    day = 86_400_000_000

    def offset(zone, t, o):
        """The offset of the wall clock's reading at t."""
        real = epoch + dt.timedelta(microseconds=int(t))
        try:
            return (real.astimezone(zone).replace(tzinfo=None) - real.replace(tzinfo=None)) // us
        except OverflowError:  # read outside the years a datetime holds
            return o

    def check(zone, offsets):
        for a, b in ((lo, hi), (first, first + 3 * day), (last - 3 * day, last), (first + day // 8,) * 2,
                     (last - day // 8,) * 2):
            seg = offsets.segments(a, b)
            edges = np.concatenate(([a], seg.bounds, [b]))
            for k, o in enumerate(seg.offsets):
                assert [offset(zone, t, o) for t in (edges[k], (edges[k] + edges[k + 1]) // 2, edges[k + 1] - 1)] == [o] * 3
        return offsets.segments(lo, hi)

    for key in zoneinfo.available_timezones():
        check(ZoneInfo(key), _zoned._Offsets(ZoneInfo(key)))
    # An hour at +01:00 from second `two`, then UTC for a second, then the footer's +02:00.
    two = 1_700_000_000
    kinds = [0, 3600, 0]

    def block(fmt):
        return (b"TZif2" + bytes(15) + struct.pack(">6l", 0, 0, 0, 2, 3, 4) + struct.pack(fmt, two, two + 3600)
                + bytes([1, 2]) + b"".join(struct.pack(">lBB", o, 0, 0) for o in kinds) + b"ABC\0")

    data = block(">2l") + block(">2q") + b"\nABC-2\n"
    seg = check(ZoneInfo.from_file(io.BytesIO(data)), _zoned._Offsets(None, data))
    assert (seg.bounds // 10**6).tolist() == [two, two + 3600, two + 3601]
