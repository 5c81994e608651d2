// The live detector on synthetic signals, and the live API through the one feed function.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "live_detector.h"
#include "live_events.h"
#include "saccadrix/saccadrix_events.h"
#include "synthetic_eye.h"

namespace {

using saccadrix::events::LiveDetector;
using saccadrix::events::LiveSample;

std::vector<T_EVENT_STRUCT> run_live(const synthetic::Signal& s, const T_EVENT_PARAMS& p) {
  LiveDetector detector(p, 0);
  std::vector<T_EVENT_STRUCT> events;
  T_EVENT_STRUCT out[LiveDetector::kMaxEventsPerPush];
  for (size_t i = 0; i < s.t.size(); ++i) {
    LiveSample sample;
    sample.time = sample.hostTime = s.t[i];
    sample.timestamp = i;
    sample.valid = !std::isnan(s.x[i]);
    sample.x = s.x[i];
    sample.y = s.y[i];
    const size_t n = detector.push(sample, out);
    events.insert(events.end(), out, out + n);
  }
  const size_t n = detector.finish(out);
  events.insert(events.end(), out, out + n);
  EXPECT_EQ(detector.take_overflow(), 0u);
  return events;
}

T_EVENT_PARAMS defaults() {
  T_EVENT_PARAMS p;
  zelSaccadrixGetDefaultEventParams(&p);
  return p;
}

// Every START is followed by the END of the same event before the next START, and the
// events follow one another in time.
void expect_well_formed(const std::vector<T_EVENT_STRUCT>& events) {
  const T_EVENT_STRUCT* open = nullptr;
  double lastEnd = -1e300;
  for (const auto& e : events) {
    ASSERT_EQ(e.size, sizeof(T_EVENT_STRUCT));
    if (e.phase == SACCADRIX_EVENT_START) {
      ASSERT_EQ(open, nullptr) << "START of type " << int{e.type} << " at " << e.startTime
                               << " inside an open event of type " << int{open->type};
      EXPECT_GE(e.startTime, lastEnd) << "type " << int{e.type};
      open = &e;
    } else {
      ASSERT_EQ(e.phase, SACCADRIX_EVENT_END);
      ASSERT_NE(open, nullptr) << "END without START at " << e.startTime;
      ASSERT_EQ(e.type, open->type);
      ASSERT_EQ(e.startTime, open->startTime);
      ASSERT_EQ(e.startTimestamp, open->startTimestamp);
      EXPECT_GE(e.endTime, e.startTime);
      EXPECT_GE(e.detectedTime, e.endTime);
      lastEnd = e.endTime;
      open = nullptr;
    }
  }
}

struct LiveCase {
  const char* name;
  double rate;
  double noise;
  double maxDelay;  // s from the true onset to the START being queued
};

class LiveAcrossRates : public testing::TestWithParam<LiveCase> {};

TEST_P(LiveAcrossRates, saccade_starts_arrive_early_and_none_is_missed_or_invented) {
  synthetic::Scenario scenario;
  scenario.rate = GetParam().rate;
  scenario.noise = GetParam().noise;
  scenario.seconds = scenario.rate > 2000 ? 10 : 30;
  scenario.pso = true;
  scenario.blinkEvery = 4;
  const synthetic::Signal s = synthetic::generate(scenario);
  const std::vector<T_EVENT_STRUCT> events = run_live(s, defaults());
  expect_well_formed(events);

  // The STARTs of saccades whose END does not call them a false alarm.
  std::vector<const T_EVENT_STRUCT*> starts;
  for (size_t i = 0; i + 1 < events.size(); ++i) {
    const T_EVENT_STRUCT& e = events[i];
    if (e.type != SACCADRIX_EVENT_SACCADE || e.phase != SACCADRIX_EVENT_START) continue;
    if (!(events[i + 1].flags & SACCADRIX_EVENT_FLAG_REJECTED)) starts.push_back(&e);
  }
  int missed = 0, counted = 0;
  for (const auto& truth : s.saccades) {
    // The thresholds are learnt in the first second.
    if (truth.onset < s.t.front() + 1) continue;
    ++counted;
    const T_EVENT_STRUCT* match = nullptr;
    for (const auto* e : starts) {
      if (e->startTime <= truth.offset && e->detectedTime >= truth.onset - 0.01) {
        match = e;
        break;
      }
    }
    if (match == nullptr) {
      ++missed;
      continue;
    }
    EXPECT_LE(match->detectedTime - truth.onset, GetParam().maxDelay) << "saccade at " << truth.onset;
    // Back-dated to the onset, within the velocity window and a few samples.
    EXPECT_NEAR(match->startTime, truth.onset, 0.004 + 4 / scenario.rate);
  }
  EXPECT_EQ(missed, 0) << "of " << counted;
  int invented = 0;
  for (const auto* e : starts) {
    bool real = false;
    for (const auto& truth : s.saccades) {
      real = real || (e->startTime <= truth.offset + 0.03 && e->detectedTime >= truth.onset);
    }
    invented += !real;
  }
  EXPECT_EQ(invented, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Events, LiveAcrossRates,
    testing::Values(LiveCase{"r250", 250, 0.01, 0.024}, LiveCase{"r500", 500, 0.014, 0.016},
                    LiveCase{"r1000_quiet", 1000, 0.014, 0.012},
                    LiveCase{"r1000_noisy", 1000, 0.035, 0.014},
                    LiveCase{"r8000", 8000, 0.014, 0.012}),
    [](const testing::TestParamInfo<LiveCase>& row) { return row.param.name; });

TEST(LiveDetector, blinks_start_and_end_around_each_loss) {
  synthetic::Scenario scenario;
  scenario.rate = 1000;
  scenario.blinkEvery = 1;
  const synthetic::Signal s = synthetic::generate(scenario);
  const std::vector<T_EVENT_STRUCT> events = run_live(s, defaults());
  expect_well_formed(events);
  std::vector<double> lossStarts;
  for (size_t i = 1; i < s.t.size(); ++i) {
    if (std::isnan(s.x[i]) && !std::isnan(s.x[i - 1])) lossStarts.push_back(s.t[i]);
  }
  ASSERT_GT(lossStarts.size(), 10u);
  size_t k = 0;
  for (const auto& e : events) {
    if (e.type != SACCADRIX_EVENT_BLINK || e.phase != SACCADRIX_EVENT_END) continue;
    ASSERT_LT(k, lossStarts.size());
    // Starts a margin before the loss, ends after it.
    EXPECT_NEAR(e.startTime, lossStarts[k] - 0.010, 0.0015);
    EXPECT_GE(e.endTime, lossStarts[k] + 0.1);
    EXPECT_LE(e.endTime, lossStarts[k] + 0.15 + 0.05);
    EXPECT_GE(e.sampleCount, 100u);
    ++k;
  }
  EXPECT_EQ(k, lossStarts.size());
}

TEST(LiveDetector, pursuit_is_reported_between_fixations_with_false_saccades_rejected) {
  synthetic::Scenario scenario;
  scenario.rate = 1000;
  scenario.noise = 0.014;
  scenario.pursuitEvery = 2;
  const synthetic::Signal s = synthetic::generate(scenario);
  const std::vector<T_EVENT_STRUCT> events = run_live(s, defaults());
  expect_well_formed(events);
  double truePursuit = 0, found = 0;
  for (int c : s.label) truePursuit += c == SACCADRIX_EVENT_PURSUIT;
  for (const auto& e : events) {
    if (e.type == SACCADRIX_EVENT_PURSUIT && e.phase == SACCADRIX_EVENT_END) found += e.sampleCount;
  }
  EXPECT_GT(found, 0.6 * truePursuit);
  EXPECT_LT(found, 1.3 * truePursuit);
  // A pursuit's onset may pass for the start of a saccade before the thresholds have seen
  // pursuit; such a saccade is rejected at its end. None lasts as a saccade.
  for (const auto& e : events) {
    if (e.type != SACCADRIX_EVENT_SACCADE || e.phase != SACCADRIX_EVENT_END) continue;
    if (e.flags & SACCADRIX_EVENT_FLAG_REJECTED) continue;
    bool real = false;
    for (const auto& truth : s.saccades) {
      real = real || (e.startTime <= truth.offset && e.endTime >= truth.onset);
    }
    EXPECT_TRUE(real) << "saccade " << e.startTime << ".." << e.endTime;
  }
}

// ---- The live API, fed as the decode path will --------------------------------------------

T_RESULTS_STRUCT record_of(const synthetic::Signal& s, size_t i, uint16_t resultsType = 1) {
  T_RESULTS_STRUCT r;
  std::memset(&r, 0, sizeof r);
  r.size = sizeof r;
  r.timestamp = i;
  r.resultsType = resultsType;
  if (!std::isnan(s.x[i])) {
    // The direction (x, y) as a gaze vector: azimuth x, elevation y.
    const double ax = s.x[i] / 57.29577951308232, ay = s.y[i] / 57.29577951308232;
    r.eye[0].tracked = 1;
    r.eye[0].values[8] = static_cast<float>(std::cos(ay) * std::sin(ax));
    r.eye[0].values[9] = static_cast<float>(std::sin(ay));
    r.eye[0].values[10] = static_cast<float>(std::cos(ay) * std::cos(ax));
  }
  return r;
}

std::vector<T_EVENT_STRUCT> drain() {
  std::vector<T_EVENT_STRUCT> events;
  T_EVENT_STRUCT e;
  while (zelSaccadrixGetEvent(&e) == 1) events.push_back(e);
  return events;
}

// Detection off, the queue empty: the shared state as a test expects to find it.
void fresh_live_state() {
  ASSERT_EQ(zelSaccadrixSetEventDetection(-1, 0, nullptr), SACCADRIX_OK);
  saccadrix::events::feed(T_RESULTS_STRUCT{}, 0, 0);
  drain();
}

class LiveApi : public testing::Test {
 protected:
  void SetUp() override { fresh_live_state(); }
  void TearDown() override { fresh_live_state(); }
  static synthetic::Signal signal() {
    synthetic::Scenario scenario;
    scenario.rate = 1000;
    scenario.seconds = 10;
    scenario.blinkEvery = 3;
    return synthetic::generate(scenario);
  }
};

TEST_F(LiveApi, queued_events_are_the_detectors_events) {
  const synthetic::Signal s = signal();
  ASSERT_EQ(zelSaccadrixSetEventDetection(0, 1, nullptr), SACCADRIX_OK);
  std::vector<T_EVENT_STRUCT> queued;
  for (size_t i = 0; i < s.t.size(); ++i) {
    saccadrix::events::feed(record_of(s, i), s.t[i] + 0.0001, s.t[i]);
    if (i % 500 == 0) {
      const auto some = drain();
      queued.insert(queued.end(), some.begin(), some.end());
    }
  }
  const auto rest = drain();
  queued.insert(queued.end(), rest.begin(), rest.end());

  // The same detector on the same directions (floats through the gaze vector).
  synthetic::Signal rounded = s;
  for (size_t i = 0; i < s.t.size(); ++i) {
    const T_RESULTS_STRUCT r = record_of(s, i);
    if (!r.eye[0].tracked) continue;
    zelSaccadrixGazeDirection(r.eye[0].values[8], r.eye[0].values[9], r.eye[0].values[10],
                              &rounded.x[i], &rounded.y[i]);
  }
  std::vector<T_EVENT_STRUCT> direct = run_live(rounded, defaults());
  direct.pop_back();  // finish() ends the last event; the live one is still open
  ASSERT_EQ(queued.size(), direct.size());
  for (size_t i = 0; i < queued.size(); ++i) {
    EXPECT_EQ(queued[i].type, direct[i].type);
    EXPECT_EQ(queued[i].phase, direct[i].phase);
    EXPECT_EQ(queued[i].startTimestamp, direct[i].startTimestamp);
    EXPECT_EQ(queued[i].eye, 0);
    EXPECT_EQ(queued[i].dropped, 0u);
    EXPECT_NEAR(queued[i].detectedTime - direct[i].detectedTime, 0.0001, 1e-9);
  }
}

TEST_F(LiveApi, nothing_is_detected_when_off_on_raw_results_or_for_the_other_eye) {
  const synthetic::Signal s = signal();
  for (size_t i = 0; i < s.t.size(); ++i) saccadrix::events::feed(record_of(s, i), s.t[i], s.t[i]);
  EXPECT_TRUE(drain().empty());
  ASSERT_EQ(zelSaccadrixSetEventDetection(0, 1, nullptr), SACCADRIX_OK);
  for (size_t i = 0; i < s.t.size(); ++i) saccadrix::events::feed(record_of(s, i, 0), s.t[i], s.t[i]);
  EXPECT_TRUE(drain().empty());
  // Eye 1 of these records is never tracked: one long blink, nothing else.
  ASSERT_EQ(zelSaccadrixSetEventDetection(0, 0, nullptr), SACCADRIX_OK);
  ASSERT_EQ(zelSaccadrixSetEventDetection(1, 1, nullptr), SACCADRIX_OK);
  for (size_t i = 0; i < s.t.size(); ++i) saccadrix::events::feed(record_of(s, i), s.t[i], NAN);
  const auto events = drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, SACCADRIX_EVENT_BLINK);
  EXPECT_EQ(events[0].eye, 1);
}

TEST_F(LiveApi, a_full_queue_drops_the_oldest_and_says_how_many) {
  const synthetic::Signal s = signal();
  ASSERT_EQ(zelSaccadrixSetEventDetection(0, 1, nullptr), SACCADRIX_OK);
  std::vector<T_EVENT_STRUCT> all;
  // Feed the signal over and over (its times moved on) without reading: far more than the
  // queue holds.
  for (int round = 0; round < 12; ++round) {
    for (size_t i = 0; i < s.t.size(); ++i) {
      const double t = s.t[i] + round * 11.0;
      saccadrix::events::feed(record_of(s, i), t, t);
    }
  }
  const auto queued = drain();
  ASSERT_EQ(queued.size(), 1024u);
  EXPECT_GT(queued[0].dropped, 0u);
  for (size_t i = 1; i < queued.size(); ++i) EXPECT_EQ(queued[i].dropped, 0u);
  // The newest events are the ones kept: the last one came from the last round.
  EXPECT_GT(queued.back().startTime, s.t.front() + 11 * 11.0);
}

// The decode thread feeds while clients switch detection and take events: every event taken
// is whole, and what the feed could not place is counted, not lost silently.
TEST_F(LiveApi, feed_and_clients_on_other_threads) {
  const synthetic::Signal s = signal();
  ASSERT_EQ(zelSaccadrixSetEventDetection(-1, 1, nullptr), SACCADRIX_OK);
  std::atomic<bool> done{false};
  std::thread decoder([&] {
    for (int round = 0; round < 4; ++round) {
      for (size_t i = 0; i < s.t.size(); ++i) {
        const double t = s.t[i] + round * 11.0;
        saccadrix::events::feed(record_of(s, i), t, t);
      }
    }
    done = true;
  });
  std::thread switcher([&] {
    // Eye 1 stays on throughout; eye 0 goes on and off.
    for (int k = 1; !done; ++k) {
      zelSaccadrixSetEventDetection(k % 2, k % 5 != 0 || k % 2 == 1, nullptr);
      std::this_thread::yield();
    }
  });
  size_t taken = 0;
  T_EVENT_STRUCT e;
  while (!done) {
    while (zelSaccadrixGetEvent(&e) == 1) {
      ASSERT_EQ(e.size, sizeof e);
      ASSERT_TRUE(e.eye == 0 || e.eye == 1);
      ASSERT_TRUE(e.type >= SACCADRIX_EVENT_FIXATION && e.type <= SACCADRIX_EVENT_BLINK);
      ++taken;
    }
    std::this_thread::yield();
  }
  decoder.join();
  switcher.join();
  EXPECT_GT(taken + drain().size(), 0u);
}

TEST_F(LiveApi, arguments_are_checked) {
  T_EVENT_PARAMS p = defaults();
  p.liveVelocityWindow = 0;
  EXPECT_EQ(zelSaccadrixSetEventDetection(0, 1, &p), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetEventDetection(2, 1, nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetEventDetection(-2, 0, nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetEvent(nullptr), SACCADRIX_E_ARG);
  T_EVENT_STRUCT e;
  EXPECT_EQ(zelSaccadrixGetEvent(&e), 0);
}

}  // namespace
