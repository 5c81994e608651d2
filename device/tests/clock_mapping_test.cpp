// The device-to-host clock mapping against synthetic reads with a known truth: a tracker
// clock that runs 100 ppm fast or slow, read delays that are never negative (most small, some
// long, bursts after stalls), timestamp restarts, paired samples sharing a timestamp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "clock_mapping.h"

using saccadrix::ClockMapping;

namespace {

struct Tracker {
  double origin;       // host time of timestamp 0 of the current epoch
  double seconds_per_tick;
  double true_host(uint64_t ts) const { return origin + seconds_per_tick * static_cast<double>(ts); }
};

// Read delays as a host sees them: at least 30 us, usually up to ~150 us more, one in 50
// much later (a descheduled poll thread), and after a stall a burst read all at once.
class Delays {
 public:
  explicit Delays(unsigned seed) : rng_(seed) {}
  double next(double true_time, double* stall_until) {
    if (true_time < *stall_until) return *stall_until - true_time + 30e-6;
    if (std::uniform_int_distribution<int>(0, 999)(rng_) == 0) *stall_until = true_time + 0.02;
    double d = 30e-6 + std::exponential_distribution<double>(1 / 60e-6)(rng_);
    if (std::uniform_int_distribution<int>(0, 49)(rng_) == 0) d += 2e-3;
    return d;
  }

 private:
  std::mt19937 rng_;
};

double p99(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[static_cast<size_t>(0.99 * static_cast<double>(v.size() - 1))];
}

// Streams `seconds` of reports at `rate` from timestamp `first`, feeding the mapping; returns
// the mapping's error (mapped - true readable time) for every report after `settle` seconds.
std::vector<double> stream(ClockMapping& m, const Tracker& t, double rate, double seconds,
                           uint64_t first, Delays& delays, double settle) {
  const uint64_t ticks_per_report = 1;
  const auto n = static_cast<uint64_t>(rate * seconds);
  double stall_until = 0;
  std::vector<uint64_t> stamps;
  for (uint64_t k = 0; k < n; ++k) {
    const uint64_t ts = first + k * ticks_per_report;
    const double truth = t.true_host(ts);
    m.add(ts, truth + delays.next(truth, &stall_until));
    stamps.push_back(ts);
  }
  ClockMapping::Mapping map;
  EXPECT_TRUE(m.mapping(m.current_epoch(), &map));
  std::vector<double> errors;
  for (uint64_t ts : stamps) {
    if (static_cast<double>(ts - first) / rate < settle) continue;
    errors.push_back(map.to_host(ts) - t.true_host(ts));
  }
  return errors;
}

TEST(ClockMapping, tracks_a_drifting_clock_within_a_fraction_of_the_read_delay) {
  for (const double ppm : {-100.0, 0.0, 100.0}) {
    for (const double rate : {1000.0, 8000.0}) {
      ClockMapping m;
      Delays delays(3);
      // Timestamps count samples here; the mapping assumes no unit.
      const Tracker t{1000.0, (1 + ppm * 1e-6) / rate};
      const std::vector<double> errors = stream(m, t, rate, 30, 0, delays, 1.0);
      double worst = 0;
      for (double e : errors) worst = std::max(worst, std::fabs(e));
      EXPECT_LT(p99(errors), 60e-6) << ppm << " ppm at " << rate << " Hz";
      EXPECT_GT(*std::min_element(errors.begin(), errors.end()), -5e-6)
          << "never earlier than the truth (the lower envelope)";
      EXPECT_LT(worst, 200e-6) << ppm << " ppm at " << rate << " Hz";
    }
  }
}

TEST(ClockMapping, restart_keeps_the_rate_and_maps_from_the_first_report) {
  ClockMapping m;
  Delays delays(5);
  const double rate = 1000;
  const Tracker before{50.0, (1 + 100e-6) / rate};
  stream(m, before, rate, 20, 5000, delays, 0);
  const ClockMapping::EpochId first_epoch = m.current_epoch();
  // Armed: the counter restarts at 0 a little later.
  const Tracker after{before.true_host(5000 + 20000) + 0.3, before.seconds_per_tick};
  m.add(0, after.true_host(0) + 40e-6);
  EXPECT_NE(m.current_epoch(), first_epoch);
  ClockMapping::Mapping map;
  ASSERT_TRUE(m.mapping(m.current_epoch(), &map));
  // One report in: the earlier epoch's rate with this epoch's offset.
  EXPECT_NEAR(map.to_host(10000) - after.true_host(10000), 0, 100e-6);
  // The earlier epoch still maps its own timestamps (a recording read after the restart).
  ASSERT_TRUE(m.mapping(first_epoch, &map));
  EXPECT_NEAR(map.to_host(15000) - before.true_host(15000), 0, 100e-6);
  // And a restart to a higher value (a counter that jumps ahead) is an epoch too.
  const ClockMapping::EpochId second = m.current_epoch();
  m.add(1000000, after.true_host(2) + 40e-6);
  EXPECT_NE(m.current_epoch(), second);
}

// After a new connection, a different tracker's clock (another drift) is estimated on its own,
// while the same tracker (or one that cannot be told apart) lends its rate as before.
TEST(ClockMapping, rate_carries_over_only_to_the_same_tracker) {
  const double rate = 1000;
  for (const uint64_t second_device : {uint64_t{1}, uint64_t{2}, uint64_t{0}}) {
    SCOPED_TRACE(second_device);
    ClockMapping m;
    Delays delays(9);
    m.restart(1);
    const Tracker first{50.0, (1 + 100e-6) / rate};
    stream(m, first, rate, 60, 0, delays, 0);  // a long recording: 60 s at +100 ppm
    m.restart(second_device);
    const bool same = second_device == 1;
    // The same tracker drifts as before; another one runs 100 ppm slow.
    const Tracker second{first.true_host(60000) + 1.0, (same ? 1 + 100e-6 : 1 - 100e-6) / rate};
    stream(m, second, rate, 5, 0, delays, 0);  // then 5 s
    ClockMapping::Mapping map;
    ASSERT_TRUE(m.mapping(m.current_epoch(), &map));
    // Borrowing the first rate for the other tracker would be 200 ppm x 5 s = 1 ms off.
    EXPECT_NEAR(map.to_host(5000) - second.true_host(5000), 0, 150e-6);
  }
}

TEST(ClockMapping, paired_samples_and_inverse_mapping) {
  ClockMapping m;
  const double rate = 500;
  const Tracker t{10.0, 1.0 / (2 * rate)};  // two samples per report, one tick each
  for (uint64_t k = 0; k < 5000; ++k) {
    const uint64_t ts = 2 * k;
    const double read = t.true_host(ts) + 50e-6 + (k % 7 == 0 ? 1e-3 : 0);
    m.add(ts, read);
    m.add(ts, read);  // older firmware: both samples carry the same timestamp
  }
  ClockMapping::Mapping map;
  ASSERT_TRUE(m.mapping(m.current_epoch(), &map));
  EXPECT_NEAR(map.to_host(4000) - t.true_host(4000), 50e-6, 5e-6);
  EXPECT_EQ(map.to_timestamp(map.to_host(4321)), 4321u);
  EXPECT_EQ(map.to_timestamp(t.origin - 100), 0u);  // before the restart: 0
  EXPECT_FALSE(m.mapping(12345, &map));              // an epoch never seen
  ClockMapping empty;
  EXPECT_FALSE(empty.mapping(empty.current_epoch(), &map));
}

}  // namespace
