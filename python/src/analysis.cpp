// The analysis layer of the device library (eye-movement events, calibration validation) as
// the private module exposes it: NumPy arrays in, NumPy arrays out, the library's checks
// raised as exceptions. The detection and the validation themselves are the library's.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "calls.h"
#include "saccadrix/saccadrix_events.h"
#include "saccadrix/saccadrix_validation.h"

namespace py = pybind11;

namespace saccadrix::python {

namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

// ---- Event parameters: the members of T_EVENT_PARAMS under their snake_case names

struct ParamField {
  const char* name;
  size_t offset;
  bool is_flag;  // uint32_t 0/1, else double
};

#define SACCADRIX_PARAM(name, member, flag) {name, offsetof(T_EVENT_PARAMS, member), flag}
constexpr ParamField kParamFields[] = {
    SACCADRIX_PARAM("detect_pso", detectPso, true),
    SACCADRIX_PARAM("detect_pursuit", detectPursuit, true),
    SACCADRIX_PARAM("min_saccade_duration", minSaccadeDuration, false),
    SACCADRIX_PARAM("initial_peak_threshold", initialPeakThreshold, false),
    SACCADRIX_PARAM("peak_sigmas", peakSigmas, false),
    SACCADRIX_PARAM("onset_sigmas", onsetSigmas, false),
    SACCADRIX_PARAM("local_noise_weight", localNoiseWeight, false),
    SACCADRIX_PARAM("local_noise_window", localNoiseWindow, false),
    SACCADRIX_PARAM("max_speed", maxSpeed, false),
    SACCADRIX_PARAM("max_pso_duration", maxPsoDuration, false),
    SACCADRIX_PARAM("min_fixation_duration", minFixationDuration, false),
    SACCADRIX_PARAM("min_pursuit_duration", minPursuitDuration, false),
    SACCADRIX_PARAM("pursuit_window", pursuitWindow, false),
    SACCADRIX_PARAM("pursuit_min_speed", pursuitMinSpeed, false),
    SACCADRIX_PARAM("blink_margin", blinkMargin, false),
    SACCADRIX_PARAM("live_velocity_window", liveVelocityWindow, false),
    SACCADRIX_PARAM("live_threshold_time", liveThresholdTime, false),
};
#undef SACCADRIX_PARAM

T_EVENT_PARAMS DefaultParams() {
  T_EVENT_PARAMS p{};
  zelSaccadrixGetDefaultEventParams(&p);
  return p;
}

py::dict ParamsToDict(const T_EVENT_PARAMS& p) {
  py::dict d;
  const auto* base = reinterpret_cast<const unsigned char*>(&p);
  for (const ParamField& f : kParamFields) {
    if (f.is_flag) {
      uint32_t v = 0;
      std::memcpy(&v, base + f.offset, sizeof v);
      d[f.name] = py::bool_(v != 0);
    } else {
      double v = 0;
      std::memcpy(&v, base + f.offset, sizeof v);
      d[f.name] = v;
    }
  }
  return d;
}

// The defaults with the given members changed; an unknown name is a TypeError (as an
// unknown keyword argument is in Python), a value the library refuses is its -3.
T_EVENT_PARAMS ParamsFromDict(const py::dict& given) {
  T_EVENT_PARAMS p = DefaultParams();
  auto* base = reinterpret_cast<unsigned char*>(&p);
  for (const auto& item : given) {
    const std::string name = py::cast<std::string>(item.first);
    const ParamField* field = nullptr;
    for (const ParamField& f : kParamFields) {
      if (name == f.name) field = &f;
    }
    if (field == nullptr) throw py::type_error("unknown event detection parameter '" + name + "'");
    if (field->is_flag) {
      const uint32_t v = py::cast<bool>(item.second) ? 1u : 0u;
      std::memcpy(base + field->offset, &v, sizeof v);
    } else {
      const double v = py::cast<double>(item.second);
      std::memcpy(base + field->offset, &v, sizeof v);
    }
  }
  return p;
}

// ---- Events as a NumPy structured array laid out as T_EVENT_STRUCT (one copy, no loop)

py::dtype EventDtype() {
  // Made once and kept for the life of the process (never released: a static Python
  // object's destructor would run after the interpreter has finalised).
  static const py::handle dtype = [] {
    py::list names, formats, offsets;
    const auto add = [&](const char* name, const char* format, size_t offset) {
      names.append(name);
      formats.append(format);
      offsets.append(offset);
    };
    add("type", "i1", offsetof(T_EVENT_STRUCT, type));
    add("eye", "i1", offsetof(T_EVENT_STRUCT, eye));
    add("phase", "u1", offsetof(T_EVENT_STRUCT, phase));
    add("flags", "u1", offsetof(T_EVENT_STRUCT, flags));
    add("dropped", "<u4", offsetof(T_EVENT_STRUCT, dropped));
    add("start_index", "<i4", offsetof(T_EVENT_STRUCT, startIndex));
    add("end_index", "<i4", offsetof(T_EVENT_STRUCT, endIndex));
    add("sample_count", "<u4", offsetof(T_EVENT_STRUCT, sampleCount));
    add("start_timestamp", "<u8", offsetof(T_EVENT_STRUCT, startTimestamp));
    add("end_timestamp", "<u8", offsetof(T_EVENT_STRUCT, endTimestamp));
    add("start_time", "<f8", offsetof(T_EVENT_STRUCT, startTime));
    add("end_time", "<f8", offsetof(T_EVENT_STRUCT, endTime));
    add("detected_time", "<f8", offsetof(T_EVENT_STRUCT, detectedTime));
    add("start_x", "<f8", offsetof(T_EVENT_STRUCT, startX));
    add("start_y", "<f8", offsetof(T_EVENT_STRUCT, startY));
    add("end_x", "<f8", offsetof(T_EVENT_STRUCT, endX));
    add("end_y", "<f8", offsetof(T_EVENT_STRUCT, endY));
    add("mean_x", "<f8", offsetof(T_EVENT_STRUCT, meanX));
    add("mean_y", "<f8", offsetof(T_EVENT_STRUCT, meanY));
    add("amplitude", "<f8", offsetof(T_EVENT_STRUCT, amplitude));
    add("peak_velocity", "<f8", offsetof(T_EVENT_STRUCT, peakVelocity));
    py::dict layout;
    layout["names"] = names;
    layout["formats"] = formats;
    layout["offsets"] = offsets;
    layout["itemsize"] = sizeof(T_EVENT_STRUCT);
    return py::dtype::from_args(layout).release();
  }();
  return py::reinterpret_borrow<py::dtype>(dtype);
}

py::array EventArray(const std::vector<T_EVENT_STRUCT>& events) {
  py::array out(EventDtype(), std::vector<py::ssize_t>{static_cast<py::ssize_t>(events.size())});
  if (!events.empty()) std::memcpy(out.mutable_data(), events.data(), events.size() * sizeof events[0]);
  return out;
}

// A one-dimensional array of doubles; a length that the library's int cannot hold is refused.
Doubles Vector(const py::handle& a, const char* name) {
  Doubles v = Doubles::ensure(a);
  if (!v) throw py::type_error(std::string(name) + " must be an array of numbers");
  if (v.ndim() != 1) throw py::value_error(std::string(name) + " must be one-dimensional");
  if (v.shape(0) > std::numeric_limits<int>::max()) {
    throw py::value_error(std::string(name) + " holds more samples than the library takes");
  }
  return v;
}

std::tuple<py::array_t<int8_t>, py::array> DetectEvents(const py::handle& time, const py::handle& x,
                                                        const py::handle& y, const py::dict& params) {
  const Doubles t = Vector(time, "time"), xs = Vector(x, "x"), ys = Vector(y, "y");
  if (xs.shape(0) != t.shape(0) || ys.shape(0) != t.shape(0)) {
    throw py::value_error("time, x and y must have the same length");
  }
  const int count = static_cast<int>(t.shape(0));
  const T_EVENT_PARAMS p = ParamsFromDict(params);
  py::array_t<int8_t> labels(count);
  std::vector<T_EVENT_STRUCT> events;
  int found = 0;
  int status = 0;
  {
    py::gil_scoped_release nogil;
    // Once to count the events, once more into an array that holds them all.
    status = zelSaccadrixDetectEvents(t.data(), xs.data(), ys.data(), count, labels.mutable_data(),
                                      &p, nullptr, 0, &found);
    if (status == 0 && found > 0) {
      events.resize(static_cast<size_t>(found));
      status = zelSaccadrixDetectEvents(t.data(), xs.data(), ys.data(), count, nullptr, &p,
                                        events.data(), found, &found);
    }
  }
  Check(status, "cannot detect events (times must be finite and increasing; parameters in range)");
  return {labels, EventArray(events)};
}

void SetEventDetection(int eye, bool on, const py::dict& params) {
  const T_EVENT_PARAMS p = ParamsFromDict(params);
  Check(Call([&] { return zelSaccadrixSetEventDetection(eye, on ? 1 : 0, &p); }),
        "cannot set the live event detection (eye 0, 1 or -1 for both; parameters in range)");
}

// Every queued live event, oldest first.
py::array TakeEvents() {
  std::vector<T_EVENT_STRUCT> events;
  Call([&] {
    T_EVENT_STRUCT e{};
    while (zelSaccadrixGetEvent(&e) == 1) events.push_back(e);
    return 0;
  });
  return EventArray(events);
}

// ---- Validation

// targets: N x 4 (x, y, start, end); gaze: count x 3; time and tracked optional.
py::tuple Validate(const py::handle& time, const py::handle& gaze, const py::handle& tracked,
                   const py::handle& targets, double viewing_distance, double skip,
                   bool windows_in_samples) {
  using Matrix = py::array_t<double, py::array::c_style | py::array::forcecast>;
  const Matrix g = Matrix::ensure(gaze);
  if (!g || g.ndim() != 2 || g.shape(1) != 3) throw py::value_error("gaze must be an N x 3 array");
  const Matrix tg = Matrix::ensure(targets);
  if (!tg || tg.ndim() != 2 || tg.shape(1) != 4 || tg.shape(0) < 1) {
    throw py::value_error("targets must be a K x 4 array (x, y, window start, window end), K >= 1");
  }
  if (g.shape(0) > std::numeric_limits<int>::max() || tg.shape(0) > std::numeric_limits<int>::max()) {
    throw py::value_error("too many samples or targets for the library");
  }
  const int count = static_cast<int>(g.shape(0));
  const int target_count = static_cast<int>(tg.shape(0));
  using Flags = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>;
  std::optional<Doubles> t;
  if (!time.is_none()) {
    t = Vector(time, "time");
    if (t->shape(0) != count) throw py::value_error("time and gaze must have the same length");
  }
  std::optional<Flags> flags;
  if (!tracked.is_none()) {
    flags = Flags::ensure(tracked);
    if (!*flags || (*flags).ndim() != 1 || (*flags).shape(0) != count) {
      throw py::value_error("tracked must be one flag per sample");
    }
  }
  std::vector<T_VALIDATION_TARGET> list(static_cast<size_t>(target_count));
  for (int k = 0; k < target_count; ++k) {
    list[static_cast<size_t>(k)] = T_VALIDATION_TARGET{tg.at(k, 0), tg.at(k, 1), tg.at(k, 2), tg.at(k, 3)};
  }
  T_VALIDATION_PARAMS p{};
  p.viewingDistance = viewing_distance;
  p.skipSeconds = skip;
  p.windowsInSamples = windows_in_samples ? 1 : 0;
  std::vector<T_VALIDATION_RESULT> per(static_cast<size_t>(target_count));
  T_VALIDATION_RESULT overall{};
  int status = 0;
  {
    py::gil_scoped_release nogil;
    status = zelSaccadrixValidate(t ? t->data() : nullptr, g.data(), flags ? (*flags).data() : nullptr,
                                  count, list.data(), target_count, &p, per.data(), &overall);
  }
  Check(status, "cannot validate (see the arguments' rules in help(saccadrix.validate))");
  const auto row = [](const T_VALIDATION_RESULT& r) {
    return py::make_tuple(r.accuracy, r.offsetX, r.offsetY, r.precisionRms, r.precisionSd,
                          r.dataLoss, r.samples, r.tracked);
  };
  py::list rows;
  for (const T_VALIDATION_RESULT& r : per) rows.append(row(r));
  return py::make_tuple(rows, row(overall));
}

}  // namespace

void BindAnalysis(py::module_& m) {
  m.def("default_event_params", [] { return ParamsToDict(DefaultParams()); });
  m.def("detect_events", &DetectEvents, py::arg("time"), py::arg("x"), py::arg("y"),
        py::arg("params"));
  m.def("set_event_detection", &SetEventDetection, py::arg("eye"), py::arg("on"),
        py::arg("params"));
  m.def("take_events", &TakeEvents);
  m.def("event_dtype", &EventDtype);
  m.def("validate", &Validate, py::arg("time"), py::arg("gaze"), py::arg("tracked"),
        py::arg("targets"), py::arg("viewing_distance"), py::arg("skip"),
        py::arg("windows_in_samples"));
}

}  // namespace saccadrix::python
