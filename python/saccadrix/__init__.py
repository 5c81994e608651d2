"""Saccadrix eye trackers from Python.

    import saccadrix

    with saccadrix.Tracker() as tracker:
        tracker.start_recording()
        tracker.add_marker("stimulus on")
        ...
        tracker.stop_recording()
    rec = tracker.recording()      # NumPy structured array: rec['timestamp'], rec['eye0_pupil_x']

The package calls the kit's C libraries (libSaccadrix for the tracker, libSaccadrixGS for its
camera). Every failure raises a :class:`saccadrix.Error` that carries the library's status and
text. See python/README.md in the kit for the guide.
"""

from ._errors import (
    AccessDenied,
    AlreadyOpen,
    CalibrationMismatch,
    CameraNotFound,
    Error,
    FileError,
    InvalidArgument,
    NoAnswer,
    NoClockMapping,
    NoRecord,
    NotConnected,
    NotSupported,
    TrackerNotFound,
    VideoError,
)
from ._saccadrix import Result
from ._records import COLUMNS, RECORD_DTYPE, GazeCalibration, Marker, to_pandas
from ._tracker import Tracker, host_clock, library_version, timestamp_to_host_clock
from ._camera import Camera, video_library_version
from ._analysis import (
    EVENT_DTYPE,
    EVENT_FLAG_CUT,
    EVENT_FLAG_REJECTED,
    EventPhase,
    EventType,
    Validation,
    ValidationResult,
    default_event_params,
    detect_events,
    validate,
    validate_recording,
)

__version__ = "0.46.0"

__all__ = [
    "EVENT_DTYPE",
    "EVENT_FLAG_CUT",
    "EVENT_FLAG_REJECTED",
    "EventPhase",
    "EventType",
    "Validation",
    "ValidationResult",
    "default_event_params",
    "detect_events",
    "validate",
    "validate_recording",
    "AccessDenied",
    "AlreadyOpen",
    "COLUMNS",
    "CalibrationMismatch",
    "Camera",
    "CameraNotFound",
    "Error",
    "FileError",
    "GazeCalibration",
    "InvalidArgument",
    "Marker",
    "NoAnswer",
    "NoClockMapping",
    "NoRecord",
    "NotConnected",
    "NotSupported",
    "RECORD_DTYPE",
    "Result",
    "Tracker",
    "TrackerNotFound",
    "VideoError",
    "host_clock",
    "library_version",
    "timestamp_to_host_clock",
    "to_pandas",
    "video_library_version",
]
