"""Opening and closing: one Tracker per process, closing on leaving a with block (also on an
exception), the recording outliving the connection, and calls after close. No module-wide
tracker here: each case opens its own."""

import pytest

import saccadrix
from conftest import wait_until


def test_a_second_tracker_raises_and_leaves_the_first_open():
    with saccadrix.Tracker() as first:
        with pytest.raises(saccadrix.AlreadyOpen) as info:
            saccadrix.Tracker()
        assert info.value.status is None and isinstance(info.value, saccadrix.Error)
        assert not first.closed
        assert first.next_result(timeout=10) is not None


def test_leaving_the_with_block_by_an_exception_closes_the_tracker():
    with pytest.raises(KeyError):
        with saccadrix.Tracker() as t:
            raise KeyError("the experiment failed")
    assert t.closed
    with pytest.raises(saccadrix.NotConnected):
        t.pending
    with saccadrix.Tracker() as again:  # free to open again
        assert again.model == 4


def test_a_dropped_tracker_lets_the_connection_go():
    saccadrix.Tracker().flush()  # never closed by name
    with saccadrix.Tracker() as t:
        assert not t.closed


def test_the_recording_outlives_close_and_calls_needing_the_tracker_raise():
    with saccadrix.Tracker() as t:
        t.start_recording()
        t.add_marker("before close")
        wait_until(lambda: t.recorded_count >= 100, what="100 stored results")
    n = t.recorded_count
    with pytest.raises(saccadrix.NotConnected) as info:
        t.latest()
    assert info.value.status == -100 and "no open connection" in str(info.value)
    for call in (lambda: t.serial_number, lambda: t.tracking, lambda: t.start_recording(),
                 lambda: t.calibration(0)):
        with pytest.raises(saccadrix.NotConnected):
            call()
    rec = t.recording()
    assert len(rec) == n and rec["timestamp"][0] == 0
    assert [m.text for m in t.markers()] == ["before close"]
    t.close()  # a second close is harmless
    t.add_marker("after close")  # markers need no connection
    assert [m.text for m in t.markers()] == ["before close", "after close"]


def test_a_tracker_closed_by_another_thread_ends_a_waiting_read():
    import threading

    t = saccadrix.Tracker()
    t.flush()
    errors = []

    def wait_for_ever():
        try:
            while True:
                t.next_result()
        except saccadrix.Error as e:
            errors.append(e)

    reader = threading.Thread(target=wait_for_ever)
    reader.start()
    t.close()
    reader.join(timeout=60)
    assert not reader.is_alive()
    assert isinstance(errors[0], saccadrix.NotConnected)
