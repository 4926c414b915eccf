#include "connection/modem_answer.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "connection/connection.h"

namespace vardis {

namespace {

std::string upperTrimmed(std::string_view line) {
  std::string out;
  for (char c : line) {
    if (c != ' ' || !out.empty())
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool startsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

// A GSM modem's error, with or without its number: "+CME ERROR", "+CMS ERROR: 500".
bool isDeviceError(const std::string& line) {
  for (const std::string code : {"+CME ERROR", "+CMS ERROR"}) {
    if (line == code || startsWith(line, code + ":")) return true;
  }
  return false;
}

std::optional<ModemAnswer> answerOf(const std::string& line) {
  static const std::pair<const char*, ModemAnswer> codes[] = {
      {"CONNECT", ModemAnswer::Connect},
      {"OK", ModemAnswer::Ok},
      {"BUSY", ModemAnswer::Busy},
      {"NO CARRIER", ModemAnswer::NoCarrier},
      {"NO ANSWER", ModemAnswer::NoAnswer},
      {"NO DIALTONE", ModemAnswer::NoDialtone},
      {"NO DIAL TONE", ModemAnswer::NoDialtone},
      {"ERROR", ModemAnswer::Error},
  };
  for (const auto& [text, answer] : codes) {
    const std::string t(text);
    if (line == t || (answer == ModemAnswer::Connect && startsWith(line, t + " "))) {
      return answer;
    }
  }
  if (isDeviceError(line)) return ModemAnswer::DeviceError;
  return std::nullopt;
}

}  // namespace

const char* modemAnswerText(ModemAnswer a) {
  switch (a) {
    case ModemAnswer::Connect:
      return "CONNECT";
    case ModemAnswer::Ok:
      return "OK";
    case ModemAnswer::Busy:
      return "BUSY";
    case ModemAnswer::NoCarrier:
      return "NO CARRIER";
    case ModemAnswer::NoAnswer:
      return "NO ANSWER";
    case ModemAnswer::NoDialtone:
      return "NO DIALTONE";
    case ModemAnswer::DeviceError:
      return "+CME ERROR";
    case ModemAnswer::Error:
      break;
  }
  return "ERROR";
}

std::optional<ModemAnswer> ModemAnswerReader::feed(std::string_view bytes) {
  unread_.append(bytes);
  for (std::size_t i = 0; i < unread_.size(); ++i) {
    const char c = unread_[i];
    if (c != '\r' && c != '\n') {
      // A line longer than any result code is not one: keep only its start.
      if (pending_.size() < 80) pending_ += c;
      continue;
    }
    const std::string line = upperTrimmed(pending_);
    const std::string sent = std::move(pending_);
    pending_.clear();
    if (const auto a = answerOf(line)) {
      const std::size_t first = sent.find_first_not_of(' ');
      answerLine_ = sent.substr(first, sent.find_last_not_of(' ') - first + 1);
      unread_.erase(0, i + 1);
      return a;
    }
  }
  unread_.clear();
  return std::nullopt;
}

std::optional<ModemAnswer> pollModemAnswer(Connection& s, ModemAnswerReader& reader, int sliceMs) {
  if (const auto a = reader.feed({})) return a;  // an answer read before, not yet taken
  return reader.feed(s.link.receiveRaw(sliceMs));
}

std::optional<ModemAnswer> awaitModemAnswer(Connection& s, int waitMs, ModemAnswerReader& reader,
                                            bool cancellable) {
  const std::int64_t until = s.clock().steadyMs() + waitMs;
  while (s.clock().steadyMs() < until) {
    if (cancellable && s.cancelRequested()) throw CommandCancelled();
    const int slice =
        static_cast<int>(std::min<std::int64_t>(kBreatheSliceMs, until - s.clock().steadyMs()));
    if (const auto a = pollModemAnswer(s, reader, std::max(1, slice))) return a;
    s.breatheNow();
  }
  return std::nullopt;
}

}  // namespace vardis
