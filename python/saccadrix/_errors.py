"""The package's exceptions: one hierarchy rooted at :class:`Error`.

Every failure the libraries report carries the library's status code (``.status``) and the
library's own text for it (``.text``); the message says what failed first::

    saccadrix.NoAnswer: cannot read the pupil calibration: the tracker did not answer in time (status -2)
"""

from __future__ import annotations

from typing import Optional


class Error(Exception):
    """A Saccadrix library reported a failure (or the package refused a call).

    Attributes:
        status: the library's status code (negative), or None for failures the package
            detects itself (see :class:`AlreadyOpen`).
        text: the library's text for the status.
        what: what failed, e.g. ``"cannot open the tracker"``.
    """

    def __init__(self, what: str, status: Optional[int] = None, text: str = "") -> None:
        self.what = what
        self.status = status
        self.text = text
        message = what
        if text:
            message += ": " + text
        if status is not None:
            message += f" (status {status})"
        super().__init__(message)

    def __reduce__(self):
        return (type(self), (self.what, self.status, self.text))


class TrackerNotFound(Error):
    """No tracker is attached (opening returned -100)."""


class AccessDenied(Error):
    """A tracker was found but could not be opened (-1 when opening). On Linux nearly always
    the missing udev rule that lets your user open the tracker's /dev/hidraw node."""


class NotConnected(Error):
    """The call needs the open tracker, and there is none (-100): the Tracker was closed,
    or the tracker went away."""


class AlreadyOpen(Error):
    """A Tracker is already open in this process: the library holds one connection per
    process. Close it (or leave its ``with`` block) first."""


class NoAnswer(Error):
    """The tracker did not answer in time (-2) or a transfer failed (-1: was it unplugged?)."""


class NotSupported(Error):
    """This tracker model does not support the request (-4)."""


class InvalidArgument(Error, ValueError):
    """The library refused an argument as out of range (-3)."""


class FileError(Error, OSError):
    """A calibration file could not be written (-5) or read (-6), or is not a valid
    calibration file (-7 version, -8 checksum, -9 not a calibration file). Also an
    :class:`OSError`, so ``except OSError`` catches it with other file failures."""


class CalibrationMismatch(Error):
    """The calibration read back from the tracker differs from what was stored (-16)."""


class NoRecord(Error):
    """No stored record at the cursor, or a position out of range (-15)."""


class NoClockMapping(Error):
    """No device-to-host clock mapping yet: no result has been read since the tracker's
    timestamp restarted (-17)."""


class VideoError(Error):
    """The video pipeline could not be built or started (-12, -13, -14)."""


class CameraNotFound(VideoError):
    """No camera of a Saccadrix tracker is attached (video -15)."""


# (source, status) -> class; source "open" falls back to "device" for the statuses that
# mean the same there.
_CLASSES = {
    ("open", -100): TrackerNotFound,
    ("open", -1): AccessDenied,
    ("device", -100): NotConnected,
    ("device", -1): NoAnswer,
    ("device", -2): NoAnswer,
    ("device", -3): InvalidArgument,
    ("device", -4): NotSupported,
    ("device", -5): FileError,
    ("device", -6): FileError,
    ("device", -7): FileError,
    ("device", -8): FileError,
    ("device", -9): FileError,
    ("device", -15): NoRecord,
    ("device", -16): CalibrationMismatch,
    ("device", -17): NoClockMapping,
    ("video", -15): CameraNotFound,
}


def error_for_status(source: str, status: int, text: str, what: str) -> Error:
    """The exception for a failed status of a library ("open", "device" or "video")."""
    cls = _CLASSES.get((source, status))
    if cls is None and source == "open":
        cls = _CLASSES.get(("device", status))
    if cls is None:
        cls = VideoError if source == "video" else Error
    return cls(what, status, text)
