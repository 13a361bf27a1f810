"""Pickling and copying for hourloom's objects, registered with copyreg when
hourloom_tools is imported: every object travels as one compact payload that
the companion module writes from, and rebuilds into, the engine value itself.

    pickle.loads(pickle.dumps(cal)) writes the same ToJson text as cal

Unpickling needs only that hourloom_tools can be imported. As with any pickle,
never unpickle data from a source you do not trust.
"""
import copyreg as _copyreg
import functools as _functools

from . import _core


def rebuild(payload, kind=None):
    """The hourloom object a payload describes; ValueError for a damaged payload.

    kind: the name of the class that was pickled. A payload names its class in
    one byte only, and classes with the same fields read each other's bytes, so
    the pickle names it again and a payload of another class is refused.
    Pickles written without it still load.
    """
    if not isinstance(payload, bytes):
        raise ValueError(f"cannot rebuild a hourloom object: expected bytes, got '{type(payload).__name__}'")
    obj = _core.load(payload)
    if kind is not None and type(obj).__name__ != kind:
        raise ValueError(f"cannot rebuild a hourloom object: the payload holds a {type(obj).__name__}, not a {kind}")
    return obj


def rebuild_internal_error(*args):
    """hourloom's internal error with its arguments, as raised in another process."""
    return _core.InternalError(*args)


def _reduce(obj):
    return rebuild, (_core.dump(obj), type(obj).__name__)


def _reduce_internal_error(error):
    return rebuild_internal_error, error.args


def _register_internal_error():
    _copyreg.pickle(_core.InternalError, _reduce_internal_error)


def _then_register_internal_error(install):
    """tblib's install, then the internal error's pickler again: tblib's own
    would refer to the class by a name hourloom does not define."""
    @_functools.wraps(install)
    def install_keeping_ours(*args, **kwargs):
        installed = install(*args, **kwargs)
        _register_internal_error()
        return installed
    return install_keeping_ours


# The classes whose instances a user can hold (the namespaces have none).
for _cls in _core.classes:
    _copyreg.pickle(_cls, _reduce)
_register_internal_error()
# distributed runs tblib's install when it is imported and for each error it
# reports; that gives every exception class tblib's pickler.
try:
    from tblib import pickling_support as _tblib
except ImportError:
    pass
else:
    _tblib.install = _then_register_internal_error(_tblib.install)
