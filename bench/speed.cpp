#include "bench/speed.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "archives/archive_reading.h"
#include "archives/session.h"
#include "bench/child_process.h"
#include "bench/common.h"
#include "bench/plain_line.h"
#include "bench/timing_line.h"
#include "link/qt_serial_line.h"
#include "params/identification.h"
#include "values/device_clock.h"

namespace vardis::bench {

namespace {

constexpr int kRequestBytes = 11;
constexpr int kReplyBytes = 11;
constexpr int kBitsPerByte = 10;

int speedIndexOf(unsigned baud) {
  for (std::size_t i = 0; i < kSpeeds.size(); ++i) {
    if (kSpeeds[i] == baud) return static_cast<int>(i);
  }
  throw std::invalid_argument("no such speed");
}

// Milliseconds one byte takes on the wire.
double byteMs(unsigned baud) {
  return kBitsPerByte * 1000.0 / baud;
}

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

Spread spread(std::vector<double> v, double ideal) {
  std::sort(v.begin(), v.end());
  Spread s;
  s.ideal = ideal;
  s.p50 = percentile(v, 0.50);
  s.p99 = percentile(v, 0.99);
  s.max = v.empty() ? 0 : v.back();
  return s;
}

// The least a transaction takes after a drain of `drainMs`: on the wire the
// request and the reply each take their bytes' time; on the pseudo-terminal
// the request takes none and the meter puts its first byte out at the
// turnaround, so the last one follows 10 byte times later.
struct Floors {
  double wire = 0, pty = 0;
};

Floors floorsOf(double drainMs, unsigned baud, int turnaroundMs) {
  const double byte = byteMs(baud);
  return {drainMs + (kRequestBytes + kReplyBytes) * byte + turnaroundMs,
          drainMs + turnaroundMs + (kReplyBytes - 1) * byte};
}

SpeedResult summarise(unsigned baud, int turnaroundMs, const std::vector<ExchangeTimes>& xs,
                      const std::vector<std::size_t>& readingStarts) {
  SpeedResult r;
  r.baud = baud;
  r.exchanges = xs.size();
  std::vector<double> drain, send, between, first, rest, total, gap, aboveWire, abovePty;
  double drainTimeoutSum = 0;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    const ExchangeTimes& x = xs[i];
    drainTimeoutSum += x.drainTimeoutMs;
    if (x.drainTimeoutMs == 0) r.quickDrains += 1;
    drain.push_back(ms(x.drainEnd - x.drainStart));
    send.push_back(ms(x.sendEnd - x.sendStart));
    between.push_back(ms(x.sendStart - x.drainEnd) + ms(x.replyStart - x.sendEnd));
    const double reply = ms(x.replyEnd - x.replyStart);
    if (x.firstByteMicros >= 0) {
      const double f = static_cast<double>(x.firstByteMicros) / 1000;
      first.push_back(f);
      rest.push_back(reply - f);
    }
    const double t = ms(x.replyEnd - x.drainStart);
    total.push_back(t);
    // Each exchange against its own drain: the quick one's time-out is 0.
    const Floors floor = floorsOf(x.drainTimeoutMs, baud, turnaroundMs);
    aboveWire.push_back(t - floor.wire);
    abovePty.push_back(t - floor.pty);
    const bool lastOfReading =
        i + 1 == xs.size() ||
        std::find(readingStarts.begin(), readingStarts.end(), i + 1) != readingStarts.end();
    if (!lastOfReading) gap.push_back(ms(xs[i + 1].drainStart - x.replyEnd));
  }
  const double drainMs = xs.empty() ? 0 : drainTimeoutSum / static_cast<double>(xs.size());
  const Floors mean = floorsOf(drainMs, baud, turnaroundMs);
  const Floors noDrain = floorsOf(0, baud, turnaroundMs);
  r.wireFloorMs = mean.wire;
  r.ptyFloorMs = mean.pty;
  r.wireNoDrainMs = noDrain.wire;
  r.ptyNoDrainMs = noDrain.pty;
  r.drain = spread(std::move(drain), drainMs);
  r.send = spread(std::move(send), 0);
  r.between = spread(std::move(between), 0);
  r.firstByte = spread(std::move(first), turnaroundMs);
  r.restOfReply = spread(std::move(rest), (kReplyBytes - 1) * byteMs(baud));
  r.transaction = spread(std::move(total), r.ptyFloorMs);
  r.gap = spread(std::move(gap), 0);
  r.aboveWire = spread(std::move(aboveWire), 0);
  r.abovePty = spread(std::move(abovePty), 0);
  return r;
}

// The timer slack of this thread while the object lives; -1: left alone.
class TimerSlack {
 public:
  explicit TimerSlack(int ns) : set_(ns >= 0) {
    if (set_) ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(std::max(1, ns)));
  }
  ~TimerSlack() {
    if (set_) ::prctl(PR_SET_TIMERSLACK, 0UL);  // back to the thread's default
  }
  TimerSlack(const TimerSlack&) = delete;
  TimerSlack& operator=(const TimerSlack&) = delete;

 private:
  bool set_;
};

// The readings of one speed, timed as a whole.
struct TimedReadings {
  std::vector<std::size_t> starts;  // the first exchange of each reading
  Clock::duration wall{};
  rusage before{}, after{};
};

// Connects and picks the day; throws when the meter does not answer.
void connectToMeter(Session& s, const std::string& port, unsigned baud, const CalendarDate& date) {
  StartConnection(s, {"0", port, speedIndexOf(baud), false});
  if (s.link.LinkFault != 0 || !s.reports.ReportFilesOpen) {
    throw std::runtime_error("the meter on " + port + " did not answer at " + std::to_string(baud) +
                             " baud");
  }
  pickArchiveDate(s, date.year, date.month, date.day);
  s.link.counters = ExchangeCounters{};
}

TimedReadings readArchives(Session& s, TimingLine& line, int readings) {
  TimedReadings t;
  line.reserve(static_cast<std::size_t>(readings) * (kTransactionsPerReading + 16));
  line.setRecording(true);
  ::getrusage(RUSAGE_SELF, &t.before);
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < readings; ++i) {
    t.starts.push_back(line.exchanges().size());
    ReadHourlyArchive(s);
  }
  t.wall = Clock::now() - start;
  ::getrusage(RUSAGE_SELF, &t.after);
  line.setRecording(false);
  return t;
}

// The reading as a whole: wall and processor time, context switches.
void addTotals(SpeedResult& r, const TimedReadings& t) {
  r.wallMs = ms(t.wall);
  r.processorMs = (processorSeconds(t.after) - processorSeconds(t.before)) * 1000;
  r.voluntarySwitches = t.after.ru_nvcsw - t.before.ru_nvcsw;
  r.involuntarySwitches = t.after.ru_nivcsw - t.before.ru_nivcsw;
  const double n = r.exchanges == 0 ? 1 : static_cast<double>(r.exchanges);
  r.cycle = Spread{r.ptyFloorMs, r.wallMs / n, 0, 0};
}

}  // namespace

SpeedResult measureSpeed(const Options& o, unsigned baud, const CalendarDate& date, LineKind kind,
                         bool quickDrain) {
  MeterProcess meter(o.meterProgram, {"--pace", "--turnaround", std::to_string(o.turnaroundMs),
                                      "--speed", std::to_string(baud)});
  // Only the reading process gets the timer slack asked for: the meter,
  // started before, keeps the system's.
  const TimerSlack slack(o.timerSlackNs);
  TempFolder folder;
  QtSerialLine toolLine;
  PlainLine plainLine;
  SerialLine& inner = kind == LineKind::Tool ? static_cast<SerialLine&>(toolLine) : plainLine;
  TimingLine line(inner, [&] {
    return kind == LineKind::Tool ? toolLine.lastFirstByteMicros()
                                  : plainLine.lastFirstByteMicros();
  });
  const auto clock = makeSystemClock();
  SessionConfig config;
  config.dataDir = folder.path();
  Session s(line, *clock, config);
  if (kind == LineKind::Tool) {
    // The session hands the callback to the line it knows, the timing one;
    // the real line needs it too.
    const Breathe breathe = [] { QCoreApplication::processEvents(); };
    toolLine.setBreathe(breathe);
    s.setBreathe(breathe);
  }

  s.link.quickDrain = quickDrain;
  connectToMeter(s, meter.port(), baud, date);
  const TimedReadings t = readArchives(s, line, o.readings);
  const bool quickDrainEnded = s.link.quickDrainEnded();
  s.StopConnection();

  SpeedResult r = summarise(baud, o.turnaroundMs, line.exchanges(), t.starts);
  r.quickDrain = quickDrain;
  r.quickDrainEnded = quickDrainEnded;
  r.counters = s.link.counters;
  r.linkFault = s.link.LinkFault;
  addTotals(r, t);
  return r;
}

}  // namespace vardis::bench
