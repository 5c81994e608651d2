#include "int_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace saccadrix {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

struct Row {
  double in;
  int32_t out;
};

TEST(SaturatingInt32, TruncatesTowardZeroAndSaturatesWithoutUndefinedConversions) {
  const Row rows[] = {
      {std::numeric_limits<double>::quiet_NaN(), 0},
      {-std::numeric_limits<double>::quiet_NaN(), 0},
      {kInf, kMax},
      {-kInf, kMin},
      {1e300, kMax},
      {-1e300, kMin},
      // Right at the edges: the last values that truncate into range, the first that do not.
      {2147483647.9, kMax},
      {2147483648.0, kMax},
      {-2147483648.5, kMin},
      {-2147483648.9999998, kMin},
      {-2147483649.0, kMin},
      {2147483646.5, 2147483646},
      {-2147483647.5, -2147483647},
      // Truncation, not rounding or flooring.
      {-0.5, 0},
      {3.9, 3},
      {-3.9, -3},
      {100.7, 100},
      {-0.0, 0},
      {std::numeric_limits<double>::denorm_min(), 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(saturating_int32(row.in), row.out) << row.in;
  }
}

}  // namespace
}  // namespace saccadrix
