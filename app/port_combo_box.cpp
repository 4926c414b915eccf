#include "app/port_combo_box.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QScreen>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <algorithm>

#include "link/port_text.h"

namespace vardis {

namespace {

constexpr int kNumberedPorts = 9;

// The list's rows show an item's label; the item's text stays the port.
class LabelDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString label = index.data(PortComboBox::kLabelRole).toString();
    if (!label.isEmpty()) option->text = label;
  }
};

bool samePort(const QString& a, const QString& b) {
#ifdef _WIN32
  return a.compare(b, Qt::CaseInsensitive) == 0;
#else
  return a == b;
#endif
}

// "ttyUSB2" before "ttyUSB10": runs of digits compare by their value.
bool naturalLess(const QString& a, const QString& b) {
  qsizetype i = 0;
  qsizetype j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      const qsizetype si = i;
      const qsizetype sj = j;
      while (i < a.size() && a[i].isDigit()) ++i;
      while (j < b.size() && b[j].isDigit()) ++j;
      const qulonglong x = a.mid(si, i - si).toULongLong();
      const qulonglong y = b.mid(sj, j - sj).toULongLong();
      if (x != y) return x < y;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

bool isUsb(const PortComboBox::PortInfo& p) {
  return p.usb || p.location.contains(QLatin1String("USB"), Qt::CaseInsensitive) ||
         p.description.contains(QLatin1String("USB"), Qt::CaseInsensitive);
}

// "/dev/ttyUSB0 — FT232R USB UART (FTDI, № A50285BI)"; the path alone when
// the system says nothing more.
QString deviceLabel(const PortComboBox::PortInfo& p) {
  QStringList aside;
  if (!p.manufacturer.isEmpty() && p.manufacturer != p.description) aside << p.manufacturer;
  if (!p.serialNumber.isEmpty()) aside << QStringLiteral("№ ") + p.serialNumber;
  QString details = p.description;
  if (details.isEmpty()) {
    details = aside.join(QStringLiteral(", "));
  } else if (!aside.isEmpty()) {
    details += QStringLiteral(" (") + aside.join(QStringLiteral(", ")) + QStringLiteral(")");
  }
  return details.isEmpty() ? p.location : p.location + QStringLiteral(" — ") + details;
}

// Each device once; what one report of it lacks, another may give.
std::vector<PortComboBox::PortInfo> merged(const std::vector<PortComboBox::PortInfo>& found) {
  std::vector<PortComboBox::PortInfo> out;
  for (const PortComboBox::PortInfo& p : found) {
    if (p.location.isEmpty()) continue;
    const auto same = std::find_if(
        out.begin(), out.end(), [&p](const auto& o) { return samePort(o.location, p.location); });
    if (same == out.end()) {
      out.push_back(p);
      continue;
    }
    if (same->description.isEmpty()) same->description = p.description;
    if (same->manufacturer.isEmpty()) same->manufacturer = p.manufacturer;
    if (same->serialNumber.isEmpty()) same->serialNumber = p.serialNumber;
    same->usb = same->usb || p.usb;
  }
  return out;
}

}  // namespace

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setItemDelegate(new LabelDelegate(this));
  // The numbers and the usual few devices without scrolling.
  setMaxVisibleItems(kNumberedPorts + 8);
  connect(this, &QComboBox::currentTextChanged, this, &PortComboBox::showLabelAsToolTip);
  refreshPorts();
  setCurrentIndex(0);
}

std::vector<PortComboBox::Entry> PortComboBox::portEntries(const std::vector<PortInfo>& found,
                                                           const QString& kept) {
  std::vector<PortInfo> devices = merged(found);
  std::vector<Entry> entries;
  for (int n = 1; n <= kNumberedPorts; ++n) {
    const QString number = QString::number(n);
    const QString device = QString::fromStdString(deviceForPort(number.toStdString()));
    const auto it = std::find_if(devices.begin(), devices.end(), [&device](const PortInfo& p) {
      return samePort(p.location, device);
    });
    if (it == devices.end()) {
      entries.push_back({number, number});
      continue;
    }
    entries.push_back({number, number + QStringLiteral(": ") + deviceLabel(*it)});
    devices.erase(it);
  }
  std::stable_sort(devices.begin(), devices.end(), [](const PortInfo& a, const PortInfo& b) {
    if (isUsb(a) != isUsb(b)) return isUsb(a);
    return naturalLess(a.location, b.location);
  });
  for (const PortInfo& p : devices) entries.push_back({p.location, deviceLabel(p)});
  const bool listed = std::any_of(entries.begin(), entries.end(),
                                  [&kept](const Entry& e) { return samePort(e.port, kept); });
  if (!listed && isDevicePath(kept.toStdString())) entries.push_back({kept, kept});
  return entries;
}

std::vector<PortComboBox::PortInfo> PortComboBox::systemPorts() {
  std::vector<PortInfo> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef _WIN32
    const QString location = info.portName();
#else
    const QString location = info.systemLocation();
#endif
    ports.push_back({location, info.description().trimmed(), info.manufacturer().trimmed(),
                     info.serialNumber().trimmed(), info.hasVendorIdentifier()});
  }
  return ports;
}

QStringList PortComboBox::devicePorts() {
  QStringList ports;
  const std::vector<Entry> entries = portEntries(systemPorts());
  for (std::size_t i = kNumberedPorts; i < entries.size(); ++i) ports << entries[i].port;
  return ports;
}

bool PortComboBox::portExists(const QString& text) {
  const std::string port = text.toStdString();
  if (const auto n = parseInteger(port); n && *n >= 1 && *n <= kNumberedPorts) return true;
  const auto named = portFromText(port);
  if (!named) return false;
  QString device = QString::fromStdString(deviceForPort(*named));
  if (device.isEmpty()) return false;
  if (QFileInfo::exists(device)) return true;
  if (device.startsWith(QLatin1String("\\\\.\\"))) device = device.mid(4);
  const std::vector<PortInfo> ports = systemPorts();
  return std::any_of(ports.begin(), ports.end(),
                     [&device](const PortInfo& p) { return samePort(p.location, device); });
}

void PortComboBox::refreshPorts() {
  const QString typed = currentText();
  setEntries(portEntries(systemPorts(), portExists(typed) ? typed : QString()));
}

void PortComboBox::setEntries(const std::vector<Entry>& entries) {
  const QString typed = currentText();
  {
    const QSignalBlocker block(this);
    clear();
    for (const Entry& e : entries) {
      addItem(e.port);
      setItemData(count() - 1, e.label, kLabelRole);
      setItemData(count() - 1, e.label, Qt::ToolTipRole);
    }
    if (!typed.isEmpty()) {
      const int at = findText(typed);
      if (at >= 0) {
        setCurrentIndex(at);
      } else {
        setEditText(typed);
      }
    }
  }
  showLabelAsToolTip();
}

void PortComboBox::showLabelAsToolTip() {
  const int at = findText(currentText());
  const QString label = at >= 0 ? itemData(at, kLabelRole).toString() : QString();
  setToolTip(label == currentText() ? QString() : label);
}

void PortComboBox::showPopup() {
  refreshPorts();
  // The list is as wide as its longest line, as far as the screen allows.
  int wide = view()->sizeHintForColumn(0) + 2 * view()->frameWidth() +
             view()->verticalScrollBar()->sizeHint().width();
  if (const QScreen* s = screen()) {
    wide = std::min(wide, s->availableGeometry().right() - mapToGlobal(QPoint(0, 0)).x());
  }
  view()->setMinimumWidth(std::max(wide, width()));
  QComboBox::showPopup();
}

}  // namespace vardis
