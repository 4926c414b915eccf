// The modem's calls: which number a dial reaches, what becomes of the call by
// the faults of that number, and the call's end.
#include <algorithm>
#include <chrono>

#include "sim/modem.h"

namespace vardis::sim {

std::string dialledNumber(std::string_view dialText) {
  std::size_t i = 0;
  while (i < dialText.size() && (dialText[i] == ' ' || dialText[i] == '\t')) ++i;
  const std::string_view rest = dialText.substr(i);
  if (rest.size() >= 3 && (rest[0] == 'A' || rest[0] == 'a') &&
      (rest[1] == 'T' || rest[1] == 't') && (rest[2] == 'D' || rest[2] == 'd')) {
    i += 3;
  }
  std::string number;
  for (const char c : dialText.substr(i)) {
    if ((c >= '0' && c <= '9') || c == '+') number += c;
  }
  return number;
}

Modem::Plan Modem::planFor(int index) {
  // A number not in the list rings on without an answer.
  if (index < 0) return Plan::NoAnswer;
  const std::uint64_t n = ++callsTo_[static_cast<std::size_t>(index)];
  const CallFaults& f = options_.numbers[static_cast<std::size_t>(index)].faults;
  std::uint64_t last = f.busyCalls;
  if (n <= last) return Plan::Busy;
  last += f.noAnswerCalls;
  if (n <= last) return Plan::NoAnswer;
  last += f.silentCalls;
  if (n <= last) return Plan::Silent;
  return Plan::Connect;
}

void Modem::startCall(const std::string& dialText) {
  Call c;
  c.id = ++calls_;
  if (!phones_.empty()) {
    const std::string number = dialledNumber(dialText);
    const auto it =
        number.empty() ? phones_.end() : std::find(phones_.begin(), phones_.end(), number);
    c.index = it == phones_.end() ? -1 : static_cast<int>(it - phones_.begin());
    c.number = number.empty() ? "(none)" : number;
    c.plan = planFor(c.index);
  }
  call_ = std::move(c);
}

void Modem::settleAtOnce(Clock::time_point now, std::vector<ModemStep>& steps) {
  if (!call_) return;
  if (call_->plan == Plan::Busy) {
    state_ = ModemState::Command;
    ModemEvent e = event(ModemEventKind::Busy, now);
    e.answer = kModemBusy;
    post(steps, std::move(e));
    call_.reset();
  } else if (call_->plan == Plan::Silent) {
    // The modem stays dialling, for ever, and says nothing.
    post(steps, event(ModemEventKind::Silent, now));
  }
}

std::optional<Modem::Clock::time_point> Modem::ringingDeadline() const {
  if (state_ != ModemState::Dialling) return std::nullopt;
  const Plan plan = call_ ? call_->plan : Plan::Connect;
  if (plan == Plan::Connect) return dialledAt_ + std::chrono::milliseconds(options_.connectDelayMs);
  if (plan == Plan::NoAnswer)
    return dialledAt_ + std::chrono::milliseconds(options_.noAnswerDelayMs);
  return std::nullopt;
}

void Modem::settleRinging(Clock::time_point now, std::vector<ModemStep>& steps) {
  if (call_ && call_->plan == Plan::NoAnswer) {
    state_ = ModemState::Command;
    ModemEvent e = event(ModemEventKind::NoAnswer, now);
    e.answer = kModemNoAnswer;
    post(steps, std::move(e));
    call_.reset();
    return;
  }
  enterOnline(now);
  if (call_ && call_->index >= 0) {
    const int lossMs =
        options_.numbers[static_cast<std::size_t>(call_->index)].faults.noCarrierAfterMs;
    if (lossMs > 0) call_->lossAt = now + std::chrono::milliseconds(lossMs);
  }
  ModemEvent e = event(ModemEventKind::Connect, now);
  e.answer = kModemConnect;
  post(steps, std::move(e));
}

bool Modem::carrierDue(Clock::time_point now) const {
  return callUp() && call_ && call_->lossAt && now >= *call_->lossAt;
}

void Modem::loseCarrier(Clock::time_point now, std::vector<ModemStep>& steps) {
  state_ = ModemState::Command;
  pluses_ = 0;
  ModemEvent e = event(ModemEventKind::CarrierLost, now);
  e.answer = kModemNoCarrier;
  post(steps, std::move(e));
  call_.reset();
}

void Modem::abandonCall(std::uint8_t byte, Clock::time_point now, std::vector<ModemStep>& steps) {
  const bool silent = call_ && call_->plan == Plan::Silent;
  state_ = ModemState::Command;
  ModemEvent e = event(ModemEventKind::NoCarrier, now);
  e.received = {byte};
  if (!silent) e.answer = kModemNoCarrier;
  post(steps, std::move(e));
  call_.reset();
}

}  // namespace vardis::sim
