// One connection to one meter: the link, the stores, the report files and the
// state the window shows. The window, the command line and the tests each own one.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "archives/archive_store.h"
#include "archives/last_reading.h"
#include "connection/format_table.h"
#include "connection/report_set.h"
#include "format/numtext.h"
#include "link/meter_protocol.h"
#include "link/pc_clock.h"
#include "link/serial_line.h"
#include "params/parameter_table.h"
#include "values/current_values.h"

namespace vardis {

// An error the user must see: a text that is not a number, a report file that
// cannot be written. It ends the current command; the state stays as far as it got.
class UserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The speed list of the port settings: index 0..8.
inline constexpr std::array<std::uint32_t, 9> kSpeeds{600,   1200,  2400,  4800,  9600,
                                                      19200, 38400, 57600, 115200};
inline constexpr std::array<const char*, 9> kSpeedTexts{
    "600,N,8,1",   "1200,N,8,1",  "2400,N,8,1",  "4800,N,8,1",  "9600,N,8,1",
    "19200,N,8,1", "38400,N,8,1", "57600,N,8,1", "115200,N,8,1"};
inline constexpr int kDefaultSpeedIndex = 8;

// Divisors of the integrators, indexed by a decimals count.
inline constexpr std::array<double, 6> IntegratorDivisor{0.1, 1, 10, 100, 1000, 1};
// The divisor for a decimals count; 1 for a count the table does not hold.
inline double integratorDivisor(int decimals) {
  if (decimals < 0 || decimals >= static_cast<int>(IntegratorDivisor.size())) return 1;
  return IntegratorDivisor[static_cast<std::size_t>(decimals)];
}

// What a front end learns about while a command runs. Every method has a no-op default.
class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  virtual void connectionStarted() {}  // "Старт" reset the counters: buttons and timer follow
  virtual void memoLine(const std::string& /*line*/) {}
  virtual void progressChanged(int /*position*/) {}
  virtual void operationStatusChanged(const std::string& /*text*/) {}
  virtual void label1Changed(const std::string& /*text*/) {}
  // The text of a shown control changed ("Label40", "Label47", "Edit2", ...).
  virtual void captionChanged(const std::string& /*control*/, const std::string& /*text*/) {}
  // An identification ended: the hang-up button becomes usable.
  virtual void identificationEnded() {}
};

// The date of the date picker.
struct PickedDate {
  int year = 2000;
  int month = 1;
  int day = 1;
};

// The user's choices at "Старт".
struct ConnectionChoice {
  std::string addressText = "0";
  std::string portText = "1";
  int speedIndex = kDefaultSpeedIndex;
  bool gsm = false;
};

struct SessionConfig {
  std::filesystem::path dataDir;
  NumberStyle numbers;
};

class Session {
 public:
  Session(SerialLine& line, const PcClock& clock, SessionConfig config);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void setObserver(SessionObserver* observer) { observer_ = observer ? observer : &noObserver_; }
  // Runs inside every exchange and while waiting for a reply.
  void setBreathe(Breathe b);
  // Lets the window breathe once (between waits outside an exchange).
  void breatheNow() {
    if (breathe_) breathe_();
  }
  void setTrace(TraceSink sink) { link.setTrace(std::move(sink)); }

  // Window creation: the link constants and port 1 at 9600 baud, once.
  void windowCreated();
  // "Старт". Throws UserError for an address or port text that is not a number.
  void StartConnection(const ConnectionChoice& choice);
  // "Стоп".
  void StopConnection();
  // Window close: the port is released and open report files end with all text written.
  void windowClosing();

  // Cancelling the running command: it ends after its current exchange.
  void requestCancel() { cancel_.store(true); }
  void clearCancel() { cancel_.store(false); }
  bool cancelRequested() const { return cancel_.load(); }
  std::atomic<bool>& cancelFlag() { return cancel_; }

  // Shown state.
  const std::string& operationStatus() const { return operationStatus_; }
  void setOperationStatus(const std::string& text);
  int progress() const { return progress_; }
  void setProgress(int position);
  void memo(const std::string& line) { observer_->memoLine(line); }
  // Texts of shown controls by control name; "" for one never set.
  void setCaption(const std::string& control, const std::string& text);
  const std::string& caption(const std::string& control) const;
  SessionObserver& observer() { return *observer_; }

  // The 17 diagnostic lines of the last reply.
  std::vector<std::string> diagnosticLines() const;

  const SessionConfig& config() const { return config_; }
  const PcClock& clock() const { return clock_; }
  SerialLine& serial() { return line_; }

  // The stores, the link and its state.
  ParameterTable params;
  CurrentValues values;
  ArchiveStore archive;
  MeterProtocol link;
  int speedIndex = kDefaultSpeedIndex;

  // What identification leaves for the readings and reports.
  FormatTable formats;
  std::string HeatUnitText;
  ReportSet reports;
  int IdentificationCount = 0;
  PickedDate pickedDate;
  LastReading lastReading;

 private:
  SerialLine& line_;
  const PcClock& clock_;
  SessionConfig config_;
  SessionObserver noObserver_;
  SessionObserver* observer_ = &noObserver_;
  std::atomic<bool> cancel_{false};
  Breathe breathe_;
  std::map<std::string, std::string> captions_;
  std::string operationStatus_ = "_";
  int progress_ = 0;
};

// The status line texts of the 200 ms refresh, from the counters and the link fault.
struct StatusTexts {
  std::string panel0, panel1, panel2, panel3;
};
StatusTexts statusTexts(const Session& s);

}  // namespace vardis
