"""Containers in and out: pandas, polars and pyarrow columns read as numpy
values, and results given back in the container their argument came in.

    values = read(polars_series)          # datetime64 with NaT for null
    like(polars_series, out, missing)     # a polars Series of the same name

None of these libraries is imported here: a container is known by the
module of its type, so a caller who never imports one never pays for it.
"""
import sys as _sys

import numpy as _np


def library(x):
    """"pandas", "polars" or "pyarrow" for a column of that library, else None."""
    root = type(x).__module__.partition(".")[0]
    if root == "pandas":
        return root if hasattr(x, "index" if type(x).__name__ == "Series" else "dtype") else None
    if root == "polars":
        return root if isinstance(x, _sys.modules["polars"].Series) else None
    if root == "pyarrow":
        pa = _sys.modules["pyarrow"]
        return root if isinstance(x, (pa.Array, pa.ChunkedArray)) else None
    return None


def _arrow_of(x):
    """The pyarrow array behind an ArrowDtype Series, Index or array, else None."""
    if hasattr(getattr(x, "dtype", None), "pyarrow_dtype"):
        arr = getattr(x, "array", x)
        return getattr(arr, "_pa_array", None)
    return None


def read(x):
    """A container's values as numpy: datetime64/timedelta64 of their own unit
    with NaT for a missing value, or objects."""
    which = library(x)
    if which == "pyarrow":
        return x.to_numpy(zero_copy_only=False) if isinstance(x, _sys.modules["pyarrow"].Array) else x.to_numpy()
    if which == "pandas":
        arrow = _arrow_of(x)
        if arrow is not None:
            return arrow.to_numpy()
    return x.to_numpy()


def align(args):
    """The pandas Series among args aligned on their labels as numpy functions
    applied to Series align them: an outer join of the labels, a missing value
    where a label is absent. Equal indexes are left as they are."""
    at = [i for i, x in enumerate(args) if library(x) == "pandas" and type(x).__name__ == "Series"]
    if len(at) < 2 or all(args[at[0]].index.equals(args[i].index) for i in at[1:]):
        return args
    out = list(args)
    if len(at) == 2:  # align, as pandas does, keeps duplicate labels
        out[at[0]], out[at[1]] = args[at[0]].align(args[at[1]], join="outer")
        return out
    index = args[at[0]].index
    for i in at[1:]:
        index = index.union(args[i].index)
    for i in at:
        out[i] = args[i].reindex(index)
    return out


def named(x, others):
    """x (a pandas container) with the name that it and the other pandas
    containers share, unnamed when they differ, as pandas arithmetic names."""
    names = {o.name for o in others if library(o) == "pandas" and hasattr(o, "name")}
    if not hasattr(x, "name") or names == {x.name}:
        return x
    if type(x).__name__ == "Series":
        x = x.copy(deep=False)
        x.name = None
        return x
    return x.rename(None)


def _arrow_type(values):
    import pyarrow as pa
    if values.dtype.kind in "Mm":
        unit = _np.datetime_data(values.dtype)[0]
        return pa.timestamp(unit) if values.dtype.kind == "M" else pa.duration(unit)
    return pa.bool_() if values.dtype.kind == "b" else pa.int64()


def like(x, values, missing):
    """values (1-d numpy; missing: a mask of the missing ones or None) in the
    container x came in: a pandas Series, Index or array of the same kind
    (nullable for integers and flags), a polars Series of its name, or a
    pyarrow Array or ChunkedArray, with nulls; or a list of Python values,
    None for missing, for a list or tuple."""
    which = library(x)
    if isinstance(x, (list, tuple)):  # Zoned's lists
        return [None if m else v for v, m in zip(values.tolist(), missing if missing is not None else values != values)]
    if which == "pyarrow":
        import pyarrow as pa
        arr = pa.array(values, type=_arrow_type(values), mask=missing)
        return pa.chunked_array([arr]) if isinstance(x, pa.ChunkedArray) else arr
    if which == "polars":
        import polars as pl
        if values.dtype.kind in "Mm":  # NaT is polars' null for these
            return pl.Series(x.name, values)
        out = pl.Series(x.name, values)
        return out if missing is None or not missing.any() else out.scatter(_np.flatnonzero(missing), None)
    import pandas as pd
    if _arrow_of(x) is not None:
        import pyarrow as pa
        values = pd.arrays.ArrowExtensionArray(pa.array(values, type=_arrow_type(values), mask=missing))
    elif values.dtype.kind in "bi" and missing is not None:
        values = (pd.arrays.BooleanArray if values.dtype.kind == "b" else pd.arrays.IntegerArray)(values, missing)
    if type(x).__name__ == "Series":
        return pd.Series(values, index=x.index, name=x.name, copy=False)
    if isinstance(x, pd.Index):
        return pd.Index(values, name=x.name)
    return values if isinstance(values, pd.api.extensions.ExtensionArray) else pd.array(values)
