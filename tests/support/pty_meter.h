// The simulated meter on a pseudo-terminal, driven through the real serial
// line on QSerialPort: the end-to-end set-up.
#pragma once

#include <QCoreApplication>
#include <memory>
#include <set>

#include "archives/session.h"
#include "link/frame.h"
#include "link/qt_serial_line.h"
#include "params/identification.h"
#include "sim/simulator.h"
#include "support/temp_dir.h"

namespace vardis::test {

struct PtyMeter {
  explicit PtyMeter(sim::FaultOptions faults = {},
                    const std::function<void(sim::MeterModel&)>& setUp = {}) {
    sim::MeterModel model;
    if (setUp) setUp(model);
    sim::SimulatorOptions options;
    options.speed = 115200;
    options.faults = faults;
    simulator = std::make_unique<sim::Simulator>(std::move(model), options);
    simulator->start();
  }
  ~PtyMeter() { simulator->stop(); }

  // The simulator's log entries of requests the meter took.
  std::vector<sim::LogEntry> requests() const {
    std::vector<sim::LogEntry> out;
    for (const auto& e : simulator->log()) {
      if (e.seq != 0) out.push_back(e);
    }
    return out;
  }

  std::unique_ptr<sim::Simulator> simulator;
};

// The archive days the meter was asked for since request `from`, by their
// date code's day.
inline std::set<int> archiveDaysAsked(const PtyMeter& meter, std::size_t from) {
  std::set<int> days;
  const auto log = meter.requests();
  for (std::size_t i = from; i < log.size(); ++i) {
    const auto c = static_cast<Command>(log[i].command);
    if (c == Command::ReadArchiveFloat || c == Command::ReadArchiveInteger) {
      days.insert(static_cast<int>(log[i].argument / 10000 % 100));
    }
  }
  return days;
}

// A session on the real serial line, connected to the pseudo-terminal.
struct LineSession {
  LineSession(const std::string& port, const std::filesystem::path& dataDir, const PcClock& clock) {
    SessionConfig cfg;
    cfg.dataDir = dataDir;
    session = std::make_unique<Session>(line, clock, cfg);
    session->setBreathe([] { QCoreApplication::processEvents(); });
    StartConnection(*session, {"0", port, 8, true});
  }
  ~LineSession() {
    try {
      session->StopConnection();
    } catch (...) {
    }
  }
  QtSerialLine line;
  std::unique_ptr<Session> session;
};

}  // namespace vardis::test
