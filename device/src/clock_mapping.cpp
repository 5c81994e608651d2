#include "clock_mapping.h"

#include <algorithm>
#include <cmath>

namespace saccadrix {
namespace {

// Signed ticks from x0 to t (t may lie before x0).
double ticks_since(uint64_t x0, uint64_t t) {
  return t >= x0 ? static_cast<double>(t - x0) : -static_cast<double>(x0 - t);
}

// > 0 when o, p, q turn counter-clockwise.
double cross(const double ox, const double oy, const double px, const double py, const double qx,
             const double qy) {
  return (px - ox) * (qy - oy) - (py - oy) * (qx - ox);
}

}  // namespace

void ClockMapping::reset() {
  epochs_.clear();
  rate_hint_ = 0;
}

void ClockMapping::restart(uint64_t device) {
  restart_ = true;
  if (device == 0) device = (uint64_t{1} << 63) | ++unknown_devices_;  // like no other
  if (device != device_) rate_hint_ = 0;  // the jump test's rate was another clock's
  device_ = device;
}

bool ClockMapping::jumped_ahead(uint64_t timestamp, double host_time) const {
  if (epochs_.empty() || rate_hint_ <= 0) return false;
  const Epoch& e = epochs_.back();
  const Point& last = e.hull.back();
  const double x = ticks_since(e.x0, timestamp);
  // A report can be read late, never early: one that lies far below the line through the
  // latest pair was stamped by a counter that moved on without us (a restart to a higher
  // value).
  return host_time - e.y0 < last.y + rate_hint_ * (x - last.x) - kJumpSeconds;
}

void ClockMapping::add(uint64_t timestamp, double host_time) {
  if (epochs_.empty() || restart_ || timestamp < epochs_.back().last ||
      jumped_ahead(timestamp, host_time)) {
    restart_ = false;
    Epoch e;
    e.id = next_id_++;
    e.device = device_;
    e.x0 = timestamp;
    e.y0 = host_time;
    epochs_.push_back(std::move(e));
    if (epochs_.size() > kEpochsKept) epochs_.pop_front();
  }
  Epoch& e = epochs_.back();
  e.last = timestamp;
  const Point p{ticks_since(e.x0, timestamp), host_time - e.y0};
  e.sum_x += p.x;
  ++e.count;
  std::vector<Point>& h = e.hull;
  if (!h.empty() && h.back().x == p.x) {
    // The same timestamp again (the second sample of a pair on older firmware): only the
    // earlier read counts.
    if (p.y >= h.back().y) return;
    h.pop_back();
  }
  while (h.size() >= 2 && cross(h[h.size() - 2].x, h[h.size() - 2].y, h.back().x, h.back().y, p.x, p.y) <= 0) {
    h.pop_back();
  }
  h.push_back(p);
  // A rate for the jump test, refreshed now and then (the line costs a little to draw).
  if ((e.count & 1023u) == 2 || rate_hint_ <= 0) {
    Line l;
    if (line_of(e, &l)) rate_hint_ = l.b;
  }
}

bool ClockMapping::hull_line(const Epoch& e, Line* line) {
  const std::vector<Point>& h = e.hull;
  if (h.size() < 2) return false;
  const double mean = static_cast<double>(e.sum_x / static_cast<long double>(e.count));
  // The edge whose x-range holds the mean timestamp (the first or last edge beyond the ends).
  size_t k = static_cast<size_t>(std::upper_bound(h.begin(), h.end(), mean,
                                                  [](double m, const Point& p) { return m < p.x; }) -
                                 h.begin());
  k = std::clamp<size_t>(k, 1, h.size() - 1);
  const Point& p = h[k - 1];
  const Point& q = h[k];
  const double b = (q.y - p.y) / (q.x - p.x);
  if (!(b > 0) || !std::isfinite(b)) return false;
  line->b = b;
  line->a = p.y - b * p.x;
  return true;
}

bool ClockMapping::line_of(const Epoch& e, Line* line) const {
  if (e.hull.empty()) return false;
  // The longest-spanning earlier epoch of the same tracker with a line lends its rate while
  // this one is shorter.
  Line borrowed;
  double borrowed_span = 0;
  for (const Epoch& other : epochs_) {
    if (other.id == e.id) break;
    if (other.device != e.device) continue;
    Line l;
    if (other.span() > borrowed_span && hull_line(other, &l)) {
      borrowed = l;
      borrowed_span = other.span();
    }
  }
  Line own;
  const bool has_own = hull_line(e, &own);
  if (has_own && e.span() >= borrowed_span) {
    *line = own;
    return true;
  }
  if (borrowed_span <= 0) {
    if (!has_own) return false;
    *line = own;
    return true;
  }
  // The borrowed slope under this epoch's pairs: the lowest of them sets the offset.
  line->b = borrowed.b;
  line->a = e.hull.front().y - borrowed.b * e.hull.front().x;
  for (const Point& p : e.hull) line->a = std::min(line->a, p.y - borrowed.b * p.x);
  return true;
}

const ClockMapping::Epoch* ClockMapping::find(EpochId id) const {
  for (const Epoch& e : epochs_) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

bool ClockMapping::mapping(EpochId epoch, Mapping* out) const {
  const Epoch* e = find(epoch);
  Line l;
  if (e == nullptr || !line_of(*e, &l)) return false;
  out->x0 = e->x0;
  out->y0 = e->y0;
  out->a = l.a;
  out->b = l.b;
  return true;
}

double ClockMapping::Mapping::to_host(uint64_t timestamp) const {
  return y0 + (a + b * ticks_since(x0, timestamp));
}

uint64_t ClockMapping::Mapping::to_timestamp(double host_time) const {
  const double ticks = (host_time - y0 - a) / b;  // relative to x0
  constexpr double kLimit = 9.0e18;               // well inside int64 and uint64
  if (!(std::fabs(ticks) < kLimit)) return ticks > 0 ? UINT64_MAX : 0;
  const int64_t step = std::llround(ticks);
  if (step >= 0) return UINT64_MAX - x0 < static_cast<uint64_t>(step) ? UINT64_MAX : x0 + static_cast<uint64_t>(step);
  const uint64_t back = static_cast<uint64_t>(-(step + 1)) + 1;
  return back > x0 ? 0 : x0 - back;
}

}  // namespace saccadrix
