// A program started by the tests and the benchmark: standard input on
// /dev/null, standard output on a pipe, on a pseudo-terminal or in a file,
// standard error on a pipe of its own or joined to standard output.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vardis::test {

struct ChildSetup {
  // Standard output on a pseudo-terminal, so that the program is
  // line-buffered as on a console.
  bool stdoutOnTerminal = false;
  // Largest file the program may write (RLIMIT_FSIZE); SIGXFSZ is ignored,
  // so writes beyond it fail with EFBIG as on a full disk.
  std::optional<rlim_t> fileSizeLimit;
  // Standard error joins standard output (the simulator's request log).
  bool stderrToStdout = false;
  // Standard output goes to this file instead ("" closes it).
  std::optional<std::string> stdoutFile;
  // How long waitForLine() waits before it gives up.
  std::chrono::milliseconds patience{10000};

  // Standard output on a terminal, files limited to `limit` bytes when given.
  static ChildSetup terminal(std::optional<rlim_t> limit = std::nullopt) {
    ChildSetup s;
    s.stdoutOnTerminal = true;
    s.fileSizeLimit = limit;
    return s;
  }
};

class ChildProcess {
 public:
  using Setup = ChildSetup;

  // Starts args[0] with the rest as its arguments. Throws std::runtime_error
  // when it cannot be started.
  explicit ChildProcess(std::vector<std::string> args, const Setup& setup = {});
  // Kills it with SIGKILL unless it has been waited for.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads standard output until a line (without its end) satisfies `wanted`;
  // nothing when the output ends or the patience runs out first.
  std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& wanted);
  // The next line of standard output.
  std::optional<std::string> nextLine();
  // Reads standard output to its end, then waits for the end; the wait status.
  int finish();
  // Whether standard output has ended.
  bool atEnd() const { return atEnd_; }
  // Lines of standard output read so far.
  const std::string& output() const { return output_; }

  // Sends the signal and waits for the end; the wait status.
  int killWith(int signal);
  // Waits for the end; the wait status.
  int wait();
  // The resources it used, once waited for.
  const rusage& usage() const { return usage_; }
  // Everything written to standard error (read to its end: call after wait()).
  std::string errorText();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::chrono::milliseconds patience_;
  bool ended_ = false;
  int status_ = 0;
  rusage usage_{};
  bool atEnd_ = false;
  std::string pending_;
  std::string output_;
};

// The exit status of a wait status; 128 + the signal for a program a signal
// ended.
int exitStatusOf(int waitStatus);

}  // namespace vardis::test
