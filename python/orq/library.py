"""Finding and loading liborq.so.

The library is looked for, in this order: the path in the environment
variable ``ORQ_LIBRARY``; the library installed next to this package (a
package that CMake installed or assembled in its build tree knows where its
library lies; one that pip installed does not); the system's loader
(``liborq.so.1`` in the loader's path: ldconfig's cache, ``LD_LIBRARY_PATH``).
When none of them loads, ``LibraryNotFound`` says what was tried and what to do.
It is loaded once per process: its state (one link at a time) is process-wide.
"""
import ctypes
import os

try:
    from . import _location  # written by CMake only
except ImportError:
    _location = None

LIBRARY_FILE = "liborq.so.1"

_INT_P = ctypes.POINTER(ctypes.c_int)

# Argument types of every exported call used here; each returns int.
_PROTOTYPES = {
    "init": (ctypes.c_int, ctypes.c_uint32, ctypes.c_char_p),
    "deinit": (),
    "getData": (ctypes.c_int, ctypes.c_int, _INT_P, ctypes.c_int),
    "setData": (ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int),
    "getDataKomplex": (ctypes.c_int, _INT_P, _INT_P, ctypes.c_int, _INT_P, _INT_P),
    "getComponents": (_INT_P, _INT_P, _INT_P),
    "waitForComponent": (ctypes.c_int, ctypes.c_int),
    "startCapture": (ctypes.c_char_p,),
    "stopCapture": (),
}

_loaded = None


class LibraryNotFound(OSError):
    """liborq.so.1 could not be loaded; the message names every place tried and what to do."""


def library_path():
    """The path (or, for the system's loader, the bare file name) the library is loaded from."""
    explicit = os.environ.get("ORQ_LIBRARY")
    if explicit:
        # Named explicitly: used as it is, so a wrong path fails instead of
        # quietly loading another library.
        return explicit
    if _location is not None:
        here = os.path.dirname(os.path.abspath(__file__))
        beside = os.path.normpath(os.path.join(here, _location.LIBRARY_DIR, LIBRARY_FILE))
        if os.path.exists(beside):
            return beside
    return LIBRARY_FILE


def _advice(path, reason):
    """The message of a library that did not load from ``path``."""
    if os.environ.get("ORQ_LIBRARY"):
        tried = f"the path in ORQ_LIBRARY, {path}"
        todo = "set ORQ_LIBRARY to the path of an existing liborq.so.1, or unset it to use the system's loader"
    else:
        tried = f"{LIBRARY_FILE} through the system's loader (ORQ_LIBRARY is not set"
        tried += ", and no library lies beside this package)" if _location is not None else ")"
        todo = ("install liborq (make install, then ldconfig for its library directory), "
                "or set ORQ_LIBRARY to the path of liborq.so.1 (for a build tree: build/liborq.so.1)")
    return f"cannot load liborq: tried {tried}: {reason}. To fix: {todo}"


def load_library():
    """The loaded library (a ``ctypes.CDLL`` with prototypes set); loads it on the first call.

    Raises ``LibraryNotFound`` when it cannot be loaded."""
    global _loaded
    if _loaded is None:
        path = library_path()
        try:
            lib = ctypes.CDLL(path)
        except OSError as error:
            raise LibraryNotFound(_advice(path, error)) from None
        for name, argtypes in _PROTOTYPES.items():
            function = getattr(lib, name)
            function.argtypes = argtypes
            function.restype = ctypes.c_int
        _loaded = lib
    return _loaded
