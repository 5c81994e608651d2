// Conversion of doubles that cross into 32-bit integers (scales, distances, residuals, counts):
// shared by the device library and the gateways, which include no other internal header.
#ifndef SACCADRIX_INT_CONVERT_H
#define SACCADRIX_INT_CONVERT_H

#include <cmath>
#include <cstdint>
#include <limits>

namespace saccadrix {

// Truncates toward zero to a signed 32-bit integer without ever leaving the defined range of
// the conversion: NaN becomes 0, values whose truncation exceeds the range (infinities
// included) saturate at INT32_MIN or INT32_MAX.
inline int32_t saturating_int32(double v) {
  if (std::isnan(v)) return 0;
  // 2^31 is the first value that truncates above INT32_MAX; -2^31 - 1 the first that
  // truncates below INT32_MIN (everything in between truncates into range). Both are exact.
  if (v >= 2147483648.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483649.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace saccadrix

#endif  // SACCADRIX_INT_CONVERT_H
