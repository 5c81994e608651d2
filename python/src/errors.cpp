// Failed statuses become exceptions of the package's hierarchy (saccadrix/_errors.py). The
// hierarchy and the choice of class live in Python; the text of each status comes from the
// library that returned it.
#include <pybind11/pybind11.h>

#include "calls.h"
#include "saccadrix/saccadrix.h"
#if defined(SACCADRIX_PYTHON_HAS_VIDEO)
#include "saccadrix/saccadrix_gs.h"
#endif

namespace py = pybind11;

namespace saccadrix::python {

namespace {

const char* SourceName(Source source) {
  switch (source) {
    case Source::kOpen: return "open";
    case Source::kDevice: return "device";
    case Source::kVideo: return "video";
  }
  return "device";
}

const char* VideoStatusText(int status) {
#if defined(SACCADRIX_PYTHON_HAS_VIDEO)
  return zelSaccadrixVideoStatusText(status);
#else
  (void)status;
  return "this build of the package has no video library";
#endif
}

}  // namespace

Gate& TheGate() {
  static Gate gate;
  return gate;
}

void BindErrors(py::module_& m) {
  m.def("status_text", [](int status) { return std::string(zelSaccadrixStatusText(status)); },
        py::arg("status"), "The device library's text for a status code.");
  m.def("video_status_text", [](int status) { return std::string(VideoStatusText(status)); },
        py::arg("status"), "The video library's text for a status code.");

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const StatusError& e) {
      const char* text = e.source == Source::kVideo ? VideoStatusText(e.status)
                                                     : zelSaccadrixStatusText(e.status);
      // The exception is made by the package's Python side, which chooses the class.
      py::object error = py::module_::import("saccadrix._errors")
                             .attr("error_for_status")(SourceName(e.source), e.status, text, e.what);
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    }
  });
}

}  // namespace saccadrix::python
