// The GSM modem in front of the simulated meter. In command state it takes
// Hayes command lines ended by CR; a dial sets up a data call after a delay
// and "CONNECT" opens the data state, where every byte goes on to the meter.
// "+++" between two guard times of silence returns to command state with the
// call still up; "ATH" ends it.
//
// The modem is pure state: the simulator hands it the bytes from the line with
// the moment they came, asks it again when its next deadline is due, and
// carries out the steps it returns, in order.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardis::sim {

struct ModemOptions {
  bool enabled = false;      // put a modem in front of the meter
  int connectDelayMs = 200;  // from the dial command to "CONNECT"
  int guardMs = 200;         // silence needed before and after "+++"
};

enum class ModemState : std::uint8_t {
  Command,        // no call: bytes are modem commands
  Dialling,       // a call is being set up; any byte but LF abandons it
  Online,         // data state: bytes go to the meter
  OnlineCommand,  // the call stands, but bytes are modem commands (after "+++")
};

const char* modemStateName(ModemState state);

enum class ModemEventKind : std::uint8_t {
  Dial,       // a dial command line: the call is being set up
  Connect,    // "CONNECT" went out: data state
  NoCarrier,  // a dial abandoned by a byte from the line, or ATO without a call
  Escape,     // "+++" between guard times: command state, the call stands
  HangUp,     // ATH: the call, if any, is over
  Online,     // ATO: back to data state in the standing call
  Command,    // any other AT command: "OK"
  Ignored,    // a line in command state that is no modem command: no answer
};

const char* modemEventName(ModemEventKind kind);

// The modem's answers.
inline constexpr std::string_view kModemConnect = "\r\nCONNECT 9600\r\n";
inline constexpr std::string_view kModemOk = "\r\nOK\r\n";
inline constexpr std::string_view kModemNoCarrier = "\r\nNO CARRIER\r\n";
// A command line keeps at most this many bytes; the rest up to CR is lost.
inline constexpr std::size_t kModemLineLimit = 256;

struct ModemEvent {
  std::uint64_t seq = 0;  // 1-based count of modem events
  ModemEventKind kind = ModemEventKind::Ignored;
  // The bytes from the line that made the event: a command line with its CR,
  // the three bytes of "+++", the byte that abandoned a dial; none for Connect.
  std::vector<std::uint8_t> received;
  // The command line without its CR and leading blanks (for a dial the whole
  // dial text as it came); empty for Connect and Escape.
  std::string text;
  std::string answer;                      // the bytes the modem sent back (may be none)
  ModemState state = ModemState::Command;  // the state after the event
  std::chrono::steady_clock::time_point at;

  std::string receivedText() const { return {received.begin(), received.end()}; }
  // One line for people: sequence, what came, what went back.
  std::string describe() const;
};

// What the simulator has to do: first hand `toMeter` to the meter, then send
// the event's answer and log the event.
struct ModemStep {
  std::vector<std::uint8_t> toMeter;
  std::optional<ModemEvent> event;
};

// A line the modem takes for a dial text without "ATD": digits and the dial
// characters + * # , ; ( ) - W P T ! @ and blanks, at least one digit.
bool isDialText(std::string_view text);

class Modem {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Modem(ModemOptions options = {});

  // Bytes from the line that came at `now`.
  std::vector<ModemStep> receive(const std::uint8_t* data, std::size_t count,
                                 Clock::time_point now);
  // Runs the timers that are due at `now`: the connect after a dial and the
  // end of the guard time after "+++".
  std::vector<ModemStep> tick(Clock::time_point now);
  // When tick has something to do next; nothing while only bytes can move it.
  std::optional<Clock::time_point> nextDeadline() const;

  ModemState state() const { return state_; }
  bool callUp() const {
    return state_ == ModemState::Online || state_ == ModemState::OnlineCommand;
  }
  // Bytes of a command line that has not had its CR yet.
  std::size_t pendingLineBytes() const { return line_.size(); }
  const ModemOptions& options() const { return options_; }

 private:
  void commandByte(std::uint8_t byte, Clock::time_point now, std::vector<ModemStep>& steps);
  void onlineByte(std::uint8_t byte, Clock::time_point now, std::vector<ModemStep>& steps);
  ModemEvent takeLine(Clock::time_point now);
  void enterOnline(Clock::time_point now);
  static ModemEvent event(ModemEventKind kind, Clock::time_point now);
  // Numbers the event, stamps the state it leaves and appends it as a step.
  void post(std::vector<ModemStep>& steps, ModemEvent e);

  ModemOptions options_;
  ModemState state_ = ModemState::Command;
  std::vector<std::uint8_t> line_;  // the command line so far
  Clock::time_point dialledAt_{};   // when the dial line came
  Clock::time_point lastByteAt_{};  // data state: the last byte, or the start of the state
  int pluses_ = 0;                  // data state: "+" of an escape so far (0..3)
  std::uint64_t events_ = 0;
};

}  // namespace vardis::sim
