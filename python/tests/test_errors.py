"""The exception hierarchy: every status class of both libraries, with the library's text."""

import pickle

import pytest

import saccadrix
from saccadrix import _saccadrix
from saccadrix._errors import error_for_status

CASES = [
    # (source, status, class, also a)
    ("open", -100, saccadrix.TrackerNotFound, None),
    ("open", -1, saccadrix.AccessDenied, None),
    ("open", -10, saccadrix.Error, None),
    ("device", -100, saccadrix.NotConnected, None),
    ("device", -1, saccadrix.NoAnswer, None),
    ("device", -2, saccadrix.NoAnswer, None),
    ("device", -3, saccadrix.InvalidArgument, ValueError),
    ("device", -4, saccadrix.NotSupported, None),
    ("device", -5, saccadrix.FileError, OSError),
    ("device", -6, saccadrix.FileError, OSError),
    ("device", -7, saccadrix.FileError, OSError),
    ("device", -8, saccadrix.FileError, OSError),
    ("device", -9, saccadrix.FileError, OSError),
    ("device", -10, saccadrix.Error, None),
    ("device", -15, saccadrix.NoRecord, None),
    ("device", -16, saccadrix.CalibrationMismatch, None),
    ("device", -17, saccadrix.NoClockMapping, None),
    ("device", -99, saccadrix.Error, None),
    ("video", -12, saccadrix.VideoError, None),
    ("video", -13, saccadrix.VideoError, None),
    ("video", -14, saccadrix.VideoError, None),
    ("video", -15, saccadrix.CameraNotFound, saccadrix.VideoError),
]


@pytest.mark.parametrize("source,status,cls,also", CASES)
def test_each_status_raises_its_class_with_the_librarys_text(source, status, cls, also):
    text = (_saccadrix.video_status_text if source == "video" else _saccadrix.status_text)(status)
    e = error_for_status(source, status, text, "cannot do it")
    assert type(e) is cls and isinstance(e, saccadrix.Error)
    assert also is None or isinstance(e, also)
    assert (e.status, e.text, e.what) == (status, text, "cannot do it")
    assert str(e) == f"cannot do it: {text} (status {status})"
    copy = pickle.loads(pickle.dumps(e))
    assert type(copy) is cls and str(copy) == str(e) and copy.status == status


def test_library_texts_differ_between_the_libraries_for_the_shared_code():
    assert _saccadrix.status_text(-15) != _saccadrix.video_status_text(-15)
    assert "unknown" in _saccadrix.status_text(-99)
