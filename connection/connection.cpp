#include "connection/connection.h"

#include <charconv>
#include <cmath>

#include "connection/status_line.h"
#include "link/port_text.h"

namespace vardis {

const std::string& ShownState::valueCaption(const std::string& quantity) const {
  static const std::string none;
  const auto it = valueCaptions.find(quantity);
  return it == valueCaptions.end() ? none : it->second;
}

Connection::Connection(SerialLine& line, const PcClock& clock, SessionConfig config)
    : link(line, clock), line_(line), clock_(clock), config_(std::move(config)) {
  link.setCancelFlag(&cancel_);
  link.setQuickDrainEnded([this] {
    memo(kQuickDrainEndedText);
    observer_->quickDrainEnded();
  });
}

void Connection::setBreathe(Breathe b) {
  breathe_ = b;
  line_.setBreathe(b);
  link.setBreathe(std::move(b));
}

void Connection::windowCreated() {
  link.ExpectedReplyLength = 11;
  link.ReceiveTimeWord = 200;
  line_.Open_Com("1", 9600, 8, 0, 0);
}

void Connection::openLine(const ConnectionChoice& choice) {
  link.counters = ExchangeCounters{};
  link.newConnection();
  meterClockAheadSeconds.reset();
  observer_->connectionStarted();

  const auto address = parseInteger(choice.addressText);
  if (!address) throw UserError(notAnIntegerMessage(choice.addressText));
  // The address travels in one byte: a larger number would reach another meter.
  if (*address < 0 || *address > 255) {
    throw UserError("the meter address " + choice.addressText +
                    " is outside 0 to 255; nothing was sent");
  }
  link.addr.meterAddress = static_cast<std::uint8_t>(*address);

  const auto port = portFromText(choice.portText);
  if (!port) throw UserError(notAnIntegerMessage(choice.portText));
  if (!isDevicePath(choice.portText)) {
    const auto number = parseInteger(choice.portText);
    if (!number || *number < 1 || *number > 255) {
      throw UserError("the port " + choice.portText +
                      " names no serial port: give a port number 1 to 255 or a device path");
    }
  }
  if (choice.speedIndex < 0 || choice.speedIndex >= static_cast<int>(kSpeeds.size())) {
    throw UserError("no line speed at index " + std::to_string(choice.speedIndex) +
                    " of the speed list");
  }
  link.port = *port;

  for (int i = 0; i < 3; ++i) line_.Close_Com(link.port);
  speedIndex = choice.speedIndex;
  memo("speed=" + std::to_string(choice.speedIndex));
  line_.Open_Com(link.port, kSpeeds[static_cast<std::size_t>(choice.speedIndex)], 8, 0, 0);
  const std::string failure = line_.openFailure(link.port);
  if (!failure.empty()) {
    memo("port " + choice.portText + " not open: " + failure);
    throw PortError("cannot open the port " + choice.portText + " (" + failure +
                    "); nothing was sent");
  }
}

void Connection::StopConnection() {
  line_.Close_Com(link.port);
  if (reports.ReportFilesOpen) reports.closeAll();
}

void Connection::windowClosing() {
  line_.Close_Com(link.port);
  // The report files end with all their text written, whatever happens next.
  if (reports.ReportFilesOpen) {
    try {
      reports.closeAll();
    } catch (const std::exception&) {
      // Nothing more can be done for a file the system refuses at exit.
    }
  }
}

void Connection::beginCommand(const std::string& name, bool writesReport) {
  commandName_ = name;
  commandWritesReport_ = writesReport;
  commandStart_ = link.counters;
}

int Connection::valuesRead() const {
  return link.counters.TransactionCount - commandStart_.TransactionCount;
}

int Connection::valuesWithoutReply() const {
  return link.counters.TimeoutCount - commandStart_.TimeoutCount;
}

std::string Connection::failureSummary() const {
  const int failed = valuesWithoutReply();
  if (failed <= 0) return {};
  return std::to_string(failed) + " of " + std::to_string(valuesRead()) +
         " values had no good reply";
}

void Connection::endCommand(const std::string& successText) {
  const int failed = valuesWithoutReply();
  if (failed <= 0) {
    setOperationStatus(successText);
    return;
  }
  memo(commandName_ + ": " + failureSummary());
  setOperationStatus(commandName_ + ": " + valuesText(failed) + " без ответа");
}

void Connection::commandStopped() {
  setOperationStatus(commandName_.empty() ? std::string("Остановлено")
                                          : commandName_ + ": остановлено" +
                                                (commandWritesReport_ ? ", отчёт не записан" : ""));
  setProgress(0);
}

std::string valuesText(int n) {
  const int lastTwo = n % 100;
  const int last = n % 10;
  const char* word = "значений";
  if (last == 1 && lastTwo != 11) word = "значение";
  if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) word = "значения";
  return std::to_string(n) + " " + word;
}

void Connection::setOperationStatus(const std::string& text) {
  shown_.operationStatus = text;
  observer_->operationStatusChanged(text);
}

void Connection::setProgress(int position) {
  shown_.progress = position;
  observer_->progressChanged(position);
}

void Connection::showStartStamp(const std::string& text) {
  shown_.startStamp = text;
  observer_->startStampChanged(text);
}

void Connection::showReportBaseName(const std::string& text) {
  shown_.reportBaseName = text;
  observer_->reportBaseNameChanged(text);
}

void Connection::showIdentificationCount(const std::string& text) {
  shown_.identificationCount = text;
  observer_->identificationCountChanged(text);
}

void Connection::showCallStatus(const std::string& text) {
  shown_.callStatus = text;
  observer_->callStatusChanged(text);
}

void Connection::showDeviceClock(const std::string& date, const std::string& time) {
  shown_.clockDate = date;
  shown_.clockTime = time;
  observer_->deviceClockChanged(date, time);
}

void Connection::showValueCaption(const std::string& quantity, const std::string& text) {
  shown_.valueCaptions[quantity] = text;
  observer_->valueCaptionChanged(quantity, text);
}

namespace {

// The reply's float as the diagnostics show it: ten significant digits with
// four decimals; a value with more than ten digits before the point is shown
// in the scientific form instead ("3.402823466E+38"), not as forty digits.
std::string diagnosticFloat(float f, const NumberStyle& numbers) {
  const double v = f;
  if (!std::isfinite(v) || v == 0) return fixedRight(v, 0, 4, numbers);
  char text[48];
  const auto end = std::to_chars(text, text + sizeof text, v, std::chars_format::scientific, 9).ptr;
  double rounded = v;
  std::from_chars(text, end, rounded);
  if (std::fabs(rounded) < 1e10) return fixedRight(rounded, 0, 4, numbers);
  std::string out(text, end);
  for (char& c : out) {
    if (c == '.') c = numbers.decimalSeparator;
    if (c == 'e') c = 'E';
  }
  return out;
}

}  // namespace

std::vector<std::string> Connection::diagnosticLines() const {
  std::vector<std::string> lines;
  for (int i = 0; i < 12; ++i)
    lines.push_back(std::to_string(link.ReplyBuffer[static_cast<std::size_t>(i)]));
  lines.push_back("l=" + std::to_string(link.ExpectedReplyLength));
  lines.push_back("r=" + std::to_string(link.ReceiveTimeWord));
  const float f = floatFromBits(getU32(&link.ReplyBuffer[5]));
  lines.push_back("f=" + diagnosticFloat(f, config_.numbers));
  lines.push_back("ret=" + std::to_string(link.ReceiveResult));
  lines.push_back("kc__=" + std::to_string(link.ReplySum));
  return lines;
}

StatusTexts statusTexts(const Connection& s) {
  StatusTexts t;
  const auto& c = s.link.counters;
  t.panel0 = "№ запроса=" + std::to_string(c.RequestCount);
  t.panel1 = "Кол.таймаутов=" + std::to_string(c.TimeoutCount);
  t.panel2 = "Кол.ошибок=" + std::to_string(c.ErrorCount);
  if (s.link.LinkFault == 1) t.panel0 = "Сбой связи !";
  t.panel3 = s.operationStatus();
  return t;
}

}  // namespace vardis
