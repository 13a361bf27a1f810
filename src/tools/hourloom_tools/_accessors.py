"""The column functions as a pandas Series accessor and a polars expression
namespace, both named `hourloom`:

    df["due"] = df["opened"].hourloom.add_work(cal, "8h")
    lf.with_columns(due=pl.col("opened").hourloom.add_work(cal, pl.duration(hours=8)))

Each is registered once its library is imported, before or after
hourloom_tools: at once when it already is, else by an import hook that
registers it as the library's import finishes.
"""
import importlib.abc as _abc
import sys as _sys

from . import (add_capacity_time, add_work, can_work, capacity_at, capacity_time, first_slot, last_slot,
               next_open, working_duration)


class _ColumnFunctions:
    """The column functions with the object's column as their first column:
    each subclass says how one is called (_call) and how it reads a string
    instant or duration (_instant, _duration)."""

    def capacity_at(self, cal, fill=None):
        return self._call(capacity_at, "i", cal, fill=fill)

    def can_work(self, cal, fill=None):
        return self._call(can_work, "b", cal, fill=fill)

    def next_open(self, cal, until=None):
        return self._call(next_open, "M", cal, self._instant(until))

    def add_work(self, cal, durations, until=None):
        return self._call(add_work, "M", cal, self._duration(durations), self._instant(until))

    def working_duration(self, cal, ends):
        return self._call(working_duration, "m", cal, self._instant(ends))

    def capacity_time(self, cal, ends):
        return self._call(capacity_time, "m", cal, self._instant(ends))

    def add_capacity_time(self, cal, amounts, until=None):
        return self._call(add_capacity_time, "M", cal, self._duration(amounts), self._instant(until))

    def first_slot(self, cal, durations, min_capacity=1, until=None):
        return self._call(first_slot, "M", cal, self._duration(durations), min_capacity, self._instant(until))

    def last_slot(self, cal, durations, min_capacity=1, until=None):
        return self._call(last_slot, "M", cal, self._duration(durations), min_capacity, self._instant(until))


class HourloomSeriesAccessor(_ColumnFunctions):
    """`series.hourloom`: the column functions with the Series as their first
    column. A string duration is read as pd.Timedelta reads it, a string
    instant as pd.Timestamp does."""

    def __init__(self, series):
        self._series = series

    def _call(self, fn, kind, cal, *args, **options):
        return fn(cal, self._series, *args, **options)

    @staticmethod
    def _duration(x):
        return _sys.modules["pandas"].Timedelta(x) if isinstance(x, str) else x

    @staticmethod
    def _instant(x):
        return _sys.modules["pandas"].Timestamp(x) if isinstance(x, str) else x


class HourloomExprNamespace(_ColumnFunctions):
    """`pl.col(...).hourloom`: the column functions as expressions, the
    expression as their first column, for eager and lazy frames. Other
    arguments may be expressions or values. A lazy frame's schema is known
    before the call: instants come in the first column's dtype ([us] or [ns]
    as given; a coarser unit floors them to it), durations in [us]."""

    def __init__(self, expr):
        self._expr = expr

    def _call(self, fn, kind, cal, *args, **options):
        pl = _sys.modules["polars"]
        dtype = {"i": pl.Int64, "b": pl.Boolean, "M": None, "m": pl.Duration("us")}[kind]
        exprs = [self._expr] + [a for a in args if isinstance(a, pl.Expr)]

        def run(columns):
            it = iter(columns[1:])
            given = [next(it) if isinstance(a, pl.Expr) else a for a in args]
            out = fn(cal, columns[0], *given, **options)
            # The schema says what was declared: instants in the input's dtype, durations in [us].
            declared = columns[0].dtype if dtype is None else dtype
            return out if out.dtype == declared else out.cast(declared)

        return pl.map_batches(exprs, run, return_dtype=dtype, is_elementwise=True)

    @staticmethod
    def _instant(x):
        return x

    _duration = _instant


# ---------------------------------------------------------------- registration


def _register_pandas():
    _sys.modules["pandas"].api.extensions.register_series_accessor("hourloom")(HourloomSeriesAccessor)


def _register_polars():
    _sys.modules["polars"].api.register_expr_namespace("hourloom")(HourloomExprNamespace)


_PENDING = {"pandas": _register_pandas, "polars": _register_polars}


class _Then(_abc.Loader):
    """A library's own loader, then its registration once the module ran."""

    def __init__(self, loader, name):
        self._loader, self._name = loader, name

    def create_module(self, found):
        return self._loader.create_module(found)

    def exec_module(self, module):
        self._loader.exec_module(module)
        register = _PENDING.pop(self._name, None)
        if register is not None:
            register()

    def __getattr__(self, name):  # resources and the rest, from the library's loader
        return getattr(self._loader, name)


class _Hook(_abc.MetaPathFinder):
    """Finds nothing itself: wraps the loader of a library still to register."""

    def find_spec(self, name, path, target=None):
        if name not in _PENDING or name in _sys.modules:
            return None
        for finder in _sys.meta_path:
            if finder is self or not hasattr(finder, "find_spec"):
                continue
            found = finder.find_spec(name, path, target)
            if found is not None:
                if found.loader is not None:
                    found.loader = _Then(found.loader, name)
                return found
        return None


def install():
    """Registers what is imported already, and hooks the imports of the rest."""
    for name in list(_PENDING):
        if name in _sys.modules:
            _PENDING.pop(name)()
    if _PENDING:
        _sys.meta_path.insert(0, _Hook())
