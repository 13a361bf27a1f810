"""hourloom_tools.add_windows and add_holidays against a loop of the scalar
editing methods, their input forms, aware input read in a zone, and their errors."""
import datetime as dt
import pickle
from zoneinfo import ZoneInfo

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import hourloom
import hourloom_tools as ht
from conftest import content, populated, raises
from oracle import BASE, calendars, holidays as days, simple_calendars, windows

pd = pytest.importorskip("pandas")
H = dt.timedelta(hours=1)
METHODS = {("open", False): "AddOpenWindow", ("closed", False): "AddClosedWindow",
           ("capacity", False): "AddCapacityOverride", ("open", True): "SetOpenWindow",
           ("closed", True): "SetClosedWindow", ("capacity", True): "SetCapacityWindow"}
# Mostly valid elements: now and then an end before its start, a negative capacity, a blank id.
rows = st.tuples(windows, st.integers(0, 30).map(lambda r: r != 0), st.sampled_from([0, 1, 2, 3, 3, -1]),
                 st.sampled_from("abcabcabc "))


def states(cal):
    return cal.GetStateWindows(BASE - 2 * 24 * H, BASE + 6 * 24 * H)


def copy(cal):
    return pickle.loads(pickle.dumps(cal))


@settings(max_examples=60, deadline=None)
@given(st.one_of(simple_calendars(), calendars()), st.sampled_from(["open", "closed", "capacity"]), st.booleans(), st.booleans(),
       st.lists(rows, max_size=8), st.lists(days, max_size=3))
def test_both_match_the_scalar_loop(drawn, kind, with_ids, one_capacity, elements, holidays):
    cal = drawn[1]
    if not cal.Components:
        states(cal)  # the derived data is current before the batch
    expected, before = copy(cal), content(cal)
    elements = [((s, e) if keep else (e, s), c, i) for (s, e), keep, c, i in elements]
    caps = [elements[0][1]] * len(elements) if one_capacity and elements else [c for _, c, _ in elements]
    failure = None
    for i, ((s, e), i_d) in enumerate((w, i_d) for w, _, i_d in elements):
        args = [i_d] * with_ids + [s, e] + [caps[i]] * (kind == "capacity")
        try:
            getattr(expected, METHODS[kind, with_ids])(*args)
        except (ValueError, RuntimeError) as err:
            failure = (i, err)
            break
    capacity = None if kind != "capacity" else caps[0] if one_capacity and elements else np.array(caps, int)
    call = lambda: ht.add_windows(cal, np.array([w[0] for w, _, _ in elements], "M8[us]"),
                                  np.array([w[1] for w, _, _ in elements], "M8[us]"), kind, capacity=capacity,
                                  ids=[i_d for _, _, i_d in elements] if with_ids else None)
    if failure:
        with raises(type(failure[1]), f"{failure[1]} (at position {failure[0]})"):
            call()
        assert content(cal) == before
        return
    assert call() is cal and content(cal) == content(expected)
    if cal.Components:
        return
    for d in holidays:
        expected.AddHoliday(d)
    assert ht.add_holidays(cal, holidays) is cal
    assert content(cal) == content(expected) and cal.ToJson() == expected.ToJson() and states(cal) == states(expected)


def test_repeated_ids_into_a_new_calendar():
    """A new calendar takes a batch of entries whole: each repeated id hands
    its window to the first, however many repeat."""
    starts = np.datetime64("2024-05-06T08", "us") + np.arange(60) * np.timedelta64(90, "m")
    ids = [f"shift {i % 7}" for i in range(60)]
    expected = hourloom.HourloomCalendar()
    for i, s in zip(ids, starts.tolist()):
        expected.SetCapacityWindow(i, s, s + H, len(i))
    cal = ht.add_windows(hourloom.HourloomCalendar(), starts, starts + np.timedelta64(1, "h"), "capacity",
                         capacity=[len(i) for i in ids], ids=ids)
    span = (starts[0].item(), starts[-1].item() + H)
    assert content(cal) == content(expected) and cal.GetStateWindows(*span) == expected.GetStateWindows(*span)


MON = dt.datetime(2024, 5, 6)
STARTS, ENDS = [MON + 8 * H, MON + 32 * H], [MON + 17 * H, MON + 36 * H]


def _polars(values):
    return pytest.importorskip("polars").Series(values)


def _arrow(values):
    return pytest.importorskip("pyarrow").array(values)


@pytest.mark.parametrize("starts, ends, pairs", [
    (np.array(STARTS, "M8[ns]"), np.array(ENDS, "M8[s]"), [0, 1]),
    (STARTS, tuple(ENDS), [0, 1]),
    (pd.Series(STARTS, index=[5, 3]), pd.Index(ENDS), [0, 1]),
    (pd.array(STARTS), np.array([pd.Timestamp(e) for e in ENDS], object), [0, 1]),
    (_polars(STARTS), _arrow(ENDS), [0, 1]),
    (np.array(STARTS, "M8[us]").reshape(2, 1), np.array(ENDS[1:], "M8[us]"), [(0, 1), 1]),  # 2 x 1
])
def test_every_input_form_of_windows(starts, ends, pairs):
    got = ht.add_windows(hourloom.HourloomCalendar(), starts, ends, "capacity", capacity=np.array([2], np.uint8))
    want = hourloom.HourloomCalendar()
    for p in pairs:
        s, e = p if isinstance(p, tuple) else (p, p)
        want.AddCapacityOverride(STARTS[s], ENDS[e], 2)
    assert got.ToJson() == want.ToJson()


US = pytest.importorskip("holidays").US
DATES = [dt.date(2024, 12, 25), dt.date(2024, 1, 1), dt.date(2025, 7, 4)]
EVE = US()
EVE[dt.date(2025, 12, 31)] = "the last day of a year"


@pytest.mark.parametrize("source, years, dates", [
    (US(years=2024), None, list(US(years=2024))),
    (EVE, [2025, 2024], sorted(US(years=2025)) + [dt.date(2025, 12, 31)] + sorted(US(years=2024))),
    (dict.fromkeys(DATES, "a day"), None, DATES),
    (iter(DATES), None, DATES),
    (np.array(DATES, "M8[D]"), None, DATES),
    (pd.DatetimeIndex(DATES), None, DATES),
    ([dt.datetime(2024, 12, 25, 15)], None, DATES[:1]),
])
def test_every_holiday_source(source, years, dates):
    want = hourloom.HourloomCalendar()
    for d in dates:
        want.AddHoliday(d)
    assert ht.add_holidays(hourloom.HourloomCalendar(), source, years=years).ToJson() == want.ToJson()


@pytest.mark.parametrize("zone", ["Europe/Berlin", ZoneInfo("America/New_York")])
def test_aware_values_are_read_as_the_zones_wall_clock(zone):
    z = ZoneInfo(zone) if isinstance(zone, str) else zone
    # Half-hourly real instants across Berlin's spring and New York's autumn change.
    real = [dt.datetime(2024, m, d, tzinfo=dt.timezone.utc) + k * H / 2
            for m, d in [(3, 31), (11, 3)] for k in range(16)]
    naive = np.array([MON, MON + H], "M8[us]")
    cal = ht.add_windows(hourloom.HourloomCalendar(), pd.Series(real), [t.astimezone(z) for t in real], "open",
                         zone=zone)
    ht.add_windows(cal, naive, naive + np.timedelta64(1, "h"), "closed", zone=zone)  # as they stand
    want = hourloom.HourloomCalendar()
    for t in real:
        wall = t.astimezone(z).replace(tzinfo=None)
        want.AddOpenWindow(wall, wall)
    want.AddClosedWindow(MON, MON + H).AddClosedWindow(MON + H, MON + 2 * H)
    assert cal.ToJson() == want.ToJson()


NAT = np.datetime64("NaT", "us")
TWO = np.array(STARTS, "M8[us]")


@pytest.mark.parametrize("call, error, text", [
    (lambda c: ht.add_windows(c, TWO, np.array([ENDS[0], NAT]), "open"), TypeError,
     "argument 'ends': expected a datetime, got NaT (at position 1)"),
    (lambda c: ht.add_windows(c, TWO, TWO[::-1], "open"), ValueError,
     "End must be greater than or equal to start. (at position 1)"),
    (lambda c: ht.add_windows(c, TWO[::-1], np.array([TWO[0], NAT]), "open"), ValueError,
     "End must be greater than or equal to start. (at position 0)"),  # the earliest failure, of any kind
    (lambda c: ht.add_windows(c, TWO, np.array(["2024-05-07", "10000-01-01"], "M8[D]"), "closed"), ValueError,
     "Instant is outside the range of datetime. (at position 1)"),
    (lambda c: ht.add_windows(c, TWO, TWO, "capacity", capacity=[1, -1], ids=["a", "b"]), ValueError,
     "Capacity cannot be negative. (at position 1)"),
    (lambda c: ht.add_windows(c, TWO, TWO, "capacity", capacity=np.array([1, 2**64 - 1], np.uint64)), OverflowError,
     "out of range integral type conversion attempted (at position 1)"),
    (lambda c: ht.add_windows(c, TWO, TWO, "capacity", capacity=pd.array([1, None], "Int64")), TypeError,
     "(at position 1)"),
    (lambda c: ht.add_windows(c, TWO, TWO, "capacity", capacity=[1.0, 2.0]), TypeError, "got float64"),
    (lambda c: ht.add_windows(c, TWO, TWO, "open", ids=["a", " "]), ValueError,
     "Entry id cannot be empty. (at position 1)"),
    (lambda c: ht.add_windows(c, TWO, TWO, "open", ids=np.array(["a", 1], object)), TypeError,
     "argument 'ids': 'int' object cannot be cast as 'str' (at position 1)"),
    (lambda c: ht.add_windows(c, TWO, TWO, "open", ids=["a", "\ud800"]), ValueError, "(at position 1)"),
    (lambda c: ht.add_windows(c.And(c), TWO, TWO, "open"), RuntimeError, "before composing. (at position 0)"),
    (lambda c: ht.add_windows(c, pd.DatetimeIndex(STARTS, tz="UTC"), TWO, "open"), TypeError, "need zone="),
    (lambda c: ht.add_windows(c, TWO, TWO, "capacity"), TypeError, "capacity= is required"),
    (lambda c: ht.add_holidays(c, np.array(["2024-05-07", "NaT"], "M8[D]")), TypeError,
     "argument 'source': expected a date, got NaT (at position 1)"),
    (lambda c: ht.add_holidays(c, np.array(["2024-05-07", "10000-01-01"], "M8[D]")), ValueError,
     "Date is outside the range of date. (at position 1)"),
    (lambda c: ht.add_holidays(c.And(c), DATES), RuntimeError, "before composing. (at position 0)"),
    (lambda c: ht.add_holidays(c, ["2024-05-07"]), TypeError, "expected datetime64 values"),
])
def test_errors_name_their_position_and_change_nothing(call, error, text):
    cal = populated()
    before = content(cal)
    with raises(error, text):
        call(cal)
    assert content(cal) == before
