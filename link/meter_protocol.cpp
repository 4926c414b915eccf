#include "link/meter_protocol.h"

#include <algorithm>
#include <cstdio>

#include "link/pc_clock.h"

namespace vardis {

namespace {

constexpr std::array<TransactionInfo, 8> kTransactions{{
    {Transaction::SetClock, "SetClockTransaction", Command::SetClock, 10, 30},
    {Transaction::ReadClock, "ReadClockTransaction", Command::ReadClock, 15, 30},
    {Transaction::ReadFloatValue, "ReadFloatValueTransaction", Command::ReadFloatValue, 10, 30},
    {Transaction::ReadParameter, "ReadParameterTransaction", Command::ReadParameter, 10, 70},
    {Transaction::ReadCounterValue, "ReadCounterValueTransaction", Command::ReadCounterValue, 10,
     30},
    {Transaction::ReadArchiveFloat, "ReadArchiveFloatTransaction", Command::ReadArchiveFloat, 10,
     30},
    {Transaction::ReadArchiveInteger, "ReadArchiveIntegerTransaction", Command::ReadArchiveInteger,
     10, 30},
    {Transaction::ReadIntegrator, "ReadIntegratorTransaction", Command::ReadArchiveInteger, 12, 30},
}};

std::string timeStamp(const PcClock& clock) {
  const LocalDateTime t = clock.now();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
  return buf;
}

}  // namespace

const TransactionInfo& transactionInfo(Transaction t) {
  return kTransactions[static_cast<std::size_t>(t)];
}

std::optional<Transaction> transactionByName(std::string_view name) {
  for (const auto& info : kTransactions) {
    if (name == info.name) return info.kind;
  }
  return std::nullopt;
}

std::string hexBytes(const std::uint8_t* data, std::size_t count) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out.push_back(' ');
    out.push_back(digits[data[i] >> 4]);
    out.push_back(digits[data[i] & 0xF]);
  }
  return out;
}

MeterProtocol::MeterProtocol(SerialLine& line, const PcClock& clock) : line_(line), clock_(clock) {}

bool MeterProtocol::CheckReply() {
  ReplySum = frameSum(ReplyBuffer.data());
  return ReplySum == ReplyBuffer[9];
}

void MeterProtocol::buildRequest(Transaction t) {
  std::uint8_t index1 = 0;
  std::uint8_t index2 = 0;
  std::uint32_t argument = 0;
  switch (t) {
    case Transaction::SetClock:
      index1 = addr.seconds;
      argument = addr.dateTime;
      break;
    case Transaction::ReadClock:
      break;
    case Transaction::ReadFloatValue:
    case Transaction::ReadParameter:
    case Transaction::ReadCounterValue:
      index1 = addr.valueIndex;
      break;
    case Transaction::ReadArchiveFloat:
    case Transaction::ReadArchiveInteger:
    case Transaction::ReadIntegrator:
      index1 = addr.QuantityIndex;
      index2 = addr.RecordKind;
      argument = addr.dateTime;
      break;
  }
  const Frame frame =
      buildFrame(addr.meterAddress, static_cast<std::uint8_t>(transactionInfo(t).command), index1,
                 index2, argument);
  std::copy(frame.begin(), frame.end(), RequestBuffer.begin());
}

// One attempt: the drain, the request, the reply wait and the check.
bool MeterProtocol::exchange(const TransactionInfo& info) {
  std::string traceLine;
  if (trace_) traceLine = timeStamp(clock_) + " " + info.name;

  // Throw away whatever stray bytes wait on the line (modem answers, late replies).
  const bool quick = quickDrain && !quickDrainEnded_ && lastReplyWhole_;
  ReceiveResult = quick ? drainWaiting(trace_ ? &traceLine : nullptr)
                        : drain(info, trace_ ? &traceLine : nullptr);
  // After the first request, what the drain finds is a late answer to it.
  if (exchanges_ > 0 && ReceiveResult > 0) heard_ = true;
  exchanges_ += 1;
  maybeEcho_ = false;

  line_.Send_Binary(port, RequestBuffer.data(), kFrameLength);
  if (trace_) {
    traceLine += line_.lastSendWent()
                     ? " send-> [" + hexBytes(RequestBuffer.data(), kFrameLength) + "]"
                     : std::string(" send-> port not open");
  }

  if (breathe_) breathe_();

  const std::int64_t sentAt = clock_.steadyMs();
  std::uint16_t got = line_.Receive_Binary(port, ReplyBuffer.data(), kReplyWaitMs,
                                           ExpectedReplyLength, &ReceiveTimeWord);
  if (got > 0) heard_ = true;
  noteReceived(ReplyBuffer.data(), std::min<std::size_t>(got, ReplyBuffer.size()));
  if (replyIsRequest(got)) got = passEcho(got, trace_ ? &traceLine : nullptr);
  ReceiveResult = got;
  const bool good = CheckReply();
  // A good reply that is not its request: this line sends nothing back.
  if (good && !maybeEcho_ && lineEcho_ == LineEcho::Unknown) lineEcho_ = LineEcho::NoEcho;
  replyMayBeLate_ = got < ExpectedReplyLength;
  if (good && !replyMayBeLate_) {
    longestAnswerMs_ = std::max(longestAnswerMs_, clock_.steadyMs() - sentAt);
  }
  if (trace_) {
    traceLine += " reply<- [" +
                 hexBytes(ReplyBuffer.data(), std::min<std::size_t>(got, ReplyBuffer.size())) +
                 "]" + (good ? " ok" : " bad") + (maybeEcho_ ? " (echo?)" : "");
    traceExchange(traceLine);
  }
  afterReply(good, !replyMayBeLate_);
  return good;
}

// The quick drain holds while every exchange gets its reply whole and good.
void MeterProtocol::afterReply(bool good, bool whole) {
  lastReplyWhole_ = good && whole;
  if (good || !quickDrain || quickDrainEnded_) return;
  quickDrainEnded_ = true;
  traceNote(kQuickDrainEndedText);
  if (onQuickDrainEnded_) onQuickDrainEnded_();
}

bool MeterProtocol::replyIsRequest(std::uint16_t got) const {
  return got == kFrameLength &&
         std::equal(RequestBuffer.begin(), RequestBuffer.begin() + kFrameLength,
                    ReplyBuffer.begin());
}

// The reply read brought the request itself. On a line known to echo it is
// the line's copy: passed over, and what follows is the reply. On a line not
// known either way it may also be a reply that happens to be the same bytes
// (a value of 0 asked for with an argument of 0), so what follows within the
// reply wait decides: something follows, and the line echoes; nothing, and
// the bytes are taken as the reply, marked as perhaps an echo.
std::uint16_t MeterProtocol::passEcho(std::uint16_t got, std::string* trace) {
  if (lineEcho_ == LineEcho::NoEcho) return got;
  std::array<std::uint8_t, kFrameLength> copy{};
  std::copy_n(ReplyBuffer.begin(), kFrameLength, copy.begin());
  // The copy is no reply: an answer that does not follow must fail the check.
  std::fill(ReplyBuffer.begin(), ReplyBuffer.begin() + 12, std::uint8_t{1});
  const std::uint16_t next = line_.Receive_Binary(port, ReplyBuffer.data(), kReplyWaitMs,
                                                  ExpectedReplyLength, &ReceiveTimeWord);
  noteReceived(ReplyBuffer.data(), std::min<std::size_t>(next, ReplyBuffer.size()));
  if (next > 0 || lineEcho_ == LineEcho::Echoes) {
    lineEcho_ = LineEcho::Echoes;
    if (trace) *trace += " echo<- [" + hexBytes(copy.data(), kFrameLength) + "]";
    return next;
  }
  std::copy(copy.begin(), copy.end(), ReplyBuffer.begin());
  maybeEcho_ = true;
  return got;
}

Reply MeterProtocol::run(Transaction t, const ReplySink& to) {
  const TransactionInfo& info = transactionInfo(t);
  if (cancelRequested()) throw CommandCancelled();

  // An absent reply must never pass the check: eleven bytes of 1 sum to 10, not 1.
  std::fill(ReplyBuffer.begin(), ReplyBuffer.begin() + 12, std::uint8_t{1});
  buildRequest(t);
  counters.RequestCount += 1;
  counters.TransactionCount += 1;
  exchanges_ = 0;
  heard_ = false;
  maybeEcho_ = false;

  int failures = 0;
  bool good = false;
  for (;;) {
    good = exchange(info);
    if (good) break;
    counters.ErrorCount += 1;
    counters.RequestCount += 1;
    failures += 1;
    // Over a call that the modem reported lost, no attempt can succeed.
    if (failures > info.retryLimit || (endOnLinkFault && carrierLost_)) {
      LinkFault = 1;
      counters.TimeoutCount += 1;
      break;
    }
    if (cancelRequested()) throw CommandCancelled();
  }

  Reply reply;
  reply.raw = getU32(&ReplyBuffer[5]);
  reply.seconds = ReplyBuffer[3];
  reply.good = good;
  reply.maybeEcho = maybeEcho_;
  reply.heard = heard_;
  if (t == Transaction::ReadClock) {
    addr.dateTime = reply.raw;
    addr.seconds = reply.seconds;
  }
  if (to) to(reply);
  if (cancelRequested()) throw CommandCancelled();
  if (!good && endOnLinkFault) throw LineLost();
  return reply;
}

// Reads and throws away what waits on the line before a request. After an
// exchange whose reply did not come complete in time, its answer may still be
// on the way: taken for the reply to the next request, it would shift every
// value after it by one. So the drain then goes on until the line has been
// quiet for twice the longest answer time seen on this connection (at least
// the drain time-out, at most the reply wait). After a complete reply it is
// the single read of the drain time-out.
std::uint16_t MeterProtocol::drain(const TransactionInfo& info, std::string* trace) {
  const std::int64_t quietMs =
      replyMayBeLate_ ? std::clamp<std::int64_t>(2 * longestAnswerMs_, info.drainMs, kReplyWaitMs)
                      : info.drainMs;
  const std::int64_t start = clock_.steadyMs();
  std::uint16_t total = 0;
  for (;;) {
    const std::uint16_t got =
        line_.Receive_Binary(port, DrainBuffer.data(), static_cast<std::uint16_t>(quietMs),
                             kDrainWanted, &ReceiveTimeWord);
    if (trace) {
      *trace += std::string(total == 0 ? " drain<- [" : " [") +
                hexBytes(DrainBuffer.data(), std::min<std::size_t>(got, kDrainWanted)) + "]";
    }
    noteReceived(DrainBuffer.data(), std::min<std::size_t>(got, kDrainWanted));
    total = static_cast<std::uint16_t>(total + got);
    if (!replyMayBeLate_ || got == 0 || clock_.steadyMs() - start >= kReplyWaitMs) break;
  }
  replyMayBeLate_ = false;
  return total;
}

// The quick drain: the bytes that have already arrived, without waiting for
// more (read again while a read fills the drain buffer, within a bound).
std::uint16_t MeterProtocol::drainWaiting(std::string* trace) {
  constexpr int kMostReads = 100;
  std::uint16_t total = 0;
  for (int i = 0; i < kMostReads; ++i) {
    const std::uint16_t got =
        line_.Receive_Binary(port, DrainBuffer.data(), 0, kDrainWanted, &ReceiveTimeWord);
    const std::size_t n = std::min<std::size_t>(got, kDrainWanted);
    if (trace)
      *trace +=
          std::string(i == 0 ? " quick-drain<- [" : " [") + hexBytes(DrainBuffer.data(), n) + "]";
    noteReceived(DrainBuffer.data(), n);
    total = static_cast<std::uint16_t>(total + got);
    if (got < kDrainWanted) break;
  }
  return total;
}

void MeterProtocol::newConnection() {
  longestAnswerMs_ = 0;
  replyMayBeLate_ = false;
  lastReplyWhole_ = false;
  quickDrainEnded_ = false;
  lineEcho_ = LineEcho::Unknown;
  carrierLost_ = false;
  recentBytes_.clear();
}

void MeterProtocol::noteReceived(const std::uint8_t* bytes, std::size_t n) {
  recentBytes_.append(reinterpret_cast<const char*>(bytes), n);
  if (recentBytes_.find("NO CARRIER") != std::string::npos) carrierLost_ = true;
  constexpr std::size_t kKeep = 16;  // enough for the words split over two reads
  if (recentBytes_.size() > kKeep) recentBytes_.erase(0, recentBytes_.size() - kKeep);
}

void MeterProtocol::sendRaw(std::string_view bytes) {
  lastReplyWhole_ = false;  // the modem's answer may follow: the next drain waits for it
  std::fill(ReplyBuffer.begin(), ReplyBuffer.end(), std::uint8_t{1});
  // The request buffer keeps what fits, for the diagnostics; the line gets every byte.
  const std::size_t n = std::min(bytes.size(), RequestBuffer.size());
  std::copy_n(bytes.begin(), n, RequestBuffer.begin());
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  line_.Send_Binary(port, data, bytes.size());
  if (trace_) {
    traceExchange(timeStamp(clock_) + " modem send-> [" + hexBytes(data, bytes.size()) + "]");
  }
}

std::string MeterProtocol::receiveRaw(int timeoutMs) {
  std::array<std::uint8_t, 64> bytes{};
  std::uint16_t timeWord = 0;
  const std::uint16_t got =
      line_.Receive_Binary(port, bytes.data(), static_cast<std::uint16_t>(timeoutMs),
                           static_cast<std::uint16_t>(bytes.size()), &timeWord);
  const std::size_t n = std::min<std::size_t>(got, bytes.size());
  if (n > 0 && trace_) {
    traceExchange(timeStamp(clock_) + " modem <-recv [" + hexBytes(bytes.data(), n) + "]");
  }
  return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

void MeterProtocol::traceNote(const std::string& text) {
  if (trace_) traceExchange(timeStamp(clock_) + " " + text);
}

void MeterProtocol::traceExchange(const std::string& line) {
  if (trace_) trace_(line);
}

}  // namespace vardis
