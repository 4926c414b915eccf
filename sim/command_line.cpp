#include "sim/command_line.h"

#include <charconv>

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

}  // namespace

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
         "  --silent         never answer\n"
         "  --pace           send at the wire speed of the line (10 bits a byte)\n"
         "  --turnaround MS  fixed delay before each reply (default 0)\n"
         "  --modem          put a GSM modem in front of the meter: Hayes commands in\n"
         "                   command state, a dial (\"ATD...\" or a bare number) answers\n"
         "                   CONNECT after the connect delay and opens the data state,\n"
         "                   \"+++\" between guard times goes back, \"ATH\" hangs up\n"
         "  --connect-delay MS\n"
         "                   with --modem: from the dial to CONNECT (default 200)\n"
         "  --guard-time MS  with --modem: silence before and after \"+++\" (default 200)\n"
         "  --verbose        one line per request (and modem event) on standard error\n"
         "  --help           this text\n";
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  FaultOptions& f = cl.simulator.faults;
  ModemOptions& modem = cl.simulator.modem;
  std::string modemSetting;  // a modem option given, for the check at the end
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string option = args[i];
    std::optional<std::string> inlineValue;
    if (const auto eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = option.substr(eq + 1);
      option.resize(eq);
    }
    const auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
      return args[++i];
    };
    const auto flag = [&] {
      if (inlineValue) throw UsageError(option + " takes no value");
    };

    if (option == "--help" || option == "-h") {
      flag();
      cl.help = true;
    } else if (option == "--verbose" || option == "-v") {
      flag();
      cl.verbose = true;
    } else if (option == "--address") {
      cl.address = static_cast<int>(numberArgument(option, value(), 0, 255));
    } else if (option == "--data") {
      cl.dataFile = value();
      if (cl.dataFile.empty()) throw UsageError("--data needs a file name");
    } else if (option == "--device") {
      cl.simulator.device = value();
      if (cl.simulator.device.empty()) throw UsageError("--device needs a path");
    } else if (option == "--speed") {
      const std::string text = value();
      const auto baud = static_cast<unsigned>(numberArgument(option, text, 1, 4000000));
      unsigned constant = 0;
      if (!speedConstant(baud, &constant)) throw UsageError("unsupported line speed " + text);
      cl.simulator.speed = baud;
    } else if (option == "--drop") {
      f.dropEvery = static_cast<unsigned>(numberArgument(option, value(), 1, 1000000000));
    } else if (option == "--corrupt") {
      f.corruptEvery = static_cast<unsigned>(numberArgument(option, value(), 1, 1000000000));
    } else if (option == "--split") {
      flag();
      f.split = true;
    } else if (option == "--noise") {
      flag();
      f.noise = true;
    } else if (option == "--late") {
      f.lateMs = static_cast<int>(numberArgument(option, value(), 0, 3600000));
    } else if (option == "--late-every") {
      f.lateEvery = static_cast<unsigned>(numberArgument(option, value(), 1, 1000000));
    } else if (option == "--late-at") {
      f.lateAt = static_cast<unsigned>(numberArgument(option, value(), 1, 1000000000));
    } else if (option == "--silent") {
      flag();
      f.silent = true;
    } else if (option == "--pace") {
      flag();
      f.pace = true;
    } else if (option == "--turnaround") {
      f.turnaroundMs = static_cast<int>(numberArgument(option, value(), 0, 3600000));
    } else if (option == "--modem") {
      flag();
      modem.enabled = true;
    } else if (option == "--connect-delay") {
      modem.connectDelayMs = static_cast<int>(numberArgument(option, value(), 0, 600000));
      modemSetting = option;
    } else if (option == "--guard-time") {
      modem.guardMs = static_cast<int>(numberArgument(option, value(), 1, 60000));
      modemSetting = option;
    } else {
      throw UsageError("unknown option '" + args[i] + "'");
    }
  }
  if (!modemSetting.empty() && !modem.enabled) throw UsageError(modemSetting + " needs --modem");
  return cl;
}

}  // namespace vardis::sim
