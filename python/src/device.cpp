// The device library's functions as the private module saccadrix._saccadrix exposes them to
// the package's Python side: plain arguments in, Python values out, a failed status raised.
// Argument ranges that Python users get wrong (types, NaN, sizes) are checked here or in the
// Python layer before anything reaches the library.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "calls.h"
#include "records.h"
#include "saccadrix/saccadrix.h"

namespace py = pybind11;

namespace saccadrix::python {

namespace {

// Records read from the stored list per library call: large enough that the call's cost
// vanishes, small enough that the list's lock is held only briefly (the poll thread appends
// under it) and that the scratch buffer stays in the cache.
constexpr int kStoredChunk = 8192;

// Longest marker text the library keeps, in bytes.
constexpr size_t kMaxMarkerBytes = 255;

double Nan() { return std::numeric_limits<double>::quiet_NaN(); }

// A std::string that must pass through a C string whole.
std::string NoNulBytes(std::string text, const char* what) {
  if (text.find('\0') != std::string::npos) {
    throw py::value_error(std::string(what) + " must not contain a NUL character");
  }
  return text;
}

std::string FromCText(const char* text, size_t size) {
  return std::string(text, strnlen(text, size));
}

// Python str from bytes of the device or the library: never fails on bad UTF-8.
py::str DecodeText(const std::string& bytes) {
  PyObject* s = PyUnicode_DecodeUTF8(bytes.data(), static_cast<py::ssize_t>(bytes.size()), "replace");
  if (s == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

// ---- Opening and closing

// Returns the model code, or 0 when this module already holds the open tracker.
int Open() {
  Gate& gate = TheGate();
  int status = 0;
  {
    py::gil_scoped_release nogil;
    std::unique_lock<std::shared_mutex> lock(gate.mutex);
    if (gate.open) return 0;
    status = zelSaccadrixInit();
    if (status > 0) {
      gate.open = true;
    } else {
      // A failed Init may leave a half-made connection (a poll thread that did not start
      // keeps the device): let it go.
      zelSaccadrixClose();
    }
  }
  return Check(status, "cannot open the tracker", Source::kOpen);
}

void Close() {
  Gate& gate = TheGate();
  int status = 0;
  {
    py::gil_scoped_release nogil;
    std::unique_lock<std::shared_mutex> lock(gate.mutex);
    if (!gate.open) return;
    status = zelSaccadrixClose();
    gate.open = false;
  }
  Check(status, "cannot close the tracker");
}

bool IsOpen() {
  return Call([] { return TheGate().open; });
}

// ---- Results

Result LastResult() {
  Result r;
  DeviceCall("cannot read the newest result",
             [&] { return zelSaccadrixGetLastResultWithTime(&r.record, &r.host_time); });
  return r;
}

// Takes the oldest result from the ring, waiting up to timeout seconds (None: for ever) for
// one to arrive. Returns None when none came in time.
std::optional<Result> NextResult(std::optional<double> timeout) {
  if (timeout && !(*timeout >= 0)) throw py::value_error("timeout must be a number >= 0 or None");
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  Result r;
  for (;;) {
    // The gate is passed on every try so that a close from another thread is never held up.
    const int status = Call([&]() -> int {
      if (!TheGate().open) return SACCADRIX_E_NO_DEVICE;
      return zelSaccadrixGetResultWithTime(&r.record, &r.host_time);
    });
    if (status >= 0) return r;
    if (status != SACCADRIX_E_IO) Check(status, "cannot read a result");
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    if (timeout && waited >= *timeout) return std::nullopt;
    {
      py::gil_scoped_release nogil;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
}

int PendingResults() {
  return DeviceCall("cannot count the results in the ring",
                    [] { return zelSaccadrixGetResult(nullptr); });
}

// Every result waiting in the ring (at most max_count), oldest first, as a record array.
py::array TakeResults(std::optional<int64_t> max_count) {
  if (max_count && *max_count < 0) throw py::value_error("max_count must be >= 0 or None");
  const int waiting = PendingResults();
  const size_t n = static_cast<size_t>(
      max_count ? std::min<int64_t>(*max_count, waiting) : static_cast<int64_t>(waiting));
  py::array out = NewRecordArray(n);
  auto* bytes = static_cast<unsigned char*>(out.mutable_data());
  size_t got = 0;
  DeviceCall("cannot read the results in the ring", [&] {
    T_RESULTS_STRUCT record;
    Row row;
    for (; got < n; ++got) {
      double host = 0;
      if (zelSaccadrixGetResultWithTime(&record, &host) < 0) break;  // ring empty
      // The ring does not tell which timestamp epoch a record belongs to, and records from
      // before a restart would map to nonsense: sample times come with the recording only.
      FillRow(row, record, host, Nan());
      std::memcpy(bytes + got * sizeof(Row), &row, sizeof row);
    }
    return SACCADRIX_OK;
  });
  if (got < n) out.resize({static_cast<py::ssize_t>(got)}, false);
  return out;
}

// ---- The stored recording (works without a connection: it outlives Close)

// Reads up to count stored records from the cursor (count < 0: all that are left), from the
// first when rewind is set, removing them from the list when remove is set, as a record array
// filled in one pass over the library's bulk read.
py::array ReadStored(int64_t count, bool remove, bool rewind) {
  const int left = Call([&] {
    const int stored = zelSaccadrixGetResultsCount();
    if (rewind && stored > 0) zelSaccadrixSetBufferPosition(0);
    return std::max(0, stored - zelSaccadrixGetBufferPosition());
  });
  const size_t n = static_cast<size_t>(count < 0 ? left : std::min<int64_t>(count, left));
  py::array out = NewRecordArray(n);
  auto* bytes = static_cast<unsigned char*>(out.mutable_data());
  size_t got = 0;
  const int status = Call([&]() -> int {
    const size_t chunk = std::min<size_t>(n, kStoredChunk);
    std::vector<T_RESULTS_STRUCT> records(chunk);
    std::vector<double> host(chunk), sample(chunk);
    Row row;
    while (got < n) {
      const int want = static_cast<int>(std::min(chunk, n - got));
      const int read = zelSaccadrixGetBufferedResults(records.data(), host.data(), sample.data(),
                                                      want, remove ? 1 : 0);
      if (read < 0) return read;
      if (read == 0) break;  // removed meanwhile by another thread
      for (int i = 0; i < read; ++i) {
        FillRow(row, records[i], host[i], sample[i]);
        std::memcpy(bytes + (got + i) * sizeof(Row), &row, sizeof row);
      }
      got += static_cast<size_t>(read);
    }
    return SACCADRIX_OK;
  });
  Check(status, "cannot read the stored recording");
  if (got < n) out.resize({static_cast<py::ssize_t>(got)}, false);
  return out;
}

void AddMarker(const std::string& text) {
  if (text.size() > kMaxMarkerBytes) {
    throw py::value_error("a marker text is at most 255 bytes in UTF-8, this one has " +
                          std::to_string(text.size()));
  }
  const std::string c_text = NoNulBytes(text, "a marker text");
  Check(Call([&] { return zelSaccadrixAddMarker(c_text.c_str()); }), "cannot add the marker");
}

// (host time, device timestamp, text) of every marker of the recording.
std::vector<std::tuple<double, uint64_t, py::str>> Markers() {
  std::vector<std::tuple<double, uint64_t, std::string>> raw;
  const int status = Call([&]() -> int {
    const int n = zelSaccadrixGetMarkerCount();
    for (int i = 0; i < n; ++i) {
      double host = 0;
      uint64_t timestamp = 0;
      char text[kMaxMarkerBytes + 1];
      const int s = zelSaccadrixGetMarker(i, &host, &timestamp, text, sizeof text);
      if (s == SACCADRIX_E_NO_RECORD) break;  // cleared meanwhile
      if (s < 0) return s;
      raw.emplace_back(host, timestamp, FromCText(text, sizeof text));
    }
    return SACCADRIX_OK;
  });
  Check(status, "cannot read the markers");
  std::vector<std::tuple<double, uint64_t, py::str>> out;
  out.reserve(raw.size());
  for (auto& [host, timestamp, text] : raw) out.emplace_back(host, timestamp, DecodeText(text));
  return out;
}

double HostClock() {
  double seconds = 0;
  Check(zelSaccadrixGetHostClock(&seconds), "cannot read the host clock");
  return seconds;
}

double TimestampToHostClock(uint64_t timestamp) {
  double seconds = 0;
  Check(Call([&] { return zelSaccadrixTimestampToHostClock(timestamp, &seconds); }),
        "cannot map the timestamp to the host clock");
  return seconds;
}

// ---- Gaze calibration

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

void RequireFinite(const double* values, size_t n, const char* what) {
  for (size_t i = 0; i < n; ++i) {
    if (!std::isfinite(values[i])) throw py::value_error(std::string(what) + " must be finite");
  }
}

// Targets as an N-by-4 array: target x, target y, eye x, eye y per row.
std::vector<targ_struct> Targets(const DoubleArray& targets) {
  if (targets.ndim() != 2 || targets.shape(1) != 4) {
    throw py::value_error("targets must be an N-by-4 array (target_x, target_y, eye_x, eye_y)");
  }
  const size_t n = static_cast<size_t>(targets.shape(0));
  if (n > std::numeric_limits<uint32_t>::max()) throw py::value_error("too many targets");
  RequireFinite(targets.data(), n * 4, "targets");
  std::vector<targ_struct> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double* row = targets.data() + i * 4;
    out[i] = targ_struct{row[0], row[1], row[2], row[3]};
  }
  return out;
}

std::vector<double> Matrix(const DoubleArray& matrix) {
  if (matrix.size() != 16 || !(matrix.ndim() == 1 || (matrix.ndim() == 2 && matrix.shape(0) == 4))) {
    throw py::value_error("a calibration matrix is 4-by-4 (or 16 values in row-major order)");
  }
  RequireFinite(matrix.data(), 16, "the calibration matrix");
  return std::vector<double>(matrix.data(), matrix.data() + 16);
}

py::array_t<double> MatrixArray(const double (&values)[16]) {
  py::array_t<double> out({4, 4});
  std::memcpy(out.mutable_data(), values, sizeof values);
  return out;
}

std::tuple<py::array_t<double>, int> Fit(const DoubleArray& targets, double eye_scale,
                                         double viewing_distance) {
  const std::vector<targ_struct> t = Targets(targets);
  double matrix[16] = {};
  const int residual = DeviceCall("cannot fit the calibration", [&] {
    return zelSaccadrixCalibrate(static_cast<uint32_t>(t.size()), t.data(), matrix, eye_scale,
                                 viewing_distance);
  });
  return {MatrixArray(matrix), residual};
}

int FitAndStore(int eye, const DoubleArray& targets, double eye_scale, double viewing_distance,
                double aux1, double aux2) {
  const std::vector<targ_struct> t = Targets(targets);
  int residual = 0;
  DeviceCall("cannot store the fitted calibration", [&] {
    return zelSaccadrixCalibrateDevice(eye, static_cast<uint32_t>(t.size()), t.data(), eye_scale,
                                       viewing_distance, aux1, aux2, &residual);
  });
  // A failed fit is reported in place of the residual.
  return Check(residual, "cannot fit the calibration");
}

void SetCalibration(int eye, const DoubleArray& matrix, double eye_scale, double viewing_distance,
                    double aux1, double aux2) {
  const std::vector<double> m = Matrix(matrix);
  DeviceCall("cannot store the calibration", [&] {
    return zelSaccadrixSetCalibration(eye, m.data(), eye_scale, viewing_distance, aux1, aux2);
  });
}

std::tuple<py::array_t<double>, double, double, double, double> GetCalibration(int eye) {
  double matrix[16] = {};
  double eye_scale = 0, viewing_distance = 0, aux1 = 0, aux2 = 0;
  DeviceCall("cannot read the calibration", [&] {
    return zelSaccadrixGetCalibration(eye, matrix, &eye_scale, &viewing_distance, &aux1, &aux2);
  });
  return {MatrixArray(matrix), eye_scale, viewing_distance, aux1, aux2};
}

bool GetCalibrated(int eye) {
  uint8_t calibrated = 0;
  DeviceCall("cannot ask whether the eye is calibrated",
             [&] { return zelSaccadrixGetCalibrated(eye, &calibrated); });
  return calibrated != 0;
}

void SaveCalibration(const py::bytes& path) {
  const std::string p = NoNulBytes(path, "a path");
  DeviceCall("cannot save the calibration file", [&] { return zelSaccadrixSaveCalibration(p.c_str()); });
}

void LoadCalibration(const py::bytes& path) {
  const std::string p = NoNulBytes(path, "a path");
  DeviceCall("cannot load the calibration file", [&] { return zelSaccadrixLoadCalibration(p.c_str()); });
}

// ---- Identity

py::str BuildDate() {
  char text[256] = {};
  Check(Call([&] { return zelSaccadrixGetFirmwareBuildDateTime(text, sizeof text); }),
        "cannot read the firmware build date");
  return DecodeText(FromCText(text, sizeof text));
}

py::str SerialNumber() {
  char text[256] = {};
  DeviceCall("cannot read the serial number",
             [&] { return zelSaccadrixGetSerialNumber(text, sizeof text); });
  return DecodeText(FromCText(text, sizeof text));
}

py::bytes PinFunctions() {
  uint8_t table[256] = {};
  int count = 0;
  DeviceCall("cannot read the pin function table",
             [&] { return zelSaccadrixGetPinFunctions(table, sizeof table, &count); });
  return py::bytes(reinterpret_cast<const char*>(table),
                   static_cast<size_t>(std::clamp(count, 0, 256)));
}

std::tuple<bool, int> PollThreadPriority() {
  int raised = 0, priority = 0;
  DeviceCall("cannot read the poll thread's priority",
             [&] { return zelSaccadrixGetPollThreadPriority(&raised, &priority); });
  return {raised != 0, priority};
}

// ---- Settings

// The library takes pin and channel numbers as bytes: larger numbers must not wrap into range.
void RequireByte(int index) {
  if (index < 0 || index > 255) throw py::value_error("no such pin or channel: " + std::to_string(index));
}

template <size_t N, class Record, class Getter>
py::bytes GetRecord(int index, Getter getter, const char* what) {
  RequireByte(index);
  Record record{};
  DeviceCall(what, [&] { return getter(static_cast<uint8_t>(index), &record); });
  return py::bytes(reinterpret_cast<const char*>(record.bytes), N);
}

template <size_t N, class Record, class Setter>
void SetRecord(int index, const py::bytes& bytes, Setter setter, const char* what) {
  RequireByte(index);
  const std::string data = bytes;
  if (data.size() != N) {
    throw py::value_error("the record is " + std::to_string(N) + " bytes, not " +
                          std::to_string(data.size()));
  }
  Record record{};
  std::memcpy(record.bytes, data.data(), N);
  DeviceCall(what, [&] { return setter(static_cast<uint8_t>(index), &record); });
}

}  // namespace

void BindDevice(py::module_& m) {
  m.def("open", &Open, "Opens the first tracker; returns its model code, 0 when already open.");
  m.def("close", &Close, "Closes the tracker opened by open(); nothing when none is open.");
  m.def("is_open", &IsOpen);
  m.def("library_version", [] { return zelSaccadrixGetLibVersion(); });
  m.def("abi_version", [] { return zelSaccadrixGetAbiVersion(); });
  m.def("firmware_version", [] {
    uint16_t version = 0;
    Check(Call([&] { return zelSaccadrixGetFirmwareVersion(&version); }),
          "cannot read the firmware version");
    return version;
  });
  m.def("firmware_build_date", &BuildDate);
  m.def("serial_number", &SerialNumber);
  m.def("pin_functions", &PinFunctions);
  m.def("poll_thread_priority", &PollThreadPriority);
  m.def("arm_timestamp", [](int value) {
    DeviceCall("cannot arm the timestamp", [&] { return zelSaccadrixArmTimestamp(value); });
  });

  m.def("last_result", &LastResult);
  m.def("next_result", &NextResult, py::arg("timeout"));
  m.def("pending_results", &PendingResults);
  m.def("take_results", &TakeResults, py::arg("max_count"));
  m.def("flush_results", [] {
    DeviceCall("cannot empty the ring", [] { return zelSaccadrixFlushResults(); });
  });
  m.def("set_results_type", [](int type) {
    DeviceCall("cannot set the results type", [&] { return zelSaccadrixSetResultsType(type); });
  });

  m.def("start_tracking", [] {
    DeviceCall("cannot start the recording", [] { return zelSaccadrixStartTracking(); });
  });
  m.def("stop_tracking", [] {
    Check(Call([] { return zelSaccadrixStopTracking(); }), "cannot stop the recording");
  });
  m.def("tracking_started", [] { return Call([] { return zelSaccadrixGetTrackingStarted() != 0; }); });
  m.def("results_count", [] { return Call([] { return zelSaccadrixGetResultsCount(); }); });
  m.def("buffer_position", [] { return Call([] { return zelSaccadrixGetBufferPosition(); }); });
  m.def("set_buffer_position", [](int position) {
    Check(Call([&] { return zelSaccadrixSetBufferPosition(position); }),
          "cannot place the recording's cursor");
  });
  m.def("clear_data_buffer", [] {
    Check(Call([] { return zelSaccadrixClearDataBuffer(); }), "cannot clear the recording");
  });
  m.def("read_stored", &ReadStored, py::arg("count"), py::arg("remove"), py::arg("rewind"));
  m.def("add_marker", &AddMarker, py::arg("text"));
  m.def("markers", &Markers);
  m.def("host_clock", &HostClock);
  m.def("timestamp_to_host_clock", &TimestampToHostClock, py::arg("timestamp"));

  m.def("fit_calibration", &Fit, py::arg("targets"), py::arg("eye_scale"),
        py::arg("viewing_distance"));
  m.def("calibrate_device", &FitAndStore, py::arg("eye"), py::arg("targets"),
        py::arg("eye_scale"), py::arg("viewing_distance"), py::arg("aux1"), py::arg("aux2"));
  m.def("set_calibration", &SetCalibration, py::arg("eye"), py::arg("matrix"),
        py::arg("eye_scale"), py::arg("viewing_distance"), py::arg("aux1"), py::arg("aux2"));
  m.def("get_calibration", &GetCalibration, py::arg("eye"));
  m.def("get_calibrated", &GetCalibrated, py::arg("eye"));
  m.def("save_calibration", &SaveCalibration, py::arg("path"));
  m.def("load_calibration", &LoadCalibration, py::arg("path"));
  m.def("set_pupil_calibration", [](double reference, double value) {
    DeviceCall("cannot store the pupil calibration",
               [&] { return zelSaccadrixSetPupilCalibration(reference, value); });
  });
  m.def("get_pupil_calibration", [] {
    double scale = 0;
    DeviceCall("cannot read the pupil calibration",
               [&] { return zelSaccadrixGetPupilCalibration(&scale); });
    return scale;
  });

  m.def("set_param", [](int id, int value) {
    DeviceCall("cannot set the parameter", [&] { return zelSaccadrixSetParam(id, value); });
  });
  m.def("get_param", [](int id) {
    int value = 0;
    DeviceCall("cannot read the parameter", [&] { return zelSaccadrixGetParam(id, &value); });
    return value;
  });
  m.def("set_tracking", [](bool first, bool second) {
    DeviceCall("cannot set the tracking flags",
               [&] { return zelSaccadrixSetTracking(first, second); });
  });
  m.def("get_tracking", [] {
    uint8_t first = 0, second = 0;
    DeviceCall("cannot read the tracking flags",
               [&] { return zelSaccadrixGetTracking(&first, &second); });
    return std::make_tuple(first != 0, second != 0);
  });
  m.def("get_tracking_mode", [] {
    int mode = 1;
    DeviceCall("cannot read the tracking mode", [&] { return zelSaccadrixGetTrackingMode(&mode); });
    return mode;
  });
  m.def("set_tracking_mode", [](int mode) {
    DeviceCall("cannot set the tracking mode", [&] { return zelSaccadrixSetTrackingMode(mode); });
  });
  m.def("get_capture_config", [] {
    int v[5] = {};
    DeviceCall("cannot read the capture configuration", [&] {
      return zelSaccadrixGetCaptureConfig(&v[0], &v[1], &v[2], &v[3], &v[4]);
    });
    return std::make_tuple(v[0], v[1], v[2], v[3], v[4]);
  });
  m.def("get_pin_function", [](int pin) {
    return GetRecord<46, PinFunctionRecord>(pin, zelSaccadrixGetPinFunction,
                                            "cannot read the pin's configuration");
  });
  m.def("set_pin_function", [](int pin, const py::bytes& record) {
    SetRecord<46, PinFunctionRecord>(pin, record, zelSaccadrixSetPinFunction,
                                     "cannot set the pin's configuration");
  });
  m.def("get_analogue_function", [](int channel) {
    return GetRecord<26, AnalogueFunctionRecord>(channel, zelSaccadrixGetAnalogueFunction,
                                                 "cannot read the analogue channel's configuration");
  });
  m.def("set_analogue_function", [](int channel, const py::bytes& record) {
    SetRecord<26, AnalogueFunctionRecord>(channel, record, zelSaccadrixSetAnalogueFunction,
                                          "cannot set the analogue channel's configuration");
  });
  m.def("set_ipv4_config", [](int flag, int v1, int v2, int v3, int v4, int v5) {
    DeviceCall("cannot set the network configuration", [&] {
      return zelSaccadrixSetIPV4Config(static_cast<uint8_t>(flag), v1, v2, v3, v4, v5);
    });
  });
  m.def("get_ipv4_config", [] {
    uint8_t flag = 0;
    int v[5] = {};
    DeviceCall("cannot read the network configuration", [&] {
      return zelSaccadrixGetIPV4Config(&flag, &v[0], &v[1], &v[2], &v[3], &v[4]);
    });
    return std::make_tuple(static_cast<int>(flag), v[0], v[1], v[2], v[3], v[4]);
  });
  m.def("get_ethernet", [] {
    char mac[256] = {}, info[256] = {};
    DeviceCall("cannot read the Ethernet information",
               [&] { return zelSaccadrixGetEthMacAddress(mac, info, sizeof mac); });
    return std::make_tuple(DecodeText(FromCText(mac, sizeof mac)),
                           DecodeText(FromCText(info, sizeof info)));
  });
  m.def("save_captured_images", [] {
    DeviceCall("cannot ask the tracker to save its images",
               [] { return zelSaccadrixSaveCapturedImages(); });
  });
}

}  // namespace saccadrix::python
