// The port box: the legacy port numbers 1..9 followed by the serial devices of
// this PC, read again each time the list is opened.
#pragma once

#include <QComboBox>
#include <QStringList>

namespace vardis {

class PortComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit PortComboBox(QWidget* parent = nullptr);

  // Rebuilds the list, keeping the typed text.
  void refreshPorts();
  // The serial devices the system reports, e.g. "/dev/ttyUSB0" or "COM3".
  static QStringList devicePorts();

  void showPopup() override;
};

}  // namespace vardis
