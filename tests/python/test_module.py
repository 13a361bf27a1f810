"""Module spine: registration order, aliases, class properties, signatures."""
import importlib
import inspect
import pathlib
import re
import sys

import pytest

import hourloom

STUB = pathlib.Path(__file__).resolve().parents[2] / "stubs" / "hourloom.pyi"


def stub_layout():
    """Module names and each class's public members, in the order the stub lists them."""
    top, members, current = {"__version__": None}, {}, None
    for line in STUB.read_text().splitlines():
        if m := re.match(r"(class|def) ([A-Za-z]\w*)", line):
            top[m[2]] = None
            current = members.setdefault(m[2], {}) if m[1] == "class" else None
        elif current is not None and (m := re.match(r"    (?:def )?([A-Za-z]\w*) ?[(:=]", line)):
            current[m[1]] = None
    return list(top), {k: list(v) for k, v in members.items()}


REGISTRATION_ORDER, MEMBERS = stub_layout()
NAMESPACES = {"DayOfWeek", "HourloomEntryKind", "HourloomWindowKind"}
CONSTRUCTIBLE = {"TimeWindow", "HourloomWeeklyRule", "HourloomCalendar", "HourloomTimelineBatch"}


def alias(cls_name, name):
    snake = re.sub(r"(?<!^)([A-Z])", r"_\1", name)
    if cls_name in NAMESPACES:
        return snake.upper()
    snake = snake.lower()
    return "and_" if snake == "and" else snake


def classes():
    return [(n, getattr(hourloom, n)) for n in REGISTRATION_ORDER if isinstance(getattr(hourloom, n, None), type)]


def test_version_and_empty_docstring():
    tomllib = pytest.importorskip("tomllib")
    pyproject = pathlib.Path(__file__).parents[2] / "pyproject.toml"
    assert hourloom.__version__ == tomllib.loads(pyproject.read_text())["project"]["version"]
    assert hourloom.__doc__ == ""


def test_attributes_follow_the_registration_order():
    present = [k for k in vars(hourloom) if not (k.startswith("__") and k != "__version__")]
    assert present == REGISTRATION_ORDER and "__all__" not in vars(hourloom)


def test_reimport_gives_the_same_module():
    first = sys.modules.pop("hourloom")
    try:
        again = importlib.import_module("hourloom")
        assert again is first
    finally:
        sys.modules["hourloom"] = first


@pytest.mark.parametrize("name,cls", classes())
def test_members_and_aliases_in_declared_order(name, cls):
    public = [k for k in vars(cls) if not k.startswith("_")]
    assert public == MEMBERS[name]
    declared = [m for m in public if not (m.islower() or m.isupper())]
    assert public == declared + [alias(name, m) for m in declared]
    for m in declared:
        assert getattr(cls, alias(name, m)) is getattr(cls, m)
    if name in NAMESPACES:  # constants number their members in order
        assert [getattr(cls, m) for m in declared] == list(range(len(declared)))


@pytest.mark.parametrize("name,cls", classes())
def test_class_properties(name, cls):
    assert cls.__module__ == "hourloom"
    assert cls.__name__ == cls.__qualname__ == name
    assert cls.__doc__ is None
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    if name not in CONSTRUCTIBLE:
        with pytest.raises(TypeError, match=re.escape(f"cannot create 'hourloom.{name}' instances")):
            cls()


def callables():
    for name, cls in classes():
        for member in vars(cls):
            value = getattr(cls, member)
            if not member.startswith("_") and callable(value):
                yield f"{name}.{member}", value
    for fn in ("Hours", "Minutes", "Seconds", "hours", "minutes", "seconds"):
        yield fn, getattr(hourloom, fn)


@pytest.mark.parametrize("label,fn", list(callables()), ids=lambda v: v if isinstance(v, str) else "")
def test_every_callable_publishes_its_signature(label, fn):
    assert fn.__doc__ is None
    if "." not in label:  # module functions: the lower-case names are objects of their own
        assert fn.__name__ == label
    inspect.signature(fn)  # parses the text signature
    assert fn.__text_signature__.startswith("(")


def test_instances_have_no_dict_and_read_only_properties(cal):
    with pytest.raises(AttributeError):
        cal.anything = 1
    with pytest.raises(AttributeError):
        cal.DefaultCapacity = 3
    assert not hasattr(cal, "__dict__")


def test_equality_and_hash_defaults(cal):
    assert hourloom.HourloomCalendar() != hourloom.HourloomCalendar() and hash(cal) == hash(cal)
    assert hourloom.HourloomWindowMatch.__hash__ is None


def test_methods_describe_their_own_class():
    method = hourloom.HourloomCalendar.AddOpenRule
    assert method.__name__ == "AddOpenRule"
    assert method.__qualname__ == "HourloomCalendar.AddOpenRule"
    assert method.__objclass__ is hourloom.HourloomCalendar
    assert repr(method) == "<method 'AddOpenRule' of 'hourloom.HourloomCalendar' objects>"
    with pytest.raises(TypeError, match=re.escape("unbound method HourloomCalendar.AddOpenRule() needs an argument")):
        method()


def test_sub_interpreters_are_refused():
    subinterpreters = pytest.importorskip("_xxsubinterpreters")
    interpreter = subinterpreters.create()
    try:
        with pytest.raises(subinterpreters.RunFailedError, match="ImportError"):
            subinterpreters.run_string(interpreter, "import hourloom")
    finally:
        subinterpreters.destroy(interpreter)
    assert hourloom.Hours(1).total_seconds() == 3600
