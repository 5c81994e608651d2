// Checks a long recording of "saccadrix record" without holding it in memory:
//   check_recording CSV MAT
// Streams the CSV: rows, gaps and repeats in the timestamps (the virtual tracker counts
// samples, so consecutive rows step by one), host_time never decreasing, sample_time never
// after host_time; then compares the MAT file's timestamp and host_time columns with it.
#include <matio.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Field k (0-based) of a CSV line without quoted fields.
const char* Field(const std::string& line, int k) {
  const char* p = line.c_str();
  for (int i = 0; i < k && p != nullptr; ++i) {
    p = std::strchr(p, ',');
    if (p != nullptr) ++p;
  }
  return p;
}

std::vector<double> MatColumn(mat_t* mat, const char* name) {
  std::vector<double> values;
  matvar_t* var = Mat_VarRead(mat, name);
  if (var != nullptr && var->class_type == MAT_C_DOUBLE && var->dims[1] == 1) {
    const auto* data = static_cast<const double*>(var->data);
    values.assign(data, data + var->dims[0]);
  }
  Mat_VarFree(var);
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: check_recording CSV MAT\n");
    return 2;
  }
  std::ifstream csv(argv[1]);
  std::string line;
  if (!std::getline(csv, line) || line.rfind("timestamp,", 0) != 0) {
    std::printf("FAILED: no CSV header\n");
    return 1;
  }
  uint64_t rows = 0, lost = 0, repeated = 0, hostBackwards = 0, sampleAfterHost = 0;
  uint64_t previous = 0;
  double previousHost = -INFINITY, maxReadDelay = 0;
  std::vector<uint64_t> timestamps;
  std::vector<double> hostTimes;
  while (std::getline(csv, line)) {
    const uint64_t t = std::strtoull(line.c_str(), nullptr, 10);
    const char* host = Field(line, 41);
    const char* sample = Field(line, 42);
    if (host == nullptr || sample == nullptr) {
      std::printf("FAILED: row %" PRIu64 " has fewer than 43 fields\n", rows);
      return 1;
    }
    const double h = std::strtod(host, nullptr), s = std::strtod(sample, nullptr);
    if (rows > 0) {
      if (t > previous + 1) lost += t - previous - 1;
      if (t <= previous) ++repeated;
    }
    if (h < previousHost) ++hostBackwards;
    if (s > h + 1e-9) ++sampleAfterHost;  // both printed to the nanosecond
    if (h - s > maxReadDelay) maxReadDelay = h - s;
    previous = t;
    previousHost = h;
    timestamps.push_back(t);
    hostTimes.push_back(h);
    ++rows;
  }
  std::printf("csv: %" PRIu64 " rows, %" PRIu64 " lost, %" PRIu64 " repeated, host_time "
              "decreasing %" PRIu64 " times, sample_time after host_time %" PRIu64 " times, "
              "largest host_time - sample_time %.3f ms\n",
              rows, lost, repeated, hostBackwards, sampleAfterHost, maxReadDelay * 1e3);

  mat_t* mat = Mat_Open(argv[2], MAT_ACC_RDONLY);
  if (mat == nullptr) {
    std::printf("FAILED: cannot open %s\n", argv[2]);
    return 1;
  }
  const std::vector<double> matTimestamps = MatColumn(mat, "timestamp");
  const std::vector<double> matHost = MatColumn(mat, "host_time");
  Mat_Close(mat);
  uint64_t differ = 0;
  for (size_t i = 0; i < matTimestamps.size() && i < timestamps.size(); ++i) {
    if (matTimestamps[i] != static_cast<double>(timestamps[i]) ||
        std::fabs(matHost[i] - hostTimes[i]) > 1e-6) {
      ++differ;
    }
  }
  std::printf("mat: %zu rows, %" PRIu64 " differ from the CSV\n", matTimestamps.size(), differ);
  const bool ok = matTimestamps.size() == rows && matHost.size() == rows && differ == 0 &&
                  repeated == 0 && hostBackwards == 0 && sampleAfterHost == 0;
  return ok ? 0 : 1;
}
