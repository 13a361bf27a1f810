"""Reference leaks: every public member, found by walking the module's classes,
is called many times with good arguments and with failing ones (wrong types,
bad values, unknown keywords, too many arguments); the interpreter's allocated
blocks and tracked objects must not grow with the number of calls."""
import datetime as dt
import gc
import inspect
import sys

import hourloom

T0, T1 = dt.datetime(2024, 5, 6, 8), dt.datetime(2024, 5, 8, 17)
INSTANT = dt.datetime(2024, 5, 6, 10)
GOOD = {
    "instant": INSTANT, "target": INSTANT, "second": INSTANT, "date": dt.date(2024, 5, 9), "day": 1,
    "capacity": 2, "minimumCapacity": 1, "id": "e1", "duration": dt.timedelta(hours=4),
    "searchRadius": dt.timedelta(days=2), "searchUntil": dt.datetime(2024, 5, 12), "indented": True,
    "includeMatches": True, "value": 3, "instants": [INSTANT, T1],
}
BAD = {
    "capacity": -1, "minimumCapacity": 0, "day": 9, "id": "", "json": "{", "duration": -dt.timedelta(1),
    "searchRadius": dt.timedelta(0), "value": 2**70, "instants": [INSTANT, None],
    "start": T1, "end": T0, "instant": dt.datetime.max, "date": dt.date.max, "timelines": [None],
}


def seeds():
    """The source calendar and one object of each class that Python code makes directly."""
    cal = (hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17)).AddWeekdayBreakRule(dt.time(12), dt.time(13))
           .AddHoliday(dt.date(2024, 5, 9)).AddCapacityOverride(T0, T1, 3).SetOpenWindow("e1", T0, T1)
           .SetCapacityWindow("e2", T0, T1, 4))
    week = (dt.datetime(2024, 5, 6), dt.datetime(2024, 5, 13))
    objs = [cal, cal.And(hourloom.HourloomCalendar.Weekdays(dt.time(9), dt.time(18))), cal.ToDefinition(),
            hourloom.TimeWindow(T0, T1), hourloom.HourloomWeeklyRule(1, dt.time(22), dt.time(6))]
    objs += [getattr(cal, m)(*a) for m, a in (("At", week[:1]), ("Between", week), ("Compile", week))
             if hasattr(cal, m)]
    return cal, objs


def members(cls):
    """(name, kind) of each public member once; aliases share the object."""
    seen = set()
    for name, raw in vars(cls).items():
        if name.startswith("_") or id(raw) in seen or isinstance(raw, int):
            continue
        seen.add(id(raw))
        yield name, raw


def argument_sets(fn, receiver, pool):
    """Lists of (args, kwargs) for one callable: good first, then failing ones."""
    try:
        params = [p for p in inspect.signature(fn).parameters.values()]
    except ValueError:
        return []
    names = [p.name for p in params]
    if names and names[0] in ("args", "calendars"):
        return [((GOOD["date"],), {}), ((3,), {}), ((pool["HourloomCalendar"], receiver), {}), ((object(),), {}),
                ((3,), {"k": 1}), ((T0, T1, 2, 1), {})] if names[0] == "args" else \
               [((pool["HourloomCalendar"],), {}), ((), {}), ((object(),), {})]

    def value(name, times):
        if name in ("start", "end"):
            return (dt.time(8), dt.time(17))[name == "end"] if times else (T0, T1)[name == "end"]
        if name in GOOD:
            return GOOD[name]
        if name == "other":
            return receiver
        if name == "definition":
            return pool["HourloomDefinition"]
        if name == "json":
            return pool["HourloomCalendar"].ToJson()
        if name == "timelines":
            return [pool["HourloomTimeline"]] if "HourloomTimeline" in pool else []
        return INSTANT

    good = []
    for times in (False, True):
        args = tuple(value(n, times) for n in names)
        try:
            fn(*args)
            good = [(args, {})]
            break
        except Exception:
            good = good or [(args, {})]
    args = good[0][0] if good else ()
    bad = tuple(BAD.get(n, a) for n, a in zip(names, args))
    return good + [(bad, {}), (tuple(object() for _ in args), {}), (args, {"noSuchKeyword": 1}),
                   (args + (1,) * 6, {}), (args[:-1], {})]


def call(fn, args, kwargs):
    try:
        return fn(*args, **kwargs)
    except Exception:
        return None
    except BaseException as e:  # the module's internal error
        assert type(e).__module__ == "hourloom", e


def collect_pool():
    """One instance of every module class reachable from the seeds."""
    cal, queue = seeds()
    pool = {}
    for obj in queue:
        pool.setdefault(type(obj).__name__, obj)
    while queue:
        obj = queue.pop(0)
        for name, _ in members(type(obj)):
            member = getattr(obj, name)
            results = [call(member, a, k) for a, k in argument_sets(member, obj, {**pool, "HourloomCalendar": cal})[:1]
                       ] if callable(member) else [member]
            for r in (x for r in results for x in (r if isinstance(r, list) else [r])):
                if type(r).__module__ == "hourloom" and type(r).__name__ not in pool:
                    pool[type(r).__name__] = r
                    queue.append(r)
    for cls in [c for c in vars(hourloom).values() if isinstance(c, type) and c.__text_signature__]:
        if cls.__name__ not in pool:
            made = call(cls, *argument_sets(cls, None, {**pool, "HourloomCalendar": cal})[0])
            if made is not None:
                pool[cls.__name__] = made
    return cal, pool


def exercise(fn, sets, rounds):
    for _ in range(rounds):
        for args, kwargs in sets:
            call(fn, args, kwargs)


def test_repeated_calls_do_not_grow_memory():
    cal, pool = collect_pool()
    classes = [c for c in vars(hourloom).values() if isinstance(c, type)]
    namespaces = {c.__name__ for c in classes if all(isinstance(v, int) for k, v in vars(c).items()
                                                       if not k.startswith("_"))}
    # The analysis records are made only by the Analyze members.
    unmade = set() if hasattr(cal, "Analyze") else {"HourloomInstantAnalysis", "HourloomTimelineAnalysis",
                                                     "HourloomWindowMatch"}
    assert {c.__name__ for c in classes} - namespaces - set(pool) == unmade
    text = seeds()[0].ToJson()  # the pool's calendar went through every edit
    growth = []
    targets = [(name, obj) for name, obj in pool.items()] + [("module", hourloom)]
    for owner, obj in targets:
        names = [n for n in vars(hourloom) if callable(getattr(hourloom, n)) and not isinstance(
            getattr(hourloom, n), type)] if obj is hourloom else [n for n, _ in members(type(obj))]
        for name in names:
            receiver = hourloom.HourloomCalendar.FromJson(text) if owner == "HourloomCalendar" else obj
            fn = getattr(receiver, name)
            sets = argument_sets(fn, receiver, {**pool, "HourloomCalendar": cal}) if callable(fn) else []
            run = (lambda: getattr(receiver, name)) if not callable(fn) else (lambda: exercise(fn, sets, 1))
            for _ in range(10):
                run()
            gc.collect()
            blocks, tracked = sys.getallocatedblocks(), len(gc.get_objects())
            for _ in range(100):
                run()
            gc.collect()
            grown = (sys.getallocatedblocks() - blocks, len(gc.get_objects()) - tracked)
            if max(grown) > 60:
                growth.append((owner, name, grown))
    assert not growth
