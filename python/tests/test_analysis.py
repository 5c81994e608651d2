"""Eye-movement events and validation from Python: the package's plumbing around the
library's detection and validation (the methods themselves are tested in C)."""

import numpy as np
import pytest

import saccadrix
from saccadrix import EventType


def _saccade_signal(rate=1000.0):
    """2 s of fixation noise with a 10 degree saccade at 1 s and a lost stretch at 1.5 s."""
    t = np.arange(0.0, 2.0, 1.0 / rate)
    x = np.zeros_like(t)
    moving = (t >= 1.0) & (t < 1.043)
    phase = (t[moving] - 1.0) / 0.043
    x[moving] = 10 * (phase - np.sin(2 * np.pi * phase) / (2 * np.pi))
    x[t >= 1.043] = 10
    x += np.random.default_rng(1).normal(0, 0.01, t.size)
    x[(t >= 1.5) & (t < 1.6)] = np.nan
    return t, x, np.zeros_like(t)


@pytest.mark.parametrize("rate", [250.0, 1000.0])
def test_offline_detection_finds_the_saccade_and_the_lost_stretch(rate):
    t, x, y = _saccade_signal(rate)
    labels, events = saccadrix.detect_events(t, x, y)
    assert labels.dtype == np.int8 and labels.shape == t.shape
    assert events.dtype == saccadrix.EVENT_DTYPE
    saccades = events[events["type"] == EventType.SACCADE]
    assert len(saccades) == 1
    assert saccades["start_time"][0] == pytest.approx(1.0, abs=0.01)
    assert saccades["amplitude"][0] == pytest.approx(10, abs=0.5)
    assert np.all(labels[np.isnan(x)] == EventType.BLINK)
    # The events index the arrays they came from.
    first, last = saccades["start_index"][0], saccades["end_index"][0]
    assert np.all(labels[first:last + 1] == EventType.SACCADE)
    # Parameters change what is found: an absurd minimum duration leaves no saccade.
    _, none = saccadrix.detect_events(t, x, y, min_saccade_duration=0.09)
    assert not np.any(none["type"] == EventType.SACCADE)


@pytest.mark.parametrize("call, error", [
    (lambda t, x, y: saccadrix.detect_events(t, x, y, no_such_parameter=1), TypeError),
    (lambda t, x, y: saccadrix.detect_events(t, x, y, peak_sigmas=1000.0), saccadrix.InvalidArgument),
    (lambda t, x, y: saccadrix.detect_events(t[::-1], x, y), saccadrix.InvalidArgument),
    (lambda t, x, y: saccadrix.detect_events(t, x[:-1], y), ValueError),
    (lambda t, x, y: saccadrix.detect_events(t, "x", y), (TypeError, ValueError)),
    (lambda t, x, y: saccadrix.detect_events(np.c_[t, t], x, y), ValueError),
])
def test_bad_detection_arguments_raise(call, error):
    t, x, y = _saccade_signal()
    with pytest.raises(error):
        call(t, x, y)


def test_defaults_name_every_parameter_and_are_accepted_back():
    params = saccadrix.default_event_params()
    assert params["min_saccade_duration"] == pytest.approx(0.010)
    t, x, y = _saccade_signal()
    labels_default, _ = saccadrix.detect_events(t, x, y)
    labels_given, _ = saccadrix.detect_events(t, x, y, **params)
    assert np.array_equal(labels_default, labels_given)


def test_validation_of_a_known_offset():
    # Gaze 0.5 degree right of each target, in angles (viewing distance 0).
    t = np.arange(0.0, 2.0, 0.001)
    target_x = np.where(t < 1.0, 0.0, 10.0)
    gaze_x = np.radians(target_x + 0.5)
    gaze = np.column_stack([np.tan(gaze_x), np.zeros_like(t), np.ones_like(t)])
    tracked = np.ones(t.size, bool)
    tracked[1500:1600] = False
    v = saccadrix.validate(gaze, [[0, 0, 0.0, 1.0], [10, 0, 1.0, 2.0]], time=t, tracked=tracked,
                           skip=0.3)
    assert [r.offset_x for r in v.per_target] == pytest.approx([0.5, 0.5], abs=1e-6)
    assert v.per_target[1].data_loss == pytest.approx(100 * 100 / 700)
    assert v.overall.accuracy == pytest.approx(0.5, abs=0.01)
    assert "all" in v.table()
    with pytest.raises(ValueError):
        saccadrix.validate(gaze[:, :2], [[0, 0, 0, 1]], time=t)
    with pytest.raises(saccadrix.InvalidArgument):
        saccadrix.validate(gaze, [[0, 0, 1.0, 0.5]], time=t)  # a window that ends first


def test_live_detection_switches_and_queues_into_the_event_layout(tracker):
    tracker.set_event_detection(True, eye=-1, live_threshold_time=1.0)
    events = tracker.events()
    assert events.dtype == saccadrix.EVENT_DTYPE
    tracker.set_event_detection(False)
    with pytest.raises(ValueError):
        tracker.set_event_detection(True, eye=2)
    with pytest.raises(saccadrix.InvalidArgument):
        tracker.set_event_detection(True, eye=0, live_threshold_time=-1.0)
