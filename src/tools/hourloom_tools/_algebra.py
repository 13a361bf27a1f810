"""Calendars from calendars: composites whose capacity at t follows from their
operands' capacities c_i(t), answering every question a simple calendar does.

    crews = total(scale(early, 2), late)
    rota = repeat(four_on, dt.datetime(2024, 1, 1), dt.timedelta(days=8))
"""
from . import _INT32, _core, _int, _scalar_us, _NAT  # the package defines them before it imports this

__all__ = ["union", "total", "difference", "scale", "within", "effective", "repeat", "describe"]

_INTERSECTION, _UNION, _TOTAL, _DIFFERENCE, _SCALE, _WITHIN, _EFFECTIVE, _REPEAT = range(8)


def _us(v, kind, name):
    us = _scalar_us(v, kind, name)
    if us == _NAT:
        raise TypeError(f"argument '{name}': expected a {'datetime' if kind == 'M' else 'timedelta'}, got None or NaT")
    return us


def _compose(op, cals, factor=0, start=0, end=0, period=0, at=(), parts=()):
    return _core.compose(op, tuple(cals), factor, start, end, period, tuple(at), tuple(parts))


def union(*cals):
    """Open where any operand is open, with the largest capacity there."""
    return _compose(_UNION, cals)


def total(*cals):
    """The sum of the operands' capacities (crews, teams), saturating at 2,147,483,647."""
    return _compose(_TOTAL, cals)


def difference(a, b):
    """a's capacity where b is closed, 0 where b is open."""
    return _compose(_DIFFERENCE, (a, b))


def scale(cal, k):
    """k times cal's capacity, for an int k >= 0; saturates at 2,147,483,647."""
    k = _int(k, "argument 'k'")
    if not 0 <= k <= _INT32[1]:
        raise ValueError("Scale factor must be between 0 and 2147483647.")
    return _compose(_SCALE, (cal,), factor=k)


def within(cal, start, end):
    """cal's capacity for start <= t < end, 0 elsewhere."""
    return _compose(_WITHIN, (cal,), start=_us(start, "M", "start"), end=_us(end, "M", "end"))


def effective(pairs):
    """Piecewise in time: `pairs` is a sequence of (from_instant, calendar or
    None) with strictly increasing instants; at t, the calendar of the last
    pair whose instant is at or before t (None: closed); 0 before the first."""
    try:
        items = list(pairs)
    except TypeError:
        raise TypeError(f"argument 'pairs': expected a sequence of (instant, calendar) pairs, "
                        f"got '{type(pairs).__name__}'") from None
    if not items:
        raise ValueError("At least one (instant, calendar) pair is required.")
    cals, at, parts = [], [], []
    for i, pair in enumerate(items):
        if not isinstance(pair, (tuple, list)) or len(pair) != 2:
            raise TypeError(f"pairs[{i}]: expected an (instant, calendar) pair, got '{type(pair).__name__}'")
        at.append(_us(pair[0], "M", f"pairs[{i}][0]"))
        if pair[1] is None:
            parts.append(-1)
        else:
            parts.append(len(cals))
            cals.append(pair[1])
    return _compose(_EFFECTIVE, cals, at=at, parts=parts)


def repeat(pattern, anchor, period):
    """The pattern's capacities over [anchor, anchor + period) repeated for
    ever in both directions: c_pattern(anchor + ((t - anchor) mod period))."""
    return _compose(_REPEAT, (pattern,), start=_us(anchor, "M", "anchor"), period=_us(period, "m", "period"))


def describe(cal):
    """The composition tree of a calendar as text, one node a line with its
    operator and parameters; a simple calendar shows its counts of rules,
    windows and entries."""
    return _core.describe(cal)
