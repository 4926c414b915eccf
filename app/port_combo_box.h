// The port box: the legacy port numbers 1..9 followed by the serial devices of
// this PC, each with what the system says of it, read again each time the
// list is opened. An item's text is what "Старт" hands to the session (the
// number or the device path); the list shows it with the device's description.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>
#include <vector>

namespace vardis {

class PortComboBox : public QComboBox {
  Q_OBJECT

 public:
  // A serial device as the system reports it.
  struct PortInfo {
    QString location;  // "/dev/ttyUSB0"; "COM3" on Windows
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool usb = false;  // a USB adapter (the system knows its vendor)
  };
  // One item of the list: the port text and the line the list shows for it.
  struct Entry {
    QString port;
    QString label;
  };
  // The item role that holds an entry's label.
  static constexpr int kLabelRole = Qt::UserRole + 1;

  explicit PortComboBox(QWidget* parent = nullptr);

  // The list for the devices `found`: the numbers 1..9 (a number whose device
  // is among them shows it), then each other device once, the USB adapters
  // first, in natural order of their paths; then `kept` (a device path typed
  // or remembered) when it is none of them.
  static std::vector<Entry> portEntries(const std::vector<PortInfo>& found,
                                        const QString& kept = {});
  // The serial devices the system reports now.
  static std::vector<PortInfo> systemPorts();
  // The devices the list shows after the numbers: those the system reports,
  // less the ones a number already names.
  static QStringList devicePorts();
  // True for a port that can be chosen now: a number 1..9 always, a device
  // when it exists or the system reports it.
  static bool portExists(const QString& text);

  // Rebuilds the list from the system's devices, keeping the typed text.
  void refreshPorts();
  // Puts `entries` into the list, keeping the typed text.
  void setEntries(const std::vector<Entry>& entries);

  void showPopup() override;

 private:
  void showLabelAsToolTip();
};

}  // namespace vardis
