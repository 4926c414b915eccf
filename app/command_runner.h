// How the window runs its meter commands, apart from its widgets: one command
// at a time, "Стоп" and a close asked for while one runs, and the actions that
// wait for its end.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vardis {

class Connection;

class CommandRunner {
 public:
  // What the runner needs from its window.
  struct Window {
    // A command began or ended, or a stop was asked for: the enabled states follow.
    std::function<void()> busyChanged;
    // The stop itself ("Стоп" with no command running).
    std::function<void()> stop;
    // Closing the window.
    std::function<void()> close;
    // A command's error, to show the user.
    std::function<void(const std::string&)> error;
  };

  CommandRunner(Connection& connection, Window window);

  bool running() const { return running_; }
  // "Стоп" was pressed during the running command; the stop follows its end.
  bool stopPending() const { return stopPending_; }
  // A close was asked for during the running command; it follows its end.
  bool closePending() const { return closePending_; }

  // Runs one meter command with the others disabled. A command started from
  // within the running one (a hidden button's click) is part of it and runs
  // at once. Once the command has unwound, a stop and then a close asked for
  // meanwhile are carried out; without a close, the actions that waited run.
  void run(const std::function<void()>& command);
  // Runs `action` now, or right after the running command when one runs.
  void whenIdle(std::function<void()> action);
  // Runs `action`, telling an error to the window. A command ended by "Стоп"
  // is no error.
  void guarded(const std::function<void()>& action) const;

  // "Стоп": the stop at once, or, while a command runs, the command cancelled
  // after its current exchange and the stop once it has unwound.
  void stop();
  // A close while a command runs: the command is cancelled after its current
  // exchange and the window closes once it has unwound. False when no command
  // runs: the window closes now.
  bool postponeClose();

 private:
  Connection& connection_;
  Window window_;
  bool running_ = false;
  bool stopPending_ = false;
  bool closePending_ = false;
  std::vector<std::function<void()>> deferred_;
};

}  // namespace vardis
