"""Eye-movement events and calibration validation: the device library's analysis layer."""

from __future__ import annotations

from enum import IntEnum
from typing import List, NamedTuple, Optional, Tuple

import numpy as np

from . import _saccadrix

#: The layout of an event (the library's T_EVENT_STRUCT): type, eye, phase, flags, dropped,
#: start_index, end_index, sample_count, start_timestamp, end_timestamp, start_time,
#: end_time, detected_time, start_x, start_y, end_x, end_y, mean_x, mean_y, amplitude,
#: peak_velocity.
EVENT_DTYPE: np.dtype = _saccadrix.event_dtype()


class EventType(IntEnum):
    """Sample labels and event types."""

    UNDEFINED = 0
    FIXATION = 1
    SACCADE = 2
    PSO = 3  #: post-saccadic oscillation
    PURSUIT = 4  #: smooth pursuit
    BLINK = 5  #: blink or lost samples


class EventPhase(IntEnum):
    """Live events come twice: when they begin (START, start fields only) and whole (END)."""

    START = 1
    END = 2


#: events['flags'] bits: the data ended inside the event; a live saccade START that was not
#: a saccade after all.
EVENT_FLAG_CUT = 1
EVENT_FLAG_REJECTED = 2


def default_event_params() -> dict:
    """The detection's parameters and their defaults, as keyword arguments of
    :func:`detect_events` and :meth:`Tracker.set_event_detection` take them."""
    return _saccadrix.default_event_params()


def detect_events(time, x, y, **params) -> Tuple[np.ndarray, np.ndarray]:
    """Labels gaze samples and lists their fixations, saccades, PSOs, pursuits and blinks.

    Args:
        time: sample times in seconds, finite and strictly increasing (any clock; uneven
            sampling is fine).
        x, y: gaze directions in degrees, one per time; NaN = lost sample.
        **params: any of :func:`default_event_params` (e.g. ``min_saccade_duration=0.012``);
            an unknown name raises TypeError, a value out of range InvalidArgument.

    Returns:
        (labels, events): an int8 label per sample (:class:`EventType` values), and the
        events in time order as an array of :data:`EVENT_DTYPE` (``events['type']``,
        ``events['start_index']``, ``events['amplitude']``...).

    The method (adaptive velocity thresholds after Nystrom & Holmqvist 2010, pursuit after
    Larsson et al. 2015) and every parameter are described in the kit's analysis/README.md.
    """
    return _saccadrix.detect_events(time, x, y, params)


class ValidationResult(NamedTuple):
    """How far gaze landed from a target (or from all of them), in degrees."""

    accuracy: float  #: mean angle between gaze and target direction
    offset_x: float  #: mean horizontal offset, gaze minus target (signed)
    offset_y: float  #: mean vertical offset
    precision_rms: float  #: RMS of the angles between successive samples
    precision_sd: float  #: SD of the samples' angles from their mean direction
    data_loss: float  #: percent of the window's samples without a tracked eye
    samples: int  #: samples in the window (after the skip)
    tracked: int  #: of which tracked


class Validation(NamedTuple):
    """A validation: one result per target, and over all targets."""

    per_target: List[ValidationResult]
    overall: ValidationResult

    def table(self) -> str:
        """The figures as a printable table."""
        lines = ["target  accuracy  offset x  offset y   RMS s2s        SD  data loss  samples"]
        rows = [(str(k + 1), r) for k, r in enumerate(self.per_target)] + [("all", self.overall)]
        for name, r in rows:
            lines.append(f"{name:>6}  {r.accuracy:7.3f}°  {r.offset_x:7.3f}°  {r.offset_y:7.3f}°"
                         f"  {r.precision_rms:7.4f}°  {r.precision_sd:7.4f}°  {r.data_loss:8.1f}%"
                         f"  {r.samples:7d}")
        return "\n".join(lines)


def validate(gaze, targets, *, time=None, tracked=None, viewing_distance: float = 0.0,
             skip: float = 0.0, windows_in_samples: bool = False) -> Validation:
    """Accuracy, precision and data loss of one eye's gaze against targets, in degrees.

    Args:
        gaze: N-by-3 gaze vectors (x, y, z), z towards the target plane (the calibrated gaze
            of a record: ``eye0_gaze_x``, ``eye0_gaze_y``, ``eye0_gaze_z``).
        targets: K-by-4 rows (x, y, window start, window end): the target on the target plane
            at ``viewing_distance``, or as angles in degrees when ``viewing_distance`` is 0;
            its window in seconds on the clock of ``time`` (or sample indices with
            ``windows_in_samples``), start included, end excluded.
        time: N sample times in seconds (needed for windows in seconds and for ``skip``).
        tracked: N flags, true where the eye was tracked (default: all).
        skip: seconds left out at the start of each window (the saccade landing; 0.3 is usual).

    Returns:
        :class:`Validation`; NaN where a figure has no sample to come from.
    """
    rows, overall = _saccadrix.validate(time, gaze, tracked, targets, float(viewing_distance),
                                        float(skip), bool(windows_in_samples))
    return Validation([ValidationResult(*r) for r in rows], ValidationResult(*overall))


def validate_recording(recording: np.ndarray, targets, *, eye: int = 0,
                       viewing_distance: float = 0.0, skip: float = 0.3,
                       time: str = "sample_time") -> Validation:
    """:func:`validate` on a recording of calibrated results (``Tracker.recording()``): the
    eye's gaze vectors and tracked flags, the windows in seconds of the column ``time``
    (``sample_time`` or ``host_time``, as the times of markers are)."""
    if eye not in (0, 1):
        raise ValueError("eye must be 0 or 1")
    if recording.size and not np.all(recording["results_type"] == 1):
        raise ValueError("validate_recording needs calibrated results (results type 1)")
    p = f"eye{eye}_"
    gaze = np.column_stack([recording[p + "gaze_x"], recording[p + "gaze_y"],
                            recording[p + "gaze_z"]]).astype(np.float64)
    return validate(gaze, targets, time=recording[time], tracked=recording[p + "tracked"] != 0,
                    viewing_distance=viewing_distance, skip=skip)
