"""Shared pieces of the package's tests. CTest runs each test file in its own process with
the virtual tracker preloaded in hidapi's place and configured from the environment
(python/tests/CMakeLists.txt says which simulated trackers each file gets)."""

import time

import pytest

import saccadrix

# Deadlines for conditions: generous, the tests run on loaded machines.
DEADLINE = 30.0


def wait_until(condition, timeout=DEADLINE, what="the condition"):
    """Polls condition() until it is true; fails the test after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            pytest.fail(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.005)


@pytest.fixture(scope="module")
def tracker():
    """One open tracker for the cases of a test file (opening takes a while on a real
    tracker; the simulated one is opened without the settle time)."""
    with saccadrix.Tracker() as t:
        yield t
