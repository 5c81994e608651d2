"""Device settings: each set-and-read-back pair against the simulated tracker, and what a
model code 2 tracker does not support. The same file runs against both models (CTest runs
it twice); the tracker's model code chooses the expectations."""

import pytest

import saccadrix

PIN_RECORD = bytes(range(46))
ANALOGUE_RECORD = bytes(range(100, 126))


def test_parameters_and_tracking_flags_round_trip(tracker):
    tracker.set_param(12, 40)
    assert tracker.get_param(12) == 40
    tracker.set_param(13, 300)
    assert tracker.get_param(13) == 300 % 256  # the tracker answers the low byte
    tracker.tracking = (True, False)
    assert tracker.tracking == (True, False)
    tracker.tracking = (False, True)
    assert tracker.tracking == (False, True)
    tracker.tracking = (True, True)


MODEL4_ONLY = [
    ("pin record", lambda t: t.set_pin_function(3, PIN_RECORD), lambda t: t.pin_function(3) == PIN_RECORD),
    ("analogue record", lambda t: t.set_analogue_function(8, ANALOGUE_RECORD),
     lambda t: t.analogue_function(8) == ANALOGUE_RECORD),
    ("network", lambda t: setattr(t, "ipv4_config", (0, 1, -2, 3, 4, 2**31 - 1)),
     lambda t: t.ipv4_config == (0, 1, -2, 3, 4, 2**31 - 1)),
    ("ethernet", lambda t: None, lambda t: t.ethernet == ("00:1B:C5:0A:21:7F", "192.168.1.100")),
    ("save images", lambda t: t.save_captured_images(), lambda t: True),
]


@pytest.mark.parametrize("name,change,check", MODEL4_ONLY, ids=[r[0] for r in MODEL4_ONLY])
def test_model4_settings_round_trip_or_are_not_supported(tracker, name, change, check):
    if tracker.model == 4:
        change(tracker)
        assert check(tracker)
    else:
        with pytest.raises(saccadrix.NotSupported) as info:
            change(tracker)
            check(tracker)
        assert info.value.status == -4


def test_modes_and_capture_configuration(tracker):
    assert tracker.tracking_mode == 1
    config = tracker.capture_config
    assert len(config) == 5 and tracker.capture_rate == config[2]
    if tracker.model == 4:
        assert config == (640, 480, 250, 0, 0)  # the rate field is the stream rate
    else:  # estimated from the rate of results (250 per second read as 60)
        assert config[2] == 60


BAD_CALLS = [
    (lambda t: t.set_param(-1, 0), ValueError, "param_id"),
    (lambda t: t.set_param(1, 2**31), ValueError, "value"),
    (lambda t: t.set_param(1.5, 0), TypeError, "integer"),
    (lambda t: t.pin_function(0), ValueError, "pin"),
    (lambda t: t.pin_function(33), ValueError, "pin"),
    (lambda t: t.set_pin_function(1, b"\0" * 45), ValueError, "46 bytes"),
    (lambda t: t.set_pin_function(1, "x" * 46), TypeError, "46 bytes"),
    (lambda t: t.analogue_function(9), ValueError, "channel"),
    (lambda t: setattr(t, "ipv4_config", (256, 0, 0, 0, 0, 0)), ValueError, "flag"),
    (lambda t: setattr(t, "ipv4_config", (1, 2, 3)), ValueError, "five values"),
]


@pytest.mark.parametrize("call,error,message", BAD_CALLS)
def test_bad_setting_arguments_raise_before_anything_is_sent(tracker, call, error, message):
    tracker.set_param(12, 7)
    with pytest.raises(error, match=message):
        call(tracker)
    assert tracker.get_param(12) == 7
