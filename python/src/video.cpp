// The video library's functions for the package's Camera class. The library keeps one
// pipeline per process and wants one caller at a time: its calls are serialised here, and
// every call leaves the GIL (starting and stopping take up to seconds).
#include <pybind11/pybind11.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "calls.h"
#if defined(SACCADRIX_PYTHON_HAS_VIDEO)
#include "saccadrix/saccadrix_gs.h"
#endif

namespace py = pybind11;

namespace saccadrix::python {

#if defined(SACCADRIX_PYTHON_HAS_VIDEO)
namespace {

std::mutex video_mutex;

template <class F>
int VideoCall(const char* what, F&& f) {
  int status = 0;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(video_mutex);
    status = f();
  }
  return Check(status, what, Source::kVideo);
}

}  // namespace

void BindVideo(py::module_& m) {
  m.attr("has_video") = true;
  m.def("video_library_version", [] { return zelSaccadrixGetLibGSVersion(); });
  m.def("video_init", [](uintptr_t window, bool alternate_sink) {
    VideoCall("cannot set up the camera preview",
              [&] { return zelSaccadrixVideoInit(window, alternate_sink); });
  });
  m.def("video_start", [] {
    VideoCall("cannot start the camera preview", [] { return zelSaccadrixVideoStart(); });
  });
  m.def("video_stop", [] {
    VideoCall("cannot stop the camera", [] { return zelSaccadrixVideoStop(); });
  });
  m.def("video_stopped", [] {
    return VideoCall("cannot ask whether the camera runs",
                     [] { return zelSaccadrixVideoStopped(); }) != 0;
  });
  m.def("video_start_record", [](const py::bytes& path) {
    const std::string p = path;
    if (p.empty() || p.find('\0') != std::string::npos) {
      throw py::value_error("a video file path must be non-empty and contain no NUL character");
    }
    VideoCall("cannot start recording the camera",
              [&] { return zelSaccadrixVideoStartRecord(p.c_str()); });
  });
  m.def("video_stop_record", [] {
    VideoCall("cannot finish the camera recording", [] { return zelSaccadrixVideoStopRecord(); });
  });
}
#else
void BindVideo(py::module_& m) { m.attr("has_video") = false; }
#endif

}  // namespace saccadrix::python
