// What a session shows while and after its commands run, field by field, and
// the notifications a front end gets when a field changes. Texts are UTF-8.
#pragma once

#include <map>
#include <string>

namespace vardis {

// Shown in place of a value whose reply never passed the checks.
inline constexpr const char* kNoReplyText = "нет ответа";

struct ShownState {
  std::string operationStatus = "_";  // the text of the current operation
  int progress = 0;                   // 0..100
  std::string startStamp;             // the PC's date and time at identification
  std::string reportBaseName;         // serial number, "D", start stamp
  std::string identificationCount;    // "n=" and the identifications so far
  std::string callStatus;             // the modem call: dialling, hanging up, done
  std::string clockDate;              // the meter clock as last read: "Дата:  2011.04.08 "
  std::string clockTime;              // "Время:  09:05:07"
  // The current-value captions by quantity ("G1", "T1", ..., "Tc", "HC4").
  std::map<std::string, std::string> valueCaptions;

  // The caption of a quantity; "" for one never shown.
  const std::string& valueCaption(const std::string& quantity) const;
};

// What a front end learns about while a command runs. Every method has a no-op default.
class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  virtual void connectionStarted() {}  // "Старт" reset the counters: buttons and timer follow
  virtual void memoLine(const std::string& /*line*/) {}
  virtual void progressChanged(int /*position*/) {}
  virtual void operationStatusChanged(const std::string& /*text*/) {}
  virtual void startStampChanged(const std::string& /*text*/) {}
  virtual void reportBaseNameChanged(const std::string& /*text*/) {}
  virtual void identificationCountChanged(const std::string& /*text*/) {}
  virtual void callStatusChanged(const std::string& /*text*/) {}
  virtual void deviceClockChanged(const std::string& /*date*/, const std::string& /*time*/) {}
  virtual void valueCaptionChanged(const std::string& /*quantity*/, const std::string& /*text*/) {}
  // An identification ended: the hang-up button becomes usable.
  virtual void identificationEnded() {}
  // The quick drain ended for the rest of the connection (after its memo line).
  virtual void quickDrainEnded() {}
};

}  // namespace vardis
