// saccadrix: everyday work with a Saccadrix eye tracker from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "commands.h"
#include "saccadrix/saccadrix.h"
#include "status.h"
#if defined(SACCADRIX_CLI_HAS_VIDEO)
#include "saccadrix/saccadrix_gs.h"
#endif

#ifndef SACCADRIX_CLI_VERSION
#define SACCADRIX_CLI_VERSION "unknown"
#endif

namespace {

using saccadrix::cli::Exit;

std::string VersionText() {
  std::string text = std::string("saccadrix ") + SACCADRIX_CLI_VERSION + " (device library " +
                     std::to_string(zelSaccadrixGetLibVersion());
#if defined(SACCADRIX_CLI_HAS_VIDEO)
  text += ", video library " + std::to_string(zelSaccadrixGetLibGSVersion());
#endif
  return text + ")";
}

int Run(int argc, char** argv) {
  CLI::App app("Work with a Saccadrix eye tracker: identity, live results, recordings, "
               "calibration files, settings and camera video.",
               "saccadrix");
  app.require_subcommand(1);
  app.set_version_flag("--version", VersionText());
  app.footer(saccadrix::cli::ExitCodeHelp());

  saccadrix::cli::Action action;
  saccadrix::cli::AddInfoCommand(app, action);
  saccadrix::cli::AddStreamCommand(app, action);
  saccadrix::cli::AddRecordCommand(app, action);
  saccadrix::cli::AddCalibrationCommand(app, action);
  saccadrix::cli::AddSettingsCommand(app, action);
  saccadrix::cli::AddEventsCommand(app, action);
#if defined(SACCADRIX_CLI_HAS_VIDEO)
  saccadrix::cli::AddVideoCommand(app, action);
#endif

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version end with 0; every mistake on the command line with the usage code.
    const int code = app.exit(e);
    return code == 0 ? 0 : static_cast<int>(Exit::kUsage);
  }
  try {
    if (action) {
      action();
    }
  } catch (const saccadrix::cli::Failure& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "saccadrix: %s\n", failure.what());
    return static_cast<int>(failure.exit());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "saccadrix: unexpected failure: %s\n", e.what());
  } catch (...) {
    std::fflush(stdout);
    std::fprintf(stderr, "saccadrix: unexpected failure\n");
  }
  return static_cast<int>(Exit::kInternal);
}
