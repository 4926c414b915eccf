#include "bench/cli_run.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench/child_process.h"
#include "bench/common.h"

namespace vardis::bench {

CliResult measureCli(const Options& o, const CalendarDate& date) {
  CliResult r;
  MeterProcess meter(o.meterProgram, {"--pace", "--turnaround", std::to_string(o.turnaroundMs),
                                      "--speed", std::to_string(r.baud)});
  TempFolder folder;
  const std::vector<std::string> args{"--port",       meter.port(),
                                      "--speed",      std::to_string(r.baud),
                                      "--data-dir",   folder.path().string(),
                                      "values",       "monthly",
                                      dateText(date), "params"};
  r.command = "vardis-cli --port PTY --speed " + std::to_string(r.baud) +
              " --data-dir TMP values monthly " + dateText(date) + " params";
  const std::filesystem::path outputFile = folder.path() / "cli-output.txt";
  // ru_maxrss of a program started by fork and exec is the larger of its own
  // peak and what the forked copy of this process had resident at the exec:
  // our private pages, about 1 MB (a do-nothing program given as --cli shows
  // 1.6 MB), far under vardis-cli's own, so the figure is vardis-cli's. Were
  // this process to hold more here, it would show; a plain exec wrapper would
  // not help (the peak outlives exec), only one that forks again and reports
  // its child's wait4.
  const Finished f = runToEnd(o.cliProgram, args, outputFile);
  r.exitStatus = f.exitStatus;
  r.peakMb = static_cast<double>(f.usage.ru_maxrss) / 1024;  // kilobytes on Linux
  r.wallMs = ms(f.wall);
  r.processorMs = processorSeconds(f.usage) * 1000;
  if (r.exitStatus != 0) {
    std::FILE* in = std::fopen(outputFile.c_str(), "r");
    if (in) {
      char buf[512];
      while (std::fgets(buf, sizeof buf, in)) r.output += buf;
      std::fclose(in);
    }
  }
  return r;
}

}  // namespace vardis::bench
