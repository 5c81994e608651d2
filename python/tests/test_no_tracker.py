"""Without any tracker attached (run with an empty device list)."""

import pytest

import saccadrix


def test_opening_without_a_tracker_raises_tracker_not_found():
    with pytest.raises(saccadrix.TrackerNotFound) as info:
        saccadrix.Tracker()
    e = info.value
    assert e.status == -100
    assert e.text == saccadrix._saccadrix.status_text(-100)
    assert str(e) == f"cannot open the tracker: {e.text} (status -100)"
    # Nothing was left open: a later attempt fails the same way, not as AlreadyOpen.
    with pytest.raises(saccadrix.TrackerNotFound):
        saccadrix.Tracker()


def test_what_needs_no_tracker_works_without_one():
    assert saccadrix.host_clock() > 0
    assert saccadrix.library_version() == 46
    with pytest.raises(saccadrix.NoClockMapping):
        saccadrix.timestamp_to_host_clock(1000)
