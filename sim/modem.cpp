#include "sim/modem.h"

#include <algorithm>
#include <cstdio>

namespace vardis::sim {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string asciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Blanks, LF and NUL around a command line mean nothing to the modem.
std::string trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\0'; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

// Text with CR, LF and other unprintable bytes spelled out.
std::string printable(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (b < 0x20 || b >= 0x7F || c == '"' || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

const char* modemStateName(ModemState state) {
  switch (state) {
    case ModemState::Command:
      return "command";
    case ModemState::Dialling:
      return "dialling";
    case ModemState::Online:
      return "online";
    case ModemState::OnlineCommand:
      return "online command";
  }
  return "?";
}

const char* modemEventName(ModemEventKind kind) {
  switch (kind) {
    case ModemEventKind::Dial:
      return "dial";
    case ModemEventKind::Connect:
      return "connect";
    case ModemEventKind::NoCarrier:
      return "no carrier";
    case ModemEventKind::Escape:
      return "escape";
    case ModemEventKind::HangUp:
      return "hang-up";
    case ModemEventKind::Online:
      return "online";
    case ModemEventKind::Command:
      return "command";
    case ModemEventKind::Ignored:
      return "ignored";
    case ModemEventKind::Busy:
      return "busy";
    case ModemEventKind::NoAnswer:
      return "no answer";
    case ModemEventKind::Silent:
      return "silent";
    case ModemEventKind::CarrierLost:
      return "carrier lost";
  }
  return "?";
}

std::string ModemEvent::describe() const {
  std::string s = "modem #" + std::to_string(seq) + " " + modemEventName(kind);
  if (!received.empty()) {
    s += " \"" + printable(receivedText()) + "\" (" + std::to_string(received.size()) +
         (received.size() == 1 ? " byte)" : " bytes)");
  }
  s += answer.empty() ? ", no answer" : " -> \"" + printable(answer) + "\"";
  s += ", ";
  s += modemStateName(state);
  if (!number.empty()) {
    s += "; call " + std::to_string(call) + " to " + number;
    if (numberIndex < 0) s += " (not a number of this modem)";
  }
  return s;
}

bool isDialText(std::string_view text) {
  static constexpr std::string_view kDialCharacters = "0123456789+*#,;()-WwPpTt!@ ";
  bool digit = false;
  for (const char c : text) {
    if (kDialCharacters.find(c) == std::string_view::npos) return false;
    if (c >= '0' && c <= '9') digit = true;
  }
  return digit;
}

Modem::Modem(ModemOptions options) : options_(std::move(options)) {
  options_.connectDelayMs = std::max(0, options_.connectDelayMs);
  options_.guardMs = std::max(0, options_.guardMs);
  if (options_.noAnswerDelayMs < 0) options_.noAnswerDelayMs = options_.connectDelayMs;
  for (const ModemNumber& n : options_.numbers) phones_.push_back(dialledNumber(n.phone));
  callsTo_.assign(phones_.size(), 0);
}

std::vector<ModemStep> Modem::receive(const std::uint8_t* data, std::size_t count,
                                      Clock::time_point now) {
  std::vector<ModemStep> steps;
  // A carrier that went while the bytes were on their way is gone before them.
  if (carrierDue(now)) loseCarrier(now, steps);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t byte = data[i];
    switch (state_) {
      case ModemState::Online:
        onlineByte(byte, now, steps);
        break;
      case ModemState::Dialling:
        // The LF some terminals send after the CR of the dial line is harmless;
        // any other byte abandons the call, as on a real modem.
        if (byte != '\n') abandonCall(byte, now, steps);
        break;
      case ModemState::Command:
      case ModemState::OnlineCommand:
        commandByte(byte, now, steps);
        break;
    }
  }
  return steps;
}

void Modem::onlineByte(std::uint8_t byte, Clock::time_point now, std::vector<ModemStep>& steps) {
  // "+++" counts only with a guard time of silence before the first "+", and
  // each further "+" within the guard time of the one before.
  const bool quietBefore = now - lastByteAt_ >= std::chrono::milliseconds(options_.guardMs);
  if (byte == '+') {
    if (pluses_ > 0 && pluses_ < 3 && !quietBefore) {
      ++pluses_;
    } else {
      pluses_ = quietBefore ? 1 : 0;
    }
  } else {
    pluses_ = 0;
  }
  lastByteAt_ = now;
  // The modem passes every byte on, the pluses too; the meter skips them.
  if (steps.empty() || steps.back().event) steps.emplace_back();
  steps.back().toMeter.push_back(byte);
}

void Modem::commandByte(std::uint8_t byte, Clock::time_point now, std::vector<ModemStep>& steps) {
  if (line_.size() < kModemLineLimit || byte == '\r') line_.push_back(byte);
  if (byte != '\r') return;
  post(steps, takeLine(now));
  if (state_ == ModemState::Dialling) settleAtOnce(now, steps);
}

ModemEvent Modem::takeLine(Clock::time_point now) {
  ModemEvent e = event(ModemEventKind::Ignored, now);
  e.received = std::move(line_);
  line_.clear();
  e.text = trimmed(
      std::string_view(reinterpret_cast<const char*>(e.received.data()), e.received.size() - 1));
  const std::string upper = asciiUpper(e.text);
  const bool at = startsWith(upper, "AT");
  if (startsWith(upper, "ATD") || (!at && isDialText(e.text))) {
    // The dial text is the whole line, with or without "ATD": whatever the
    // node directory holds for the node.
    e.kind = ModemEventKind::Dial;
    state_ = ModemState::Dialling;
    dialledAt_ = now;
    pluses_ = 0;
    startCall(e.text);
  } else if (at) {
    std::string rest;
    for (const char c : upper.substr(2)) {
      if (c != ' ') rest += c;
    }
    if (rest == "H" || rest == "H0") {
      e.kind = ModemEventKind::HangUp;
      state_ = ModemState::Command;
      e.answer = kModemOk;
      stamp(e);
      call_.reset();
    } else if ((rest == "O" || rest == "O0") && state_ == ModemState::OnlineCommand) {
      e.kind = ModemEventKind::Online;
      enterOnline(now);
      e.answer = kModemConnect;
    } else if (rest == "O" || rest == "O0") {
      e.kind = ModemEventKind::NoCarrier;
      e.answer = kModemNoCarrier;
    } else {
      e.kind = ModemEventKind::Command;
      e.answer = kModemOk;
    }
  }
  // Anything else (a meter request, line noise, an empty line) is no modem
  // command: the modem keeps quiet.
  return e;
}

std::vector<ModemStep> Modem::tick(Clock::time_point now) {
  std::vector<ModemStep> steps;
  if (state_ == ModemState::Dialling) {
    const auto ringingEnd = ringingDeadline();
    if (ringingEnd && now >= *ringingEnd) settleRinging(now, steps);
  } else if (carrierDue(now)) {
    loseCarrier(now, steps);
  } else if (state_ == ModemState::Online && pluses_ == 3 &&
             now >= lastByteAt_ + std::chrono::milliseconds(options_.guardMs)) {
    state_ = ModemState::OnlineCommand;
    pluses_ = 0;
    ModemEvent e = event(ModemEventKind::Escape, now);
    e.received = {'+', '+', '+'};
    e.answer = kModemOk;
    post(steps, std::move(e));
  }
  return steps;
}

std::optional<Modem::Clock::time_point> Modem::nextDeadline() const {
  if (state_ == ModemState::Dialling) return ringingDeadline();
  std::optional<Clock::time_point> next;
  if (state_ == ModemState::Online && pluses_ == 3)
    next = lastByteAt_ + std::chrono::milliseconds(options_.guardMs);
  if (callUp() && call_ && call_->lossAt && (!next || *call_->lossAt < *next)) next = call_->lossAt;
  return next;
}

void Modem::enterOnline(Clock::time_point now) {
  state_ = ModemState::Online;
  lastByteAt_ = now;
  pluses_ = 0;
}

ModemEvent Modem::event(ModemEventKind kind, Clock::time_point now) {
  ModemEvent e;
  e.kind = kind;
  e.at = now;
  return e;
}

void Modem::stamp(ModemEvent& e) const {
  if (!call_) return;
  e.call = call_->id;
  e.number = call_->number;
  e.numberIndex = call_->index;
}

void Modem::post(std::vector<ModemStep>& steps, ModemEvent e) {
  e.seq = ++events_;
  e.state = state_;
  if (e.call == 0) stamp(e);
  steps.push_back(ModemStep{{}, std::move(e)});
}

}  // namespace vardis::sim
