#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace vardis::test {

namespace {

using Clock = std::chrono::steady_clock;

// A descriptor of this process, closed when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

// The reading end, then the writing end.
std::pair<Fd, Fd> makePipe() {
  int ends[2];
  check(::pipe2(ends, O_CLOEXEC) == 0, "pipe2");
  return {Fd(ends[0]), Fd(ends[1])};
}

// The controlling side, then the terminal side in raw mode: no CR added
// before LF, no echo.
std::pair<Fd, Fd> makeTerminal() {
  Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  check(master.get() >= 0 && ::grantpt(master.get()) == 0 && ::unlockpt(master.get()) == 0,
        "no pseudo-terminal for the output");
  Fd terminal(::open(::ptsname(master.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
  termios raw{};
  check(terminal.get() >= 0 && ::tcgetattr(terminal.get(), &raw) == 0,
        "cannot open the terminal side");
  ::cfmakeraw(&raw);
  ::tcsetattr(terminal.get(), TCSANOW, &raw);
  return {std::move(master), std::move(terminal)};
}

// In the new process: only async-signal-safe calls from here to exec. An exec
// that fails writes its errno to `failure`.
[[noreturn]] void execute(char* const* argv, int in, int out, int err, const ChildSetup& setup,
                          int failure) {
  ::dup2(in, 0);
  if (out < 0) {
    ::close(1);
  } else {
    ::dup2(out, 1);
  }
  ::dup2(setup.stderrToStdout ? 1 : err, 2);
  if (setup.fileSizeLimit) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{*setup.fileSizeLimit, *setup.fileSizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::execv(argv[0], argv);
  const int e = errno;
  [[maybe_unused]] const ssize_t written = ::write(failure, &e, sizeof e);
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> args, const Setup& setup)
    : patience_(setup.patience) {
  auto [out, outWrite] = setup.stdoutOnTerminal ? makeTerminal() : makePipe();
  auto [err, errWrite] = makePipe();
  auto [failed, failure] = makePipe();
  const Fd in(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  check(in.get() >= 0, "/dev/null");
  Fd file;
  if (setup.stdoutFile && !setup.stdoutFile->empty()) {
    file = Fd(::open(setup.stdoutFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    check(file.get() >= 0, *setup.stdoutFile);
  }
  const int stdoutFd = setup.stdoutFile ? file.get() : outWrite.get();  // -1: closed

  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  check(pid_ >= 0, "fork");
  if (pid_ == 0) execute(argv.data(), in.get(), stdoutFd, errWrite.get(), setup, failure.get());

  failure = Fd();  // the reading end sees EOF once the program runs
  int e = 0;
  ssize_t n = 0;
  while ((n = ::read(failed.get(), &e, sizeof e)) < 0 && errno == EINTR) {
  }
  if (n == sizeof e) {
    wait();
    throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(e));
  }
  out_ = out.release();
  err_ = err.release();
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !ended_) killWith(SIGKILL);
  if (out_ >= 0) ::close(out_);
  if (err_ >= 0) ::close(err_);
}

std::optional<std::string> ChildProcess::waitForLine(
    const std::function<bool(const std::string&)>& wanted) {
  const auto deadline = Clock::now() + patience_;
  for (;;) {
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      output_ += line + "\n";
      if (wanted(line)) return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[512];
    const ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      // EOF, or EIO once the terminal side is gone.
      atEnd_ = true;
      if (!pending_.empty()) output_ += std::exchange(pending_, std::string()) + "\n";
      return std::nullopt;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

std::optional<std::string> ChildProcess::nextLine() {
  return waitForLine([](const std::string&) { return true; });
}

int ChildProcess::finish() {
  waitForLine([](const std::string&) { return false; });
  return wait();
}

int ChildProcess::killWith(int signal) {
  if (!ended_) ::kill(pid_, signal);
  return wait();
}

int ChildProcess::wait() {
  if (!ended_) {
    while (::wait4(pid_, &status_, 0, &usage_) < 0 && errno == EINTR) {
    }
    ended_ = true;
  }
  return status_;
}

std::string ChildProcess::errorText() {
  std::string text;
  char buffer[512];
  ssize_t n = 0;
  while ((n = ::read(err_, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

int exitStatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

}  // namespace vardis::test
