"""orq: the liborq link library from Python (ctypes, no compiled part).

    import orq
    with orq.Link("/dev/ttyUSB0") as link:
        link.wait_node(5)
        print(link.components())
        print(orq.FlightBoard.LATITUDE.format(link.get(5, orq.FlightBoard.LATITUDE)))
        link.set(5, orq.FlightBoard.GPS_MODE, 2)

    for record in orq.capture.read("flight.orqcap"):
        print(record.time, record.name, record.in_units())

Failures of the library's calls raise ``orq.Error`` subclasses named after
the library's codes; a library that cannot be loaded raises
``orq.LibraryNotFound``, saying what was tried.
"""
from . import capture
from ._version import VERSION as __version__
from .capture import start_capture, stop_capture
from .data_ids import DataId, FlightBoard, GroundStation, LinkStatistic
from .errors import (BufferTooSmal, ComponentNotSupported, ComponenttypeNotSupported, DatatypeNotSupported, Error,
                     IndexNotSupported, InvalidValue, StartDll, UnexpectedException)
from .library import LibraryNotFound, library_path, load_library
from .link import Component, Link
from .units import Unit

__all__ = [
    "Link", "Component",
    "DataId", "FlightBoard", "GroundStation", "LinkStatistic", "Unit",
    "Error", "UnexpectedException", "ComponentNotSupported", "DatatypeNotSupported", "ComponenttypeNotSupported",
    "IndexNotSupported", "BufferTooSmal", "InvalidValue", "StartDll", "LibraryNotFound",
    "library_path", "load_library", "capture", "start_capture", "stop_capture", "__version__",
]
