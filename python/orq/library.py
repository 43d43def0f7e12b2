"""Finding and loading liborq.so.

The library is looked for, in this order: the path in the environment
variable ``ORQ_LIBRARY``; the library installed next to this package (same
prefix, or the build tree the package was assembled in); the system's loader.
It is loaded once per process: its state (one link at a time) is process-wide.
"""
import ctypes
import os

from . import _location

_INT_P = ctypes.POINTER(ctypes.c_int)

# Argument types of every exported call used here; each returns int.
_PROTOTYPES = {
    "init": (ctypes.c_int, ctypes.c_uint32, ctypes.c_char_p),
    "deinit": (),
    "getData": (ctypes.c_int, ctypes.c_int, _INT_P, ctypes.c_int),
    "setData": (ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int),
    "getDataKomplex": (ctypes.c_int, _INT_P, _INT_P, ctypes.c_int, _INT_P, _INT_P),
    "getComponents": (_INT_P, _INT_P, _INT_P),
    "startCapture": (ctypes.c_char_p,),
    "stopCapture": (),
}

_loaded = None


def library_path():
    """The path (or, for the system's loader, the bare file name) the library is loaded from."""
    explicit = os.environ.get("ORQ_LIBRARY")
    if explicit:
        # Named explicitly: used as it is, so a wrong path fails instead of
        # quietly loading another library.
        return explicit
    here = os.path.dirname(os.path.abspath(__file__))
    beside = os.path.normpath(os.path.join(here, _location.LIBRARY_DIR, _location.LIBRARY_FILE))
    if os.path.exists(beside):
        return beside
    return _location.LIBRARY_FILE


def load_library():
    """The loaded library (a ``ctypes.CDLL`` with prototypes set); loads it on the first call."""
    global _loaded
    if _loaded is None:
        lib = ctypes.CDLL(library_path())
        for name, argtypes in _PROTOTYPES.items():
            function = getattr(lib, name)
            function.argtypes = argtypes
            function.restype = ctypes.c_int
        _loaded = lib
    return _loaded
