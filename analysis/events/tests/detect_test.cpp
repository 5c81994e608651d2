// Offline detection against synthetic signals whose true labels are known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "detect.h"
#include "event_core.h"
#include "saccadrix/saccadrix_events.h"
#include "synthetic_eye.h"

namespace {

struct Detected {
  std::vector<int8_t> labels;
  std::vector<T_EVENT_STRUCT> events;
};

Detected detect(const synthetic::Signal& s, const T_EVENT_PARAMS* params = nullptr) {
  Detected d;
  const int n = static_cast<int>(s.t.size());
  d.labels.assign(s.t.size(), -1);
  int count = 0;
  EXPECT_EQ(zelSaccadrixDetectEvents(s.t.data(), s.x.data(), s.y.data(), n, d.labels.data(),
                                     params, nullptr, 0, &count),
            SACCADRIX_OK);
  d.events.resize(static_cast<size_t>(count));
  int again = 0;
  EXPECT_EQ(zelSaccadrixDetectEvents(s.t.data(), s.x.data(), s.y.data(), n, nullptr, params,
                                     d.events.data(), count, &again),
            SACCADRIX_OK);
  EXPECT_EQ(again, count);
  return d;
}

// Fraction of the samples of true class c that got label c.
double recall(const synthetic::Signal& s, const Detected& d, int c) {
  double n = 0, hit = 0;
  for (size_t i = 0; i < s.label.size(); ++i) {
    if (s.label[i] != c) continue;
    n += 1;
    hit += d.labels[i] == c;
  }
  return n > 0 ? hit / n : 1;
}

struct SaccadeScore {
  int missed = 0;        // true saccades that no detected saccade overlaps
  int falseAlarms = 0;   // detected saccades that overlap no true saccade
  std::vector<double> onsetErrors;  // |detected - true|, s
  double median_onset_error() {
    std::sort(onsetErrors.begin(), onsetErrors.end());
    return onsetErrors.empty() ? 0 : onsetErrors[onsetErrors.size() / 2];
  }
  double worst_onset_error() const {
    return onsetErrors.empty() ? 0 : *std::max_element(onsetErrors.begin(), onsetErrors.end());
  }
};

SaccadeScore score_saccades(const synthetic::Signal& s, const std::vector<T_EVENT_STRUCT>& events,
                            double slack) {
  SaccadeScore score;
  std::vector<const T_EVENT_STRUCT*> found;
  for (const auto& e : events) {
    if (e.type == SACCADRIX_EVENT_SACCADE) found.push_back(&e);
  }
  for (const auto& truth : s.saccades) {
    const T_EVENT_STRUCT* match = nullptr;
    for (const auto* e : found) {
      if (e->startTime <= truth.offset + slack && e->endTime >= truth.onset - slack) match = e;
    }
    if (match == nullptr) {
      ++score.missed;
      continue;
    }
    score.onsetErrors.push_back(std::fabs(match->startTime - truth.onset));
  }
  for (const auto* e : found) {
    bool overlaps = false;
    for (const auto& truth : s.saccades) {
      overlaps = overlaps || (e->startTime <= truth.offset + slack && e->endTime >= truth.onset - slack);
    }
    score.falseAlarms += !overlaps;
  }
  return score;
}

// ---- Saccades and fixations across sampling rates and noise ------------------------------

struct RateCase {
  const char* name;
  double rate;
  double noise;
  double seconds;
};

class AcrossRates : public testing::TestWithParam<RateCase> {};

TEST_P(AcrossRates, finds_every_saccade_with_its_onset_and_no_others) {
  synthetic::Scenario scenario;
  scenario.rate = GetParam().rate;
  scenario.noise = GetParam().noise;
  scenario.seconds = GetParam().seconds;
  scenario.pso = true;
  const synthetic::Signal s = synthetic::generate(scenario);
  const Detected d = detect(s);

  SaccadeScore score = score_saccades(s, d.events, 0.005);
  EXPECT_EQ(score.missed, 0) << "of " << s.saccades.size();
  EXPECT_EQ(score.falseAlarms, 0);
  // The 20 ms velocity window starts the speed's rise up to 10 ms early, and the onset is
  // the local minimum before that: within 10 ms typically, and a few samples more at worst.
  const double halfWindow = (std::ceil(0.010 * scenario.rate) - 1) / scenario.rate;
  EXPECT_LE(score.median_onset_error(), halfWindow + 1 / scenario.rate + 1e-9);
  EXPECT_LE(score.worst_onset_error(), halfWindow + 4 / scenario.rate + 1e-9);
  EXPECT_GE(recall(s, d, SACCADRIX_EVENT_FIXATION), 0.9);
  EXPECT_GE(recall(s, d, SACCADRIX_EVENT_SACCADE), 0.8);
  // Saccade samples are not called fixation.
  double leaked = 0, n = 0;
  for (size_t i = 0; i < s.label.size(); ++i) {
    if (s.label[i] != SACCADRIX_EVENT_SACCADE) continue;
    n += 1;
    leaked += d.labels[i] == SACCADRIX_EVENT_FIXATION;
  }
  EXPECT_LE(leaked / n, 0.05);
}

INSTANTIATE_TEST_SUITE_P(
    Events, AcrossRates,
    testing::Values(RateCase{"r250_quiet", 250, 0.01, 30}, RateCase{"r500_quiet", 500, 0.01, 30},
                    RateCase{"r500_noisy", 500, 0.04, 30}, RateCase{"r1000", 1000, 0.014, 20},
                    RateCase{"r8000", 8000, 0.014, 8}),
    [](const testing::TestParamInfo<RateCase>& row) { return row.param.name; });

// ---- PSO, pursuit, blinks ----------------------------------------------------------------

TEST(Detection, labels_post_saccadic_oscillations_after_large_saccades) {
  synthetic::Scenario scenario;
  scenario.pso = true;
  scenario.minAmplitude = 6;
  scenario.noise = 0.005;
  const synthetic::Signal s = synthetic::generate(scenario);
  const Detected d = detect(s);
  EXPECT_GE(recall(s, d, SACCADRIX_EVENT_PSO), 0.5);
  T_EVENT_PARAMS p;
  ASSERT_EQ(zelSaccadrixGetDefaultEventParams(&p), SACCADRIX_OK);
  p.detectPso = 0;
  const Detected none = detect(s, &p);
  EXPECT_EQ(std::count(none.labels.begin(), none.labels.end(), SACCADRIX_EVENT_PSO), 0);
}

TEST(Detection, tells_pursuit_from_fixation) {
  synthetic::Scenario scenario;
  scenario.pursuitEvery = 2;
  scenario.noise = 0.02;
  const synthetic::Signal s = synthetic::generate(scenario);
  const Detected d = detect(s);
  EXPECT_GE(recall(s, d, SACCADRIX_EVENT_PURSUIT), 0.8);
  EXPECT_GE(recall(s, d, SACCADRIX_EVENT_FIXATION), 0.9);
  T_EVENT_PARAMS p;
  zelSaccadrixGetDefaultEventParams(&p);
  p.detectPursuit = 0;
  const Detected off = detect(s, &p);
  EXPECT_EQ(std::count(off.labels.begin(), off.labels.end(), SACCADRIX_EVENT_PURSUIT), 0);
}

TEST(Detection, lost_samples_are_blinks_with_their_margin) {
  synthetic::Scenario scenario;
  scenario.blinkEvery = 1.5;
  const synthetic::Signal s = synthetic::generate(scenario);
  const Detected d = detect(s);
  T_EVENT_PARAMS p;
  zelSaccadrixGetDefaultEventParams(&p);
  size_t blinks = 0;
  for (size_t i = 0; i < s.t.size(); ++i) {
    if (!std::isnan(s.x[i])) continue;
    ASSERT_EQ(d.labels[i], SACCADRIX_EVENT_BLINK) << "lost sample " << i;
    // The margin: every sample within it of a lost one is a blink too.
    for (size_t k = i; k > 0 && s.t[i] - s.t[k - 1] <= p.blinkMargin; --k) {
      EXPECT_EQ(d.labels[k - 1], SACCADRIX_EVENT_BLINK) << "sample " << k - 1;
    }
    blinks += i > 0 && !std::isnan(s.x[i - 1]);
  }
  ASSERT_GT(blinks, 5u);
  size_t events = 0;
  for (const auto& e : d.events) {
    if (e.type != SACCADRIX_EVENT_BLINK) continue;
    ++events;
    EXPECT_LE(e.endTime - e.startTime, 0.15 + 2 * p.blinkMargin + 0.05);
  }
  EXPECT_EQ(events, blinks);
  // Nothing next to a blink passes for a saccade.
  EXPECT_EQ(score_saccades(s, d.events, 0.005).falseAlarms, 0);
}

TEST(Detection, data_beginning_or_ending_lost_and_all_lost) {
  synthetic::Scenario scenario;
  scenario.seconds = 3;
  synthetic::Signal s = synthetic::generate(scenario);
  for (size_t i = 0; i < 40; ++i) s.x[i] = NAN;
  for (size_t i = s.t.size() - 40; i < s.t.size(); ++i) s.y[i] = INFINITY;
  Detected d = detect(s);
  EXPECT_EQ(d.labels.front(), SACCADRIX_EVENT_BLINK);
  EXPECT_EQ(d.labels.back(), SACCADRIX_EVENT_BLINK);
  ASSERT_FALSE(d.events.empty());
  EXPECT_EQ(d.events.front().type, SACCADRIX_EVENT_BLINK);
  EXPECT_TRUE(d.events.front().flags & SACCADRIX_EVENT_FLAG_CUT);

  std::fill(s.x.begin(), s.x.end(), NAN);
  d = detect(s);
  EXPECT_TRUE(std::all_of(d.labels.begin(), d.labels.end(),
                          [](int8_t l) { return l == SACCADRIX_EVENT_BLINK; }));
  ASSERT_EQ(d.events.size(), 1u);
  EXPECT_TRUE(std::isnan(d.events[0].meanX));
}

TEST(Detection, uneven_sampling_and_gaps_in_time) {
  synthetic::Scenario scenario;
  scenario.rate = 1000;
  scenario.noise = 0.01;
  synthetic::Signal s = synthetic::generate(scenario);
  // Jitter of +-0.2 ms on every time, and a 50 ms hole without samples.
  synthetic::Random rnd(7);
  for (double& t : s.t) t += rnd.uniform(-0.0002, 0.0002);
  const size_t hole = s.t.size() / 2;
  const double holeTime = s.t[hole];
  for (size_t i = hole; i < s.t.size(); ++i) s.t[i] += 0.05;
  for (auto& truth : s.saccades) {
    if (truth.onset >= holeTime) {
      truth.onset += 0.05;
      truth.offset += 0.05;
    }
  }
  const Detected d = detect(s);
  const SaccadeScore score = score_saccades(s, d.events, 0.005);
  EXPECT_EQ(score.missed, 0);
  EXPECT_EQ(score.falseAlarms, 0);
  for (const auto& e : d.events) {
    EXPECT_FALSE(e.startIndex < static_cast<int>(hole) && e.endIndex >= static_cast<int>(hole))
        << "an event spans the hole";
  }
}

// ---- Events against labels -----------------------------------------------------------------

TEST(Detection, events_tile_the_labelled_samples) {
  synthetic::Scenario scenario;
  scenario.pso = true;
  scenario.blinkEvery = 3;
  scenario.pursuitEvery = 4;
  const synthetic::Signal s = synthetic::generate(scenario);
  const Detected d = detect(s);
  int last = -1;
  for (const auto& e : d.events) {
    ASSERT_GT(e.startIndex, last);
    ASSERT_LE(e.startIndex, e.endIndex);
    for (int i = last + 1; i < e.startIndex; ++i) EXPECT_EQ(d.labels[i], SACCADRIX_EVENT_UNDEFINED);
    for (int i = e.startIndex; i <= e.endIndex; ++i) ASSERT_EQ(d.labels[i], e.type);
    EXPECT_EQ(e.sampleCount, static_cast<uint32_t>(e.endIndex - e.startIndex + 1));
    EXPECT_EQ(e.startTime, s.t[e.startIndex]);
    EXPECT_EQ(e.endTime, s.t[e.endIndex]);
    if (e.type == SACCADRIX_EVENT_SACCADE) {
      EXPECT_GT(e.amplitude, 0.5);
      EXPECT_GT(e.peakVelocity, 30);
    }
    last = e.endIndex;
  }
}

TEST(Detection, saccade_amplitude_and_peak_velocity_follow_the_truth) {
  synthetic::Scenario scenario;
  scenario.noise = 0.005;
  scenario.rate = 1000;
  const synthetic::Signal s = synthetic::generate(scenario);
  const Detected d = detect(s);
  for (const auto& truth : s.saccades) {
    for (const auto& e : d.events) {
      if (e.type != SACCADRIX_EVENT_SACCADE || e.endTime < truth.onset || e.startTime > truth.offset) continue;
      EXPECT_NEAR(e.amplitude, truth.amplitude, 0.1 * truth.amplitude + 0.1);
      // Minimum-jerk peak speed 1.875 A / D, lowered a little by the 20 ms window.
      const double peak = 1.875 * truth.amplitude / synthetic::main_sequence_duration(truth.amplitude);
      EXPECT_GT(e.peakVelocity, 0.6 * peak);
      EXPECT_LT(e.peakVelocity, 1.1 * peak);
    }
  }
}

// ---- Arguments -----------------------------------------------------------------------------

TEST(DetectEventsApi, refuses_bad_arguments_and_leaves_outputs_alone) {
  const double t[4] = {0, 0.002, 0.004, 0.006}, x[4] = {0, 0, 0, 0}, y[4] = {0, 0, 0, 0};
  const double backwards[4] = {0, 0.002, 0.002, 0.006}, nanTime[4] = {0, NAN, 0.004, 0.006};
  int8_t labels[4] = {9, 9, 9, 9};
  T_EVENT_STRUCT events[2];
  int count = 77;
  T_EVENT_PARAMS bad;
  zelSaccadrixGetDefaultEventParams(&bad);
  bad.onsetSigmas = bad.peakSigmas + 1;
  T_EVENT_PARAMS wrongSize;
  zelSaccadrixGetDefaultEventParams(&wrongSize);
  wrongSize.size = 100;
  struct Row {
    const char* what;
    int status;
  } rows[] = {
      {"negative count", zelSaccadrixDetectEvents(t, x, y, -1, labels, nullptr, events, 2, &count)},
      {"null time", zelSaccadrixDetectEvents(nullptr, x, y, 4, labels, nullptr, events, 2, &count)},
      {"null y", zelSaccadrixDetectEvents(t, x, nullptr, 4, labels, nullptr, events, 2, &count)},
      {"null events", zelSaccadrixDetectEvents(t, x, y, 4, labels, nullptr, nullptr, 2, &count)},
      {"negative maxEvents", zelSaccadrixDetectEvents(t, x, y, 4, labels, nullptr, events, -1, &count)},
      {"repeated time", zelSaccadrixDetectEvents(backwards, x, y, 4, labels, nullptr, events, 2, &count)},
      {"NaN time", zelSaccadrixDetectEvents(nanTime, x, y, 4, labels, nullptr, events, 2, &count)},
      {"onset above peak", zelSaccadrixDetectEvents(t, x, y, 4, labels, &bad, events, 2, &count)},
      {"params of another size", zelSaccadrixDetectEvents(t, x, y, 4, labels, &wrongSize, events, 2, &count)},
  };
  for (const Row& row : rows) EXPECT_EQ(row.status, SACCADRIX_E_ARG) << row.what;
  EXPECT_EQ(count, 77);
  EXPECT_EQ(labels[0], 9);

  EXPECT_EQ(zelSaccadrixDetectEvents(nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0, &count),
            SACCADRIX_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(zelSaccadrixDetectEvents(t, x, y, 1, labels, nullptr, nullptr, 0, nullptr), SACCADRIX_OK);
  EXPECT_EQ(zelSaccadrixGetDefaultEventParams(nullptr), SACCADRIX_E_ARG);
}

TEST(DetectEventsApi, gaze_direction_of_vectors) {
  struct Row {
    double gx, gy, gz;
    int status;
    double x, y;
  } rows[] = {
      {0, 0, 1, SACCADRIX_OK, 0, 0},
      {0, 0, -600, SACCADRIX_OK, 0, 0},       // the z axis may point either way
      {1, 0, 1, SACCADRIX_OK, 45, 0},
      {-1, 0, -1, SACCADRIX_OK, -45, 0},
      {0, 1, 1, SACCADRIX_OK, 0, 45},
      {1, 1, 1, SACCADRIX_OK, 45, 35.26438968},  // elevation over the horizontal distance
      {0, 0, 0, SACCADRIX_E_ARG, NAN, NAN},
      {NAN, 0, 1, SACCADRIX_E_ARG, NAN, NAN},
  };
  for (const Row& r : rows) {
    double x = 0, y = 0;
    EXPECT_EQ(zelSaccadrixGazeDirection(r.gx, r.gy, r.gz, &x, &y), r.status);
    if (std::isnan(r.x)) {
      EXPECT_TRUE(std::isnan(x) && std::isnan(y));
    } else {
      EXPECT_NEAR(x, r.x, 1e-5);  // single precision, as the gaze vector
      EXPECT_NEAR(y, r.y, 1e-5);
    }
  }
  double x = 0;
  EXPECT_EQ(zelSaccadrixGazeDirection(0, 0, 1, &x, nullptr), SACCADRIX_E_ARG);
}

// The sliding sums against a direct least-squares fit, across many slides and rebases.
TEST(SlopeSums, matches_a_direct_fit_after_long_sliding) {
  synthetic::Random rnd(3);
  std::vector<double> t, x, y;
  for (int i = 0; i < 20000; ++i) {
    t.push_back(1e5 + i * 0.001 + rnd.uniform(0, 0.0004));  // far from zero, uneven
    x.push_back(30 + 0.5 * i * 0.001 + rnd.normal() * 0.01);
    y.push_back(-20 + rnd.normal() * 0.01);
  }
  saccadrix::events::SlopeSums sums;
  const int w = 25;
  sums.clear(t[0], x[0], y[0]);
  for (int i = 0; i < static_cast<int>(t.size()); ++i) {
    sums.add(t[i], x[i], y[i]);
    if (i >= w) sums.remove(t[i - w], x[i - w], y[i - w]);
    if (i % 1000 == 999) {  // as the owners do: a fresh origin now and then
      sums.clear(t[i - w + 1], x[i - w + 1], y[i - w + 1]);
      for (int k = i - w + 1; k <= i; ++k) sums.add(t[k], x[k], y[k]);
    }
    if (i < w || i % 97 != 0) continue;
    double mt = 0, mx = 0;
    for (int k = i - w + 1; k <= i; ++k) {
      mt += t[k] / w;
      mx += x[k] / w;
    }
    double num = 0, den = 0;
    for (int k = i - w + 1; k <= i; ++k) {
      num += (t[k] - mt) * (x[k] - mx);
      den += (t[k] - mt) * (t[k] - mt);
    }
    double vx = 0, vy = 0;
    ASSERT_TRUE(sums.slope(&vx, &vy));
    ASSERT_NEAR(vx, num / den, 1e-6 * std::fabs(num / den) + 1e-6) << "at " << i;
  }
}

}  // namespace
