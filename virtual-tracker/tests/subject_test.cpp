// The simulated subject against what it promises: its statistics at every rate, the main
// sequence, targets shown to it, its ground truth as the stream carries it, and the
// drifting clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <set>
#include <thread>

#include "subject.h"
#include "test_support.h"

namespace {

using namespace vt_test;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using vt::detail::degrees_of;
using vt::detail::Subject;

struct Measured {
  double s2s = 0;               // RMS distance of successive measured fixation samples (deg)
  double offset_x = 0, offset_y = 0;  // mean measured minus true (deg)
  double micro_per_s = 0, blinks_per_min = 0;
};

// Runs a subject that looks at one target for `seconds` and measures it as a validation
// would, from eye 0's eye positions, against its own ground truth.
Measured look_and_measure(const vt::SubjectConfig& c, double rate, double seconds, uint64_t seed) {
  Subject s(seed, c);
  s.run_targets({vt::TargetStep{3, -2, 1e9, 0, 0}});
  Measured m;
  double sum2 = 0, px = 0, py = 0;
  size_t pairs = 0, fixation = 0, micro = 0, blinks = 0;
  uint64_t last_saccade = 0;
  bool have = false, in_blink = false;
  const int n = static_cast<int>(seconds * rate);
  for (int i = 0; i < n; ++i) {
    const auto x = s.next(1 / rate);
    if (x.truth.saccade != 0 && x.truth.saccade != last_saccade) {
      last_saccade = x.truth.saccade;
      micro += x.truth.micro;
    }
    const bool blink = x.truth.kind == vt::kTruthBlink;
    blinks += blink && !in_blink;
    in_blink = blink;
    EXPECT_EQ(x.eye[0].tracked, !blink);
    if (x.truth.kind != vt::kTruthFixation || !x.eye[0].tracked) {
      have = false;
      continue;
    }
    const double mx = degrees_of(x.eye[0].eye_x, c.gain), my = degrees_of(x.eye[0].eye_y, c.gain);
    m.offset_x += mx - x.truth.x_deg;
    m.offset_y += my - x.truth.y_deg;
    ++fixation;
    if (have) {
      sum2 += (mx - px) * (mx - px) + (my - py) * (my - py);
      ++pairs;
    }
    px = mx;
    py = my;
    have = true;
  }
  m.s2s = std::sqrt(sum2 / static_cast<double>(pairs));
  m.offset_x /= static_cast<double>(fixation);
  m.offset_y /= static_cast<double>(fixation);
  m.micro_per_s = static_cast<double>(micro) / seconds;
  m.blinks_per_min = static_cast<double>(blinks) / seconds * 60;
  return m;
}

// Noise, offset, microsaccades and blinks keep their meaning from 250 Hz to 8 kHz: a model
// that ties any of them to the sample step instead of time fails at one end of the table.
TEST(Subject, ImperfectionsHoldTheirSettingsAtEveryRate) {
  struct Row {
    double rate, noise, offset_x, offset_y;
  } rows[] = {{250, 0.02, 0, 0}, {1000, 0.02, 0.5, -0.3}, {8000, 0.02, 0, 0},
              {1000, 0.05, -1, 0.25}, {500, 0.1, 0, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.rate << " Hz, noise " << r.noise);
    vt::SubjectConfig c;
    c.noise_deg = r.noise;
    c.offset_x_deg = r.offset_x;
    c.offset_y_deg = r.offset_y;
    const double seconds = r.rate >= 8000 ? 60 : 240;
    const Measured m = look_and_measure(c, r.rate, seconds, 11);
    // Tremor and drift add a little to the noise's sample-to-sample distance.
    EXPECT_GT(m.s2s, 0.95 * r.noise);
    EXPECT_LT(m.s2s, 1.15 * r.noise + 0.003);
    EXPECT_NEAR(m.offset_x, r.offset_x, 0.005);
    EXPECT_NEAR(m.offset_y, r.offset_y, 0.005);
    EXPECT_GT(m.micro_per_s, 0.6);
    EXPECT_LT(m.micro_per_s, 1.4);
    EXPECT_GT(m.blinks_per_min, 8);
    EXPECT_LT(m.blinks_per_min, 24);
  }
}

TEST(Subject, SaccadesFollowTheMainSequence) {
  vt::SubjectConfig c;
  c.microsaccades_per_s = 0;
  c.blinks_per_min = 0;
  c.noise_deg = 0;
  c.tremor_deg = 0;
  c.drift_deg_s = 0;
  double last_peak = 0;
  for (double amplitude : {1.0, 5.0, 10.0, 20.0, 30.0}) {
    SCOPED_TRACE(testing::Message() << amplitude << " degrees");
    Subject s(3, c);
    s.run_targets({vt::TargetStep{0, 0, 0.5, 0, 0}, vt::TargetStep{amplitude, 0, 1, 0, 0}});
    const double dt = 1e-4;
    int saccade_samples = 0;
    double peak = 0, px = 0, landed = 0;
    for (int i = 0; i < 15000; ++i) {
      const auto x = s.next(dt);
      if (x.truth.kind == vt::kTruthSaccade && !x.truth.micro && x.truth.to_x > amplitude / 2) {
        ++saccade_samples;
        peak = std::max(peak, (x.truth.x_deg - px) / dt);
      }
      if (i == 14999) landed = x.truth.x_deg;
      px = x.truth.x_deg;
    }
    const double expected_ms = 2.2 * amplitude + 21;
    EXPECT_NEAR(saccade_samples * dt * 1000, expected_ms, 0.5);
    EXPECT_GT(peak, last_peak) << "peak velocity grows with amplitude";
    EXPECT_NEAR(peak, 3.14159265 / 2 * amplitude / (expected_ms / 1000), 0.1 * peak);
    EXPECT_NEAR(landed, amplitude, 0.2);
    last_peak = peak;
  }
}

// A validation's target sequence: the subject reacts to each target with one saccade and
// then fixates it; post-saccadic oscillations follow large saccades only.
TEST(Subject, StepsThroughTargetsWithOneLandingSaccadeEach) {
  vt::SubjectConfig c;
  c.microsaccades_per_s = 0;
  c.blinks_per_min = 0;
  c.drift_deg_s = 0.05;
  c.reaction_s = 0.15;
  Subject s(5, c);
  const std::vector<vt::TargetStep> steps = {
      {-10, 5, 1.0, 0, 0}, {10, 5, 1.0, 0, 0}, {10.5, 5, 1.0, 0, 0}, {0, -8, 1.0, 0, 0}};
  s.run_targets(steps);
  std::map<int, std::set<uint64_t>> saccades;
  std::map<int, int> pso;
  const double dt = 0.001;
  for (int i = 0; i < 4000; ++i) {
    const auto x = s.next(dt);
    const int k = x.truth.target;
    ASSERT_GE(k, 0);
    if (x.truth.saccade != 0) saccades[k].insert(x.truth.saccade);
    pso[k] += x.truth.kind == vt::kTruthPso;
    const double into_step = (i + 1) * dt - k * 1.0;
    if (into_step > 0.5) {
      EXPECT_EQ(x.truth.kind, vt::kTruthFixation) << "sample " << i;
      EXPECT_NEAR(x.truth.x_deg, steps[static_cast<size_t>(k)].x_deg, 0.1) << "sample " << i;
      EXPECT_NEAR(x.truth.y_deg, steps[static_cast<size_t>(k)].y_deg, 0.1) << "sample " << i;
    }
    if (into_step < 0.15) {
      EXPECT_NE(x.truth.kind, vt::kTruthSaccade) << "before the reaction";
    }
  }
  for (int k = 0; k < 4; ++k) EXPECT_EQ(saccades[k].size(), 1u) << "target " << k;
  EXPECT_GT(pso[1], 10);   // 20 degrees: an oscillation of 1 degree
  EXPECT_EQ(pso[2], 0);    // 0.5 degree: none
}

TEST(Subject, PursuesAMovingTargetWithCatchUpSaccades) {
  vt::SubjectConfig c;
  c.blinks_per_min = 0;
  Subject s(9, c);
  s.run_targets({vt::TargetStep{-10, 0, 1.5, 15, 0}, vt::TargetStep{12.5, 0, 1, 0, 0}});
  int pursuit = 0;
  double max_lag = 0;
  for (int i = 0; i < 1500; ++i) {
    const auto x = s.next(0.001);
    if (x.truth.kind == vt::kTruthPursuit) {
      ++pursuit;
      const double target_x = -10 + 15 * (i + 1) * 0.001;
      if (i > 500) max_lag = std::max(max_lag, std::fabs(target_x - x.truth.x_deg));
    }
  }
  EXPECT_GT(pursuit, 900);     // most of the 1.3 s after the reaction
  EXPECT_LT(max_lag, 1.2);     // catch-up saccades keep the eye on the target
}

TEST(Subject, HeldEyePositionStaysExactAndTheGainMapsDegrees) {
  Subject s(1);
  s.hold_eye(10.0, -5.0);
  for (int i = 0; i < 100; ++i) {
    const auto x = s.next(0.001);
    ASSERT_TRUE(x.eye[1].tracked);
    EXPECT_EQ(x.eye[1].eye_x, 10.0);
    EXPECT_EQ(x.eye[1].eye_y, -5.0);
    EXPECT_NEAR(x.truth.x_deg, std::atan(10.0 / 150) * 180 / 3.14159265358979, 1e-9);
  }
}

// Reads a device's reports as a host's poll thread would, so that the input queue never
// fills.
class Reader {
 public:
  explicit Reader(int id) : dev_(open_device(id)), thread_([this] {
    Report r{};
    while (!stop_) hid_read_timeout(dev_.get(), r.data(), r.size(), 5);
  }) {}
  ~Reader() {
    stop_ = true;
    thread_.join();
  }

 private:
  Handle dev_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class SubjectStream : public OneDevice {};

// The stream carries the truth of every sample under the record's timestamp, with the host
// time its report became readable; model code 3 carries two samples of eye 0 per report.
TEST_F(SubjectStream, TruthIsKeyedByTimestampAndReadableTime) {
  struct Row {
    int model;
    uint16_t firmware;
    uint64_t step;  // timestamp step between samples of one report
  } rows[] = {{4, 26122, 1}, {3, 26122, 1}, {3, 26121, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "model " << r.model << " firmware " << r.firmware);
    vt::reset();
    vt::DeviceConfig c = tracker(r.model, 1000);
    c.firmware_version = r.firmware;
    const int id = vt::attach(c);
    vt::keep_truth(id, 100000);
    vt::keep_readable_times(id, 100000);
    Reader reader(id);
    ASSERT_TRUE(eventually([&] { return vt::readable_times(id).size() >= 200; }));
    const auto readable = vt::readable_times(id);
    const auto truth = vt::truth_samples(id);
    std::map<std::pair<uint64_t, uint8_t>, const vt::TruthSample*> by_key;
    for (const auto& t : truth) by_key[{t.timestamp, t.pair}] = &t;
    const size_t per_report = r.model == 3 ? 2 : 1;
    for (const vt::Readable& rd : readable) {
      const double when = std::chrono::duration<double>(rd.when.time_since_epoch()).count();
      for (uint8_t p = 0; p < per_report; ++p) {
        const auto it = by_key.find({rd.timestamp + p * r.step, p});
        ASSERT_NE(it, by_key.end()) << "timestamp " << rd.timestamp << " pair " << int(p);
        EXPECT_EQ(it->second->host_time, when);
        if (r.model == 3) {
          EXPECT_EQ(it->second->eye[1].kind, 0) << "eye 1 is not reported";
        }
      }
    }
  }
}

TEST_F(SubjectStream, SaccadeOnsetsAndOffsetsAreSamplesOfTheSaccade) {
  vt::DeviceConfig c = tracker(4, 1000);
  c.subject.blinks_per_min = 0;
  const int id = vt::attach(c);
  vt::keep_truth(id, 100000);
  Reader reader(id);
  ASSERT_TRUE(eventually([&] { return vt::truth_saccades(id).size() >= 6; }, milliseconds(20000)));
  const auto saccades = vt::truth_saccades(id);
  const auto samples = vt::truth_samples(id);
  std::map<uint64_t, uint8_t> kind;
  std::map<uint64_t, double> host_time;
  for (const auto& t : samples) {
    kind[t.timestamp] = t.eye[0].kind;
    host_time[t.timestamp] = t.host_time;
  }
  size_t checked = 0;
  for (const auto& s : saccades) {
    if (!s.complete || s.onset_timestamp == samples.front().timestamp) continue;
    ASSERT_TRUE(kind.count(s.onset_timestamp) && kind.count(s.offset_timestamp + 1));
    EXPECT_EQ(kind[s.onset_timestamp], vt::kTruthSaccade);
    EXPECT_EQ(kind[s.offset_timestamp], vt::kTruthSaccade);
    EXPECT_NE(kind[s.onset_timestamp - 1], vt::kTruthSaccade) << "onset is the first";
    EXPECT_NE(kind[s.offset_timestamp + 1], vt::kTruthSaccade) << "offset is the last";
    EXPECT_EQ(host_time[s.onset_timestamp], s.onset_host_time);
    EXPECT_NEAR(static_cast<double>(s.offset_timestamp - s.onset_timestamp + 1),
                2.2 * s.amplitude_deg + 21, 1.5);
    ++checked;
  }
  EXPECT_GE(checked, 5u);
}

// A tracker whose clock runs slow makes its reports further apart on the host clock than
// its timestamps say. Reports never become readable before they are due, and a loaded
// machine only delays them (or restarts the schedule later), so the lowest delay late in
// the run must not fall below the lowest early on, as it would if the rate error were
// missing or had the wrong sign.
TEST_F(SubjectStream, ClockRateErrorSpacesReportsOnTheHostClock) {
  constexpr double kPpm = -1000, kRate = 4000;
  vt::DeviceConfig c = tracker(4, kRate);
  const int id = vt::attach(c);
  vt::set_clock_ppm(id, kPpm);
  vt::keep_readable_times(id, 100000);
  Reader reader(id);
  ASSERT_TRUE(eventually([&] { return vt::readable_times(id).size() >= 8000; }, milliseconds(30000)));
  const auto log = vt::readable_times(id);
  const double period = 1 / (kRate * (1 + kPpm * 1e-6));
  const auto t0 = log.front().when;
  double early = 1e9, late = 1e9;
  for (const vt::Readable& r : log) {
    const double t = std::chrono::duration<double>(r.when - t0).count();
    const double delay = t - static_cast<double>(r.timestamp - log.front().timestamp) * period;
    if (r.timestamp - log.front().timestamp < 1000) early = std::min(early, delay);
    if (r.timestamp - log.front().timestamp > 7000) late = std::min(late, delay);
  }
  // Over the 1.5 s between the two windows the wrong rate would differ by 1.5 ms.
  EXPECT_GT(late - early, -0.0005);
  EXPECT_DOUBLE_EQ(vt::state(id).rate_hz, kRate);  // the tracker still says its nominal rate
}

}  // namespace
