// The demo mode: a simulated meter answering on the far end of a pseudo-terminal
// whose near end the window opens as its port.
#pragma once

#include <QString>
#include <memory>

namespace vardis {

class DemoMeter {
 public:
  virtual ~DemoMeter() = default;
  // The port text for the window: the path of the terminal's near end.
  virtual QString port() const = 0;
  // The speed list index and the meter address the simulated meter answers at.
  virtual int speedIndex() const = 0;
  virtual QString address() const = 0;
};

// Starts the simulated meter; nothing, with the reason in `error`, when it cannot.
std::unique_ptr<DemoMeter> startDemoMeter(QString& error);

}  // namespace vardis
