"""Every public member, found by walking the module's classes, is called many
times with good arguments and with failing ones (junk of every sort, bad
values, unknown keywords, wrong counts): each call ends in a result or an
ordinary exception (never a SystemError), and the interpreter's allocated
blocks and tracked objects do not grow with the number of calls."""
import datetime as dt
import gc
import inspect
import sys

import hourloom

T0, T1, T = dt.datetime(2024, 5, 6, 8), dt.datetime(2024, 5, 8, 17), dt.datetime(2024, 5, 6, 10)
GOOD = {
    "instant": T, "target": T, "second": T, "date": dt.date(2024, 5, 9), "day": 1, "capacity": 2,
    "minimumCapacity": 1, "id": "e1", "duration": dt.timedelta(hours=4), "searchRadius": dt.timedelta(days=2),
    "searchUntil": dt.datetime(2024, 5, 12), "indented": True, "includeMatches": True, "value": 3, "instants": [T, T1],
}
BAD = {
    "capacity": -1, "minimumCapacity": 0, "day": 9, "id": "", "json": "{", "duration": -dt.timedelta(1),
    "searchRadius": dt.timedelta(0), "value": 2**70, "instants": [T, None], "start": T1, "end": T0,
    "instant": dt.datetime.max, "date": dt.date.max, "timelines": [None],
}


class Raising:
    def __index__(self):
        raise ZeroDivisionError("from __index__")

    @property
    def days(self):
        raise KeyError("days")


JUNK = [None, 0, -1, 2**100, 1.5, "x", "", b"x", object(), Raising(), dt.date(2024, 5, 6), dt.time(8),
        dt.timedelta(hours=1), T, dt.datetime(2024, 5, 6, tzinfo=dt.timezone.utc),
        hourloom.TimeWindow(T0, T1), hourloom.HourloomCalendar(), "\ud800"]


def seeds():
    cal = (hourloom.HourloomCalendar.Weekdays(dt.time(8), dt.time(17)).AddWeekdayBreakRule(dt.time(12), dt.time(13))
           .AddHoliday(dt.date(2024, 5, 9)).AddCapacityOverride(T0, T1, 3).SetOpenWindow("e1", T0, T1)
           .SetCapacityWindow("e2", T0, T1, 4))
    week = (dt.datetime(2024, 5, 6), dt.datetime(2024, 5, 13))
    made = [cal.And(hourloom.HourloomCalendar.Weekdays(dt.time(9), dt.time(18))), cal.ToDefinition(),
            hourloom.TimeWindow(T0, T1), hourloom.HourloomWeeklyRule(1, dt.time(22), dt.time(6))]
    made += [cal.At(week[0]), cal.Between(*week), cal.Compile(*week)]
    return cal, made


def members(owner):
    """Public member names, once each (an alias is the same object)."""
    seen = {}
    for name, raw in vars(owner if isinstance(owner, type) else type(owner)).items():
        if not name.startswith("_") and not isinstance(raw, int):
            seen.setdefault(id(raw), name)
    return list(seen.values())


def call(fn, args, kwargs=None):
    try:
        return fn(*args, **(kwargs or {}))
    except SystemError:
        raise
    except Exception:
        return None
    except BaseException as e:  # the module's internal error
        assert type(e).__module__ == "hourloom", e


def argument_sets(fn, receiver, pool):
    """(args, kwargs) pairs for one callable: a good set first, then failing ones."""
    names = list(inspect.signature(fn).parameters)
    if names in (["args"], ["calendars"]):
        return [((x,), {}) for x in (GOOD["date"], 3, pool["HourloomCalendar"], object())] + [
            ((T0, T1, 2), {}), ((T0, T1, 2, 1), {}), ((), {}), ((3,), {"k": 1})]

    def value(name, times):
        if name in ("start", "end"):
            return ((dt.time(8), dt.time(17)) if times else (T0, T1))[name == "end"]
        special = {"other": receiver, "definition": pool.get("HourloomDefinition"),
                   "json": pool["HourloomCalendar"].ToJson(), "timelines": [pool.get("HourloomTimeline", T)]}
        return GOOD.get(name, special.get(name, T))

    candidates = [tuple(value(n, times) for n in names) for times in (False, True)]
    args = next((a for a in candidates if call(fn, a) is not None), candidates[0])
    return [(args, {}), (tuple(BAD.get(n, a) for n, a in zip(names, args)), {}), (tuple(object() for _ in args), {}),
            (args, {"noSuchKeyword": 1}), (args + (1,) * 6, {}), (args[:-1], {})]


def collect_pool():
    """One object of every module class reachable from the seeds, by class name."""
    cal, made = seeds()
    pool, queue = {}, [cal] + made
    for obj in queue:
        pool.setdefault(type(obj).__name__, obj)
    while queue:
        obj = queue.pop(0)
        for name in members(obj):
            member = getattr(obj, name)
            result = call(member, *argument_sets(member, obj, pool)[0]) if callable(member) else member
            for r in result if isinstance(result, list) else [result]:
                if type(r).__module__ == "hourloom" and type(r).__name__ not in pool:
                    pool[type(r).__name__] = r
                    queue.append(r)
    for cls in (c for c in vars(hourloom).values() if isinstance(c, type) and c.__text_signature__):
        pool.setdefault(cls.__name__, call(cls, *argument_sets(cls, None, pool)[0]))
    return pool


def test_repeated_calls_do_not_grow_memory():
    pool = collect_pool()
    classes = {n for n, c in vars(hourloom).items() if isinstance(c, type) and members(c)}
    assert classes <= {n for n, o in pool.items() if o is not None}, "a class that no seed reaches"
    text = seeds()[0].ToJson()  # the pool's calendar went through every edit
    functions = [n for n, f in vars(hourloom).items() if callable(f) and not isinstance(f, type)]
    growth = []
    for owner, obj in list(pool.items()) + [("module", hourloom)]:
        for name in functions if obj is hourloom else members(obj):
            receiver = hourloom.HourloomCalendar.FromJson(text) if owner == "HourloomCalendar" else obj
            fn = getattr(receiver, name)
            sets = argument_sets(fn, receiver, pool) if callable(fn) else []

            def run(junk=()):
                if not sets:
                    return getattr(receiver, name)
                for args, kwargs in sets + [(junk, {})]:
                    call(fn, args, kwargs)

            width = len(sets[0][0]) if sets else 0
            for r in range(len(JUNK)):  # warming up, every junk value in every position
                run(tuple(JUNK[(r + k) % len(JUNK)] for k in range(width)))
            # A leak grows in every round of 100 calls; a cache the interpreter
            # fills once (a dict resized, a freelist) grows in one round only.
            for _ in range(2):
                gc.collect()
                blocks, tracked = sys.getallocatedblocks(), len(gc.get_objects())
                for _ in range(100):
                    run()
                gc.collect()
                grown = (sys.getallocatedblocks() - blocks, len(gc.get_objects()) - tracked)
                if max(grown) <= 60:
                    break
            else:
                growth.append((owner, name, grown))
    assert not growth
