// The subcommands of the saccadrix command. Each Add... function declares its subcommand
// and, when the command line chooses it, sets action to the code that carries it out.
// Actions report failures by throwing Failure (status.h).
#ifndef SACCADRIX_TOOLS_COMMANDS_H
#define SACCADRIX_TOOLS_COMMANDS_H

#include <CLI/CLI.hpp>

#include <functional>

namespace saccadrix::cli {

using Action = std::function<void()>;

void AddInfoCommand(CLI::App& app, Action& action);
void AddStreamCommand(CLI::App& app, Action& action);
void AddRecordCommand(CLI::App& app, Action& action);
void AddCalibrationCommand(CLI::App& app, Action& action);
void AddSettingsCommand(CLI::App& app, Action& action);
void AddVideoCommand(CLI::App& app, Action& action);
void AddEventsCommand(CLI::App& app, Action& action);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_COMMANDS_H
