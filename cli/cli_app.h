// The headless twin of the window: the run of one connection with its commands.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "link/pc_clock.h"
#include "link/serial_line.h"

namespace vardis::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitCommandError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLinkFault = 3;

// Runs "Старт", the commands in order in that one connection, then "Стоп".
// Returns the exit status.
int run(const CliOptions& options, SerialLine& line, const PcClock& clock, std::ostream& out,
        std::ostream& err, bool progressOnTerminal, Breathe breathe = {});

// Requests the running command to stop after its current exchange (Ctrl-C).
void requestCancel();

}  // namespace vardis::cli
