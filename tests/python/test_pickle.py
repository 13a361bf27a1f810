"""Pickling and copying every hourloom object (the picklers come with
hourloom_tools), damaged payloads, and one calendar shared by threads,
processes and a Dask cluster."""
import concurrent.futures
import copy
import datetime as dt
import inspect
import multiprocessing
import pickle
import random
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import hourloom
import hourloom_tools as ht
from hourloom_tools import _pickle
from oracle import BASE, SPAN_MINUTES, calendars

H = dt.timedelta(hours=1)
WAYS = [lambda x, p=p: pickle.loads(pickle.dumps(x, p)) for p in range(2, 6)] + [copy.copy, copy.deepcopy]


def answer(ask, *args):
    """ask(*args), or the exception it raises as (type, message)."""
    try:
        return facts(ask(*args))
    except (ValueError, RuntimeError) as e:
        return type(e), str(e)


def facts(x):
    """What an object reports: its properties, and the answers of those that have none worth comparing."""
    if isinstance(x, list):
        return [facts(v) for v in x]
    if type(x).__module__ != "hourloom":
        return x
    cls = type(x)
    out = {n: facts(getattr(x, n)) for n in dir(cls) if n[0].isupper() and inspect.isdatadescriptor(getattr(cls, n))}
    probes = [BASE + dt.timedelta(minutes=m) for m in range(0, SPAN_MINUTES, 7 * 60 + 30)]
    if cls is hourloom.HourloomTimeline:
        out["answers"] = [answer(x.GetStateWindows, x.Window.Start, x.Window.End), answer(x.AnalyzeMany, probes, True)]
    elif cls is hourloom.HourloomTimelineBatch:
        out["answers"] = [answer(x.Analyze, t, True) for t in probes]
    elif cls is hourloom.HourloomPointQuery:
        out["answers"] = [answer(x.Analyze), answer(x.GetNextOpenTime, BASE + 9 * 24 * H)]
    elif cls is hourloom.HourloomRangeQuery:
        out["answers"] = [answer(x.Analyze), answer(x.FindFirstSlot, H)]
    elif cls is hourloom.HourloomDefinition:
        out["answers"] = x.ToJson()
    return out


@st.composite
def objects(draw):
    """A random calendar and objects made from it: its items, query objects, timelines and result records."""
    _, cal = draw(calendars())
    s, e = sorted(BASE + dt.timedelta(minutes=15 * q) for q in draw(st.lists(st.integers(0, SPAN_MINUTES // 15),
                                                                           min_size=2, max_size=2)))
    tl = cal.Compile(s, e)
    made = [cal, cal.At(s), cal.Between(s, e), cal.Between(e + H, s), tl, tl.Analyze(s, e),
            hourloom.HourloomTimelineBatch([tl, cal.Compile(BASE, e)]), cal.Analyze(s), cal.GetWindowsAt(s),
            cal.GetStateWindows(s, e), hourloom.TimeWindow(s, e), hourloom.HourloomWeeklyRule(2, dt.time(8), dt.time(3))]
    try:
        made.append(cal.TraceWorkDuration(s, 3 * H, BASE + 9 * 24 * H))
    except RuntimeError:
        pass
    for c in [cal, *cal.Components]:
        if not c.IsComposite:
            made += [c.ToDefinition(), c.OpenRules, c.Entries, c.CapacityOverrides, c.ClosedWindows]
    flat = []
    for x in made:
        flat += x if isinstance(x, list) else [x]
        flat += x.Steps if isinstance(x, hourloom.WorkingTimeTrace) else []
    return cal, flat


@settings(max_examples=60, deadline=None)
@given(objects())
def test_every_object_survives_pickling_and_copying(made):
    cal, flat = made
    for x in flat:
        for way in WAYS:
            y = way(x)
            assert type(y) is type(x) and y is not x
            if "__eq__" in type(x).__dict__:
                assert y == x
            assert facts(y) == facts(x)
    if not cal.IsComposite:
        assert len(pickle.dumps(cal)) <= 1.1 * len(cal.ToJson())


def nested():
    """A composite three levels deep, with a calendar edited after it was composed."""
    parts = [hourloom.HourloomCalendar().Weekdays(dt.time(8 + i), dt.time(17 + i)).AddHoliday(dt.date(2024, 5, 8 + i))
             for i in range(4)]
    cal = parts[0]
    for p in parts[1:]:
        cal = cal.And(p)
    parts[0].Clear()
    return cal


def test_composites_nested_three_deep_answer_the_same():
    cal = nested()
    assert cal.Components[0].Components[0].IsComposite
    for way in WAYS:
        y = way(cal)
        assert facts(y) == facts(cal)
        assert y.GetStateWindows(BASE, BASE + 9 * 24 * H) == cal.GetStateWindows(BASE, BASE + 9 * 24 * H)


def test_a_fresh_process_unpickles_with_nothing_imported():
    payload = pickle.dumps([nested(), hourloom.HourloomCalendar().Weekdays(dt.time(9), dt.time(17))])
    code = "import pickle, sys; c, d = pickle.load(sys.stdin.buffer); print(c.IsComposite, d.ToJson())"
    run = subprocess.run([sys.executable, "-c", code], input=payload, capture_output=True, timeout=60)
    assert run.stdout.decode().split(" ", 1) == ["True", pickle.loads(payload)[1].ToJson() + "\n"], run.stderr


def test_internal_errors_travel_back():
    # In a fresh process: distributed, once imported, has every exception class pickled its own way,
    # and again each class of an error it reports.
    pytest.importorskip("distributed")
    code = """if True:
        import copy, pickle, hourloom, hourloom_tools, distributed, tblib.pickling_support
        try:
            hourloom.Hours(3_000_000_000_000)
        except BaseException as e:
            error = e
        tblib.pickling_support.install(error)
        for back in [pickle.loads(pickle.dumps(error, p)) for p in range(2, 6)] + [copy.copy(error)]:
            assert type(back) is type(error) and back.args == error.args and not isinstance(back, Exception)
        """
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, timeout=60)
    assert run.returncode == 0, run.stderr


def test_stored_payloads_load_and_are_written_the_same():
    # A composite holding an item of every kind, its part's definition and a trace, as stored pickles hold them.
    cal = (hourloom.HourloomCalendar.Window(BASE, BASE + 9 * H).AddOpenRule(1, dt.time(9), dt.time(17))
           .AddBreakRule(1, dt.time(12), dt.time(13)).SetOpenWindow("a", BASE, BASE + H)
           .AddHoliday(dt.date(2024, 5, 8)).Capacity(BASE, BASE + 2 * H, 3))
    items = ("02010190fd010090de03000101c0d10200d0ed02000180b0b6e30c00a0fa0300018082d6e30c0080c60a000180b0b6e30c00"
             "c07000060101610080b0b6e30c00a0380000")
    for x, stored in [(cal.And(hourloom.HourloomCalendar()), f"01050200000000000002{items}000200000000000000"),
                      (cal.ToDefinition(), f"0106{items}"), (cal.TraceWorkDuration(BASE, 3 * H, BASE + 9 * 24 * H),
                      "010f80b0b6e30c00e0a80100e0d8b7e30c000180b0b6e30c00e0a80100e0a80100")]:
        assert _pickle._core.dump(x).hex() == stored and facts(_pickle.rebuild(bytes.fromhex(stored))) == facts(x)


def every_kind():
    """An object of every class, its windows ending at other fractions of a second than they start."""
    us = dt.timedelta(microseconds=1)
    t = BASE + 34 * H  # a Monday, 10:00
    cal = (hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17, 0, 0, 5)).AddWeekdayBreakRule(dt.time(12), dt.time(13))
           .SetOpenWindow("é", BASE + 6 * H + 3 * us, BASE + 7 * H).SetClosedWindow("b", t + 2 * H, t + 3 * H + 9 * us)
           .SetCapacityWindow("c", t - H + 7 * us, t + H, 3).Capacity(t + 4 * H, t + 5 * H + us, 2))
    tl = cal.Compile(BASE, BASE + 96 * H + 5 * us)
    trace = cal.TraceWorkDuration(t, 9 * H, t + 90 * H)
    return [cal, cal.And(cal), cal.ToDefinition(), cal.At(t), cal.Between(t, t - H), tl, tl.Analyze(t - us, t + 9 * H),
            hourloom.HourloomTimelineBatch([tl]), cal.Analyze(t), trace, *trace.Steps, *cal.Entries,
            *cal.CapacityOverrides, *cal.GetStateWindows(t, t + 8 * H)[:3], *cal.GetWindowsAt(t + 2 * H + 5 * us),
            hourloom.TimeWindow(t + us, t + 2 * us), hourloom.HourloomWeeklyRule(5, dt.time(22), dt.time(6, 0, 0, 7))]


def read(get):
    """get(), or None for an instant beyond datetime's years (a definition can reach them)."""
    try:
        return get()
    except ValueError as e:
        if type(e) is not ValueError or "out of range" not in str(e):
            raise
        return None


def sound(x):
    """x passes the checks of hourloom's constructors and editing methods, or, for a record that only a
    question makes, holds what every answer holds: the oracle for rebuilt payloads."""
    if isinstance(x, list):
        return all(map(sound, x))
    cls = type(x)
    if cls is hourloom.HourloomCalendar and x.IsComposite:
        return sound(x.Components)
    if cls in (hourloom.HourloomCalendar, hourloom.HourloomDefinition):
        return cls.FromJson(x.ToJson()).ToJson() == x.ToJson()
    if cls is hourloom.TimeWindow:
        return read(lambda: hourloom.TimeWindow(x.Start, x.End)) or True
    if cls is hourloom.HourloomWeeklyRule:
        return hourloom.HourloomWeeklyRule(x.Day, x.Start, x.End) is not None
    if cls is hourloom.HourloomEntry:
        setter = ["SetOpenWindow", "SetClosedWindow", "SetCapacityWindow"][x.Kind]
        return read(lambda: getattr(hourloom.HourloomCalendar(), setter)(
            x.Id, x.Window.Start, x.Window.End, *[x.Capacity][:x.Kind == 2])) or True
    if cls is hourloom.HourloomCapacityWindow:
        return read(lambda: hourloom.HourloomCalendar().Capacity(x.Window.Start, x.Window.End, x.Capacity)) or True
    if cls is hourloom.HourloomStateWindow:
        return x.Capacity >= 0 and read(lambda: x.Window.Start < x.Window.End) is not False
    if cls is hourloom.HourloomWindowMatch:
        return x.Capacity in {0: range(1, 2**31), 1: [0], 5: [None, 0], 6: range(2**31)}.get(x.Kind, [None])
    if cls is hourloom.HourloomInstantAnalysis:
        return x.Capacity >= 0 and sound(x.Matches)
    if cls is hourloom.HourloomTimelineAnalysis:
        return x.WorkingTicks >= 0 and sound(x.Segments)
    if cls is hourloom.WorkingTimeTrace:
        return x.RequestedTicks == x.ConsumedTicks >= 0 and sound(x.Steps)
    if cls is hourloom.WorkingTimeTraceStep:
        return read(lambda: x.Duration == x.Window.End - x.Window.Start > dt.timedelta(0)) is not False
    return True  # the query objects, timelines and batches: their calendars and windows are read as above


def test_damaged_payloads_are_refused_or_rebuild_what_hourloom_can_make():
    rng = random.Random(29)
    made = every_kind()
    assert {type(x) for x in made} == set(_pickle._core.classes)
    for x in made:
        payload, kind = _pickle._reduce(x)[1]
        assert facts(_pickle.rebuild(payload, kind)) == facts(x) and sound(x)
        for n in range(len(payload)):
            with pytest.raises(ValueError, match="^cannot rebuild a hourloom object: "):
                _pickle.rebuild(payload[:n])
        for i in range(len(payload)):
            for b in range(256) if i == 1 else rng.sample(range(256), 3):
                try:
                    y = _pickle.rebuild(payload[:i] + bytes([b]) + payload[i + 1:], kind)
                except ValueError as e:
                    assert str(e).startswith("cannot rebuild a hourloom object: ")
                    continue
                assert type(y) is type(x) and sound(y), (x, i, b)
    with pytest.raises(ValueError, match="Capacity cannot be negative"):
        payload = _pickle._core.dump(hourloom.HourloomCalendar())
        _pickle.rebuild(payload[:2] + b"\x01" + payload[3:])  # a default capacity of -1


# ---------------------------------------------------------------- threads, processes, Dask

STARTS = np.datetime64("2024-05-06T00:00", "us") + np.arange(200_000) * np.timedelta64(7 * 60 + 13, "s")
SPAN = np.timedelta64(30, "h")


def busy():
    return hourloom.HourloomCalendar().Weekdays(dt.time(8), dt.time(17)).AddHoliday(dt.date(2024, 5, 27))


def chunk_answers(args):
    cal, starts = args
    return ht.add_work(cal, starts, np.timedelta64(8, "h")), ht.working_duration(cal, starts, starts + SPAN)


def test_threads_share_a_calendar_and_a_timeline():
    cal = busy()
    tl = cal.Compile(BASE, BASE + 5 * 366 * 24 * H)
    chunks = np.array_split(STARTS, 64)
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        for source in (cal, tl):
            shared = list(pool.map(chunk_answers, [(source, c) for c in chunks]))
            assert all(np.array_equal(a, b) for got, want in zip(shared, map(chunk_answers, [(source, c) for c in chunks]))
                       for a, b in zip(got, want))


def test_process_pool_gets_the_calendar_by_pickle():
    cal = busy()
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        got = pool.map(chunk_answers, [(cal, c) for c in np.array_split(STARTS, 8)])
    want = chunk_answers((cal, STARTS))
    assert np.array_equal(np.concatenate([g[0] for g in got]), want[0])
    assert np.array_equal(np.concatenate([g[1] for g in got]), want[1])


def test_dask_cluster_maps_columns_with_the_calendar_in_a_closure_and_as_an_argument():
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("distributed")
    pd = pytest.importorskip("pandas")
    cal = busy()
    df = pd.DataFrame({"start": STARTS})
    want = pd.DataFrame({"due": ht.add_work(cal, df["start"], np.timedelta64(8, "h")),
                         "worked": ht.working_duration(cal, df["start"], df["start"] + SPAN)})

    def answers(part, c):
        return pd.DataFrame({"due": ht.add_work(c, part["start"], np.timedelta64(8, "h")),
                             "worked": ht.working_duration(c, part["start"], part["start"] + SPAN)})

    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as lc, \
            distributed.Client(lc):
        frame = dd.from_pandas(df, npartitions=8)
        captured = frame.map_partitions(lambda part: answers(part, cal), meta=want.iloc[:0]).compute()
        passed = frame.map_partitions(answers, cal, meta=want.iloc[:0]).compute()
    pd.testing.assert_frame_equal(captured, want)
    pd.testing.assert_frame_equal(passed, want)
