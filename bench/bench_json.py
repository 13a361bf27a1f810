"""Saving and restoring large calendars, measured in one run:
  - HourloomCalendar.FromJson of n entries against n/10 entries (linear growth
    shows as about 10x) and against json.loads of the same text (which only
    builds dicts and validates nothing);
  - HourloomDefinition.FromJson (reading without building the calendar) against
    json.loads, which separates the reader from the entry-id search of restoring;
  - ToJson of the same calendar against json.dumps of the equivalent dict
    (compact separators, so both write the same text);
  - HourloomCalendar.FromJson of n overlapping capacity entries (7 minutes
    apart, an hour long) against n/10 of them, best of 7 calls each.
Usage: python3 bench/bench_json.py [largest n, default 100000]"""
import datetime as dt
import json
import os
import random
import sys

sys.path.insert(0, os.path.dirname(__file__))
from common import best_of, report, row  # noqa: E402

from hourloom import HourloomCalendar, HourloomDefinition  # noqa: E402

START = dt.datetime(2024, 1, 1)


def definition_text(n, seed=1):
    """A calendar text with weekday rules, a few windows and n entries of all three kinds."""
    rng = random.Random(seed)
    fmt = "%Y-%m-%dT%H:%M:%S"
    entries = []
    for i in range(n):
        s = START + dt.timedelta(days=rng.randrange(3650), minutes=15 * rng.randrange(96))
        e = s + dt.timedelta(minutes=15 * rng.randrange(1, 40))
        kind = i % 3
        entries.append({"id": f"job-{i:07d}", "kind": kind, "start": s.strftime(fmt), "end": e.strftime(fmt),
                        "capacity": rng.randrange(0, 6) if kind == 2 else 0})
    rules = [{"day": d, "start": "08:00:00", "end": "17:00:00"} for d in range(1, 6)]
    return json.dumps({"defaultCapacity": 4, "openRules": rules,
                       "breakRules": [{"day": d, "start": "12:00:00", "end": "12:45:00"} for d in range(1, 6)],
                       "openWindows": [], "closedWindows": [], "capacityWindows": [], "entries": entries},
                      separators=(",", ":"))


def capacity_text(n):
    """A calendar text with n capacity entries 7 minutes apart, each an hour long (about nine overlap)."""
    fmt = "%Y-%m-%dT%H:%M:%S"
    entries = []
    for i in range(n):
        s = START + dt.timedelta(minutes=7 * i)
        entries.append({"id": f"cap-{i:07d}", "kind": 2, "start": s.strftime(fmt),
                        "end": (s + dt.timedelta(hours=1)).strftime(fmt), "capacity": 1 + i % 5})
    return json.dumps({"defaultCapacity": 1, "openRules": [], "breakRules": [], "openWindows": [], "closedWindows": [],
                       "capacityWindows": [], "entries": entries}, separators=(",", ":"))


def rows(largest=100_000):
    # First, while the process has not yet held a large calendar: memory it has
    # freed before would hide what fresh memory costs.
    overlapping = {}
    for n in (largest // 10, largest):
        text = capacity_text(n)
        overlapping[n], _ = best_of(lambda: HourloomCalendar.FromJson(text), 7)
    sizes = [largest // 100, largest // 10, largest]
    results = {}
    for n in sizes:
        text = definition_text(n)
        repeat = 5  # best of as many calls at every size, so the growth ratios compare like with like
        r = results[n] = {}
        r["FromJson"], cal = best_of(lambda: HourloomCalendar.FromJson(text), repeat)
        r["json.loads"], as_dict = best_of(lambda: json.loads(text), repeat)
        r["Definition.FromJson"], _ = best_of(lambda: HourloomDefinition.FromJson(text), repeat)
        r["ToJson"], written = best_of(cal.ToJson, repeat)
        r["json.dumps"], _ = best_of(lambda: json.dumps(as_dict, separators=(",", ":")), repeat)
        assert written == text
    r, mb = results[largest], len(text) / 1e6
    out = [row(f"HourloomDefinition.FromJson, {largest} entries ({mb:.1f} MB)", r["Definition.FromJson"] * 1e9,
               "json.loads", r["json.loads"] * 1e9),
           row(f"HourloomCalendar.FromJson, {largest} entries", r["FromJson"] * 1e9, "json.loads",
               r["json.loads"] * 1e9),
           row(f"ToJson, {largest} entries", r["ToJson"] * 1e9, "json.dumps", r["json.dumps"] * 1e9)]
    for small, big in zip(sizes, sizes[1:]):
        out.append(row(f"FromJson, {big} entries", results[big]["FromJson"] * 1e9, f"{small} entries",
                       results[small]["FromJson"] * 1e9, "<= 12"))
    out.append(row(f"FromJson, {largest} overlapping capacity entries", overlapping[largest] * 1e9,
                   f"{largest // 10} entries", overlapping[largest // 10] * 1e9, "<= 12"))
    return out


if __name__ == "__main__":
    report(rows(int(sys.argv[1]) if len(sys.argv) > 1 else 100_000))
