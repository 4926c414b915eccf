// The window made observable for its tests: the error box and the yes/no
// questions are captured instead of shown (each question answered with
// `answer`), the trace file asked for is `traceFile`, and the hang-up timer
// and the close record whether a command ran.
#pragma once

#include <QCloseEvent>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/kros.h"

namespace vardis::test {

class TestForm : public TForm1 {
 public:
  using TForm1::TForm1;

  void Timer3Timer() override {
    timer3Busy.push_back(commandRunning());
    TForm1::Timer3Timer();
  }

  QStringList errors;
  std::vector<bool> timer3Busy;  // whether a command ran when the handler ran
  QStringList questions;         // each answered with `answer`
  bool answer = true;
  std::vector<bool> closeBusy;  // whether a command ran at each close
  QString traceFile;            // what the trace file question answers; "" cancels

 protected:
  void showError(const QString& text) override { errors << text; }
  bool ask(const QString& text) override {
    questions << text;
    return answer;
  }
  QString askTraceFile() override { return traceFile; }
  void closeEvent(QCloseEvent* event) override {
    closeBusy.push_back(commandRunning());
    TForm1::closeEvent(event);
  }
};

}  // namespace vardis::test
