// How the module calls the libraries: every call leaves Python's GIL first (so other Python
// threads run while the device is busy), passes the call gate, and turns a failed status
// into a StatusError that becomes one of the saccadrix.Error exceptions.
#ifndef SACCADRIX_PYTHON_CALLS_H
#define SACCADRIX_PYTHON_CALLS_H

#include <pybind11/pybind11.h>

#include "saccadrix/saccadrix.h"

#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>

namespace saccadrix::python {

// Which library returned a status, and whether it came from opening the tracker (where -1
// means the device node could not be opened rather than a failed transfer).
enum class Source { kOpen, kDevice, kVideo };

// A failed status on its way to Python; the translator in errors.cpp raises the matching
// exception class with the library's text.
struct StatusError {
  Source source;
  int status;
  std::string what;  // what failed, e.g. "cannot read the pupil calibration"
};

[[noreturn]] inline void ThrowStatus(Source source, int status, std::string what) {
  throw StatusError{source, status, std::move(what)};
}

// A negative status raises; anything else is passed back.
inline int Check(int status, const char* what, Source source = Source::kDevice) {
  if (status < 0) ThrowStatus(source, status, what);
  return status;
}

// The device library forbids overlapping zelSaccadrixInit or zelSaccadrixClose with any other
// call. Python threads may call at any time, so ordinary calls share this gate and opening
// and closing hold it alone. The module also knows whether it opened the tracker: calls that
// need the connection fail as "no open connection" after Tracker.close(), instead of reaching
// a tracker that another part of the process may have opened.
struct Gate {
  std::shared_mutex mutex;
  bool open = false;  // written only under the exclusive lock
};
Gate& TheGate();

// Runs f() without the GIL under the shared gate. The GIL is released before the gate is
// taken: a thread waiting at the gate must never hold the GIL that the gate's holder may need.
template <class F>
auto Call(F&& f) {
  pybind11::gil_scoped_release nogil;
  std::shared_lock<std::shared_mutex> lock(TheGate().mutex);
  return f();
}

// As Call, for functions that need the open tracker: without it the status is
// SACCADRIX_E_NO_DEVICE and f is not called. Raises for a negative status.
template <class F>
int DeviceCall(const char* what, F&& f) {
  const int status = Call([&]() -> int {
    if (!TheGate().open) return SACCADRIX_E_NO_DEVICE;
    return f();
  });
  return Check(status, what);
}

// Registers the translation of StatusError into the package's exception classes.
void BindErrors(pybind11::module_& m);
void BindResults(pybind11::module_& m);
void BindDevice(pybind11::module_& m);
void BindVideo(pybind11::module_& m);
void BindAnalysis(pybind11::module_& m);

}  // namespace saccadrix::python

#endif  // SACCADRIX_PYTHON_CALLS_H
