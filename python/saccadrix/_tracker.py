"""The Tracker: one open tracker, its results, recording, calibrations and settings."""

from __future__ import annotations

import os
import threading
from typing import Iterator, List, Optional, Tuple, Union

import numpy as np

from . import _saccadrix
from ._errors import AlreadyOpen
from ._records import (
    INT32_MAX,
    INT32_MIN,
    GazeCalibration,
    Marker,
    eye_arg,
    float_arg,
    int_arg,
)

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

_RESULTS_TYPES = {"raw": 0, "calibrated": 1}


def host_clock() -> float:
    """The host clock now, in seconds: the monotonic clock the library stamps every result
    with (``host_time``), the same as :func:`time.monotonic` on Linux. Use it to time your
    own events against the tracker's results."""
    return _saccadrix.host_clock()


def timestamp_to_host_clock(timestamp: int) -> float:
    """The host time (s) at which the report carrying this tracker timestamp became readable,
    as the library's clock mapping estimates it (timestamps since the last restart).

    Raises:
        NoClockMapping: no result has been read since the tracker's timestamp restarted.
    """
    return _saccadrix.timestamp_to_host_clock(int_arg("timestamp", timestamp, 0, 2**64 - 1))


def library_version() -> int:
    """The device library's version number (46 on Linux)."""
    return _saccadrix.library_version()


class Tracker:
    """The tracker: opens the first tracker attached, closes on :meth:`close` or on leaving a
    ``with`` block (also on an exception)::

        with saccadrix.Tracker() as tracker:
            print(tracker.model, tracker.serial_number)
            tracker.start_recording()
            ...
            tracker.stop_recording()
        rec = tracker.recording()          # the recording outlives the connection

    Opening takes a little over 2 seconds (the tracker needs that long after it is found);
    other Python threads keep running meanwhile. One Tracker may be open per process at a
    time: a second raises :class:`AlreadyOpen`.

    Args:
        results_type: ``"raw"`` (pupil and reflection positions) or ``"calibrated"`` (gaze)
            to choose the results right after opening; None keeps the tracker's choice.

    Raises:
        TrackerNotFound: no tracker is attached.
        AccessDenied: a tracker was found but could not be opened (udev rule missing?).
        AlreadyOpen: a Tracker is already open in this process.
    """

    def __init__(self, results_type: Optional[str] = None) -> None:
        if results_type is not None and results_type not in _RESULTS_TYPES:
            raise ValueError(f"results_type must be 'raw', 'calibrated' or None, not {results_type!r}")
        model = _saccadrix.open()
        if model == 0:
            raise AlreadyOpen("cannot open the tracker: a Tracker is already open in this process")
        self._model = model
        self._closed = False
        self._close_lock = threading.Lock()
        if results_type is not None:
            try:
                self.set_results_type(results_type)
            except BaseException:
                self.close()
                raise

    # ---- connection

    def close(self) -> None:
        """Closes the tracker. Safe to call twice. The recording stays readable."""
        with self._close_lock:
            if self._closed:
                return
            self._closed = True
        _saccadrix.close()

    def __del__(self) -> None:
        # A Tracker dropped without close() lets the connection go, so that the next
        # Tracker() can open it. (At interpreter exit the library lets it go itself.)
        if not getattr(self, "_closed", True):
            try:
                self.close()
            except Exception:
                pass

    @property
    def closed(self) -> bool:
        """True once :meth:`close` was called."""
        return self._closed

    def __enter__(self) -> "Tracker":
        return self

    def __exit__(self, *exc_info) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self._closed else "open"
        return f"<saccadrix.Tracker model={self._model} {state}>"

    # ---- identity

    @property
    def model(self) -> int:
        """The model code (1 to 4) of the opened tracker."""
        return self._model

    @property
    def serial_number(self) -> str:
        """The tracker's USB serial number."""
        return _saccadrix.serial_number()

    @property
    def firmware_version(self) -> int:
        """The firmware version number read at open (0 when the tracker did not answer)."""
        return _saccadrix.firmware_version()

    @property
    def firmware_build_date(self) -> str:
        """The firmware's build date text read at open."""
        return _saccadrix.firmware_build_date()

    @property
    def pin_functions(self) -> bytes:
        """The digital pin function table (model code 4): byte i belongs to bit i of the
        ``digital_inputs`` column (5, 6 trigger pins of eye 0, 1; 7, 8 event pins)."""
        return _saccadrix.pin_functions()

    @property
    def poll_thread_priority(self) -> Tuple[bool, int]:
        """(raised, priority) of the library's poll thread: whether it got real-time priority,
        and which (0 when not raised)."""
        return _saccadrix.poll_thread_priority()

    # ---- live results

    def latest(self) -> _saccadrix.Result:
        """The newest result and its host time (all zero before the first), for
        gaze-contingent displays. Does not wait and does not take it from the ring."""
        return _saccadrix.last_result()

    def next_result(self, timeout: Optional[float] = None) -> Optional[_saccadrix.Result]:
        """Takes the oldest result from the ring, waiting up to ``timeout`` seconds (None: as
        long as it takes) for one to arrive; None when none came in time."""
        return _saccadrix.next_result(None if timeout is None else float_arg("timeout", timeout))

    def results(self, max_count: Optional[int] = None) -> np.ndarray:
        """Takes every result waiting in the ring (the newest 5000 are kept), at most
        ``max_count``, as a recording array (see :data:`RECORD_DTYPE`). Its ``sample_time``
        is NaN: the ring does not keep which timestamp restart a result belongs to (the
        recording does; or map a timestamp with :func:`timestamp_to_host_clock`)."""
        if max_count is not None:
            max_count = int_arg("max_count", max_count, 0, 2**63 - 1)
        return _saccadrix.take_results(max_count)

    @property
    def pending(self) -> int:
        """The number of results waiting in the ring."""
        return _saccadrix.pending_results()

    def flush(self) -> None:
        """Empties the ring (not the newest result, not the recording)."""
        _saccadrix.flush_results()

    def set_results_type(self, results_type: str) -> None:
        """Chooses ``"raw"`` results (pupil and reflection positions) or ``"calibrated"``
        ones (gaze vectors and angles), and empties the ring of the other kind."""
        if results_type not in _RESULTS_TYPES:
            raise ValueError(f"results_type must be 'raw' or 'calibrated', not {results_type!r}")
        _saccadrix.set_results_type(_RESULTS_TYPES[results_type])

    def arm_timestamp(self) -> None:
        """Restarts the tracker's timestamp count (as starting a recording does)."""
        _saccadrix.arm_timestamp(1)

    # ---- recording

    def start_recording(self) -> None:
        """Starts a recording: discards the previous one (and its markers) and restarts the
        tracker's timestamp. Takes about 350 ms."""
        _saccadrix.start_tracking()

    def stop_recording(self) -> None:
        """Stops appending to the recording; the records stay."""
        _saccadrix.stop_tracking()

    @property
    def recording_started(self) -> bool:
        """True while a recording is started."""
        return _saccadrix.tracking_started()

    @property
    def recorded_count(self) -> int:
        """The number of stored records."""
        return _saccadrix.results_count()

    @property
    def recording_position(self) -> int:
        """The cursor of :meth:`read_recording` in the stored records (0 = first); settable."""
        return _saccadrix.buffer_position()

    @recording_position.setter
    def recording_position(self, position: int) -> None:
        _saccadrix.set_buffer_position(int_arg("position", position, 0, INT32_MAX))

    def recording(self, remove: bool = False) -> np.ndarray:
        """The whole stored recording as a NumPy structured array (:data:`RECORD_DTYPE`),
        from its first record: ``rec['timestamp']``, ``rec['eye0_pupil_x']``,
        ``rec['host_time']``, ``rec['sample_time']``. Works also after :meth:`close`.

        Args:
            remove: remove the records from the library as they are read (the array is then
                the only copy).
        """
        return _saccadrix.read_stored(-1, bool(remove), True)

    def read_recording(self, count: Optional[int] = None, remove: bool = False) -> np.ndarray:
        """Up to ``count`` stored records (None: all that are left) from the cursor
        (:attr:`recording_position`), which moves past them. While a recording runs, call it
        again for the records added since: none is returned twice or skipped. With
        ``remove`` the records are removed from the library as they are read."""
        n = -1 if count is None else int_arg("count", count, 0, 2**63 - 1)
        return _saccadrix.read_stored(n, bool(remove), False)

    def recording_chunks(self, chunk_size: int = 65536, remove: bool = True) -> Iterator[np.ndarray]:
        """Yields the stored recording from its first record in arrays of at most
        ``chunk_size`` rows until none is left. With ``remove`` (the default) each chunk is
        removed from the library as it is read, so a long recording is never held twice::

            for chunk in tracker.recording_chunks():
                np.save(out, chunk)
        """
        size = int_arg("chunk_size", chunk_size, 1, INT32_MAX)
        rewind = True
        while True:
            chunk = _saccadrix.read_stored(size, bool(remove), rewind)
            rewind = False
            if len(chunk) == 0:
                return
            yield chunk

    def clear_recording(self) -> None:
        """Frees the stored recording and its markers."""
        _saccadrix.clear_data_buffer()

    def add_marker(self, text: str) -> None:
        """Stores a marker in the recording: the host time now and ``text`` (at most 255
        bytes in UTF-8). Cheap (well under a microsecond in the library); any thread may call
        it, also before the first record or with the tracker closed."""
        if not isinstance(text, str):
            raise TypeError(f"a marker text must be a str, not {type(text).__name__}")
        _saccadrix.add_marker(text)

    def markers(self) -> List[Marker]:
        """The recording's markers, in the order they were added."""
        return [Marker(*m) for m in _saccadrix.markers()]

    # ---- eye-movement events and validation

    def set_event_detection(self, on: bool = True, eye: int = -1, **params) -> None:
        """Turns live event detection on (or off) for ``eye`` 0, 1 or -1 (both).

        While calibrated results stream, the library detects fixations, saccades, PSOs,
        pursuits and blinks as records are decoded and queues the events; take them with
        :meth:`events`. Turning it on starts afresh (the thresholds are learnt again from the
        records that follow); ``**params`` as :func:`saccadrix.detect_events` takes them.
        Raw results are not detected on."""
        if eye not in (-1, 0, 1):
            raise ValueError("eye must be 0, 1 or -1 (both)")
        _saccadrix.set_event_detection(int(eye), bool(on), params)

    def events(self) -> np.ndarray:
        """Takes every queued live event, oldest first, as an array of
        :data:`saccadrix.EVENT_DTYPE`. Each event comes twice: when it begins (``phase`` 1,
        START: start fields only) and whole when it ends (``phase`` 2, END). Times are sample
        times on :func:`host_clock`; ``detected_time`` is when the deciding record was read.
        The queue holds 1024 events; when it was full, an event's ``dropped`` says how many
        were lost just before it."""
        return _saccadrix.take_events()

    def validate(self, targets, *, eye: int = 0, viewing_distance: float = 0.0,
                 skip: float = 0.3, time: str = "sample_time") -> "Validation":
        """Validates the stored recording (calibrated results) against targets whose windows
        are seconds on the host clock (``time``: ``sample_time`` or ``host_time``); see
        :func:`saccadrix.validate_recording`. The recording is read, not removed."""
        from ._analysis import validate_recording
        return validate_recording(self.recording(), targets, eye=eye,
                                  viewing_distance=viewing_distance, skip=skip, time=time)

    # ---- gaze calibration

    def fit_calibration(self, targets, eye_scale: float = 100.0,
                        viewing_distance: float = 600.0) -> Tuple[np.ndarray, int]:
        """Fits a gaze calibration without storing it.

        Args:
            targets: N-by-4 array-like, one row per target: target x, target y (in the target
                plane, unit of the viewing distance), eye x, eye y (the eye position measured
                while the target was shown). The first 16 are used; up to 8 give an affine
                fit, 9 to 16 a projective one.
            eye_scale: the eye positions are divided by it first.
            viewing_distance: distance of the target plane.

        Returns:
            (matrix, residual): the 4x4 matrix, and the summed distance between each target
            and its fitted point (an integer).
        """
        return _saccadrix.fit_calibration(_targets(targets), float_arg("eye_scale", eye_scale),
                                          float_arg("viewing_distance", viewing_distance))

    def calibrate(self, eye: int, targets, eye_scale: float = 100.0,
                  viewing_distance: float = 600.0, aux1: float = 0.0, aux2: float = 0.0) -> int:
        """Fits a gaze calibration for ``eye`` (0 or 1) from targets (see
        :meth:`fit_calibration`), stores it on the tracker and verifies it by reading it back.
        Returns the fit's residual.

        Raises:
            CalibrationMismatch: what was read back differs from what was stored.
        """
        return _saccadrix.calibrate_device(
            eye_arg(eye), _targets(targets), float_arg("eye_scale", eye_scale),
            float_arg("viewing_distance", viewing_distance), float_arg("aux1", aux1),
            float_arg("aux2", aux2))

    def store_calibration(self, eye: int, calibration: GazeCalibration) -> None:
        """Stores a gaze calibration for ``eye`` and verifies it by reading it back. The
        matrix travels as 32-bit floats; eye scale and viewing distance as integers."""
        if not isinstance(calibration, GazeCalibration):
            raise TypeError("calibration must be a saccadrix.GazeCalibration")
        _saccadrix.set_calibration(
            eye_arg(eye), _matrix(calibration.matrix),
            float_arg("eye_scale", calibration.eye_scale),
            float_arg("viewing_distance", calibration.viewing_distance),
            float_arg("aux1", calibration.aux1), float_arg("aux2", calibration.aux2))

    def calibration(self, eye: int) -> GazeCalibration:
        """The gaze calibration the tracker holds for ``eye`` (0 or 1)."""
        matrix, eye_scale, viewing_distance, aux1, aux2 = _saccadrix.get_calibration(eye_arg(eye))
        return GazeCalibration(matrix, eye_scale, viewing_distance, aux1, aux2)

    def is_calibrated(self, eye: int) -> bool:
        """True when the tracker holds a gaze calibration for ``eye``."""
        return _saccadrix.get_calibrated(eye_arg(eye))

    def save_calibration(self, path: PathLike) -> None:
        """Saves both eyes' gaze calibrations and the pupil calibration to a calibration file
        (``str`` or :class:`pathlib.Path`). The file is replaced only once the new one is
        complete. Raises :class:`FileError` when it cannot be written."""
        _saccadrix.save_calibration(os.fsencode(path))

    def load_calibration(self, path: PathLike) -> None:
        """Stores a calibration file's calibrations on the tracker, verifying each.

        Raises:
            FileError: the file cannot be read or is not a valid calibration file (the
                tracker is then untouched).
        """
        _saccadrix.load_calibration(os.fsencode(path))

    @property
    def pupil_scale(self) -> float:
        """The tracker's pupil calibration scale (0 when not calibrated)."""
        return _saccadrix.get_pupil_calibration()

    @property
    def pupil_calibrated(self) -> bool:
        """True when the tracker holds a pupil calibration."""
        return self.pupil_scale > 0

    def set_pupil_calibration(self, reference: float, value: float) -> None:
        """Stores the pupil calibration: scale = value / reference (reference at least 0.1)."""
        _saccadrix.set_pupil_calibration(float_arg("reference", reference), float_arg("value", value))

    # ---- settings

    @property
    def tracking(self) -> Tuple[bool, bool]:
        """The two tracking flags; settable with a pair of bools."""
        return _saccadrix.get_tracking()

    @tracking.setter
    def tracking(self, flags: Tuple[bool, bool]) -> None:
        first, second = flags
        _saccadrix.set_tracking(bool(first), bool(second))

    @property
    def tracking_mode(self) -> int:
        """The tracking mode (it cannot be changed from the host)."""
        return _saccadrix.get_tracking_mode()

    @property
    def capture_config(self) -> Tuple[int, int, int, int, int]:
        """The capture configuration: five values, the third the capture rate (frames/s)."""
        return _saccadrix.get_capture_config()

    @property
    def capture_rate(self) -> int:
        """The capture rate in frames per second."""
        return self.capture_config[2]

    def get_param(self, param_id: int) -> int:
        """A numbered tracker parameter (the tracker answers its low byte: 0..255)."""
        return _saccadrix.get_param(int_arg("param_id", param_id, 0, 0xFFFF))

    def set_param(self, param_id: int, value: int) -> None:
        """Sets a numbered tracker parameter."""
        _saccadrix.set_param(int_arg("param_id", param_id, 0, 0xFFFF),
                             int_arg("value", value, INT32_MIN, INT32_MAX))

    def pin_function(self, pin: int) -> bytes:
        """The 46-byte configuration record of digital pin 1..32 (model code 4)."""
        return _saccadrix.get_pin_function(int_arg("pin", pin, 1, 32))

    def set_pin_function(self, pin: int, record: bytes) -> None:
        """Stores the 46-byte configuration record of digital pin 1..32 (model code 4)."""
        _saccadrix.set_pin_function(int_arg("pin", pin, 1, 32), _record_bytes(record, 46))

    def analogue_function(self, channel: int) -> bytes:
        """The 26-byte configuration record of analogue channel 1..8 (model code 4)."""
        return _saccadrix.get_analogue_function(int_arg("channel", channel, 1, 8))

    def set_analogue_function(self, channel: int, record: bytes) -> None:
        """Stores the 26-byte configuration record of analogue channel 1..8 (model code 4)."""
        _saccadrix.set_analogue_function(int_arg("channel", channel, 1, 8), _record_bytes(record, 26))

    @property
    def ipv4_config(self) -> Tuple[int, int, int, int, int, int]:
        """The network configuration: a flag and five values (model code 4); settable."""
        return _saccadrix.get_ipv4_config()

    @ipv4_config.setter
    def ipv4_config(self, config: Tuple[int, int, int, int, int, int]) -> None:
        if len(config) != 6:
            raise ValueError("the network configuration is a flag and five values")
        flag = int_arg("flag", config[0], 0, 255)
        values = [int_arg(f"value{i}", v, INT32_MIN, INT32_MAX) for i, v in enumerate(config[1:], 1)]
        _saccadrix.set_ipv4_config(flag, *values)

    @property
    def ethernet(self) -> Tuple[str, str]:
        """(hardware address, network information) texts of the tracker (model code 4)."""
        return _saccadrix.get_ethernet()

    def save_captured_images(self) -> None:
        """Asks the tracker to save the images it has captured (model code 4)."""
        _saccadrix.save_captured_images()


def _targets(targets) -> np.ndarray:
    array = np.asarray(targets, dtype=np.float64)
    if array.ndim != 2 or array.shape[1] != 4:
        raise ValueError(
            "targets must be N-by-4 (target_x, target_y, eye_x, eye_y), not of shape "
            f"{array.shape}")
    return np.ascontiguousarray(array)


def _matrix(matrix) -> np.ndarray:
    array = np.asarray(matrix, dtype=np.float64)
    if array.shape not in ((4, 4), (16,)):
        raise ValueError(f"a calibration matrix is 4-by-4, not of shape {array.shape}")
    return np.ascontiguousarray(array)


def _record_bytes(record, size: int) -> bytes:
    if not isinstance(record, (bytes, bytearray, memoryview)):
        raise TypeError(f"a configuration record is {size} bytes, not {type(record).__name__}")
    data = bytes(record)
    if len(data) != size:
        raise ValueError(f"a configuration record is {size} bytes, not {len(data)}")
    return data
