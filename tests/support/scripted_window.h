// The window on a scripted line: a virtual clock, a fake meter (serial number
// 12345) answering on it, and a temporary data folder with its report folder.
// The form is made last and goes first.
#pragma once

#include <filesystem>
#include <memory>

#include "connection/data_dir.h"
#include "support/fake_line.h"
#include "support/fake_meter.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

namespace vardis::test {

struct ScriptedWindow {
  explicit ScriptedWindow(bool withReportFolder = true) {
    if (withReportFolder) std::filesystem::create_directories(reportDir(dir.path()));
    meter.parameters = {{0, 12345.0f}, {3, 1.0f},   {9, 0.0f},   {111, 0.0f},
                        {10, 50.0f},   {20, 50.0f}, {30, 50.0f}, {40, 50.0f}};
    line.responder = meter.responder();
    SessionConfig config;
    config.dataDir = dir.path();
    form = std::make_unique<TestForm>(line, clock, config);
  }

  std::filesystem::path arc() const { return reportDir(dir.path()); }

  VirtualClock clock;
  FakeLine line{clock};
  TempDir dir;
  FakeMeter meter;
  std::unique_ptr<TestForm> form;
};

}  // namespace vardis::test
