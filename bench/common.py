"""Timing helpers shared by the benchmark scripts: best-of-N per-call costs."""
import timeit


def per_call_ns(stmt, globals_, number=200_000, repeat=7):
    timer = timeit.Timer(stmt, globals=globals_)
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e9


def report(rows):
    """rows: (label, ns, baseline_label, baseline_ns) -> prints a table with ratios."""
    width = max(len(r[0]) for r in rows)
    for label, ns, base_label, base_ns in rows:
        print(f"{label:<{width}}  {ns:9.1f} ns   {base_label}: {base_ns:8.1f} ns   ratio {ns / base_ns:5.2f}x")
