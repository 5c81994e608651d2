"""The tracker's camera: preview and Motion-JPEG recording through the video library."""

from __future__ import annotations

import os

from . import _saccadrix
from ._records import int_arg


def video_library_version() -> int:
    """The video library's version number (43 on Linux)."""
    _require_video()
    return _saccadrix.video_library_version()


def _require_video() -> None:
    if not _saccadrix.has_video:
        raise RuntimeError("this build of saccadrix has no video library")


class Camera:
    """The tracker's camera, found among the system's video devices. Its pipeline is one per
    process; :meth:`stop` (or leaving a ``with`` block) releases it::

        with saccadrix.Camera() as camera:
            camera.start_recording("trial.avi")
            ...
            camera.stop_recording()    # the file is complete and indexed when this returns

    Args:
        window: native window (an X11 window id) to draw the preview into; 0 lets the preview
            open a window of its own.
        alternate_sink: draw the preview with the X video extension instead of OpenGL.

    Calls wait for the pipeline (up to seconds) without holding the GIL.

    Raises (from the starting methods):
        CameraNotFound: no camera of a tracker is attached.
        VideoError: the pipeline could not be built or started.
    """

    def __init__(self, window: int = 0, alternate_sink: bool = False) -> None:
        _require_video()
        _saccadrix.video_init(int_arg("window", window, 0, 2**64 - 1), bool(alternate_sink))

    def start_preview(self) -> None:
        """Shows the camera's live picture (needs a display)."""
        _saccadrix.video_start()

    def start_recording(self, path) -> None:
        """Records the camera to ``path`` (``str`` or :class:`pathlib.Path`) as Motion-JPEG
        in an AVI file; the preview goes on if it was started. A second call finishes the
        first file and starts the new one."""
        _saccadrix.video_start_record(os.fsencode(path))

    def stop_recording(self) -> None:
        """Finishes the file (complete and indexed when this returns); the preview, if it was
        shown, comes back."""
        _saccadrix.video_stop_record()

    def stop(self) -> None:
        """Stops the preview or recording and releases the camera. Safe when nothing runs."""
        _saccadrix.video_stop()

    @property
    def running(self) -> bool:
        """True while the preview or a recording runs (False after a stop, or when the
        camera's stream ended or failed)."""
        return not _saccadrix.video_stopped()

    def __enter__(self) -> "Camera":
        return self

    def __exit__(self, *exc_info) -> None:
        self.stop()
