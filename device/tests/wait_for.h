// Waits for a condition with a deadline instead of sleeping a fixed time.
#pragma once

#include <chrono>
#include <thread>

template <typename Condition>
bool wait_for(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
