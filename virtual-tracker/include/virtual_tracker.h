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
};

// Attaches a simulated device; enumeration lists devices in the order they were attached.
// Returns the device id (1, 2, ... counted from the last reset()), or -1 when the
// configuration is out of range (rate_hz not 0 and not within 1..8000, results_type not 0 or
// 1, more than 61 pin function bytes, pin_count above 255, build date or Ethernet texts too
// long for their reply). Devices whose ids are not a tracker's (see model_for_ids) are
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

// The simulated subject. By default the eyes make fixations, saccades and blinks of their
// own; set_eye_position holds a steady, always tracked fixation of both eyes at this eye
// position (pupil centre minus reflection centre, tracker units, as the host's calibration
// targets measure it) until release_eye_position.
VT_API void set_eye_position(int id, double eye_x, double eye_y);
VT_API void release_eye_position(int id);
// Holds the digital inputs at these bits until release_digital_inputs (by default a bit
// among 0..3 changes now and then).
VT_API void set_digital_inputs(int id, uint32_t bits);
VT_API void release_digital_inputs(int id);

// Replaces the firmware identity answered to command 400 (same rules as DeviceConfig).
VT_API void set_firmware(int id, uint16_t version, const std::string& build_date,
                         bool build_date_terminated = true);

// When each result report became readable (entered the input queue), for latency
// measurements. Off by default; keep_readable_times(id, n) keeps the newest n entries.
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
