// The round measured: vardis-cli round calling the 20 nodes of a node file
// over one simulated modem and over four, each run into a fresh data folder;
// its wall time, the processor time vardis-cli used, the transactions of the
// round log and each node's connected seconds against the time its
// transactions need, taken from the same commands in a single session
// without a modem; then the round over one modem and the single session once
// more with --quick-drain. Also a round shared by several vardis-cli hosts
// through a PostgreSQL store, against the same nodes over one modem.
#pragma once

#include <string>
#include <vector>

#include "bench/options.h"

namespace vardis::bench {

inline constexpr int kRoundNodes = 20;
inline constexpr int kRoundModems = 4;
inline constexpr unsigned kRoundBaud = 115200;
// The simulated modems' call set-up: short, so that the visits dominate.
inline constexpr int kRoundConnectDelayMs = 100;
inline constexpr int kRoundGuardMs = 100;

// One node as the round log has it.
struct RoundNodeFigures {
  int node = 0;
  std::string result;
  int attempts = 0;
  double connectedSeconds = 0;
  long long transactions = 0;
  long long errors = 0;
  long long timeouts = 0;
  std::string port;
  std::string message;
  std::string drain;  // "full", "quick", "quick, then full"
};

// One vardis-cli round.
struct RoundRun {
  int modems = 0;
  bool quickDrain = false;
  std::string command;
  int exitStatus = -1;
  double wallMs = 0;
  double processorMs = 0;  // user + system, wait4
  std::string summary;     // the round log's own summary
  std::vector<RoundNodeFigures> nodes;
  std::string problem;  // the round log missing or unreadable, with what vardis-cli printed
  long long transactions() const;
  int nodesRead() const;
};

// The same commands in one session straight to a meter, without a modem.
struct SingleRun {
  std::string command;
  int exitStatus = -1;
  double wallMs = 0;
  double processorMs = 0;
  int exchanges = 0;      // lines of its trace
  double exchangeMs = 0;  // the trace's first to last exchange / (exchanges - 1)
  std::string problem;    // no trace, with what vardis-cli printed
};

struct RoundResult {
  std::string date;
  std::string commands;  // "values monthly 2026-12-07"
  SingleRun single;
  RoundRun one;
  RoundRun four;
  // The same over one modem, and the single session, with --quick-drain.
  SingleRun singleQuick;
  RoundRun oneQuick;
};

// Throws std::runtime_error when a simulated modem or vardis-cli does not start.
RoundResult measureRound(const Options& o);

// A round shared by several hosts through a PostgreSQL store: each host a
// vardis-cli of its own on two simulated modems of its own, every modem
// answering every node.
inline constexpr int kSharedNodes = 60;
inline constexpr int kSharedHosts = 3;
inline constexpr int kSharedModemsAHost = 2;
inline constexpr const char* kSharedRoundName = "bench";

struct SharedRoundResult {
  std::string commands = "values";
  // The hosts' vardis-cli round --shared, started together; each log has the
  // nodes that host called.
  std::vector<RoundRun> hosts;
  double wallMs = 0;     // the first host's start to the last one's end
  int readOnce = 0;      // nodes one host read, at one call
  int calledTwice = 0;   // nodes more than one host called
  int notRead = 0;       // nodes no host read
  int strangeNodes = 0;  // entries of a node not in the node file
  // The same nodes over one modem: one vardis-cli round, a database of its own.
  RoundRun one;
};

// `sharedStore` and `oneStore` are --store texts of two empty databases.
// Throws std::runtime_error when a simulated modem or vardis-cli does not start.
SharedRoundResult measureSharedRound(const Options& o, const std::string& oneStore,
                                     const std::string& sharedStore);

}  // namespace vardis::bench
