// Sample-level agreement of two labellings (the events benchmarks): Cohen's kappa of one
// class against the rest, and over all classes at once.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace bench {

// Cohen's kappa of two binary ratings (the sample is of class c, or not).
inline double kappa(const std::vector<int8_t>& a, const std::vector<int8_t>& b, int c) {
  double n = 0, both = 0, onlyA = 0, onlyB = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const bool ia = a[i] == c, ib = b[i] == c;
    n += 1;
    both += ia && ib;
    onlyA += ia && !ib;
    onlyB += !ia && ib;
  }
  const double agree = (n - onlyA - onlyB) / n;
  const double pa = (both + onlyA) / n, pb = (both + onlyB) / n;
  const double chance = pa * pb + (1 - pa) * (1 - pb);
  return chance < 1 ? (agree - chance) / (1 - chance) : NAN;
}

// Over all classes (labels 0 to 5) at once.
inline double kappa_all(const std::vector<int8_t>& a, const std::vector<int8_t>& b) {
  const double n = static_cast<double>(a.size());
  double agree = 0, pa[6] = {}, pb[6] = {};
  for (size_t i = 0; i < a.size(); ++i) {
    agree += a[i] == b[i];
    if (a[i] >= 0 && a[i] <= 5) pa[a[i]] += 1 / n;
    if (b[i] >= 0 && b[i] <= 5) pb[b[i]] += 1 / n;
  }
  double chance = 0;
  for (int c = 0; c < 6; ++c) chance += pa[c] * pb[c];
  return (agree / n - chance) / (1 - chance);
}

}  // namespace bench
