"""Timing helpers shared by the benchmark scripts: best-of-N per-call costs,
result rows and the table that prints them."""
import time
import timeit
from fractions import Fraction


def best_of(fn, repeat=3, setup=None):
    """(best seconds of `repeat` calls of fn, the last result). With setup, each
    call is fn(*setup()), the arguments made outside the clock."""
    best, result = float("inf"), None
    for _ in range(repeat):
        result = None  # the last result goes outside the clock
        args = setup() if setup else ()
        t0 = time.perf_counter()
        result = fn(*args)
        best = min(best, time.perf_counter() - t0)
    return best, result


def per_call_ns(stmt, globals_, number=200_000, repeat=7):
    timer = timeit.Timer(stmt, globals=globals_)
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e9


def row(operation, ns, baseline, baseline_ns, target=""):
    """One figure: a cost against a baseline timed in the same run. target bounds
    the ratio cost / baseline, written "<= 2" or "<= 1/300" (300x faster)."""
    ratio = ns / baseline_ns
    ok = ""
    if target:
        op, bound = target.split()
        ok = "yes" if (ratio <= Fraction(bound) if op == "<=" else ratio >= Fraction(bound)) else "NO"
    return {"operation": operation, "cost": ns, "baseline": baseline, "baseline_cost": baseline_ns,
            "ratio": ratio, "target": target, "ok": ok}


def duration(ns):
    for unit, size in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= size:
            return f"{ns / size:.3g} {unit}"
    return f"{ns:.3g} ns"


def report(rows):
    """Prints rows (dicts from row(), or (label, ns, baseline label, baseline ns) tuples) as one table."""
    rows = [r if isinstance(r, dict) else row(*r) for r in rows]
    cells = [("operation", "cost", "baseline", "ratio", "target", "ok")] + [
        (r["operation"], duration(r["cost"]), f"{r['baseline']}: {duration(r['baseline_cost'])}",
         f"{r['ratio']:.3g}", r["target"], r["ok"]) for r in rows]
    widths = [max(len(c[i]) for c in cells) for i in range(6)]
    for c in cells:
        print("  ".join(f"{v:<{w}}" if i in (0, 2) else f"{v:>{w}}" for i, (v, w) in enumerate(zip(c, widths))))
