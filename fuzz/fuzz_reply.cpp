// Fuzzes the reply side of the meter protocol: whatever bytes come back from
// the line, every transaction kind must check, count and route them without a
// crash, and the exchange counters must stay consistent.
//
// Input layout, consumed front to back:
//   up to kMaxRuns transaction headers of kHeaderSize bytes each, every header
//   followed by the line traffic of that transaction:
//     header[0]  bits 0..2 transaction kind, bit 3 trace on, bit 4 cancel
//                requested while the reply is awaited, bit 5 last run, bit 6
//                the quick drain
//     header[1]  quantity index (also the value index and the seconds)
//     header[2]  record kind
//     header[3]  archive row, low byte
//     header[4]  archive row, high byte
//   line traffic: for every read the line is asked for, one count byte n, then
//   min(n, wanted) reply bytes. An exhausted input is a silent line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archives/session.h"
#include "connection/status_line.h"
#include "link/frame.h"
#include "link/meter_protocol.h"
#include "link/pc_clock.h"
#include "link/serial_line.h"

namespace {

using namespace vardis;

constexpr int kMaxRuns = 4;
constexpr std::size_t kHeaderSize = 5;

// Reads the fuzz input front to back.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
  std::size_t take(std::uint8_t* out, std::size_t n) {
    const std::size_t k = n < size_ - pos_ ? n : size_ - pos_;
    if (k) std::memcpy(out, data_ + pos_, k);
    pos_ += k;
    return k;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A clock that moves only when the line waits.
class FakeClock final : public PcClock {
 public:
  LocalDateTime now() const override {
    LocalDateTime t{2011, 4, 8, 9, 5, 7, 0};
    t.millisecond = static_cast<int>(ms % 1000);
    t.second = static_cast<int>((ms / 1000) % 60);
    t.minute = static_cast<int>((ms / 60000) % 60);
    return t;
  }
  std::int64_t steadyMs() const override { return ms; }
  std::int64_t ms = 0;
};

// A line that answers every read from the fuzz input and never really waits.
class ScriptedLine final : public SerialLine {
 public:
  ScriptedLine(Input& input, FakeClock& clock) : input_(input), clock_(clock) {}

  void Open_Com(const PortName&, std::uint32_t, std::uint8_t, std::uint8_t, std::uint8_t) override {
  }
  void Close_Com(const PortName&) override {}
  void Send_Binary(const PortName&, const std::uint8_t* data, std::size_t count) override {
    // The request must always be a whole, well-formed frame.
    if (count != kFrameLength || data[0] != kStartMark || data[10] != kFrameEnd ||
        frameSum(data) != data[9]) {
      std::abort();
    }
    sends += 1;
  }
  std::uint16_t Receive_Binary(const PortName&, std::uint8_t* buffer, std::uint16_t timeoutMs,
                               std::uint16_t wanted, std::uint16_t* timeWord) override {
    // The protocol's buffer holds 52 bytes; asking for more would overrun it.
    if (wanted > 52) std::abort();
    const std::uint8_t n = input_.byte();
    const std::size_t want = n < wanted ? n : wanted;
    const std::size_t got = input_.take(buffer, want);
    if (timeWord) *timeWord = static_cast<std::uint16_t>(n * 7u);
    breathe();
    clock_.ms += got < wanted ? timeoutMs : 1;
    return static_cast<std::uint16_t>(got);
  }

  int sends = 0;

 private:
  Input& input_;
  FakeClock& clock_;
};

void check(bool condition) {
  if (!condition) std::abort();
}

// The counters after one transaction of `attempts` sends, against what the
// protocol promises.
void checkCounts(const Session& s, Transaction kind, const ExchangeCounters& before, int attempts,
                 int transactions, bool cancelMatches, bool cancelled) {
  const ExchangeCounters& c = s.link.counters;
  const int limit = transactionInfo(kind).retryLimit;
  const bool good = s.link.ReplySum == s.link.ReplyBuffer[9];
  const bool gaveUp = c.TimeoutCount > before.TimeoutCount;
  check(c.RequestCount == transactions + c.ErrorCount);
  check(c.TimeoutCount <= transactions);
  check(attempts >= 1 && attempts <= limit + 1);
  check(cancelMatches);
  if (good) {
    // The last attempt passed: every earlier one was an error.
    check(c.RequestCount - before.RequestCount == attempts);
    check(c.ErrorCount - before.ErrorCount == attempts - 1);
    check(!gaveUp);
  } else {
    // Every attempt failed; the count already names the request that never went out.
    check(c.RequestCount - before.RequestCount == attempts + 1);
    check(c.ErrorCount - before.ErrorCount == attempts);
    check(gaveUp == (attempts == limit + 1));
    check(gaveUp || cancelled);
    if (gaveUp) check(s.link.LinkFault == 1);
  }
  check(c.TimeoutCount - before.TimeoutCount <= 1);
  check(s.link.LinkFault == 0 || s.link.LinkFault == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  FakeClock clock;
  ScriptedLine line(input, clock);
  Session s(line, clock, SessionConfig{});
  s.windowCreated();
  std::size_t traced = 0;

  int transactions = 0;
  for (int run = 0; run < kMaxRuns && !input.empty(); ++run) {
    std::uint8_t header[kHeaderSize] = {};
    input.take(header, kHeaderSize);
    const auto kind = static_cast<Transaction>(header[0] & 7);
    const bool trace = (header[0] & 0x08) != 0;
    const bool cancel = (header[0] & 0x10) != 0;
    const bool last = (header[0] & 0x20) != 0;
    const bool endedBefore = s.link.quickDrainEnded();
    s.link.quickDrain = (header[0] & 0x40) != 0;

    auto& a = s.link.addr;
    a.valueIndex = header[1];
    a.QuantityIndex = header[1];
    a.seconds = header[1];
    a.RecordKind = header[2];
    a.ArchiveRow = static_cast<std::uint16_t>(header[3] | (header[4] << 8));
    s.setTrace(trace ? TraceSink([&traced](const std::string& l) { traced += l.size(); })
                     : TraceSink());
    s.clearCancel();
    s.link.setBreathe(cancel ? Breathe([&s] { s.requestCancel(); }) : Breathe());

    const ExchangeCounters before = s.link.counters;
    const int sendsBefore = line.sends;
    bool cancelled = false;
    try {
      runTransaction(s, kind);
    } catch (const CommandCancelled&) {
      cancelled = true;
    }
    transactions += 1;
    // Once ended, the quick drain stays ended for the connection.
    check(!endedBefore || s.link.quickDrainEnded());

    checkCounts(s, kind, before, line.sends - sendsBefore, transactions, cancel == cancelled,
                cancelled);
    const bool good = s.link.ReplySum == s.link.ReplyBuffer[9];
    const bool gaveUp = s.link.counters.TimeoutCount > before.TimeoutCount;

    // Routing that can be checked exactly from what is left in the reply buffer,
    // when the transaction got as far as storing it.
    const std::uint32_t raw = getU32(&s.link.ReplyBuffer[5]);
    if ((good || gaveUp) && kind == Transaction::ReadCounterValue) {
      check(s.values.counters[header[1]] == static_cast<double>(raw));
      check(s.values.counterNoReply[header[1]] == gaveUp);
    }
    if ((good || gaveUp) && kind == Transaction::ReadClock) {
      check(s.link.addr.dateTime == raw && s.link.addr.seconds == s.link.ReplyBuffer[3]);
    }

    // What the window shows from the last reply.
    const auto lines = s.diagnosticLines();
    check(lines.size() == 17);
    const StatusTexts status = statusTexts(s);
    check(!status.panel0.empty());
    if (last) break;
  }
  return 0;
}
