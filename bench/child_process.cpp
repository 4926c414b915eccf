#include "bench/child_process.h"

#include <signal.h>

#include <stdexcept>

namespace vardis::bench {

namespace {

std::vector<std::string> commandLine(const std::string& program,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

}  // namespace

MeterProcess::MeterProcess(const std::string& program, const std::vector<std::string>& args)
    : process_(commandLine(program, args)) {
  const auto line = process_.nextLine();
  if (!line || line->empty()) {
    process_.killWith(SIGKILL);
    std::string why = process_.errorText();
    while (!why.empty() && why.back() == '\n') why.pop_back();
    throw std::runtime_error(program + " printed no port" + (why.empty() ? "" : ": " + why));
  }
  port_ = *line;
}

MeterProcess::~MeterProcess() {
  process_.killWith(SIGTERM);
}

Finished runToEnd(const std::string& program, const std::vector<std::string>& args,
                  const std::filesystem::path& outputFile) {
  test::ChildSetup setup;
  setup.stdoutFile = outputFile.string();
  setup.stderrToStdout = true;
  Finished f;
  const auto start = std::chrono::steady_clock::now();
  test::ChildProcess child(commandLine(program, args), setup);
  f.exitStatus = test::exitStatusOf(child.wait());
  f.wall = std::chrono::steady_clock::now() - start;
  f.usage = child.usage();
  return f;
}

}  // namespace vardis::bench
