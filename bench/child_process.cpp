#include "bench/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace vardis::bench {

namespace {

constexpr auto kStartPatience = std::chrono::seconds(10);

std::vector<char*> argumentVector(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return argv;
}

pid_t spawn(const std::string& program, const std::vector<std::string>& args,
            posix_spawn_file_actions_t* actions) {
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv = argumentVector(words);
  pid_t pid = -1;
  const int e = ::posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), environ);
  if (e != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(e));
  return pid;
}

int exitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

MeterProcess::MeterProcess(const std::string& program, const std::vector<std::string>& args) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe: " + std::string(strerror(errno)));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  try {
    pid_ = spawn(program, args, &actions);
  } catch (...) {
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[0]);
    ::close(out[1]);
    throw;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  out_ = out[0];

  const auto deadline = std::chrono::steady_clock::now() + kStartPatience;
  std::string line;
  bool ended = false;
  while (!ended && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char c = 0;
    if (::read(out_, &c, 1) != 1) break;
    if (c == '\n') {
      ended = true;
    } else {
      line += c;
    }
  }
  if (!ended || line.empty()) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(out_);
    throw std::runtime_error(program + " printed no port");
  }
  port_ = line;
}

MeterProcess::~MeterProcess() {
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  ::close(out_);
}

Finished runToEnd(const std::string& program, const std::vector<std::string>& args,
                  const std::filesystem::path& outputFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  Finished f;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  try {
    pid = spawn(program, args, &actions);
  } catch (...) {
    posix_spawn_file_actions_destroy(&actions);
    throw;
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  while (::wait4(pid, &status, 0, &f.usage) < 0 && errno == EINTR) {
  }
  f.wall = std::chrono::steady_clock::now() - start;
  f.exitStatus = exitStatusOf(status);
  return f;
}

}  // namespace vardis::bench
