// The udev rule that gives the seat's user the tracker's node, evaluated against emulated
// devices. udevadm is not available here, so the test evaluates the rule's match keys the
// way udev does: SUBSYSTEM, KERNEL and ATTR against the hidraw device itself; ATTRS,
// SUBSYSTEMS, KERNELS and DRIVERS all against one device among it and its parents, walked
// with libudev over the testbed's sysfs; values are shell patterns with '|' between
// alternatives. A key the evaluator does not know fails the test, so the rule cannot grow a
// condition that goes unchecked.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <libudev.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "emulated_hidraw.h"

#ifndef SACCADRIX_UDEV_RULE
#error "SACCADRIX_UDEV_RULE names the rule file"
#endif

namespace {

struct Key {
  std::string name;  // SUBSYSTEM, ATTRS, TAG, ...
  std::string attr;  // the name in braces, for ATTR{...} and ATTRS{...}
  std::string op;    // ==, !=, =, +=, -=, :=
  std::string value;
};

// The keys of each rule in the file (comments and blank lines skipped, continued lines
// joined).
std::vector<std::vector<Key>> parse_rules(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<Key>> rules;
  std::string line, joined;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\\') {
      joined += line.substr(0, line.size() - 1);
      continue;
    }
    joined += line;
    const size_t start = joined.find_first_not_of(" \t");
    if (start != std::string::npos && joined[start] != '#') {
      std::vector<Key> keys;
      size_t i = start;
      while (i < joined.size()) {
        while (i < joined.size() && (joined[i] == ' ' || joined[i] == ',' || joined[i] == '\t')) ++i;
        if (i >= joined.size()) break;
        Key k;
        while (i < joined.size() && (std::isalnum(static_cast<unsigned char>(joined[i])) || joined[i] == '_')) {
          k.name += joined[i++];
        }
        if (i < joined.size() && joined[i] == '{') {
          const size_t close = joined.find('}', i);
          k.attr = joined.substr(i + 1, close - i - 1);
          i = close + 1;
        }
        while (i < joined.size() && std::string("=!+-:").find(joined[i]) != std::string::npos) k.op += joined[i++];
        const size_t open = joined.find('"', i);
        const size_t close = joined.find('"', open + 1);
        k.value = joined.substr(open + 1, close - open - 1);
        i = close + 1;
        keys.push_back(k);
      }
      rules.push_back(keys);
    }
    joined.clear();
  }
  return rules;
}

bool pattern_matches(const std::string& patterns, const char* value) {
  if (value == nullptr) return false;
  std::stringstream alternatives(patterns);
  std::string p;
  while (std::getline(alternatives, p, '|')) {
    if (fnmatch(p.c_str(), value, 0) == 0) return true;
  }
  return false;
}

bool key_matches(const Key& k, const char* value) {
  const bool m = pattern_matches(k.value, value);
  return k.op == "!=" ? !m : m;
}

const char* device_value(udev_device* d, const Key& k) {
  if (k.name == "SUBSYSTEM" || k.name == "SUBSYSTEMS") return udev_device_get_subsystem(d);
  if (k.name == "KERNEL" || k.name == "KERNELS") return udev_device_get_sysname(d);
  if (k.name == "DRIVERS") return udev_device_get_driver(d);
  return udev_device_get_sysattr_value(d, k.attr.c_str());
}

struct Outcome {
  bool matched = false;
  std::vector<std::string> tags;
};

// Evaluates every rule for the device at `syspath`, as udev processes an "add" event.
Outcome evaluate(const std::vector<std::vector<Key>>& rules, const std::string& syspath) {
  udev* u = udev_new();
  udev_device* device = udev_device_new_from_syspath(u, syspath.c_str());
  EXPECT_NE(device, nullptr) << syspath;
  Outcome out;
  for (const auto& rule : rules) {
    std::vector<Key> own, parents;
    bool ok = true;
    for (const Key& k : rule) {
      if (k.op == "==" || k.op == "!=") {
        if (k.name == "SUBSYSTEM" || k.name == "KERNEL" || k.name == "ATTR") {
          own.push_back(k);
        } else if (k.name == "ATTRS" || k.name == "SUBSYSTEMS" || k.name == "KERNELS" || k.name == "DRIVERS") {
          parents.push_back(k);
        } else {
          ADD_FAILURE() << "the evaluator does not know the match key " << k.name;
          ok = false;
        }
      }
    }
    for (const Key& k : own) ok = ok && device != nullptr && key_matches(k, device_value(device, k));
    if (ok && !parents.empty()) {
      bool found = false;
      for (udev_device* d = device; d != nullptr && !found; d = udev_device_get_parent(d)) {
        found = true;
        for (const Key& k : parents) found = found && key_matches(k, device_value(d, k));
      }
      ok = found;
    }
    if (!ok) continue;
    out.matched = true;
    for (const Key& k : rule) {
      if (k.name == "TAG" && k.op == "+=") out.tags.push_back(k.value);
    }
  }
  if (device != nullptr) udev_device_unref(device);
  udev_unref(u);
  return out;
}

TEST(UdevRule, gives_the_seat_access_to_trackers_and_to_nothing_else) {
  std::string problem;
  ASSERT_TRUE(vt::hidraw::start(&problem)) << problem;
  const auto rules = parse_rules(SACCADRIX_UDEV_RULE);
  ASSERT_FALSE(rules.empty());

  struct Case {
    uint16_t vendor, product;
    bool access;
  };
  const Case cases[] = {
      {0x0861, 0x3410, true},  {0x0861, 0x3411, true},  {0x0861, 0x3412, true},
      {0x0861, 0x3433, true},  {0x0861, 0x3439, true},  {0x0861, 0x3440, true},
      {0x0861, 0x3400, false}, {0x0861, 0x3413, false}, {0x0861, 0x3432, false},
      {0x0861, 0x3441, false}, {0x0861, 0x0100, false}, {0x1209, 0x3433, false},
  };
  for (const Case& c : cases) {
    vt::DeviceConfig config;
    config.vendor_id = c.vendor;
    config.product_id = c.product;
    const int id = vt::hidraw::plug(config);
    ASSERT_GT(id, 0);
    const Outcome out = evaluate(rules, vt::hidraw::syspath(id));
    EXPECT_EQ(out.matched, c.access) << std::hex << c.vendor << ":" << c.product;
    EXPECT_EQ(out.tags, c.access ? std::vector<std::string>{"uaccess"} : std::vector<std::string>{})
        << std::hex << c.vendor << ":" << c.product;
    vt::hidraw::unplug_all();
  }
}

}  // namespace
