#include "app/demo_meter.h"

#include <exception>

#include "archives/session.h"

#ifdef VARDIS_HAVE_SIM
#include "sim/meter_model.h"
#include "sim/simulator.h"
#endif

namespace vardis {

#ifdef VARDIS_HAVE_SIM

namespace {

// The demo meter answers at the window's default speed and address.
constexpr int kDemoSpeedIndex = kDefaultSpeedIndex;
constexpr std::uint8_t kDemoAddress = 0;

class SimulatedMeter final : public DemoMeter {
 public:
  SimulatedMeter() : simulator_(makeModel(), makeOptions()) { simulator_.start(); }
  ~SimulatedMeter() override { simulator_.stop(); }

  QString port() const override { return QString::fromStdString(simulator_.portPath()); }
  int speedIndex() const override { return kDemoSpeedIndex; }
  QString address() const override { return QString::number(kDemoAddress); }

 private:
  static sim::MeterModel makeModel() {
    sim::MeterModel model;
    model.setAddress(kDemoAddress);
    return model;
  }
  static sim::SimulatorOptions makeOptions() {
    sim::SimulatorOptions options;
    options.speed = kSpeeds[static_cast<std::size_t>(kDemoSpeedIndex)];
    return options;
  }

  sim::Simulator simulator_;
};

}  // namespace

std::unique_ptr<DemoMeter> startDemoMeter(QString& error) {
  try {
    return std::make_unique<SimulatedMeter>();
  } catch (const std::exception& e) {
    error = QString::fromStdString(e.what());
    return nullptr;
  }
}

#else

std::unique_ptr<DemoMeter> startDemoMeter(QString& error) {
  error = QStringLiteral("The simulated meter is not part of this build.");
  return nullptr;
}

#endif

}  // namespace vardis
