#include "app/command_runner.h"

#include <exception>
#include <utility>

#include "connection/connection.h"
#include "link/meter_protocol.h"

namespace vardis {

CommandRunner::CommandRunner(Connection& connection, Window window)
    : connection_(connection), window_(std::move(window)) {}

void CommandRunner::run(const std::function<void()>& command) {
  if (running_) {
    // Started by the running command (a hidden button's click): part of it.
    command();
    return;
  }
  running_ = true;
  connection_.clearCancel();
  window_.busyChanged();
  guarded(command);
  running_ = false;
  connection_.clearCancel();
  window_.busyChanged();

  if (stopPending_) {
    stopPending_ = false;
    window_.stop();
  }
  if (closePending_) {
    closePending_ = false;
    deferred_.clear();
    window_.close();
    return;
  }
  auto waiting = std::move(deferred_);
  deferred_.clear();
  for (auto& action : waiting) action();
}

void CommandRunner::whenIdle(std::function<void()> action) {
  if (running_) {
    deferred_.push_back(std::move(action));
  } else {
    action();
  }
}

void CommandRunner::guarded(const std::function<void()>& action) const {
  try {
    action();
  } catch (const CommandCancelled&) {
    // Ended by "Стоп" after its current exchange: the status says what was kept.
    connection_.commandStopped();
  } catch (const std::exception& e) {
    window_.error(e.what());
  }
}

void CommandRunner::stop() {
  if (!running_) {
    window_.stop();
    return;
  }
  connection_.requestCancel();
  stopPending_ = true;
  window_.busyChanged();
}

bool CommandRunner::postponeClose() {
  if (!running_) return false;
  connection_.requestCancel();
  closePending_ = true;
  return true;
}

}  // namespace vardis
