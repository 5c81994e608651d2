// saccadrix._saccadrix: the compiled half of the saccadrix package. The public names live in
// the package's Python modules; this module holds the calls into the libraries, the record
// conversions and the GIL handling.
#include <pybind11/pybind11.h>

#include "calls.h"

PYBIND11_MODULE(_saccadrix, m) {
  m.doc() = "Calls into libSaccadrix and libSaccadrixGS for the saccadrix package.";
  saccadrix::python::BindErrors(m);
  saccadrix::python::BindResults(m);
  saccadrix::python::BindDevice(m);
  saccadrix::python::BindVideo(m);
  saccadrix::python::BindAnalysis(m);
}
