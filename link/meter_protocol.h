// The meter protocol: request/reply transactions with their checks, attempts,
// counters and the link fault. Each transaction hands its decoded reply back to
// the caller, who routes it into the store it reads for.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/frame.h"
#include "link/serial_line.h"

namespace vardis {

class PcClock;

struct ExchangeCounters {
  std::int32_t RequestCount = 0;
  std::int32_t ErrorCount = 0;
  std::int32_t TimeoutCount = 0;      // transactions that ran out of attempts
  std::int32_t TransactionCount = 0;  // transactions, whatever their attempts
};

enum class Transaction {
  SetClock,
  ReadClock,
  ReadFloatValue,
  ReadParameter,
  ReadCounterValue,
  ReadArchiveFloat,
  ReadArchiveInteger,
  ReadIntegrator,
};

struct TransactionInfo {
  Transaction kind;
  const char* name;  // e.g. "ReadClockTransaction"
  Command command;
  int retryLimit;  // failed checks tolerated before giving up
  std::uint16_t drainMs;
};

const TransactionInfo& transactionInfo(Transaction t);
std::optional<Transaction> transactionByName(std::string_view name);

// Shared addressing state that callers set before a transaction.
struct Addressing {
  std::uint8_t meterAddress = 0;
  std::uint8_t valueIndex = 0;
  std::uint8_t QuantityIndex = 0;
  std::uint8_t RecordKind = 0;
  // The date-time argument: also the device clock reading and the ArchiveDateCode.
  std::uint32_t dateTime = 0;
  std::uint8_t seconds = 0;
  std::uint16_t ArchiveRow = 0;
};

// What one transaction brought back. After the attempts ran out, the fields
// hold whatever the last attempt left in the reply buffer.
struct Reply {
  std::uint32_t raw = 0;     // reply bytes 5..8: the value or the packed date-time
  std::uint8_t seconds = 0;  // reply byte 3: the seconds of a clock reading
  bool good = false;         // a reply passed the checks before the attempts ran out
  // The reply was the request itself, byte for byte, with nothing after it: on
  // a line not known to be free of echo it may be the line's copy of the
  // request rather than the meter's answer.
  bool maybeEcho = false;
  // Some byte came from the line after the transaction's first request.
  bool heard = false;
  float asFloat() const { return floatFromBits(raw); }
};

// What the protocol has learnt on this connection about the line: whether it
// sends back what it is sent (a loopback, a converter or a modem with echo).
enum class LineEcho {
  Unknown,  // no reply has told yet
  Echoes,   // a reply followed the copy of its request
  NoEcho,   // a good reply that was not its request came first
};

// Where the caller wants a reply to go (the store it reads for).
using ReplySink = std::function<void(const Reply&)>;

// Thrown out of a transaction when the user asked to cancel the running command.
class CommandCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "cancelled"; }
};

// Thrown out of a transaction that ran out of attempts when the caller asked
// for it (`endOnLinkFault`): over a call, the line is gone and every further
// transaction would only wait out its attempts.
class LineLost : public std::exception {
 public:
  const char* what() const noexcept override { return "the meter stopped answering"; }
};

inline constexpr std::uint16_t kReplyWaitMs = 3000;
inline constexpr std::uint16_t kDrainWanted = 40;

// Said once in a session whose quick drain ended.
inline constexpr const char* kQuickDrainEndedText =
    "quick drain off: an exchange got no good reply, so every request of this session now waits "
    "the full drain first";

// Receives one text line per exchange when the frame trace is on.
using TraceSink = std::function<void(const std::string& line)>;

class MeterProtocol {
 public:
  MeterProtocol(SerialLine& line, const PcClock& clock);

  Reply SetClockTransaction() { return run(Transaction::SetClock); }
  Reply ReadClockTransaction() { return run(Transaction::ReadClock); }
  Reply ReadFloatValueTransaction(const ReplySink& to = nullptr) {
    return run(Transaction::ReadFloatValue, to);
  }
  Reply ReadParameterTransaction(const ReplySink& to = nullptr) {
    return run(Transaction::ReadParameter, to);
  }
  Reply ReadCounterValueTransaction(const ReplySink& to = nullptr) {
    return run(Transaction::ReadCounterValue, to);
  }
  Reply ReadArchiveFloatTransaction(const ReplySink& to = nullptr) {
    return run(Transaction::ReadArchiveFloat, to);
  }
  Reply ReadArchiveIntegerTransaction(const ReplySink& to = nullptr) {
    return run(Transaction::ReadArchiveInteger, to);
  }
  Reply ReadIntegratorTransaction(const ReplySink& to = nullptr) {
    return run(Transaction::ReadIntegrator, to);
  }

  // Carries out one transaction, driven by the addressing state: hands the
  // reply to `to` (when given), then returns it. A clock reading also becomes
  // the date-time of the addressing state. Throws CommandCancelled when a
  // cancel was requested; a reply that came is handed on before that.
  Reply run(Transaction t, const ReplySink& to = nullptr);

  // Sends a modem text from the request buffer (the reply buffer is pre-filled first).
  void sendRaw(std::string_view bytes);
  // The modem's bytes that arrive within `timeoutMs` (at most 64; sooner when
  // they fill that), "" when none; traced like the sends.
  std::string receiveRaw(int timeoutMs);

  // A new connection: forget the answer times and the echo of the last one.
  void newConnection();
  LineEcho lineEcho() const { return lineEcho_; }

  // Whether the modem's "NO CARRIER" came among the bytes received since the
  // last newConnection(): the call was dropped.
  bool carrierLost() const { return carrierLost_; }
  // A transaction that runs out of attempts throws LineLost (after its reply
  // went to its sink) instead of letting the command go on.
  bool endOnLinkFault = false;

  // The quick drain, chosen by the user: after an exchange that ended on a
  // complete reply that passed the check, the next drain takes only the bytes
  // already waiting instead of waiting its time-out. Every other drain is the
  // full one. The first exchange without a good reply ends it until the next
  // connection (that meter may need the pause): the trace says so, and the
  // callback is told, once.
  bool quickDrain = false;
  bool quickDrainEnded() const { return quickDrainEnded_; }
  void setQuickDrainEnded(std::function<void()> f) { onQuickDrainEnded_ = std::move(f); }

  // Called once per exchange between the send and the reply wait.
  void setBreathe(Breathe b) { breathe_ = std::move(b); }
  void setTrace(TraceSink sink) { trace_ = std::move(sink); }
  // One line of the caller's own in the trace, time-stamped like the exchanges.
  void traceNote(const std::string& text);
  void setCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }
  bool cancelRequested() const { return cancel_ && cancel_->load(); }

  SerialLine& line() { return line_; }

  // State of the link, kept for the whole run.
  PortName port = "0";
  std::array<std::uint8_t, 16> RequestBuffer{};
  std::array<std::uint8_t, 52> ReplyBuffer{};
  // What the drain before each request threw away; never taken for a reply.
  std::array<std::uint8_t, kDrainWanted> DrainBuffer{};
  std::uint16_t ExpectedReplyLength = 11;
  std::uint16_t ReceiveTimeWord = 200;
  std::uint32_t ReceiveResult = 0;
  std::uint8_t ReplySum = 0;
  ExchangeCounters counters;
  std::int32_t LinkFault = 0;
  Addressing addr;

 private:
  bool CheckReply();
  void buildRequest(Transaction t);
  bool exchange(const TransactionInfo& info);
  std::uint16_t drain(const TransactionInfo& info, std::string* trace);
  std::uint16_t drainWaiting(std::string* trace);
  void afterReply(bool good, bool whole);
  bool replyIsRequest(std::uint16_t got) const;
  std::uint16_t passEcho(std::uint16_t got, std::string* trace);
  void traceExchange(const std::string& line);

  SerialLine& line_;
  const PcClock& clock_;
  Breathe breathe_;
  TraceSink trace_;
  const std::atomic<bool>* cancel_ = nullptr;
  // The longest time a good reply took on this connection, from the send to
  // its last byte.
  std::int64_t longestAnswerMs_ = 0;
  // The last exchange got no complete reply: its answer may still arrive.
  bool replyMayBeLate_ = false;
  // The last exchange ended on a complete reply that passed the check.
  bool lastReplyWhole_ = false;
  bool quickDrainEnded_ = false;
  std::function<void()> onQuickDrainEnded_;
  LineEcho lineEcho_ = LineEcho::Unknown;
  // Of the running transaction: its exchanges so far, whether a byte came
  // after its first request, whether its last reply may be an echo.
  int exchanges_ = 0;
  bool heard_ = false;
  bool maybeEcho_ = false;
  bool carrierLost_ = false;
  std::string recentBytes_;  // the tail of what the line brought, to spot "NO CARRIER"
  void noteReceived(const std::uint8_t* bytes, std::size_t n);
};

// Hex dump "23 00 05 ..." of a byte range, for the trace.
std::string hexBytes(const std::uint8_t* data, std::size_t count);

}  // namespace vardis
