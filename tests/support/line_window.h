// The window on the real serial line (to a simulated meter or modem on a
// pseudo-terminal), the PC clock, and a temporary data folder with its report
// folder. The form is made last and goes first.
#pragma once

#include <filesystem>
#include <memory>

#include "connection/data_dir.h"
#include "link/qt_serial_line.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

namespace vardis::test {

struct LineWindow {
  LineWindow() {
    std::filesystem::create_directories(reportDir(dir.path()));
    SessionConfig config;
    config.dataDir = dir.path();
    form = std::make_unique<TestForm>(line, *clock, config);
  }

  TempDir dir;
  QtSerialLine line;
  std::unique_ptr<PcClock> clock = makeSystemClock();
  std::unique_ptr<TestForm> form;
};

}  // namespace vardis::test
