// saccadrix-emulated-trackers: runs a command against emulated hidraw trackers. The
// simulated trackers live in this process, behind /dev/hidraw nodes of a umockdev testbed;
// the command, started with the testbed's environment, finds them through udev and opens
// them with the real hidapi. The run-emulated script next to this program sets the preload
// libraries both processes need.
//
//   saccadrix-emulated-trackers [--no-access] [--] COMMAND [ARGS...]
//
// SACCADRIX_VT_DEVICES and SACCADRIX_VT_RATE choose the devices as for the virtual tracker
// (README.md in virtual-tracker/); without a list, one model code 4 tracker streams at
// SACCADRIX_VT_RATE (default 1000 Hz). --no-access makes every node refuse to open with
// EACCES, as a tracker's node does without the udev rule. The exit status is the command's
// (128 + the signal's number when a signal ended it).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "emulated_hidraw.h"
#include "env_config.h"

extern char** environ;

namespace {

volatile sig_atomic_t child_pid = 0;

void forward_signal(int signal_number) {
  if (child_pid > 0) kill(static_cast<pid_t>(child_pid), signal_number);
}

int usage() {
  std::fprintf(stderr,
               "usage: saccadrix-emulated-trackers [--no-access] [--] COMMAND [ARGS...]\n"
               "Runs COMMAND against emulated hidraw trackers (SACCADRIX_VT_DEVICES chooses them).\n");
  return 2;
}

bool devices(std::vector<vt::detail::EnvDevice>& out) {
  double rate = 1000;
  if (const char* text = std::getenv("SACCADRIX_VT_RATE"); text != nullptr && *text != '\0') {
    char* end = nullptr;
    rate = std::strtod(text, &end);
    if (*end != '\0' || !(rate == 0 || (rate >= 1 && rate <= 8000))) {
      std::fprintf(stderr, "saccadrix-emulated-trackers: SACCADRIX_VT_RATE=\"%s\" is not 0 or 1..8000\n", text);
      return false;
    }
  }
  const char* list = std::getenv("SACCADRIX_VT_DEVICES");
  std::string error;
  if (!vt::detail::parse_device_list(list != nullptr ? list : "model=4", rate, out, error)) {
    std::fprintf(stderr, "saccadrix-emulated-trackers: SACCADRIX_VT_DEVICES: %s\n", error.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  bool no_access = false;
  for (; first < argc; ++first) {
    const std::string arg = argv[first];
    if (arg == "--no-access") {
      no_access = true;
    } else if (arg == "--") {
      ++first;
      break;
    } else if (arg.rfind("-", 0) == 0) {
      return usage();
    } else {
      break;
    }
  }
  if (first >= argc) return usage();

  std::vector<vt::detail::EnvDevice> list;
  if (!devices(list)) return 2;
  std::string problem;
  if (!vt::hidraw::start(&problem)) {
    std::fprintf(stderr, "saccadrix-emulated-trackers: %s\n", problem.c_str());
    return 1;
  }
  const bool verbose = std::getenv("SACCADRIX_VT_VERBOSE") != nullptr;
  for (const vt::detail::EnvDevice& d : list) {
    const int id = vt::hidraw::plug(d.config);
    if (id < 0) {
      std::fprintf(stderr, "saccadrix-emulated-trackers: a device could not be plugged in\n");
      return 1;
    }
    if (d.hold_eye) vt::set_eye_position(id, d.eye_x, d.eye_y);
    if (no_access) vt::hidraw::fail_open(id, EACCES);
    if (verbose) {
      std::fprintf(stderr, "saccadrix-emulated-trackers: %04x:%04x at %s, %g Hz\n", d.config.vendor_id,
                   d.config.product_id, vt::hidraw::node(id).c_str(), d.config.rate_hz);
    }
  }

  struct sigaction forward {};
  forward.sa_handler = forward_signal;
  sigemptyset(&forward.sa_mask);
  sigaction(SIGINT, &forward, nullptr);
  sigaction(SIGTERM, &forward, nullptr);
  sigaction(SIGHUP, &forward, nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[first], nullptr, nullptr, argv + first, environ);
  if (spawned != 0) {
    std::fprintf(stderr, "saccadrix-emulated-trackers: cannot run %s: %s\n", argv[first],
                 std::strerror(spawned));
    vt::hidraw::unplug_all();
    return 127;
  }
  child_pid = pid;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  child_pid = 0;
  vt::hidraw::unplug_all();
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
