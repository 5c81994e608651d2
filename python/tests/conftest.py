"""Shared pieces of the package's tests. CTest runs each test file in its own process with
the virtual tracker preloaded in hidapi's place and configured from the environment
(python/tests/CMakeLists.txt says which simulated trackers each file gets)."""

import os
import random
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


def pytest_collection_modifyitems(config, items):
    """SACCADRIX_TEST_SHUFFLE=<seed> runs the cases in a random order (no case may depend on
    another having run before it); the seed is printed."""
    seed = os.environ.get("SACCADRIX_TEST_SHUFFLE")
    if seed:
        seed = int(seed) if seed.isdigit() and seed != "1" else random.randrange(1 << 30)
        print(f"shuffling the cases with seed {seed}")
        random.Random(seed).shuffle(items)
