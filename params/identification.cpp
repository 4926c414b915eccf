#include "params/identification.h"

#include <array>
#include <cstdint>
#include <string>

#include "connection/report_naming.h"
#include "params/parameter_session.h"

namespace vardis {

namespace {

// The parameters the identification reads, in order, and the progress after each
// (-1: unchanged).
struct IdentifyingRead {
  std::uint8_t index;
  int progress;
};
constexpr std::array<IdentifyingRead, 8> kReads{{
    {0, 10},
    {3, 15},
    {9, -1},
    {111, 20},
    {10, 25},
    {20, 50},
    {30, 75},
    {40, 100},
}};

// What the replies showed of the line.
struct LineHeard {
  bool echoed = false;    // a reply was perhaps the line's copy of its request
  bool differed = false;  // a good reply was not its request
  void note(const Reply& r) {
    echoed = echoed || r.maybeEcho;
    differed = differed || (r.good && !r.maybeEcho);
  }
};

// "port /dev/ttyUSB0 at 9600 baud, meter address 0".
std::string lineText(const ParameterSession& s) {
  const auto speed = static_cast<std::size_t>(s.speedIndex);
  const std::string baud = speed < kSpeeds.size() ? std::to_string(kSpeeds[speed]) : "?";
  return "port " + s.link.port + " at " + baud + " baud, meter address " +
         std::to_string(s.link.addr.meterAddress);
}

// The identification ends without a meter: no files, the progress back at 0.
void endWithoutMeter(ParameterSession& s, const std::string& status, const std::string& message) {
  if (!message.empty()) s.memo(message);
  s.setOperationStatus(status);
  s.setProgress(0);
  s.observer().identificationEnded();
  s.formats = computeFormatTable(s.params);
}

}  // namespace

void MeterIdentification(ParameterSession& s) {
  s.beginCommand("Идентификация");
  beginIdentification(s);

  LineHeard heard;
  for (const IdentifyingRead& read : kReads) {
    const Reply r = readParameter(s, read.index);
    heard.note(r);
    if (read.index == 0 && !r.heard) {
      const std::string message =
          "no answer on the " + lineText(s) +
          ": not one byte came back to the first request; check the cable, the speed, the "
          "address and the meter's power; no report files were created";
      endWithoutMeter(s, "Прибор не отвечает: файлы не созданы", message);
      throw MeterSilent(message);
    }
    if (read.index == 9) s.HeatUnitText = s.params.values[9] == 0 ? " Гдж" : "Гкал";
    if (read.progress >= 0) s.setProgress(read.progress);
  }

  if (heard.echoed && !heard.differed) {
    // What came back was the requests themselves, not the meter's values.
    for (const IdentifyingRead& read : kReads) s.params.noReply[read.index] = true;
    const std::string message = "the line sends back what it is sent (an echo) on the " +
                                lineText(s) +
                                " and no meter answered; no report files were created";
    endWithoutMeter(s, "Линия возвращает запросы: прибор не ответил", message);
    throw LineEchoOnly(message);
  }

  const bool answered = s.link.LinkFault == 0;
  if (!answered) {
    endWithoutMeter(s, "Прибор не ответил: файлы не созданы", "");
    return;
  }
  openReportFiles(s, s.params.values[0]);
  s.setOperationStatus("Параметры записаны");
  s.observer().identificationEnded();
  s.formats = computeFormatTable(s.params);
}

void StartConnection(ParameterSession& s, const ConnectionChoice& choice) {
  s.openLine(choice);
  if (!choice.gsm) MeterIdentification(s);
}

void DialWaitElapsed(ParameterSession& s) {
  MeterIdentification(s);
}

}  // namespace vardis
