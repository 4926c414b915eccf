// One connection to one meter: the line, the protocol, the report files and
// what the session shows. The stores of the meter's data are added by the
// layers above (parameters, current values, archives), each owning its own.
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "connection/report_set.h"
#include "connection/shown_state.h"
#include "format/calendar.h"
#include "format/numtext.h"
#include "link/meter_protocol.h"
#include "link/pc_clock.h"
#include "link/serial_line.h"
#include "link/speeds.h"

namespace vardis {

// An error the user must see: a text that is not a number, a report file that
// cannot be written. It ends the current command; the state stays as far as it got.
class UserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The port chosen at "Старт" cannot be opened (no such device, busy, no
// permission): nothing is sent.
class PortError : public UserError {
 public:
  using UserError::UserError;
};

// The PC time last written into the meter's clock, and whether the meter
// acknowledged it.
struct ClockSetting {
  LocalDateTime sent;
  bool acknowledged = false;
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

class Connection {
 public:
  Connection(SerialLine& line, const PcClock& clock, SessionConfig config);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  virtual ~Connection() = default;

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
  // The line part of "Старт": counters reset, address and port taken, the port
  // reopened at the chosen speed. Throws UserError for an address or port text
  // that is not a number.
  void openLine(const ConnectionChoice& choice);
  // "Стоп".
  void StopConnection();
  // Window close: the port is released and open report files end with all text written.
  void windowClosing();

  // Cancelling the running command: it ends after its current exchange.
  void requestCancel() { cancel_.store(true); }
  void clearCancel() { cancel_.store(false); }
  bool cancelRequested() const { return cancel_.load(); }
  std::atomic<bool>& cancelFlag() { return cancel_; }

  // A meter command begins: its name for the status texts ("Часовые") and
  // whether it writes a report. What it reads is counted from here on.
  void beginCommand(const std::string& name, bool writesReport = false);
  // Values read since the command began, and those that had no good reply.
  int valuesRead() const;
  int valuesWithoutReply() const;
  // "12 of 533 values had no good reply"; "" when every value had one.
  std::string failureSummary() const;
  // The command ends: its success text when every value had a good reply,
  // otherwise "Часовые: 12 значений без ответа" (and the summary in the memo).
  void endCommand(const std::string& successText);
  // The user stopped the command: the status says so and what was not kept,
  // the progress returns to 0.
  void commandStopped();

  // What the session shows, and the changes a front end is told about.
  const ShownState& shown() const { return shown_; }
  const std::string& operationStatus() const { return shown_.operationStatus; }
  void setOperationStatus(const std::string& text);
  int progress() const { return shown_.progress; }
  void setProgress(int position);
  void showStartStamp(const std::string& text);
  void showReportBaseName(const std::string& text);
  void showIdentificationCount(const std::string& text);
  void showCallStatus(const std::string& text);
  void showDeviceClock(const std::string& date, const std::string& time);
  void showValueCaption(const std::string& quantity, const std::string& text);
  void memo(const std::string& line) { observer_->memoLine(line); }
  SessionObserver& observer() { return *observer_; }

  // The 17 diagnostic lines of the last reply.
  std::vector<std::string> diagnosticLines() const;

  const SessionConfig& config() const { return config_; }
  const PcClock& clock() const { return clock_; }
  SerialLine& serial() { return line_; }

  MeterProtocol link;
  int speedIndex = kDefaultSpeedIndex;
  ReportSet reports;
  // Set: the next identification of the meter of this base name's serial
  // number appends to these report files instead of naming a new set (the
  // attempts of one node in a round); "" gives each identification its own.
  std::string keepReportBase;
  int IdentificationCount = 0;
  // The date of the date picker.
  CalendarDate pickedDate{2000, 1, 1};
  // The last clock reading had no good reply: the date-time is not the meter's.
  bool clockNoReply = false;
  // How many seconds the meter's clock was ahead of the PC's (negative:
  // behind) at its last good reading with this meter; nothing before one.
  std::optional<std::int64_t> meterClockAheadSeconds;
  std::optional<ClockSetting> clockSetting;

 private:
  SerialLine& line_;
  const PcClock& clock_;
  SessionConfig config_;
  SessionObserver noObserver_;
  SessionObserver* observer_ = &noObserver_;
  std::atomic<bool> cancel_{false};
  Breathe breathe_;
  ShownState shown_;
  std::string commandName_;
  bool commandWritesReport_ = false;
  ExchangeCounters commandStart_;
};

// "1 значение", "3 значения", "12 значений".
std::string valuesText(int n);

}  // namespace vardis
