"""The plain model every property test compares with: a minute-by-minute
evaluation of a calendar described as plain Python data, and hypothesis
strategies that draw such a description together with the calendar built from it.
Instants on the model's grid lie in four days from a Sunday (BASE)."""
import datetime as dt

from hypothesis import strategies as st

import hourloom
from conftest import MONDAY

Cal = hourloom.HourloomCalendar
TW = hourloom.TimeWindow
BASE = dt.datetime(MONDAY.year, MONDAY.month, MONDAY.day) - dt.timedelta(days=1)  # a Sunday
SPAN_MINUTES = 4 * 24 * 60
QUARTERS = SPAN_MINUTES // 15


def instant(minute):
    return BASE + dt.timedelta(minutes=minute)


def sunday0(t):
    return (t.weekday() + 1) % 7


# ---------------------------------------------------------------- the plain model


def rule_holds(rule, t):
    day, start, end = rule
    w, tod = sunday0(t), t.time()
    if start < end:
        return day == w and start <= tod < end
    return (day == w and tod >= start) or ((day + 1) % 7 == w and tod < end)


def in_window(window, t):
    return window[0] <= t < window[1]


def model_capacity(model, t):
    if "components" in model:
        caps = [model_capacity(c, t) for c in model["components"]]
        return 0 if 0 in caps else min(caps)
    entries = list(model["entries"].values())
    opened = (any(rule_holds(r, t) for r in model["open_rules"])
              or any(in_window(w, t) for w in model["open_windows"])
              or any(in_window(e[1], t) for e in entries if e[0] == "open"))
    closed = (any(rule_holds(r, t) for r in model["break_rules"])
              or any(in_window(w, t) for w in model["closed_windows"])
              or any(in_window(e[1], t) for e in entries if e[0] == "closed"))
    if not opened or closed:
        return 0
    cap = model["default"]
    for window, c in model["overrides"]:
        if in_window(window, t):
            cap = c
    for kind, window, c in entries:
        if kind == "capacity" and in_window(window, t):
            cap = c
    return cap


def model_states(caps, start_minute):
    """Runs of consecutive minutes of equal capacity, as (start, end, capacity)."""
    out = []
    for i, c in enumerate(caps):
        if out and out[-1][2] == c:
            out[-1][1] = i + 1
        else:
            out.append([i, i + 1, c])
    return [(instant(start_minute + a), instant(start_minute + b), c) for a, b, c in out]


def runs(caps, start_minute, keep):
    """Windows of consecutive minutes whose capacity satisfies keep."""
    return [TW(s, e) for s, e, kept in model_states([keep(c) for c in caps], start_minute) if kept]


# ---------------------------------------------------------------- random calendars

times = st.integers(0, 95).map(lambda q: dt.time(q // 4, (q % 4) * 15))
# Rules ending at 00:00 run to the next midnight: drawn often on purpose.
rules = st.tuples(st.integers(0, 6), times, st.one_of(st.just(dt.time(0)), times)).filter(lambda r: r[1] != r[2])
# Mostly short windows, some reaching over the whole span from before it.
windows = st.tuples(st.integers(-QUARTERS, QUARTERS), st.one_of(st.integers(0, 48), st.integers(0, 3 * QUARTERS))).map(
    lambda p: (instant(max(p[0], -p[1] // 2) * 15), instant((max(p[0], -p[1] // 2) + p[1]) * 15)))
holidays = st.integers(0, 3).map(lambda d: (BASE + dt.timedelta(days=d)).date())
capacities = st.integers(0, 3)
# An entry edit: (id, kind, window, capacity) sets the entry; kind "remove" removes it. The small id
# pool makes ids re-set in place, change kind and be removed and added again.
entry_op = st.tuples(st.sampled_from("abcd"), st.sampled_from(["open", "closed", "capacity", "remove"]),
                     windows, capacities)
entry_ops = st.lists(entry_op, max_size=10)


def apply_entry_op(model, cal, op):
    entry_id, kind, w, c = op
    if kind == "remove":
        assert cal.RemoveEntry(entry_id) is (model["entries"].pop(entry_id, None) is not None)
        return
    model["entries"][entry_id] = (kind, w, c)  # re-setting keeps the dict position
    if kind == "open":
        cal.SetOpenWindow(entry_id, *w)
    elif kind == "closed":
        cal.SetClosedWindow(entry_id, *w)
    else:
        cal.SetCapacityWindow(entry_id, *w, c)


@st.composite
def simple_calendars(draw, plain=False):
    """plain: rules and closing windows only (open time the rules' weeks give, less the closings)."""
    model = {
        "default": draw(st.integers(1, 3) if plain else st.integers(0, 3)),
        "open_rules": draw(st.lists(rules, min_size=plain, max_size=4)),
        "break_rules": draw(st.lists(rules, max_size=2)),
        "open_windows": [] if plain else draw(st.lists(windows, max_size=3)),
        "closed_windows": [],
        "overrides": [] if plain else draw(st.lists(st.tuples(windows, capacities), max_size=5)),
        "entries": {},
    }
    cal = Cal().SetDefaultCapacity(model["default"])
    for r in model["open_rules"]:
        cal.AddOpenRule(*r)
    for r in model["break_rules"]:
        cal.AddBreakRule(*r)
    for w in model["open_windows"]:
        cal.AddOpenWindow(*w)
    for closing in draw(st.lists(windows if plain else st.one_of(windows, holidays), min_size=plain, max_size=3)):
        if isinstance(closing, dt.date):
            cal.AddHoliday(closing)
            midnight = dt.datetime.combine(closing, dt.time())
            closing = (midnight, midnight + dt.timedelta(days=1))
        else:
            cal.AddClosedWindow(*closing)
        model["closed_windows"].append(closing)
    for w, c in model["overrides"]:
        cal.AddCapacityOverride(*w, c)
    for op in [] if plain else draw(entry_ops):
        apply_entry_op(model, cal, op)
    return model, cal


@st.composite
def calendars(draw):
    parts = draw(st.lists(simple_calendars(), min_size=1, max_size=3))
    if len(parts) == 1 or draw(st.booleans()):
        if len(parts) == 1:
            return parts[0]
        return {"components": [m for m, _ in parts]}, Cal.Intersect(*[c for _, c in parts])
    inner = {"components": [m for m, _ in parts[:2]]}, parts[0][1].And(parts[1][1])
    if len(parts) == 2:
        return inner
    return {"components": [inner[0], parts[2][0]]}, inner[1].And(parts[2][1])


