#include "sim/command_line.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vardis::sim {

namespace {

long long numberArgument(const std::string& option, const std::string& text, long long min,
                         long long max) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) {
    throw UsageError(option + " needs a whole number " + std::to_string(min) + ".." +
                     std::to_string(max) + ", not '" + text + "'");
  }
  return value;
}

// The seconds of no-carrier=S: a decimal number 0.001..86400, in milliseconds.
int secondsArgument(const std::string& where, const std::string& text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !(value >= 0.001 && value <= 86400.0))
    throw UsageError(where + " needs seconds 0.001..86400, not '" + text + "'");
  return static_cast<int>(std::llround(value * 1000.0));
}

// One FAULT of a --number option (`where` names the option) into `f`.
void numberFault(const std::string& where, const std::string& fault, CallFaults& f) {
  const auto eq = fault.find('=');
  const std::string name = fault.substr(0, eq);
  const std::optional<std::string> value =
      eq == std::string::npos ? std::nullopt : std::optional(fault.substr(eq + 1));
  // A count N; without "=N" every call, where that is allowed.
  const auto count = [&](bool everyWithout) -> unsigned {
    if (!value && everyWithout) return kEveryCall;
    if (!value) throw UsageError(where + ": " + name + " needs =N");
    return static_cast<unsigned>(numberArgument(where + " " + name, *value, 1, 1000000));
  };
  if (name == "busy") {
    f.busyCalls = count(false);
  } else if (name == "no-answer") {
    f.noAnswerCalls = count(true);
  } else if (name == "silent") {
    f.silentCalls = count(true);
  } else if (name == "no-carrier" && value) {
    f.noCarrierAfterMs = secondsArgument(where + " no-carrier", *value);
  } else {
    throw UsageError(where + ": unknown fault '" + fault +
                     "' (busy=N, no-answer[=N], silent[=N], no-carrier=S)");
  }
}

// The option at args[i], "--option=value" split in two. value() takes the
// value from after the "=" or else from the next argument, moving i on to it.
class OptionReader {
 public:
  OptionReader(const std::vector<std::string>& args, std::size_t& i)
      : args_(args), i_(i), name_(args[i]) {
    if (const auto eq = name_.find('='); name_.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue_ = name_.substr(eq + 1);
      name_.resize(eq);
    }
  }

  const std::string& name() const { return name_; }

  std::string value() {
    if (inlineValue_) return *inlineValue_;
    if (i_ + 1 >= args_.size()) throw UsageError(name_ + " needs a value");
    return args_[++i_];
  }
  long long number(long long min, long long max) {
    return numberArgument(name_, value(), min, max);
  }
  // For options that take no value.
  void flag() const {
    if (inlineValue_) throw UsageError(name_ + " takes no value");
  }

 private:
  const std::vector<std::string>& args_;
  std::size_t& i_;
  std::string name_;
  std::optional<std::string> inlineValue_;
};

// Each group below takes the options it knows and answers false for others.

// --help, --verbose, and the meter's address and data.
bool programOption(OptionReader& option, CommandLine& cl) {
  const std::string& name = option.name();
  if (name == "--help" || name == "-h") {
    option.flag();
    cl.help = true;
  } else if (name == "--verbose" || name == "-v") {
    option.flag();
    cl.verbose = true;
  } else if (name == "--address") {
    cl.address = static_cast<int>(option.number(0, 255));
  } else if (name == "--data") {
    cl.dataFile = option.value();
    if (cl.dataFile.empty()) throw UsageError("--data needs a file name");
  } else {
    return false;
  }
  return true;
}

// The line: --device and --speed.
bool lineOption(OptionReader& option, SimulatorOptions& simulator) {
  const std::string& name = option.name();
  if (name == "--device") {
    simulator.device = option.value();
    if (simulator.device.empty()) throw UsageError("--device needs a path");
  } else if (name == "--speed") {
    const std::string text = option.value();
    const auto baud = static_cast<unsigned>(numberArgument(name, text, 1, 4000000));
    unsigned constant = 0;
    if (!speedConstant(baud, &constant)) throw UsageError("unsupported line speed " + text);
    simulator.speed = baud;
  } else {
    return false;
  }
  return true;
}

bool faultOption(OptionReader& option, FaultOptions& f) {
  const std::string& name = option.name();
  if (name == "--drop") {
    f.dropEvery = static_cast<unsigned>(option.number(1, 1000000000));
  } else if (name == "--corrupt") {
    f.corruptEvery = static_cast<unsigned>(option.number(1, 1000000000));
  } else if (name == "--corrupt-at") {
    f.corruptAt = static_cast<unsigned>(option.number(1, 1000000000));
  } else if (name == "--corrupt-run") {
    f.corruptRun = static_cast<unsigned>(option.number(1, 1000000));
  } else if (name == "--split") {
    option.flag();
    f.split = true;
  } else if (name == "--noise") {
    option.flag();
    f.noise = true;
  } else if (name == "--late") {
    f.lateMs = static_cast<int>(option.number(0, 3600000));
  } else if (name == "--late-every") {
    f.lateEvery = static_cast<unsigned>(option.number(1, 1000000));
  } else if (name == "--late-at") {
    f.lateAt = static_cast<unsigned>(option.number(1, 1000000000));
  } else if (name == "--silent") {
    option.flag();
    f.silent = true;
  } else if (name == "--echo") {
    option.flag();
    f.echo = true;
  } else if (name == "--echo-only") {
    option.flag();
    f.echo = true;
    f.silent = true;
  } else if (name == "--pace") {
    option.flag();
    f.pace = true;
  } else if (name == "--turnaround") {
    f.turnaroundMs = static_cast<int>(option.number(0, 3600000));
  } else if (name == "--min-gap") {
    f.minGapMs = static_cast<int>(option.number(0, 60000));
  } else {
    return false;
  }
  return true;
}

// --modem and its settings; `setting` names the last setting given, which
// needs --modem somewhere on the line.
bool modemOption(OptionReader& option, CommandLine& cl, std::string& setting) {
  ModemOptions& modem = cl.simulator.modem;
  const std::string& name = option.name();
  if (name == "--modem") {
    option.flag();
    modem.enabled = true;
  } else if (name == "--connect-delay") {
    modem.connectDelayMs = static_cast<int>(option.number(0, 600000));
    setting = name;
  } else if (name == "--guard-time") {
    modem.guardMs = static_cast<int>(option.number(1, 60000));
    setting = name;
  } else if (name == "--no-answer-delay") {
    modem.noAnswerDelayMs = static_cast<int>(option.number(0, 600000));
    setting = name;
  } else if (name == "--number") {
    NumberOption number = parseNumberOption(option.value());
    for (const NumberOption& other : cl.numbers) {
      if (dialledNumber(other.phone) == dialledNumber(number.phone))
        throw UsageError("--number " + number.phone + ": the number is given twice");
    }
    cl.numbers.push_back(std::move(number));
    setting = name;
  } else {
    return false;
  }
  return true;
}

}  // namespace

NumberOption parseNumberOption(const std::string& text) {
  NumberOption n;
  std::size_t comma = text.find(',');
  const std::string head = text.substr(0, comma);
  const auto colon = head.find(':');
  n.phone = head.substr(0, colon);
  const std::string where = "--number " + n.phone;
  if (dialledNumber(n.phone).find_first_of("0123456789") == std::string::npos)
    throw UsageError("--number needs a phone with digits, not '" + text + "'");
  if (colon != std::string::npos) {
    n.serial = static_cast<std::uint32_t>(
        numberArgument(where + " SERIAL", head.substr(colon + 1), 0, kMaxSerialNumber));
  }
  while (comma != std::string::npos) {
    const std::size_t next = text.find(',', comma + 1);
    numberFault(where, text.substr(comma + 1, next - comma - 1), n.faults);
    comma = next;
  }
  return n;
}

std::string usageText() {
  return "usage: vardis-meter-sim [options]\n"
         "A simulated VARDIS heat meter on a pseudo-terminal (or a serial device).\n"
         "The first line on standard output is the port to open; the meter then\n"
         "answers until SIGINT or SIGTERM.\n"
         "\n"
         "  --address N      meter address 0..255 (default 0, or the data file's)\n"
         "  --data FILE      meter data (JSON) pinning parameters, values, clock, archives\n"
         "  --device PATH    serve on this serial device instead of a pseudo-terminal\n"
         "  --speed BAUD     line speed of the device; on a pseudo-terminal the speed\n"
         "                   used for --pace when the tool has set none (default 9600)\n"
         "  --drop N         no reply to requests N, 2N, 3N, ...\n"
         "  --corrupt N      wrong checksum in replies to requests N, 2N, ...\n"
         "  --split          send each reply byte by byte, 2 ms apart\n"
         "  --noise          send 3 stray bytes before each reply\n"
         "  --late MS        delay each reply by MS milliseconds\n"
         "  --late-every N   with --late: delay only replies N, 2N, ...\n"
         "  --late-at N      with --late: delay only reply N\n"
         "  --corrupt-at N   wrong checksum in reply N (and --corrupt-run C replies from it)\n"
         "  --silent         never answer\n"
         "  --echo           the line sends every byte it gets back at once, before the\n"
         "                   meter (or the modem) answers, as a loopback or a converter\n"
         "                   with echo does\n"
         "  --echo-only      the echo with no meter behind it (--echo and --silent)\n"
         "  --pace           send at the wire speed of the line (10 bits a byte)\n"
         "  --turnaround MS  fixed delay before each reply (default 0)\n"
         "  --min-gap MS     ignore a request that comes sooner than MS after the\n"
         "                   meter's last reply went out\n"
         "  --modem          put a GSM modem in front of the meter: Hayes commands in\n"
         "                   command state, a dial (\"ATD...\" or a bare number) answers\n"
         "                   CONNECT after the connect delay and opens the data state,\n"
         "                   \"+++\" between guard times goes back, \"ATH\" hangs up\n"
         "  --connect-delay MS\n"
         "                   with --modem: from the dial to CONNECT (default 200)\n"
         "  --guard-time MS  with --modem: silence before and after \"+++\" (default 200)\n"
         "  --no-answer-delay MS\n"
         "                   with --modem: from the dial to NO ANSWER (default: the\n"
         "                   connect delay)\n"
         "  --number PHONE[:SERIAL][,FAULT]...\n"
         "                   with --modem, repeatable: a meter behind this number, with\n"
         "                   serial number SERIAL (default 10000 + its place in the list);\n"
         "                   other numbers get NO ANSWER. Faults of its calls, counted\n"
         "                   from its first: busy=N (the first N calls BUSY),\n"
         "                   no-answer[=N] (the next N, or all, NO ANSWER), silent[=N]\n"
         "                   (the next N, or all, no answer at all), no-carrier=S (a\n"
         "                   connected call drops S seconds after CONNECT)\n"
         "  --verbose        one line per request (and modem event) on standard error\n"
         "  --help           this text\n";
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  std::string modemSetting;  // a modem setting given, for the check at the end
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& given = args[i];
    OptionReader option(args, i);
    if (!programOption(option, cl) && !lineOption(option, cl.simulator) &&
        !faultOption(option, cl.simulator.faults) && !modemOption(option, cl, modemSetting)) {
      throw UsageError("unknown option '" + given + "'");
    }
  }
  if (!modemSetting.empty() && !cl.simulator.modem.enabled)
    throw UsageError(modemSetting + " needs --modem");
  return cl;
}

}  // namespace vardis::sim
