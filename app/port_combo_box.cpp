#include "app/port_combo_box.h"

#include <QSerialPortInfo>
#include <QSignalBlocker>

namespace vardis {

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  refreshPorts();
  setCurrentIndex(0);
}

QStringList PortComboBox::devicePorts() {
  QStringList ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef _WIN32
    ports << info.portName();
#else
    ports << info.systemLocation();
#endif
  }
  ports.sort();
  ports.removeDuplicates();
  return ports;
}

void PortComboBox::refreshPorts() {
  const QString typed = currentText();
  const QSignalBlocker block(this);
  clear();
  for (int n = 1; n <= 9; ++n) addItem(QString::number(n));
  addItems(devicePorts());
  if (typed.isEmpty()) return;
  const int at = findText(typed);
  if (at >= 0) {
    setCurrentIndex(at);
  } else {
    setEditText(typed);
  }
}

void PortComboBox::showPopup() {
  refreshPorts();
  QComboBox::showPopup();
}

}  // namespace vardis
