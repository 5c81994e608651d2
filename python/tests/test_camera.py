"""The tracker's camera through the video library, against the simulated camera that
GStreamer finds as a plug-in (CTest runs the recording case with the default simulated
camera and the other case with none)."""

import pathlib
import time

import pytest

import saccadrix
from conftest import wait_until


def avi_frames(path: pathlib.Path) -> int:
    """Video chunks in an AVI file's index (an independent reading of the file)."""
    data = path.read_bytes()
    assert data[:4] == b"RIFF" and data[8:12] == b"AVI "
    index = data.find(b"idx1")
    assert index > 0, "the file has its index: the recording was finished"
    size = int.from_bytes(data[index + 4:index + 8], "little")
    entries = data[index + 8:index + 8 + size]
    return sum(1 for i in range(0, len(entries), 16) if entries[i:i + 4] in (b"00dc", b"00db"))


def test_recording_writes_a_complete_file_and_stop_releases_the_camera(tmp_path):
    assert saccadrix.video_library_version() == 43
    path = tmp_path / "trial camera.avi"
    with saccadrix.Camera() as camera:
        camera.start_recording(path)
        assert camera.running
        wait_until(lambda: path.exists() and path.stat().st_size > 20000, what="recorded frames")
        camera.stop_recording()
        assert avi_frames(path) > 0
        second = tmp_path / "second.avi"
        camera.start_recording(str(second))
        time.sleep(0.3)
    assert not camera.running
    assert avi_frames(second) > 0  # leaving the block finished the file


def test_no_camera_raises_camera_not_found(tmp_path):
    with saccadrix.Camera() as camera:
        with pytest.raises(saccadrix.CameraNotFound) as info:
            camera.start_recording(tmp_path / "a.avi")
        assert info.value.status == -15 and "camera" in info.value.text
        with pytest.raises(ValueError, match="NUL"):
            camera.start_recording("a\0b.avi")
