// The speed measurement: hourly archives read from a meter of its own at one
// baud rate, over the tool's line or the plain one, with the full drain or
// the quick one, every transaction timed in its parts.
#pragma once

#include <cstddef>

#include "bench/options.h"
#include "connection/connection.h"

namespace vardis::bench {

// One quantity over all transactions of a speed.
struct Spread {
  double ideal = 0;
  double p50 = 0, p99 = 0, max = 0;
};

struct SpeedResult {
  unsigned baud = 0;
  bool quickDrain = false;  // the session's link had the quick drain on
  std::size_t exchanges = 0;
  ExchangeCounters counters;
  int linkFault = 0;
  double wallMs = 0;
  double processorMs = 0;
  long voluntarySwitches = 0;
  long involuntarySwitches = 0;
  // The parts of a transaction, in order.
  Spread drain, send, between, firstByte, restOfReply, transaction, gap, cycle;
  // The transaction above its floors (each exchange's own drain time-out in it).
  double wireFloorMs = 0, ptyFloorMs = 0;
  Spread aboveWire, abovePty;
  // The floors without a drain: the request, the turnaround and the reply.
  double wireNoDrainMs = 0, ptyNoDrainMs = 0;
  std::size_t quickDrains = 0;   // exchanges whose drain had a time-out of 0
  bool quickDrainEnded = false;  // an exchange without a good reply ended it
};

struct SpeedRuns {
  SpeedResult tool;
  SpeedResult plain;
  // The same readings with the quick drain.
  SpeedResult quickTool;
  SpeedResult quickPlain;
};

enum class LineKind {
  Tool,   // the tool's line on QSerialPort, breathing the event loop as vardis-cli does
  Plain,  // bare select/read/write, no breathing
};

// Identifies the meter, then reads `o.readings` hourly archives of one day
// and times them; `quickDrain` turns the link's quick drain on before the
// connection. Throws std::runtime_error when the meter does not answer.
SpeedResult measureSpeed(const Options& o, unsigned baud, const CalendarDate& date, LineKind kind,
                         bool quickDrain = false);

}  // namespace vardis::bench
