// Programs the benchmark runs next to itself: the simulated meter, which must
// not share the reading process (its processor time would count as the
// tool's), and vardis-cli, whose peak memory the kernel reports at its end.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace vardis::bench {

// The simulated meter program, running until this object goes.
class MeterProcess {
 public:
  // Starts it with the arguments and reads the port it prints first. Throws
  // std::runtime_error when it does not start or prints no port in time.
  MeterProcess(const std::string& program, const std::vector<std::string>& args);
  ~MeterProcess();
  MeterProcess(const MeterProcess&) = delete;
  MeterProcess& operator=(const MeterProcess&) = delete;

  const std::string& port() const { return port_; }

 private:
  test::ChildProcess process_;
  std::string port_;
};

struct Finished {
  int exitStatus = -1;  // 128 + the signal for a program a signal ended
  rusage usage{};
  std::chrono::steady_clock::duration wall{};
};

// Runs a program to its end with standard output and error in `outputFile`.
// Throws std::runtime_error when it cannot be started.
Finished runToEnd(const std::string& program, const std::vector<std::string>& args,
                  const std::filesystem::path& outputFile);

}  // namespace vardis::bench
