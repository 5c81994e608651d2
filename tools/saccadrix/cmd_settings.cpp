// saccadrix settings get|set: the tracker's settings, one table row per setting.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "parse.h"
#include "saccadrix/saccadrix.h"
#include "session.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

using Args = std::vector<std::string>;

void Check(int status, const std::string& what) { CheckStatus(Source::kDevice, status, what); }

std::string Join(std::initializer_list<long long> values) {
  std::string text;
  for (long long v : values) {
    if (!text.empty()) text += ' ';
    text += std::to_string(v);
  }
  return text;
}

int32_t Int32(const std::string& text, const std::string& what) {
  return static_cast<int32_t>(ParseInteger(text, INT32_MIN, INT32_MAX, what));
}

// ---- Readers and writers, one pair per setting. Arguments have been counted already.

std::string GetTracking(const Args&) {
  uint8_t first = 0, second = 0;
  Check(zelSaccadrixGetTracking(&first, &second), "cannot read the tracking flags");
  return Join({first, second});
}
void SetTracking(const Args& a) {
  Check(zelSaccadrixSetTracking(ParseSwitch(a[0], "tracking flag of eye 0"),
                                ParseSwitch(a[1], "tracking flag of eye 1")),
        "cannot set the tracking flags");
}

std::string GetParam(const Args& a) {
  int value = 0;
  const int id = static_cast<int>(ParseInteger(a[0], 0, 65535, "parameter number"));
  Check(zelSaccadrixGetParam(id, &value), "cannot read parameter " + a[0]);
  return std::to_string(value);
}
void SetParam(const Args& a) {
  const int id = static_cast<int>(ParseInteger(a[0], 0, 65535, "parameter number"));
  Check(zelSaccadrixSetParam(id, Int32(a[1], "parameter value")),
        "cannot set parameter " + a[0]);
}

std::string GetMode(const Args&) {
  int mode = 0;
  Check(zelSaccadrixGetTrackingMode(&mode), "cannot read the tracking mode");
  return std::to_string(mode);
}
void SetMode(const Args& a) {
  const int status = zelSaccadrixSetTrackingMode(Int32(a[0], "tracking mode"));
  if (status == SACCADRIX_E_UNSUPPORTED) {
    throw Failure(Exit::kUnsupported,
                  "the tracking mode is chosen on the tracker itself; the host cannot change it");
  }
  Check(status, "cannot set the tracking mode");
}

std::string GetCapture(const Args&) {
  int v1 = 0, v2 = 0, rate = 0, v4 = 0, v5 = 0;
  Check(zelSaccadrixGetCaptureConfig(&v1, &v2, &rate, &v4, &v5),
        "cannot read the capture configuration");
  return Join({v1, v2, rate, v4, v5});
}

std::string GetPupil(const Args&) {
  double scale = 0;
  Check(zelSaccadrixGetPupilCalibration(&scale), "cannot read the pupil calibration");
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", scale);
  return text;
}
void SetPupil(const Args& a) {
  Check(zelSaccadrixSetPupilCalibration(ParseNumber(a[0], "reference pupil size"),
                                        ParseNumber(a[1], "measured value")),
        "cannot set the pupil calibration");
}

std::string GetIpv4(const Args&) {
  uint8_t flag = 0;
  int v[5] = {};
  Check(zelSaccadrixGetIPV4Config(&flag, &v[0], &v[1], &v[2], &v[3], &v[4]),
        "cannot read the network configuration");
  return Join({flag, v[0], v[1], v[2], v[3], v[4]});
}
void SetIpv4(const Args& a) {
  const auto flag = static_cast<uint8_t>(ParseInteger(a[0], 0, 255, "network flag"));
  Check(zelSaccadrixSetIPV4Config(flag, Int32(a[1], "network value 1"),
                                  Int32(a[2], "network value 2"), Int32(a[3], "network value 3"),
                                  Int32(a[4], "network value 4"), Int32(a[5], "network value 5")),
        "cannot set the network configuration");
}

std::string GetEthernet(const Args&) {
  char mac[64] = {}, info[64] = {};
  Check(zelSaccadrixGetEthMacAddress(mac, info, sizeof mac), "cannot read the Ethernet texts");
  return std::string(mac) + " " + info;
}

// Pin and analogue records travel as hex: one template serves both kinds, given the record
// type, its reader and writer, how many there are and what the user calls one.
template <typename Record, int (*Get)(uint8_t, Record*), int (*Set)(uint8_t, const Record*),
          int Count>
struct RecordSetting {
  static std::string Read(const Args& a, const char* what) {
    Record record{};
    Check(Get(Number(a[0], what), &record), std::string("cannot read ") + what + " " + a[0]);
    return HexBytes(record.bytes, sizeof record.bytes);
  }
  static void Write(const Args& a, const char* what) {
    Record record{};
    const uint8_t number = Number(a[0], what);
    const std::vector<uint8_t> bytes =
        ParseHexBytes(a[1], sizeof record.bytes, std::string(what) + " record");
    std::copy(bytes.begin(), bytes.end(), record.bytes);
    Check(Set(number, &record), std::string("cannot set ") + what + " " + a[0]);
  }
  static uint8_t Number(const std::string& text, const char* what) {
    return static_cast<uint8_t>(ParseInteger(text, 1, Count, std::string(what) + " number"));
  }
};
using PinSetting = RecordSetting<PinFunctionRecord, zelSaccadrixGetPinFunction,
                                 zelSaccadrixSetPinFunction, 32>;
using AnalogueSetting = RecordSetting<AnalogueFunctionRecord, zelSaccadrixGetAnalogueFunction,
                                      zelSaccadrixSetAnalogueFunction, 8>;

std::string GetPin(const Args& a) { return PinSetting::Read(a, "pin"); }
void SetPin(const Args& a) { PinSetting::Write(a, "pin"); }
std::string GetAnalogue(const Args& a) { return AnalogueSetting::Read(a, "analogue channel"); }
void SetAnalogue(const Args& a) { AnalogueSetting::Write(a, "analogue channel"); }

struct Setting {
  const char* name;
  const char* key;       // what get and set take before the value, e.g. "ID"; "" for none
  const char* value;     // what set takes as the value; nullptr: read-only
  const char* help;
  std::string (*get)(const Args&);
  void (*set)(const Args&);
};

int Count(const char* words) {
  if (words == nullptr || *words == '\0') return 0;
  int count = 1;
  for (const char* c = words; *c != '\0'; ++c) count += *c == ' ' ? 1 : 0;
  return count;
}

constexpr Setting kSettings[] = {
    {"tracking", "", "EYE0 EYE1", "tracking flags of the two eyes (on/off)", GetTracking,
     SetTracking},
    {"mode", "", "MODE", "tracking mode (the tracker does not let the host change it)", GetMode,
     SetMode},
    {"capture", "", nullptr, "capture configuration: five values, the third is the frame rate",
     GetCapture, nullptr},
    {"pupil-calibration", "", "REFERENCE VALUE",
     "pupil scale; set from a reference pupil size and the value measured for it", GetPupil,
     SetPupil},
    {"ipv4", "", "FLAG V1 V2 V3 V4 V5", "network configuration: a flag and five values (model 4)",
     GetIpv4, SetIpv4},
    {"ethernet", "", nullptr, "hardware address and network information (model 4)", GetEthernet,
     nullptr},
    {"param", "ID", "VALUE", "numbered parameter ID (0..65535; reads give its low byte)",
     GetParam, SetParam},
    {"pin", "N", "HEX", "configuration record of digital pin N (1..32, 46 bytes, model 4)",
     GetPin, SetPin},
    {"analogue", "N", "HEX",
     "configuration record of analogue channel N (1..8, 26 bytes, model 4)", GetAnalogue,
     SetAnalogue},
};

const Setting& FindSetting(const std::string& name) {
  for (const Setting& s : kSettings) {
    if (name == s.name) return s;
  }
  throw Failure(Exit::kUsage, "no setting named '" + name + "' (see saccadrix settings --help)");
}

std::string Usage(const Setting& s, bool set) {
  std::string text = std::string("saccadrix settings ") + (set ? "set " : "get ") + s.name;
  if (*s.key != '\0') text += std::string(" ") + s.key;
  if (set && s.value != nullptr) text += std::string(" ") + s.value;
  return text;
}

void CheckArgumentCount(const Setting& s, const Args& args, bool set) {
  const size_t expected =
      static_cast<size_t>(Count(s.key) + (set ? Count(s.value) : 0));
  if (args.size() != expected) {
    throw Failure(Exit::kUsage, "usage: " + Usage(s, set));
  }
}

// Every setting that needs no key, one "name: value" line each. Settings the model lacks are
// listed as such; any other failure is reported and makes the command fail at the end.
void PrintOverview() {
  bool failed = false;
  for (const Setting& s : kSettings) {
    if (*s.key != '\0') continue;
    std::string value;
    try {
      value = s.get({});
    } catch (const Failure& failure) {
      if (failure.exit() == Exit::kUnsupported) {
        value = "not supported by this model";
      } else {
        value = std::string("unavailable: ") + failure.what();
        failed = true;
      }
    }
    std::printf("%-18s %s\n", (std::string(s.name) + ":").c_str(), value.c_str());
  }
  if (failed) {
    throw Failure(Exit::kDevice, "some settings could not be read (see above)");
  }
}

void RunGet(const Args& words) {
  if (words.empty()) {
    TrackerSession session;
    PrintOverview();
    return;
  }
  const Setting& s = FindSetting(words[0]);
  const Args args(words.begin() + 1, words.end());
  CheckArgumentCount(s, args, false);
  TrackerSession session;
  std::printf("%s\n", s.get(args).c_str());
}

void RunSet(const Args& words) {
  const Setting& s = FindSetting(words[0]);
  if (s.set == nullptr) {
    throw Failure(Exit::kUsage, std::string("the setting '") + s.name + "' cannot be changed");
  }
  const Args args(words.begin() + 1, words.end());
  CheckArgumentCount(s, args, true);
  TrackerSession session;
  s.set(args);
  std::string echo = s.name;
  for (const std::string& a : args) echo += " " + a;
  std::printf("sent: %s\n", echo.c_str());
}

std::string SettingsFooter() {
  std::string text = "Settings:\n";
  for (const Setting& s : kSettings) {
    std::string usage = std::string(s.name) + (*s.key != '\0' ? std::string(" ") + s.key : "");
    if (s.value != nullptr) usage += std::string(" [") + s.value + "]";
    text += "  " + usage + std::string(usage.size() < 36 ? 36 - usage.size() : 1, ' ') +
            s.help + "\n";
  }
  text += "'get' without a name lists every setting that needs no ID or number.\n"
          "Set-commands are not acknowledged by the tracker: 'sent' means written.";
  return text;
}

}  // namespace

void AddSettingsCommand(CLI::App& app, Action& action) {
  CLI::App* settings =
      app.add_subcommand("settings", "Read or change the tracker's settings");
  settings->require_subcommand(1);
  settings->footer(SettingsFooter());

  auto getWords = std::make_shared<Args>();
  CLI::App* get = settings->add_subcommand("get", "Print a setting (or all of them)");
  get->add_option("NAME", *getWords, "Setting name, then its ID or number if it takes one");
  get->footer(SettingsFooter());
  get->callback([&action, getWords] { action = [getWords] { RunGet(*getWords); }; });

  auto setWords = std::make_shared<Args>();
  CLI::App* set = settings->add_subcommand("set", "Change a setting");
  set->add_option("NAME", *setWords, "Setting name, its ID or number if it takes one, and the "
                  "new value(s)")
      ->required();
  set->footer(SettingsFooter());
  set->callback([&action, setWords] { action = [setWords] { RunSet(*setWords); }; });
}

}  // namespace saccadrix::cli
