"""orq: the liborq link library from Python (ctypes, no compiled part).

    import orq
    with orq.Link("/dev/ttyUSB0") as link:
        print(link.components())
        print(link.get(5, orq.FlightBoard.LATITUDE))
        link.set(5, orq.FlightBoard.GPS_MODE, 2)

Failures raise ``orq.Error`` subclasses named after the library's codes.
"""
from .capture import start_capture, stop_capture
from .data_ids import DataId, FlightBoard, GroundStation, LinkStatistic
from .errors import (BufferTooSmal, ComponentNotSupported, ComponenttypeNotSupported, DatatypeNotSupported, Error,
                     IndexNotSupported, InvalidValue, StartDll, UnexpectedException)
from .library import library_path, load_library
from .link import Component, Link

__all__ = [
    "Link", "Component",
    "DataId", "FlightBoard", "GroundStation", "LinkStatistic",
    "Error", "UnexpectedException", "ComponentNotSupported", "DatatypeNotSupported", "ComponenttypeNotSupported",
    "IndexNotSupported", "BufferTooSmal", "InvalidValue", "StartDll",
    "library_path", "load_library", "start_capture", "stop_capture",
]
