// Control interface of the virtual tracker: a shared library that exports hidapi's functions
// with hidapi's signatures and simulates Saccadrix trackers (and other HID devices) behind
// them. Tests link it ahead of libSaccadrix so that its hid_* symbols take hidapi's place;
// whole processes get it through LD_PRELOAD and configure it from the environment (see
// README.md in this folder).
//
// All functions are thread-safe. Device ids are small integers handed out by attach().
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#define VT_API __attribute__((visibility("default")))

namespace vt {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kTrackerVendorId = 0x0861;

// Product id of a tracker of the given model code (1..4); 0 for any other code.
VT_API uint16_t product_id_for_model(int model);
// Model code (1..4) of a tracker with the given vendor and product id; 0 when the ids are
// not a tracker's.
VT_API int model_for_ids(uint16_t vendor_id, uint16_t product_id);

// The simulated subject's behaviour and the imperfections of the measurement. Angles are
// degrees of visual angle: a direction (x, y) is the pair (atan(X/Z), atan(Y/Z)) of the point
// (X, Y) where the gaze meets a plane at distance Z straight ahead, the convention of the
// tracker's calibrated angles. The defaults make a subject worth validating and detecting
// events on; set a field to 0 to turn that imperfection off.
struct SubjectConfig {
  // Measurement noise of each eye, as the RMS of the angular distance between successive
  // samples that it alone produces (white noise, so the same at every rate). 0 .. 1.
  double noise_deg = 0.02;
  // Fixational tremor: SD of a fast jitter of the eye (correlated over about 5 ms). 0 .. 0.1.
  double tremor_deg = 0.005;
  // Fixational drift: the SD of the slow wandering speed of the eye during fixations
  // (correlated over about 0.3 s), which microsaccades correct. 0 .. 5 deg/s.
  double drift_deg_s = 0.2;
  // Microsaccades during fixations, on average per second (Poisson). 0 .. 10.
  double microsaccades_per_s = 1.0;
  // Saccade main sequence: duration = saccade_base_ms + saccade_ms_per_deg x amplitude. The
  // eye follows a raised-cosine path, so the peak velocity is pi/2 x amplitude / duration and
  // grows with the amplitude. Both 0.1 .. 100.
  double saccade_ms_per_deg = 2.2;
  double saccade_base_ms = 21.0;
  // Post-saccadic oscillation: one damped cycle of 24 ms along the saccade, of this fraction
  // of the saccade's amplitude (at most 1 degree); none for saccades whose oscillation would
  // be under 0.1 degree. 0 .. 0.5.
  double pso_fraction = 0.05;
  // Blinks, on average per minute (Poisson, from fixations and pursuits); each loses the
  // pupil of both eyes (untracked samples) for 100 to 200 ms. 0 .. 120.
  double blinks_per_min = 15.0;
  // Constant offset between where the eyes look and what the tracker measures (degrees,
  // both eyes): the error a calibration leaves. A calibration fitted while it is set absorbs
  // it, as a real calibration would.
  double offset_x_deg = 0.0;
  double offset_y_deg = 0.0;
  // Free viewing: the share of gaze shifts that follow a moving target (smooth pursuit at
  // 5 to 20 deg/s for 0.6 to 1.5 s, with catch-up saccades). 0 .. 1.
  double pursuit_share = 0.05;
  // Latency of the saccade to a target shown through look_at or run_targets. 0 .. 1 s.
  double reaction_s = 0.2;
  // Eye position (pupil centre minus reflection centre, tracker units) per unit of tan(angle):
  // eye_x = gain x tan(x), eye_y = gain x tan(y). The default puts a target 100 mm off
  // centre at 600 mm at 25 units. 1 .. 10000.
  double gain = 150.0;
};

// Largest rate error of the simulated clock, in parts per million.
constexpr double kMaxClockPpm = 1000;

struct DeviceConfig {
  uint16_t vendor_id = kTrackerVendorId;
  uint16_t product_id = 0x3411;  // model code 2
  std::string path;              // empty: "vt:<id>"
  std::wstring manufacturer = L"Saccadrix";
  std::wstring product = L"Saccadrix Tracker";
  std::wstring serial = L"VT0001";

  // Firmware identity (reply 400): version at bytes 2..3, build date text from byte 4.
  uint16_t firmware_version = 26122;
  // Bytes placed from report byte 4. When build_date_terminated is false the text is not
  // followed by a zero byte: it is repeated or cut to fill the report up to byte 63.
  std::string build_date = "Nov 12 2026 10:21:07";
  bool build_date_terminated = true;

  int32_t viewing_distance = 600;        // reply 406 (model code 4 only)
  std::vector<uint8_t> pin_functions;    // reply 409: one function byte per pin
  int pin_count = -1;                    // reply 409 byte 2; -1: pin_functions.size()

  // Result stream (report types 200..203, chosen by model code and results type).
  double rate_hz = 0;                    // 0: no stream; 1 .. 8000 otherwise
  int results_type = 0;                  // 0 raw, 1 calibrated; changed by commands 104..107
  uint64_t start_timestamp = 1000000;    // timestamp of the first streamed report
  uint64_t arm_timestamp = 0;            // the count restarts here on command 103

  // More device state (answers of the settings queries; all changed by their set-commands).
  int32_t tracking_word = 3;             // parameter 0 (commands 303/402): two tracking flags
  int32_t pupil_scale = 0;               // commands 304/403, units of 1/1024; 0 = uncalibrated
  int32_t tracking_mode = 1;             // reply 404
  // Reply 405 (capture configuration): the rate field carries the stream rate; these are
  // the other four fields in reply order (bytes 6, 10, 14, 18).
  std::array<int32_t, 4> capture_config = {640, 480, 0, 0};
  uint8_t ipv4_flag = 1;                 // commands 500/501
  std::array<int32_t, 5> ipv4_values = {-1062731420, -256, -1062731519, 5000, 0};
  std::string mac_address = "00:1B:C5:0A:21:7F";  // reply 502, first text (at most 19 chars)
  std::string ethernet_info = "192.168.1.100";    // reply 502, second text (at most 41)
  uint16_t raw_scale = 16;               // divisor m written into type 200 reports

  // Simulated subject. seed 0: derived from the device id, so runs are reproducible.
  uint64_t seed = 0;
  SubjectConfig subject;

  // Rate error of the tracker's clock against the host's, in parts per million: the tracker
  // makes rate_hz x (1 + clock_ppm / 1e6) samples per second of host time, each counted by
  // its timestamp. -kMaxClockPpm .. kMaxClockPpm.
  double clock_ppm = 0;
};

// Attaches a simulated device; enumeration lists devices in the order they were attached.
// Returns the device id (1, 2, ... counted from the last reset()), or -1 when the
// configuration is out of range (rate_hz not 0 and not within 1..8000, results_type not 0 or
// 1, more than 61 pin function bytes, pin_count above 255, build date or Ethernet texts too
// long for their reply, a subject setting or clock_ppm outside its range). Devices whose ids are not a tracker's (see model_for_ids) are
// listed and can be opened, but never answer and never stream.
VT_API int attach(const DeviceConfig& config);
// Hot unplug: the device leaves the enumeration; reads and writes on open handles fail (-1).
VT_API void detach(int id);
// Detaches every device and forgets all state, logs and faults.
VT_API void reset();

// Every output report written to the device (65 bytes each), with the time of the write.
struct Written {
  std::vector<uint8_t> bytes;
  Clock::time_point when;
  bool accepted = true;  // false: a short-write fault kept the device from seeing it
  uint16_t command() const { return static_cast<uint16_t>(bytes[1] | bytes[2] << 8); }
  uint16_t arg() const { return static_cast<uint16_t>(bytes[3] | bytes[4] << 8); }
};
// The log keeps the newest 65536 reports.
VT_API std::vector<Written> written(int id);
VT_API void clear_written(int id);

// The operating system's input queue of the device, as hidraw keeps it: a ring of 64 slots
// that holds at most 63 reports; a report that finds it full is dropped and counted.
constexpr size_t kInputQueueCapacity = 63;
VT_API void push_report(int id, const uint8_t (&report)[64]);
VT_API size_t queued(int id);
VT_API uint64_t dropped(int id);

// Faults, applied from the next operation on. Counters count down as they are used.
struct Faults {
  int short_writes = 0;          // the next N writes report 10 bytes written
  bool read_error = false;       // hid_read fails with -1 (as after an unplug)
  int missing_replies = 0;       // the next N commands that expect a reply get none
  uint32_t reply_delay_ms = 0;   // replies become readable this long after the command
  int wrong_arg_replies = 0;     // the next N replies are preceded by one with another reportArg
  int stray_replies = 0;         // the next N replies are preceded by an unrelated reply (type 404)
  int results_before_reply = 0;  // result reports queued ahead of every reply
  bool silent = false;           // the device answers nothing at all
  bool string_read_error = false;      // the manufacturer, product and serial-number strings
                                       // cannot be read (hidapi returns -1)
  int corrupt_calibration_reads = 0;  // the next N calibration blocks read back (reply 301)
                                      // differ from what was stored (first float changed)
};
// wrong_arg_replies applies to the replies that hosts match on their argument (301, 402);
// a reply matched on its type alone carries payload where the argument would be.
VT_API void set_faults(int id, const Faults& faults);

// Stream control. A rate of 0 stops the stream; a rate outside 1..8000 (or NaN) is ignored.
// On model code 3 the rate counts reports, each carrying two samples.
VT_API void set_rate(int id, double rate_hz);
VT_API void pause_stream(int id, bool paused);
// Result reports generated so far (including those later dropped by the queue).
VT_API uint64_t reports_generated(int id);

// Number of handles currently open (hid_open / hid_open_path minus hid_close).
VT_API int open_handles();

// The simulated subject. By default the eyes make fixations, saccades, pursuits and blinks
// of their own (see SubjectConfig); set_eye_position holds a steady, always tracked fixation
// of both eyes at exactly this eye position (pupil centre minus reflection centre, tracker
// units, as the host's calibration targets measure it; no noise, drift or offset) until
// release_eye_position or look_at.
VT_API void set_eye_position(int id, double eye_x, double eye_y);
VT_API void release_eye_position(int id);
// Holds the digital inputs at these bits until release_digital_inputs (by default a bit
// among 0..3 changes now and then).
VT_API void set_digital_inputs(int id, uint32_t bits);
VT_API void release_digital_inputs(int id);

// Changes the subject's behaviour from the next sample on. Returns false (nothing changed)
// for a field out of its range (see SubjectConfig) or an unknown device.
VT_API bool set_subject(int id, const SubjectConfig& config);
VT_API SubjectConfig subject(int id);

// The subject looks at a target: after its reaction time it makes a saccade (main sequence)
// to the direction (x_deg, y_deg) and fixates it, with all the imperfections configured,
// until the next target or release_target. Replaces a running target sequence; ends a held
// eye position.
VT_API void look_at(int id, double x_deg, double y_deg);
// A target sequence in the subject's own time (the time of its samples, so a loaded host
// cannot stretch it): step k is shown for `seconds`, starting at (x_deg, y_deg) and moving at
// (vx_deg_s, vy_deg_s) (0: a still target; moving targets are pursued). The subject reacts to
// each step as to look_at. After the last step the last target stays until release_target.
struct TargetStep {
  double x_deg = 0, y_deg = 0;
  double seconds = 1;
  double vx_deg_s = 0, vy_deg_s = 0;
};
VT_API void run_targets(int id, const std::vector<TargetStep>& steps);
// Free viewing again: fixations, saccades, pursuits and blinks of the subject's own choosing.
VT_API void release_target(int id);

// The calibration matrix (row-major 4x4, as stored with the eye scale and viewing distance
// given) that maps this subject's eye positions exactly onto their directions: with it,
// calibrated gaze differs from the true gaze only by the configured offset and noise.
VT_API std::array<double, 16> subject_calibration(int id, double eye_scale,
                                                  double viewing_distance);

// Changes the clock's rate error (see DeviceConfig::clock_ppm) from the next report on; the
// stream's schedule restarts. Values outside -1000 .. 1000 (or NaN) are ignored.
VT_API void set_clock_ppm(int id, double ppm);

// Ground truth of the subject, for tests and benchmarks. Off by default: keep_truth(id, n)
// keeps the newest n samples (and the newest n saccades); 0 turns it off and forgets.
//
// A sample is keyed by the timestamp of the record that carries it and, on model code 3
// (two samples of eye 0 per report), by its place in the report: pair 0 or 1 (firmware
// 26121 and older give both the same timestamp). host_time is when the report that carried
// the sample became readable on the host (seconds of std::chrono::steady_clock, which is
// CLOCK_MONOTONIC on Linux), the instant readable_times records; samples of reports that the
// input queue dropped keep the time they would have become readable.
constexpr uint8_t kTruthFixation = 1;
constexpr uint8_t kTruthSaccade = 2;    // microsaccades included (TruthSaccade::micro)
constexpr uint8_t kTruthPso = 3;        // post-saccadic oscillation
constexpr uint8_t kTruthPursuit = 4;
constexpr uint8_t kTruthBlink = 5;      // pupil lost: the eye is not tracked
struct TruthEye {
  uint8_t kind = 0;          // kTruth...
  bool tracked = false;      // what the report says (false in blinks)
  double x_deg = 0, y_deg = 0;  // where the eye truly looks (no offset, no noise)
};
struct TruthSample {
  uint64_t timestamp = 0;
  uint8_t pair = 0;
  double host_time = 0;
  int target = -1;           // step of run_targets (0, 1, ...), 0 after look_at; -1 free viewing
  TruthEye eye[2];           // on model code 3 only eye[0] is reported
};
// A saccade or microsaccade: its first and last samples (timestamps and host times as in
// TruthSample, pair of model code 3 included), where it started and landed, its amplitude.
// A saccade still under way has no offset yet (complete = false).
struct TruthSaccade {
  uint64_t onset_timestamp = 0, offset_timestamp = 0;
  uint8_t onset_pair = 0, offset_pair = 0;
  double onset_host_time = 0, offset_host_time = 0;
  double from_x_deg = 0, from_y_deg = 0, to_x_deg = 0, to_y_deg = 0;
  double amplitude_deg = 0;
  double peak_velocity_deg_s = 0;
  bool micro = false;
  bool complete = false;
};
VT_API void keep_truth(int id, size_t capacity);
VT_API std::vector<TruthSample> truth_samples(int id);
VT_API std::vector<TruthSaccade> truth_saccades(int id);

// Replaces the firmware identity answered to command 400 (same rules as DeviceConfig).
VT_API void set_firmware(int id, uint16_t version, const std::string& build_date,
                         bool build_date_terminated = true);

// When each result report became readable (entered the input queue), for latency
// measurements and as the true host time of each report: the device makes a report and it
// is readable at once (no transfer delay is simulated), so `when` is the host-clock instant
// that a device-to-host clock mapping should give for `timestamp`, also with a drifting
// clock (DeviceConfig::clock_ppm). Timestamps repeat after each restart (command 103).
// Off by default; keep_readable_times(id, n) keeps the newest n entries.
struct Readable {
  uint64_t timestamp;     // device timestamp in the report (the first sample's)
  Clock::time_point when;
};
VT_API void keep_readable_times(int id, size_t capacity);
VT_API std::vector<Readable> readable_times(int id);

// What the device holds now, for tests that check a set-command reached it.
struct DeviceState {
  bool attached = false;
  int model = 0;                 // 0: not a tracker
  int results_type = 0;
  double rate_hz = 0;
  bool paused = false;
  uint64_t next_timestamp = 0;   // timestamp the next streamed sample will carry
  uint64_t arm_count = 0;        // commands 103 received
  uint64_t images_saved = 0;     // commands 503 received
  int32_t viewing_distance = 0;
  int32_t pupil_scale = 0;
  int32_t tracking_mode = 0;
  std::map<uint16_t, int32_t> params;                 // commands 303 (0: tracking word)
  std::array<std::array<uint8_t, 60>, 6> calibration{};  // blocks 1..6, payload as written
  std::array<std::array<uint8_t, 46>, 32> pin_records{};
  std::array<std::array<uint8_t, 26>, 8> analogue_records{};
  uint8_t ipv4_flag = 0;
  std::array<int32_t, 5> ipv4_values{};
};
VT_API DeviceState state(int id);

}  // namespace vt
