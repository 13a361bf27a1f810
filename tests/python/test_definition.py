"""Saving and restoring: the definition text written byte for byte, the reader's
record forms, value rules and messages with positions, and the calendar round trip."""
import datetime as dt
import json
import warnings

import pytest
from hypothesis import given, settings

import hourloom
from conftest import at, hm
from oracle import simple_calendars

Cal = hourloom.HourloomCalendar
Def = hourloom.HourloomDefinition
EMPTY = ('{"defaultCapacity":1,"openRules":[],"breakRules":[],"openWindows":[],"closedWindows":[],'
         '"capacityWindows":[],"entries":[]}')

EXAMPLE = ('{"defaultCapacity":2,"openRules":[{"day":1,"start":"08:00:00","end":"17:00:00"},'
           '{"day":5,"start":"22:00:00","end":"06:00:00"}],"breakRules":[{"day":1,"start":"12:00:00",'
           '"end":"12:30:00"}],"openWindows":[{"start":"2024-05-11T09:00:00","end":"2024-05-11T13:00:00"}],'
           '"closedWindows":[{"start":"2024-05-20T00:00:00","end":"2024-05-21T00:00:00"}],'
           '"capacityWindows":[{"start":"2024-05-13T08:00:00","end":"2024-05-13T12:00:00","capacity":5}],'
           '"entries":[{"id":"audit","kind":1,"start":"2024-05-14T13:00:00","end":"2024-05-14T15:30:45.500",'
           '"capacity":0}]}')
EXAMPLE_INDENTED = json.dumps(json.loads(EXAMPLE), indent=2)  # two spaces, ": " after keys, no trailing newline


def example():
    d = dt.datetime
    return (Cal().SetDefaultCapacity(2).AddOpenRule(1, hm(8), hm(17)).AddOpenRule(5, hm(22), hm(6))
            .AddBreakRule(1, hm(12), hm(12, 30)).AddOpenWindow(d(2024, 5, 11, 9), d(2024, 5, 11, 13))
            .AddHoliday(dt.date(2024, 5, 20)).AddCapacityOverride(d(2024, 5, 13, 8), d(2024, 5, 13, 12), 5)
            .SetClosedWindow("audit", d(2024, 5, 14, 13), d(2024, 5, 14, 15, 30, 45, 500000)))


def definition(**fields):
    """Compact definition text with some fields replaced (values as JSON text)."""
    base = {k: "[]" for k in ("openRules", "breakRules", "openWindows", "closedWindows", "capacityWindows",
                              "entries")}
    base = {"defaultCapacity": "1", **base, **fields}
    return "{" + ",".join(f'"{k}":{v}' for k, v in base.items() if v is not None) + "}"


def window(start="2024-05-13T08:00:00", end="2024-05-13T09:00:00"):
    return f'{{"start":"{start}","end":"{end}"}}'


# ---------------------------------------------------------------- writing


def test_worked_example_in_both_forms():
    cal = example()
    assert cal.ToJson(True) == EXAMPLE_INDENTED
    assert cal.ToJson() == EXAMPLE
    assert Cal().ToJson() == EMPTY and Cal.FromJson(EXAMPLE_INDENTED).ToJson() == EXAMPLE


def test_id_escapes_and_unicode():
    cal = Cal().SetOpenWindow('q"\\\b\f\n\r\t\x01\x1f\x7f/é😀', at(0, 8), at(0, 9))
    text = cal.ToJson()
    assert '"id":"q\\"\\\\\\b\\f\\n\\r\\t\\u0001\\u001f\x7f/é😀"' in text
    assert Cal.FromJson(text).ToJson() == text


def test_argument_types():
    cal = example()
    np = pytest.importorskip("numpy")
    assert cal.ToJson(np.bool_(True)) == cal.ToJson(True) and cal.ToJson(None) == cal.ToJson()
    composite = cal.And(Cal())
    for call in (lambda: cal.ToJson(1), lambda: composite.ToJson(1), lambda: Def.FromJson(b"{}"),
                 lambda: Cal.FromJson(EMPTY.encode()), lambda: Cal.FromDefinition(cal)):
        with pytest.raises(TypeError, match=r"^argument '(indented|json|definition)': "):
            call()
    for call in (composite.ToDefinition, composite.ToJson):
        with pytest.raises(RuntimeError, match=r"^Composite calendars are query-only and cannot be serialized"):
            call()
    assert composite.Components[0].ToJson() == cal.ToJson()


# ---------------------------------------------------------------- reading


def test_both_record_forms_at_every_level():
    arrays = ('[2,[[1,"08:00:00","17:00:00"],[5,"22:00:00","06:00:00"]],[[1,"12:00:00","12:30:00"]],'
              '[["2024-05-11T09:00:00","2024-05-11T13:00:00"]],[["2024-05-20T00:00:00","2024-05-21T00:00:00"]],'
              '[["2024-05-13T08:00:00","2024-05-13T12:00:00",5]],'
              '[["audit",1,"2024-05-14T13:00:00","2024-05-14T15:30:45.5",0]]]')
    assert Def.FromJson(arrays).ToJson(True) == EXAMPLE_INDENTED
    # objects with keys in any order, unknown keys of any value skipped, both forms mixed
    mixed = ('{"entries":[{"capacity":0,"end":"2024-05-14T15:30:45.500","x":{"a":[1,{"b":null}]},'
             '"start":"2024-05-14T13:00:00","kind":1,"id":"audit"}],"comment":"hi",'
             '"capacityWindows":[{"capacity":5,"end":"2024-05-13T12:00:00","start":"2024-05-13T08:00:00"}],'
             '"closedWindows":[{"end":"2024-05-21T00:00:00","start":"2024-05-20T00:00:00"}],'
             '"openWindows":[["2024-05-11T09:00:00","2024-05-11T13:00:00"]],'
             '"breakRules":[{"end":"12:30","start":"12:00","day":1,"Day":7}],'
             '"openRules":[[1,"08:00","17:00"],{"day":5,"start":"22:00:00","end":"06:00:00"}],"defaultCapacity":2}')
    assert Def.FromJson(mixed).ToJson(True) == EXAMPLE_INDENTED
    assert Def.FromJson("[1,[],[],[],[],[],[]]").ToJson() == EMPTY


@pytest.mark.parametrize("written,read", [
    ("2024-05-13T08:00:00", "2024-05-13T08:00:00"),
    ("2024-05-13T08:00:00.5", "2024-05-13T08:00:00.500"),
    ("2024-05-13T08:00:00.000001", "2024-05-13T08:00:00.000001"),
    ("2024-05-13T08:00:00.0000010", "2024-05-13T08:00:00.000001"),
    ("2024-05-13T08:00:00.000000001", "2024-05-13T08:00:00.000000001"),
    ("2024-05-13T08:00:00.1234567891", "2024-05-13T08:00:00.123456789"),
    ("2024-05-13T08:00:00.000000000999", "2024-05-13T08:00:00"),
    ("2024-05-13 T08 :00\\t:00 ", "2024-05-13T08:00:00"),
    ("+10000-01-01T00:00:00", "+10000-01-01T00:00:00"),
    ("-0001-12-31T23:59:59.25", "-0001-12-31T23:59:59.250"),
    ("+2024-05-13T08:00:00", "2024-05-13T08:00:00"),
    ("2016-12-31T23:59:60.5", "2016-12-31T23:59:60.500"),
])
def test_instant_text(written, read):
    text = definition(openWindows=f"[{window(written, '+32767-01-01T00:00:00')}]")
    assert f'"start":"{read}"' in Def.FromJson(text).ToJson()


def test_time_text_and_kept_values():
    text = definition(defaultCapacity="-1", openRules='[[255,"08:00","23:59:60.25"]]',
                      entries='[["a",255,"2024-05-13T08:00:00","2024-05-13T08:00:00",-5]]')
    written = Def.FromJson(text).ToJson()
    assert '"defaultCapacity":-1' in written and '"kind":255' in written and '"capacity":-5' in written
    assert '{"day":255,"start":"08:00:00","end":"23:59:60.250"}' in written  # checked only on ToCalendar
    with pytest.raises(ValueError, match=r"^Day must be in DayOfWeek range 0\.\.6\.$"):
        Def.FromJson(definition(openRules='[[255,"08:00","09:00"]]')).ToCalendar()
    kept = Cal.FromJson(definition(entries='[["a",255,"2024-05-13T08:00:00","2024-05-13T09:00:00",0]]'))
    assert kept.Entries[0].Kind == 255  # kinds are not checked (the entry decides nothing)
    cal = Cal().SetDefaultCapacity(2**31 - 1).SetCapacityWindow("c", at(0, 8), at(0, 9), 2**31 - 1)
    assert Cal.FromJson(cal.ToJson()).ToJson() == cal.ToJson() and cal.ToJson().count("2147483647") == 2


@pytest.mark.parametrize("value", ["1e400", "-" + "9" * 400, '[1E+999,{"a":-1e400}]'])
def test_a_skipped_key_takes_any_number(value):
    assert Def.FromJson('{"note":' + value + "," + EMPTY[1:]).ToJson() == EMPTY
    with pytest.raises(ValueError, match="^missing field `openRules`"):  # the event reader skips it too
        Def.FromJson('{"note":' + value + ',"defaultCapacity":1}')


def test_an_entry_of_another_kind_is_kept_but_decides_nothing():
    for cal in (example(), Cal().AddOpenRule(1, hm(8), hm(17))):  # one indexed, one scanned
        d = json.loads(cal.ToJson())
        d["entries"].append({"id": "x", "kind": 9, "start": "2024-05-13T00:00:00",
                             "end": "2024-05-15T00:00:00", "capacity": 7})
        loaded = Cal.FromJson(json.dumps(d))
        assert loaded.Entries[-1].Kind == 9 and loaded.ToJson() == json.dumps(d, separators=(",", ":"))
        assert loaded.GetStateWindows(at(7), at(9)) == cal.GetStateWindows(at(7), at(9))
        assert [loaded.GetCapacityAt(at(7, h)) for h in range(24)] == [cal.GetCapacityAt(at(7, h)) for h in range(24)]


def test_signed_year_written_for_the_last_holiday_loads_again():
    cal = Cal().AddHoliday(dt.date(9999, 12, 31))
    text = cal.ToJson()
    assert '"end":"+10000-01-01T00:00:00"' in text
    assert Cal.FromJson(text).ToJson() == text


def test_leap_seconds_reach_python_as_59_with_a_warning():
    cal = Cal.FromJson(definition(openRules='[[1,"23:59:60","23:59:59"]]',
                                  closedWindows=f"[{window('2016-12-31T23:59:60.5', '2017-01-01T00:00:00')}]"))
    with pytest.warns(UserWarning, match="ignored leap-second"):
        assert cal.ClosedWindows[0].Start == dt.datetime(2016, 12, 31, 23, 59, 59, 500000)
    with pytest.warns(UserWarning):
        assert cal.OpenRules[0].Start == dt.time(23, 59, 59)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        for convert in (lambda: cal.ClosedWindows[0].Start, lambda: cal.OpenRules[0].Start):
            with pytest.raises(UserWarning):
                convert()
        assert cal.ClosedWindows[0].End == dt.datetime(2017, 1, 1)  # nothing left pending


EMPTY_MSG = r"^JSON cannot be empty\.$"


@pytest.mark.parametrize("text,message", [
    ("", EMPTY_MSG),
    ("   \n", EMPTY_MSG),
    ("\u3000\u2028", EMPTY_MSG),
    (definition(entries=None), r"^missing field `entries` at line 1 column 109$"),
    ('{"openRules":[],"openRules":[]}', r"^duplicate field `openRules` at line 1 column 27$"),
    ("[1,[],[]]", r"^invalid length 3, expected struct Definition with 7 elements at line 1 column 9$"),
    ("[1,[],[],[],[],[],[],1e400]",
     r"^invalid length 8, expected struct Definition with 7 elements at line 1 column 27$"),
    (definition(openRules='[[1,"08:00"]]'), r"^invalid length 2, expected struct RuleDefinition with 3 elements"),
    (definition(openWindows='[["2024-05-13T08:00:00"]]'), r"^invalid length 1, expected struct WindowDefinition with 2"),
    (definition(capacityWindows="[[]]"), r"^invalid length 0, expected struct CapacityDefinition with 3 elements"),
    (definition(entries='[["a",0,"2024-05-13T08:00:00","2024-05-13T08:00:00",0,0]]'),
     r"^invalid length 6, expected struct EntryDefinition with 5 elements"),
    (definition(openRules='[{"day":1,"start":"08:00"}]'), r"^missing field `end` at line 1 column 59$"),
    (definition(defaultCapacity="1.0"),
     r"^invalid type: floating point `1.0`, expected a 32-bit signed integer at line 1 column 22$"),
    (definition(defaultCapacity="3000000000"),
     r"^invalid value: integer `3000000000`, expected a 32-bit signed integer at line 1 column 29$"),
    (definition(defaultCapacity="-99999999999999999999999"), r"^invalid value: integer `-9999"),
    (definition(defaultCapacity="1e400"), r"^invalid type: floating point `1e400`, expected a 32-bit signed"),
    (definition(openRules='[[256,"08:00","09:00"]]'),
     r"^invalid value: integer `256`, expected an 8-bit unsigned integer at line 1 column 38$"),
    (definition(openRules='[[1,8,"09:00"]]'), r"^invalid type: integer `8`, expected a formatted time string at"),
    (definition(openWindows=f'[["{"x" * 100}",null]]'),
     r"^input contains invalid characters at line 1 column 1"),
    (definition(openWindows='[[null,1]]'), r"^invalid type: null, expected a formatted date and time string"),
    (definition(entries='[[7,0,0,0,0]]'), r"^invalid type: integer `7`, expected a string at"),
    (definition(entries='{}'), r"^invalid type: map, expected a sequence at line 1 column 120$"),
    (definition(openRules='[true]'), r"^invalid type: boolean `true`, expected struct RuleDefinition"),
    ('"x"', r'^invalid type: string "x", expected struct Definition at line 1 column 3$'),
    (definition(openWindows=f"[{window('2024-13-01T00:00:00')}]"), r"^input is out of range at"),
    (definition(openWindows=f"[{window('2024-02-30T00:00:00')}]"),
     r"^no possible date and time matching input at line 1 column 97$"),
    (definition(openWindows=f"[{window('2024-05-13T08:00')}]"), r"^premature end of input"),
    (definition(openWindows=f"[{window('2024-05-13T08:00:00Z')}]"), r"^trailing input"),
    (definition(openRules='[[1,"24:00","09:00"]]'), r"^input is out of range"),
    ("{", r"^syntax error while parsing object key - unexpected end of input; expected string literal "
          r"at line 1 column 1$"),
    ('{"defaultCapacity":1,}', r"^syntax error .* at line 1 column 22$"),
    (EMPTY + " x", r"^syntax error while parsing value - invalid literal.* at line 1 column 124$"),
    (EMPTY + " \x00x", r"^syntax error while parsing value - invalid literal.* at line 1 column 124$"),
    ("\ufeff" + EMPTY, r"^syntax error .*byte order mark at line 1 column 1$"),
    ('{"é😀":1,"defaultCapacity":"1"}', r"column 29$"),  # columns count characters
    ('{\n  "defaultCapacity": 1,\n  "openRules": 5\n}', r"^invalid type: integer `5`, expected a sequence "
                                                        r"at line 3 column 16$"),
    ('{"\ud800":1}', r"^syntax error.* at line 1 column 3$"),
    ('{"x":' + "[" * 100000, r"^recursion limit exceeded at line 1 column 133$"),
])
def test_reader_errors(text, message):
    for read in (Def.FromJson, Cal.FromJson):
        with pytest.raises(ValueError, match=message):
            read(text)


# ---------------------------------------------------------------- definition to calendar

STEPS = [  # (field, a value failing its step, the message), in the fixed order of the checks
    ("defaultCapacity", "-1", "Capacity cannot be negative."),
    ("openRules", '[[1,"08:00","09:00"],[7,"08:00","09:00"]]', "Day must be in DayOfWeek range 0..6."),
    ("breakRules", '[[1,"08:00","08:00"]]', "Start and end cannot be the same time."),
    ("openWindows", f"[{window(end='2024-05-13T07:00:00')}]", "End must be greater than or equal to start."),
    ("closedWindows", f"[{window(end='2024-05-13T07:00:00')}]", "End must be greater than or equal to start."),
    ("capacityWindows", '[["2024-05-13T08:00:00","2024-05-13T09:00:00",-1]]', "Capacity cannot be negative."),
    ("entries", '[[" ",0,"2024-05-13T08:00:00","2024-05-13T09:00:00",0]]', "Entry id cannot be empty."),
]


@pytest.mark.parametrize("failing", range(len(STEPS)))
def test_the_first_failing_step_is_reported_whatever_the_key_order(failing):
    later = {field: bad for field, bad, _ in STEPS[failing:]}
    text = definition(**{k: later[k] for k in reversed(list(later))})  # keys of later steps first
    d = Def.FromJson(text)
    for build in (d.ToCalendar, lambda: Cal.FromDefinition(d), lambda: Cal.FromJson(text)):
        with pytest.raises(ValueError, match="^" + STEPS[failing][2].replace(".", r"\.") + "$"):
            build()
    assert Def.FromJson(text).ToJson() == d.ToJson()  # the definition is unchanged


def test_repeated_ids_replace_in_place_and_windows_stay_apart():
    text = definition(entries='[["a",0,"2024-05-13T08:00:00","2024-05-13T09:00:00",0],'
                              '["b",2,"2024-05-13T08:00:00","2024-05-13T09:00:00",3],'
                              '["a",1,"2024-05-14T08:00:00","2024-05-14T09:00:00",0]]')
    cal = Cal.FromJson(text)
    assert [(e.Id, e.Kind, e.Window.Start) for e in cal.Entries] == [("a", 1, at(8, 8)), ("b", 2, at(7, 8))]
    assert cal.OpenWindows == [] and cal.ClosedWindows == []


@settings(max_examples=60, deadline=None)
@given(simple_calendars())
def test_round_trips_write_the_same_text(drawn):
    _, cal = drawn
    for indented in (False, True):
        text = cal.ToJson(indented)
        assert Cal.FromJson(text).ToJson(indented) == text
        assert Def.FromJson(text).ToJson(not indented) == cal.ToJson(not indented)
    assert Cal.FromDefinition(cal.ToDefinition()).ToJson() == cal.ToJson()
