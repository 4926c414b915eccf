#include "params/identification.h"

#include "connection/report_naming.h"
#include "params/parameter_session.h"

namespace vardis {

void MeterIdentification(ParameterSession& s) {
  s.beginCommand("Идентификация");
  beginIdentification(s);

  readParameter(s, 0);
  s.setProgress(10);
  readParameter(s, 3);
  s.setProgress(15);
  readParameter(s, 9);
  s.HeatUnitText = s.params.values[9] == 0 ? " Гдж" : "Гкал";
  readParameter(s, 111);
  s.setProgress(20);
  readParameter(s, 10);
  s.setProgress(25);
  readParameter(s, 20);
  s.setProgress(50);
  readParameter(s, 30);
  s.setProgress(75);
  readParameter(s, 40);
  s.setProgress(100);

  const bool answered = s.link.LinkFault == 0;
  if (answered) openReportFiles(s, s.params.values[0]);

  s.setOperationStatus(answered ? "Параметры записаны" : "Прибор не ответил: файлы не созданы");
  s.observer().identificationEnded();
  s.formats = computeFormatTable(s.params);
}

void StartConnection(ParameterSession& s, const ConnectionChoice& choice) {
  s.openLine(choice);
  if (!choice.gsm) MeterIdentification(s);
}

void DialWaitElapsed(ParameterSession& s) {
  MeterIdentification(s);
}

}  // namespace vardis
