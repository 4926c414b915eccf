// The GSM modem in front of the simulated meter. In command state it takes
// Hayes command lines ended by CR; a dial sets up a data call after a delay
// and "CONNECT" opens the data state, where every byte goes on to the meter.
// "+++" between two guard times of silence returns to command state with the
// call still up; "ATH" ends it.
//
// Given a list of numbers, the modem answers only those, each with the faults
// of its calls (busy, no answer, a silent modem, a carrier lost in the call);
// the simulator puts a meter of its own behind each number.
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

// A count of calls that stands for every call.
inline constexpr unsigned kEveryCall = 0xFFFFFFFFu;

// What becomes of the calls to one number, counted from 1 over the dials of
// it: the first `busyCalls` are busy, the next `noAnswerCalls` go unanswered,
// in the next `silentCalls` the modem says nothing at all; the rest connect,
// and lose their carrier `noCarrierAfterMs` after CONNECT when that is set.
struct CallFaults {
  unsigned busyCalls = 0;
  unsigned noAnswerCalls = 0;
  unsigned silentCalls = 0;
  int noCarrierAfterMs = 0;  // 0: a call stands until it is hung up

  bool any() const {
    return busyCalls != 0 || noAnswerCalls != 0 || silentCalls != 0 || noCarrierAfterMs > 0;
  }
};

// A number the modem answers: a dial reaches it when the dial text's number
// (dialledNumber) is the phone's.
struct ModemNumber {
  std::string phone;  // as written, e.g. "+7 900 000-00-01" or "ATD+79000000001"
  CallFaults faults;
};

struct ModemOptions {
  bool enabled = false;      // put a modem in front of the meter
  int connectDelayMs = 200;  // from the dial command to "CONNECT"
  int guardMs = 200;         // silence needed before and after "+++"
  int noAnswerDelayMs = -1;  // from the dial command to "NO ANSWER"; below 0: connectDelayMs
  // The numbers answered; empty: any dial reaches the one meter.
  std::vector<ModemNumber> numbers;
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
  // The calls to numbers with faults, and to numbers not in the list:
  Busy,         // "BUSY" at once, back to command state
  NoAnswer,     // "NO ANSWER" after the no-answer delay, back to command state
  Silent,       // the dial gets no answer at all; the modem stays dialling
  CarrierLost,  // the call went down by itself: "NO CARRIER", command state
};

const char* modemEventName(ModemEventKind kind);

// The modem's answers.
inline constexpr std::string_view kModemConnect = "\r\nCONNECT 9600\r\n";
inline constexpr std::string_view kModemOk = "\r\nOK\r\n";
inline constexpr std::string_view kModemNoCarrier = "\r\nNO CARRIER\r\n";
inline constexpr std::string_view kModemBusy = "\r\nBUSY\r\n";
inline constexpr std::string_view kModemNoAnswer = "\r\nNO ANSWER\r\n";
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
  // The call the event belongs to, from its dial to the event that ends it:
  // 1-based count of dials; 0 for none.
  std::uint64_t call = 0;
  // With a list of numbers: the number of the call (dialledNumber of the dial
  // text, "(none)" for a dial without digits), and its index in the list (-1:
  // not in it). Empty and -1 without a list.
  std::string number;
  int numberIndex = -1;

  std::string receivedText() const { return {received.begin(), received.end()}; }
  // One line for people: sequence, what came, what went back, and with a list
  // of numbers the call and its number.
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
// The number a dial text (or a phone as written in a list) dials: its digits
// and '+' after a leading "ATD" (any case), in order; blanks, dashes, brackets,
// pauses and the tone or pulse letter count for nothing.
std::string dialledNumber(std::string_view dialText);

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
  // Dials so far (the calls count from 1).
  std::uint64_t calls() const { return calls_; }

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
  // Fills in the call of the event: the one under way, if any.
  void stamp(ModemEvent& e) const;
  // Numbers the event, stamps the state it leaves and the call it belongs to
  // (unless stamped before), and appends it as a step.
  void post(std::vector<ModemStep>& steps, ModemEvent e);

  // The calls (modem_calls.cpp).
  enum class Plan : std::uint8_t { Connect, Busy, NoAnswer, Silent };
  struct Call {
    std::uint64_t id = 0;
    std::string number;  // with a list of numbers only
    int index = -1;
    Plan plan = Plan::Connect;
    std::optional<Clock::time_point> lossAt;  // when a connected call loses its carrier
  };
  // A dial line: the call and what will become of it.
  void startCall(const std::string& dialText);
  // Right after the dial event: busy and silent calls are settled at once.
  void settleAtOnce(Clock::time_point now, std::vector<ModemStep>& steps);
  // The end of the ringing: CONNECT or NO ANSWER.
  void settleRinging(Clock::time_point now, std::vector<ModemStep>& steps);
  void loseCarrier(Clock::time_point now, std::vector<ModemStep>& steps);
  // A byte while dialling abandons the call: NO CARRIER, or nothing from a silent modem.
  void abandonCall(std::uint8_t byte, Clock::time_point now, std::vector<ModemStep>& steps);
  std::optional<Clock::time_point> ringingDeadline() const;
  bool carrierDue(Clock::time_point now) const;
  Plan planFor(int index);

  ModemOptions options_;
  std::vector<std::string> phones_;     // dialledNumber of each number in the list
  std::vector<std::uint64_t> callsTo_;  // dials of each number so far
  std::optional<Call> call_;            // from the dial until the call is over
  std::uint64_t calls_ = 0;
  ModemState state_ = ModemState::Command;
  std::vector<std::uint8_t> line_;  // the command line so far
  Clock::time_point dialledAt_{};   // when the dial line came
  Clock::time_point lastByteAt_{};  // data state: the last byte, or the start of the state
  int pluses_ = 0;                  // data state: "+" of an escape so far (0..3)
  std::uint64_t events_ = 0;
};

}  // namespace vardis::sim
