"""The frames in a capture's bytes, found and decoded as the library finds and decodes them (and as
orq-dump shows them): each direction's bytes are gathered up to every end byte, and the frame is what
runs from the last start byte before it, unescaped and checked, in the short or the full layout.

The payload of each data type is read in the layouts the library's handler clients use (little-endian
integers; a set or request carries the data type of its report minus one, a set with the report's
payload, a request with none), into the same field names orq-dump prints; each field that a data ID of
DataIds.def mirrors carries that row's unit."""
import struct

from .data_ids import FlightBoard, GroundStation

FRAME_START = 0xFD
FRAME_END = 0xFC
FRAME_ESCAPE = 0xFE
_ESCAPE_OFFSET = 0x80
_GATHER_MAX = 1000  # the serial driver gathers at most this many bytes between end bytes
_RECEIVE_BUFFER = 200  # the message system keeps the last this many of them
_LAYOUT_MAX = 64
_MAGIC_FULL, _MAGIC_SMAL = 2, 3
_FULL_HEADER = 9
_TYPE_REQUEST = 3

_FB_DEBUG = ("batteryVoltage", "batteryCurrent", "batteryUsedCapacity", "rcQuality", "mainLoopTime",
             "mainLoopTimeMin", "mainLoopTimeMax", "simulateRCLoss", "actGas", "uptime", "i2cErrors",
             "sendMessageCounterRemote", "wi_txchannel", "wi_rxchannel", "wi_group_id", "newID", "satsInUse",
             "WPNumberAndIndex", "WPHoldTime", "FCFlags", "NCFlags")
_GS_DEBUG = ("schuelerMode", "i2cError", "mainLoopTime", "mainLoopTimeMin", "mainLoopTimeMax", "wi_txchannel",
             "wi_rxchannel", "wi_group_id", "newID", "uptime")


def _vec3(prefix=""):
    return [(prefix + axis.upper() if prefix else axis, "<h") for axis in "xyz"]


_POSITION = [("longitude", "<i"), ("latitude", "<i"), ("altitude", "<i"), ("status", "<B")]

# Report type: (name, fields as (name, struct format) in payload order, or a reader of its own).
_REPORTS = {
    4: ("typeReply", [("type", "<B")]),
    6: ("acc", _vec3()),
    8: ("gyro", _vec3()),
    10: ("compass", _vec3()),
    12: ("dist", [("value", "<h")]),
    14: ("pressure", [("value", "<i")]),
    16: ("dcm", _vec3()),
    18: ("rcSender", [("value", "<B")]),
    20: ("motorOn", [("value", "<B")]),
    22: ("hwState", [("value", "<B")]),
    24: ("cmd", [("value", "<B")]),
    26: ("hwVersion", [("value", "<h")]),
    28: ("fwVersion", [("value", "<h")]),
    30: ("temperature", [("value", "<h")]),
    32: ("gpsMode", [("value", "<B")]),
    34: ("rcReceiver", [("value", "<B")]),
    36: ("gpsModeIs", [("value", "<B")]),
    38: ("position", _POSITION),
    40: ("debug", "debug"),
    42: ("waypoint", _POSITION + [("heading", "<h"), ("toleranceRadius", "<B"), ("holdTime", "<B"),
                                  ("type", "<B")]),
    44: ("dcmGyro", _vec3("dcm") + _vec3("gyro")),
    46: ("dcmAccZ", [("dcmX", "<h"), ("dcmY", "<h"), ("dcmZ", "<h"), ("accZ", "<h")]),
    48: ("gyroCompass", _vec3("gyro") + _vec3("compass")),
    50: ("debugText", "text"),
    52: ("secureCommand", [("value", "<i")]),
    54: ("heartbeat", [("value", "<B")]),
    56: ("activControl", [("value", "<h")]),
    58: ("fcVersion", [("value", "<h")]),
    60: ("pwmOutput", [("value", "<h")]),
}

# The data ID (its name in DataIds.def) each field of a report mirrors, where one does; its unit is the field's.
_MIRRORED = {
    "acc": {"x": "ACC_X", "y": "ACC_Y", "z": "ACC_Z"},
    "gyro": {"x": "GYRO_X", "y": "GYRO_Y", "z": "GYRO_Z"},
    "compass": {"x": "COMPASS_X", "y": "COMPASS_Y", "z": "COMPASS_Z"},
    "dcm": {"x": "DCM_X", "y": "DCM_Y", "z": "DCM_Z"},
    "dist": {"value": "DISTANCE"},
    "pressure": {"value": "PRESSURE"},
    "temperature": {"value": "TEMPERATURE"},
    "hwVersion": {"value": "HW_VERSION"},
    "fwVersion": {"value": "FW_VERSION"},
    "rcSender": {"value": "RC_SENDER"},
    "rcReceiver": {"value": "RC_RECEIVER"},
    "motorOn": {"value": "MOTOR_ON"},
    "hwState": {"value": "STATE"},
    "gpsMode": {"value": "GPS_MODE"},
    "gpsModeIs": {"value": "GPS_MODE"},
    "pwmOutput": {"value": "PWM_OUTPUT"},
    "typeReply": {"type": "TYPE"},
    "position": {"longitude": "LONGITUDE", "latitude": "LATITUDE", "altitude": "ALTITUDE", "status": "GPS_STATUS"},
    "waypoint": {"longitude": "WAYPOINT_LONGITUDE", "latitude": "WAYPOINT_LATITUDE",
                 "altitude": "WAYPOINT_ALTITUDE", "toleranceRadius": "WAYPOINT_TOLERANCE_RADIUS",
                 "holdTime": "WAYPOINT_HOLD_TIME"},
    "dcmGyro": {"dcmX": "DCM_X", "dcmY": "DCM_Y", "dcmZ": "DCM_Z", "gyroX": "GYRO_X", "gyroY": "GYRO_Y",
                "gyroZ": "GYRO_Z"},
    "dcmAccZ": {"dcmX": "DCM_X", "dcmY": "DCM_Y", "dcmZ": "DCM_Z", "accZ": "ACC_Z"},
    "gyroCompass": {"gyroX": "GYRO_X", "gyroY": "GYRO_Y", "gyroZ": "GYRO_Z", "compassX": "COMPASS_X",
                    "compassY": "COMPASS_Y", "compassZ": "COMPASS_Z"},
}


def data_id_of(name, field):
    """The data-ID member that field ``field`` of a report named ``name`` (without ".set") mirrors, or None.
    A name both devices know is the flight board's (the two give it the same unit)."""
    row = _MIRRORED.get(name, {}).get(field)
    if row is None:
        return None
    return FlightBoard.__members__.get(row) or GroundStation.__members__.get(row)


class Message:
    """One decoded frame's message."""

    __slots__ = ("data_type", "sender", "receiver", "channel", "payload")

    def __init__(self, data_type, sender, receiver, channel, payload):
        self.data_type, self.sender, self.receiver, self.channel, self.payload = \
            data_type, sender, receiver, channel, payload


def _unescape(content):
    """The layout in a frame's content, or None when the content ends in an escape byte."""
    out = bytearray()
    i = 0
    while i < len(content):
        b = content[i]
        if b == FRAME_ESCAPE:
            if i + 1 == len(content):
                return None
            b = (content[i + 1] - _ESCAPE_OFFSET) & 0xFF
            i += 1
        out.append(b)
        i += 1
    return bytes(out)


def decode(content):
    """The message in a frame's content (the bytes between its start and end byte), or None when it holds
    none: too long, a dangling escape byte, an unknown layout, a wrong length or check byte."""
    layout = _unescape(content)
    if layout is None or len(layout) > _LAYOUT_MAX or not layout:
        return None
    check = 0
    for b in layout:
        check ^= b
    if layout[0] == _MAGIC_FULL:
        if len(layout) <= 6 or len(layout) != layout[4] + 10 or check:
            return None
        return Message(layout[1], layout[2], layout[3], layout[8], layout[_FULL_HEADER:_FULL_HEADER + layout[4]])
    if layout[0] == _MAGIC_SMAL:
        if len(layout) < 6 or check:
            return None
        return Message(layout[1], layout[2], layout[3], layout[4], layout[5:-1])
    return None


class Gatherer:
    """One direction of the link: its bytes in, at every end byte the frame it closes out, as the serial
    driver hands the bytes to the library's message system."""

    def __init__(self):
        self._gathered = bytearray()

    def feed(self, chunk):
        """The frames the bytes of ``chunk`` close, each as (message or None when damaged, frame bytes from
        the last start byte on). An end byte without a start byte before it closes nothing."""
        frames = []
        for b in chunk:
            if len(self._gathered) >= _GATHER_MAX:
                self._gathered.clear()  # cannot hold a frame
            self._gathered.append(b)
            if b == FRAME_END:
                frame = self._end_of_frame()
                if frame is not None:
                    frames.append(frame)
        return frames

    def _end_of_frame(self):
        gathered = bytes(self._gathered)
        self._gathered.clear()
        start = gathered.rfind(FRAME_START)
        # The message system keeps only the last bytes; a start byte before them is not seen.
        if start < 0 or start < len(gathered) - _RECEIVE_BUFFER:
            return None
        return decode(gathered[start + 1:-1]), gathered[start:]


def name_of(data_type):
    """The short name of a data type ("acc", "pressure.set", "typeRequest"), "" when unknown."""
    if data_type == _TYPE_REQUEST:
        return "typeRequest"
    is_set = data_type % 2 == 1
    report = _REPORTS.get(data_type + 1 if is_set else data_type)
    if report is None:
        return ""
    return report[0] + ".set" if is_set else report[0]


def values_of(data_type, payload):
    """The payload's fields as {name: value} in payload order (integers; the text of a debug text), the
    string "request" for a request, or None when the data type is unknown or the payload has not its length."""
    if data_type == _TYPE_REQUEST:
        return "request" if not payload else None
    is_set = data_type % 2 == 1
    report = _REPORTS.get(data_type + 1 if is_set else data_type)
    if report is None:
        return None
    if is_set and not payload:
        return "request"
    layout = report[1]
    if layout == "debug":
        names = {2 * len(_FB_DEBUG): _FB_DEBUG, 2 * len(_GS_DEBUG): _GS_DEBUG}.get(len(payload))
        if names is None:
            return None
        layout = [(name, "<h") for name in names]
    elif layout == "text":
        text = payload.split(b"\0", 1)[0]
        return {"text": "".join(chr(c) if 0x20 <= c < 0x7F and c != 0x22 else "?" for c in text)}
    formats = "<" + "".join(f[1:] for _, f in layout)
    if len(payload) != struct.calcsize(formats):
        return None
    return dict(zip((name for name, _ in layout), struct.unpack(formats, payload)))
