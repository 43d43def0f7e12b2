"""Recording the link's traffic into a capture file (see docs/capture.md, orq-dump and orq-plot)."""
from ._arguments import c_string
from .errors import check
from .library import load_library


def start_capture(path):
    """Records every chunk the link reads and writes into the capture file at ``path``.

    Started before ``Link.open``, the capture begins with the link; a second call switches to the new
    file. Raises ``StartDll`` when the file cannot be created, ``ValueError``
    for a path with a NUL character.
    """
    check(load_library().startCapture(c_string(path, "capture path")), "startCapture")


def stop_capture():
    """Ends the capture, if one is running; the file stays readable up to its last record."""
    check(load_library().stopCapture(), "stopCapture")
