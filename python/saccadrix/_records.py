"""Records and calibrations as Python values: the recording array's columns, markers,
gaze calibrations, and conversion to pandas."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import NamedTuple, Tuple

import numpy as np

from . import _saccadrix

#: The NumPy dtype of recording arrays: the 41 result columns under the command-line tool's
#: CSV names (``timestamp``, ``results_type``, ``eye0_pupil_x`` ... ``unused``), then
#: ``host_time`` and ``sample_time`` (seconds of :func:`host_clock`).
RECORD_DTYPE: np.dtype = _saccadrix.record_dtype()

#: The 41 result columns, in order (the first 41 fields of :data:`RECORD_DTYPE`).
COLUMNS: Tuple[str, ...] = tuple(RECORD_DTYPE.names[:41])


class Marker(NamedTuple):
    """A marker of the recording: when it was added, and its text.

    Attributes:
        host_time: the host clock (s) when :meth:`Tracker.add_marker` was called.
        timestamp: the tracker's timestamp at that moment, as the clock mapping estimates it
            (0 when there is no mapping, or for a moment before the timestamp restarted).
        text: the marker's text.
    """

    host_time: float
    timestamp: int
    text: str


@dataclass
class GazeCalibration:
    """A gaze calibration of one eye as the tracker stores it.

    Attributes:
        matrix: 4x4 array mapping the eye position onto the target plane (row-major).
        eye_scale: the eye positions are divided by this before the matrix is applied
            (stored as an integer).
        viewing_distance: the distance of the target plane (stored as an integer on model
            code 4).
        aux1, aux2: two values stored with the calibration for the caller's own use.
    """

    matrix: np.ndarray
    eye_scale: float
    viewing_distance: float
    aux1: float = 0.0
    aux2: float = 0.0


def to_pandas(records: np.ndarray):
    """A pandas DataFrame of a recording array (one column per field). Needs pandas."""
    try:
        import pandas
    except ImportError as e:  # pragma: no cover - depends on the installation
        raise ImportError("saccadrix.to_pandas needs pandas (pip install pandas)") from e
    return pandas.DataFrame.from_records(records)


# ---- Argument checks shared by the wrappers: clear errors before anything reaches a library.


def int_arg(name: str, value, low: int, high: int) -> int:
    """value as an int within [low, high]; TypeError for non-integers (floats included)."""
    try:
        number = value.__index__()
    except AttributeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None
    if not low <= number <= high:
        raise ValueError(f"{name} must be within {low}..{high}, not {number}")
    return number


def float_arg(name: str, value) -> float:
    """value as a finite float."""
    if isinstance(value, (str, bytes)):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}") from None
    if not math.isfinite(number):
        raise ValueError(f"{name} must be finite, not {number}")
    return number


def eye_arg(eye) -> int:
    return int_arg("eye", eye, 0, 1)


INT32_MIN = -(2**31)
INT32_MAX = 2**31 - 1
