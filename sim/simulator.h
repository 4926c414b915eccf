// The simulated meter on a line: a pseudo-terminal (or a real serial device)
// served by a thread of its own, with faults on request and a log of every
// request for the side that checks the tool's behaviour. On request a GSM
// modem sits in front of the meter; it keeps a log of its own. A modem with a
// list of numbers has a meter behind each; a call reaches the meter of the
// number dialled.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/frame.h"
#include "sim/frame_receiver.h"
#include "sim/meter_model.h"
#include "sim/modem.h"

namespace vardis::sim {

// Faults applied to the answers. Requests are counted from 1 over the
// well-formed requests to this meter with a known command (each meter behind
// a number of the modem counts its own).
struct FaultOptions {
  unsigned dropEvery = 0;     // no reply to requests N, 2N, ... (0: off)
  unsigned corruptEvery = 0;  // wrong checksum in replies N, 2N, ... (0: off)
  unsigned corruptAt = 0;     // wrong checksum in replies N .. N + corruptRun - 1 (0: off)
  unsigned corruptRun = 1;
  bool split = false;      // send the reply byte by byte
  int splitGapMs = 2;      // gap between the bytes of a split reply
  bool noise = false;      // stray bytes before each reply
  int lateMs = 0;          // extra delay of each reply (or of every lateEvery-th)
  unsigned lateEvery = 0;  // delay only replies N, 2N, ... (0: every reply)
  unsigned lateAt = 0;     // delay only reply N (0: as lateEvery says)
  bool silent = false;     // never answer
  bool echo = false;       // the line sends back every byte it gets, at once
  bool pace = false;       // send at the wire speed of the line (10 bits a byte)
  int turnaroundMs = 0;    // fixed delay before each reply
  // A request that comes sooner than this after the meter's last reply went
  // out is ignored (0: off), as by a meter that needs a pause between them.
  int minGapMs = 0;
};

inline constexpr std::size_t kNoiseLength = 3;

enum class Outcome : std::uint8_t {
  Answered,        // the reply went out (perhaps late, split or after noise)
  Corrupted,       // a reply with a wrong checksum went out
  Dropped,         // no reply, by the drop fault
  Silent,          // no reply, the meter is silent
  OtherAddress,    // a frame for another meter: ignored
  UnknownCommand,  // a command the meter does not have: ignored
  TooSoon,         // sooner than the minimum gap after the last reply: ignored
  Aborted,         // the simulator stopped before the reply was out
};

const char* outcomeName(Outcome outcome);

struct LogEntry {
  std::uint64_t frame = 0;  // 1-based count of well-formed frames received
  std::uint64_t seq = 0;    // 1-based count of requests the meter took (0: ignored frame)
  Frame request{};
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  std::uint8_t index1 = 0;     // request byte 3
  std::uint8_t index2 = 0;     // request byte 4
  std::uint32_t argument = 0;  // request bytes 5..8
  Outcome outcome = Outcome::Answered;
  bool noise = false;              // stray bytes went out before the reply
  bool split = false;              // the reply went out byte by byte
  bool paced = false;              // the reply went out at wire speed
  int lateMs = 0;                  // the late fault's delay
  int delayMs = 0;                 // the whole delay before the first byte (turnaround + late)
  std::vector<std::uint8_t> sent;  // every byte sent for this request (noise included)
  std::optional<Frame> reply;      // the reply frame as sent
  // With a modem: the call the request came in (ModemEvent::call). With a
  // list of numbers: the number of the meter (dialledNumber of its phone).
  std::uint64_t call = 0;
  std::string number;
  std::uint32_t serial = 0;  // the meter's serial number (parameter 0) when it took the frame

  // True when the eleven bytes after the request are a reply that passes the
  // checksum test: answered, no noise in front.
  bool replyPassesCheck() const { return outcome == Outcome::Answered && !noise; }
  // One line for people: sequence, request and what was done; with a list of
  // numbers also the number, the meter's serial number and the call.
  std::string describe() const;
};

struct SimulatorStats {
  std::uint64_t bytesReceived = 0;
  std::uint64_t bytesSkipped = 0;  // received bytes that belonged to no frame
  std::uint64_t framesReceived = 0;
  std::uint64_t requests = 0;  // frames the meter (or all meters together) took
  std::uint64_t repliesSent = 0;
  std::uint64_t bytesSent = 0;
  std::uint64_t bytesNotSent = 0;  // reply bytes the line would not take
  std::uint64_t modemBytes = 0;    // received bytes the modem took as commands
};

struct SimulatorOptions {
  std::string device;  // empty: open a pseudo-terminal
  unsigned speed = 9600;
  FaultOptions faults;  // the meter's; the modem's answers never suffer them
  ModemOptions modem;   // off: the meter is on the line directly
  // Called on the serving thread after each request has been dealt with.
  std::function<void(const LogEntry&)> onRequest;
  // Called on the serving thread after each modem event, its answer sent.
  std::function<void(const ModemEvent&)> onModemEvent;
};

// A meter behind a number of the modem.
struct NumberedMeter {
  ModemNumber number;  // its phone and the faults of the calls to it
  MeterModel meter;
};

class Simulator {
 public:
  explicit Simulator(MeterModel model, SimulatorOptions options = {});
  // A modem with these numbers, a meter behind each, in this order
  // (options.modem is turned on, its numbers replaced). Throws
  // std::invalid_argument for no numbers, a phone without digits, or two
  // phones that dial the same number. The constructor above throws it for
  // options that hold numbers.
  Simulator(std::vector<NumberedMeter> meters, SimulatorOptions options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the line and starts serving. Throws std::system_error (or
  // std::invalid_argument for an unsupported speed).
  void start();
  // Stops serving and closes the line; waits for the serving thread.
  void stop();
  bool running() const { return thread_.joinable(); }

  // The path the tool opens: the pseudo-terminal's slave or the device.
  std::string portPath() const {
    std::lock_guard lock(mutex_);
    return portPath_;
  }

  // Pulls the plug: the pseudo-terminal goes away, as an unplugged USB adapter
  // does; the tool's reads then fail at once. replug() opens a new one (its path
  // is portPath() afterwards). Pseudo-terminals only; both wait until done.
  void unplug();
  void replug();

  std::vector<LogEntry> log() const;
  std::size_t logSize() const;
  // Waits until the log holds at least `count` entries; false on time-out.
  bool waitForLog(std::size_t count, std::chrono::milliseconds timeout) const;
  // Waits until at least `count` well-formed frames came in (their log entries
  // follow once they have been dealt with); false on time-out.
  bool waitForFrames(std::uint64_t count, std::chrono::milliseconds timeout) const;
  SimulatorStats stats() const;

  // The modem's events so far (empty without a modem); each is logged once
  // its answer is on the line.
  std::vector<ModemEvent> modemLog() const;
  // Waits until the modem log holds at least `count` events of `kind`; false
  // on time-out.
  bool waitForModemEvent(ModemEventKind kind, std::size_t count,
                         std::chrono::milliseconds timeout) const;
  // The modem's state as of its last event (Command without a modem).
  ModemState modemState() const;

  FaultOptions faults() const;
  void setFaults(const FaultOptions& faults);

  // Runs f with the meter model while the serving thread keeps off it; with
  // a list of numbers, the first number's meter.
  template <typename F>
  decltype(auto) withModel(F&& f) {
    return withMeter(0, std::forward<F>(f));
  }
  // The same with the meter of the number at `index` of the list.
  template <typename F>
  decltype(auto) withMeter(std::size_t index, F&& f) {
    std::lock_guard lock(modelMutex_);
    return f(meters_.at(index).model);
  }
  // Meters: 1 without a list of numbers, else one for each number.
  std::size_t meterCount() const { return meters_.size(); }

 private:
  void openPseudoTerminal();
  void openDevice();
  void closeLine();
  void serve();
  // Bytes read from the line, for the modem if there is one, else for the
  // meter; false when stopped meanwhile.
  bool takeBytes(const std::uint8_t* data, std::size_t count);
  // Bytes for the meter; false when stopped meanwhile.
  bool feedMeter(const std::uint8_t* data, std::size_t count);
  // Carries out the modem's steps in order; false when stopped meanwhile.
  bool carryOut(std::vector<ModemStep> steps);
  void handleFrame(const Frame& frame);
  // Logs the entry of an answered request and sends its bytes at their times.
  void sendReply(LogEntry entry, const FaultOptions& faults);
  // Sends bytes at the given moments; false when stopped meanwhile.
  bool sendAt(const std::vector<std::uint8_t>& bytes,
              const std::vector<std::chrono::steady_clock::time_point>& when);
  // Waits until the deadline; false when stop was asked for.
  bool waitUntil(std::chrono::steady_clock::time_point deadline);
  bool writeSome(const std::uint8_t* data, std::size_t count);
  unsigned lineSpeed() const;
  void record(LogEntry entry);
  std::size_t publish(const LogEntry& entry);
  void recordModem(ModemEvent event);

  struct Meter {
    MeterModel model;
    std::string number;          // dialledNumber of its phone; empty without a list
    std::uint64_t requests = 0;  // requests it took (the seq of its last)
    // When its last reply's last byte went out (serving thread only).
    std::optional<std::chrono::steady_clock::time_point> lastReplyEnd;
  };
  std::vector<Meter> meters_;  // the models guarded by modelMutex_
  std::mutex modelMutex_;
  SimulatorOptions options_;

  int lineFd_ = -1;   // pty master or device
  int slaveFd_ = -1;  // kept open so the master never sees a hang-up
  void control(int what);
  // The serving thread's side of control(): unplugs or replugs the line.
  void carryOutControl();
  int ctlRead_ = -1;  // self-pipe for unplug and replug
  int ctlWrite_ = -1;
  int pendingControl_ = 0;
  int wakeRead_ = -1;  // self-pipe for stop
  int wakeWrite_ = -1;
  std::string portPath_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};

  FrameReceiver receiver_;      // serving thread only
  std::optional<Modem> modem_;  // serving thread only (once started)
  std::uint64_t frameCount_ = 0;
  std::size_t current_ = 0;   // the meter of the call
  std::uint64_t callId_ = 0;  // the call that stands (0: none yet)

  mutable std::mutex mutex_;                 // log, stats, faults
  mutable std::condition_variable changed_;  // log or stats
  std::vector<LogEntry> log_;
  SimulatorStats stats_;
  std::vector<ModemEvent> modemLog_;
  ModemState modemState_ = ModemState::Command;
};

// termios speed constant of a baud rate; false when it has none.
bool speedConstant(unsigned baud, unsigned* constant);
// Baud rate of a termios speed constant; 0 when unknown.
unsigned baudOfSpeedConstant(unsigned constant);

}  // namespace vardis::sim
