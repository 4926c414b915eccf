// vardis-cli round: every node of the node directory (or those chosen) called
// in one run, over one modem or several, each modem a session of its own on a
// thread of its own; a log of every node in rounds/ and in the store.
#pragma once

#include <iosfwd>

#include "cli/options.h"
#include "link/pc_clock.h"

namespace vardis::cli {

inline constexpr int kExitRoundFailed = 3;
inline constexpr int kExitNodesNotRead = 4;

// The exit status: 0 when every node was read; 4 when the round ran and some
// were not; 3 when no modem could be used or no node could be tried (a night
// that failed); 1 and 2 as for any run.
int runRound(const CliOptions& options, const PcClock& clock, std::ostream& out, std::ostream& err,
             bool terminal);

// Requests the round to stop after the current exchange of every modem (Ctrl-C).
void requestRoundStop();

}  // namespace vardis::cli
