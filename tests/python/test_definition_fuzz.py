"""Seeded fuzzing of the reader: whatever text it is given, it answers with a
definition that writes stable text, or with a plain ValueError carrying a position."""
import random

import hourloom
from test_definition import example

Def = hourloom.HourloomDefinition
PIECES = ['"', "{", "}", "[", "]", ",", ":", "0", "-", "e", ".", "1e400", "9" * 30, "\\", "\\u", "\\ud800",
          "\ud800", "\udcff", "\x00", "\n", " ", "é", "😀", "\ufeff", "null", "true", '"x"', "T", "60", "+"]


def mutate(rng, text):
    i = rng.randrange(len(text) + 1)
    j = min(len(text), i + rng.randrange(1, 12))
    op = rng.randrange(7)
    if op == 0:
        return text[:i]                                   # truncation
    if op == 1:
        return text[:i] + rng.choice(PIECES) + text[j:]   # replaced span
    if op == 2:
        return text[:i] + rng.choice(PIECES) + text[i:]   # insertion
    if op == 3:
        return text[:i] + chr(rng.randrange(0x110000)) + text[i + 1:]
    if op == 4:
        depth = rng.choice([3, 127, 128, 5000])
        return text[:i] + "[" * depth + "]" * rng.randrange(depth + 1) + text[i:]
    if op == 5:
        return text[:i] + '"' + rng.choice("aé\\") * rng.randrange(10_000) + '"' + text[i:]
    return text[:i] + text[j:]


def test_every_text_gives_a_definition_or_a_value_error():
    rng = random.Random(20241206)
    seeds = [example().ToJson(), example().ToJson(True), "[1,[],[],[],[],[],[]]"]
    failures = 0
    for _ in range(4000):
        text = rng.choice(seeds)
        for _ in range(rng.randrange(1, 4)):
            text = mutate(rng, text)
        try:
            d = Def.FromJson(text)
        except ValueError as e:
            failures += 1
            assert type(e) is ValueError
            assert " at line " in str(e) or str(e) == "JSON cannot be empty.", str(e)
            continue
        written = d.ToJson()
        assert Def.FromJson(written).ToJson() == written
        try:
            cal = d.ToCalendar()
        except ValueError:
            continue
        assert hourloom.HourloomCalendar.FromJson(cal.ToJson()).ToJson() == cal.ToJson()
    assert 1000 < failures < 4000
