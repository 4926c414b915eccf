// The connection choices remembered between runs: the port, the speed, the
// meter address, "gsm", the last node picked, the data folder and the store
// of readings, in the choices file the program sets (an INI file in the user's configuration
// folder). A file that cannot be read or written is said in the memo; the
// window goes on with what it has.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <memory>

#include "app/app_options.h"
#include "app/kros.h"
#include "app/port_combo_box.h"
#include "connection/data_dir.h"
#include "link/port_text.h"
#include "store/store_location.h"

namespace {

constexpr const char* kPortChoice = "port";
constexpr const char* kSpeedChoice = "speed";
constexpr const char* kAddressChoice = "address";
constexpr const char* kGsmChoice = "gsm";
constexpr const char* kNodeChoice = "node";
// Set on the window once it has said that the choices cannot be written.
constexpr const char* kWriteWarned = "choicesWriteWarned";

QString key(const char* name) {
  return QString::fromLatin1(name);
}

// The choices file, or nothing when it cannot be read. A file that does not
// read as settings is kept beside it as "<file>.bad" and left out of the way,
// so that the next choices go into a fresh one.
std::unique_ptr<QSettings> openChoices(const QString& file, QPlainTextEdit* memo) {
  auto settings = std::make_unique<QSettings>(file, QSettings::IniFormat);
  settings->allKeys();
  if (settings->status() == QSettings::NoError) return settings;
  settings.reset();
  if (!QFileInfo(file).isFile()) {
    memo->appendPlainText(QStringLiteral("Файл запомненного выбора %1 не читается").arg(file));
    return nullptr;
  }
  const QString aside = file + QStringLiteral(".bad");
  QFile::remove(aside);
  const bool kept = QFile::rename(file, aside);
  memo->appendPlainText(
      kept ? QStringLiteral("Файл запомненного выбора %1 повреждён: выбор не восстановлен, "
                            "файл сохранён как %2")
                 .arg(file, aside)
           : QStringLiteral("Файл запомненного выбора %1 повреждён: выбор не восстановлен")
                 .arg(file));
  if (!kept) return nullptr;
  return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

}  // namespace

void TForm1::restoreChoices() {
  if (choicesFile_.isEmpty() || !QFileInfo::exists(choicesFile_)) return;
  const auto settings = openChoices(choicesFile_, Memo1);
  if (!settings) return;

  const QString port = settings->value(key(kPortChoice)).toString();
  if (vardis::PortComboBox::portExists(port)) {
    ComboBox1->setCurrentText(port);
  } else if (!port.isEmpty()) {
    Memo1->appendPlainText(QStringLiteral("Запомненный порт %1 не найден: выбран порт %2")
                               .arg(port, ComboBox1->currentText()));
  }
  bool ok = false;
  const int speed = settings->value(key(kSpeedChoice)).toInt(&ok);
  if (ok && speed >= 0 && speed < ComboBox10->count()) ComboBox10->setCurrentIndex(speed);
  const QString address = settings->value(key(kAddressChoice)).toString();
  const auto number = vardis::parseInteger(address.toStdString());
  if (number && *number >= 0 && *number <= 255) ComboBox11->setCurrentText(address);
  if (settings->contains(key(kGsmChoice))) {
    CheckBox2->setChecked(settings->value(key(kGsmChoice)).toBool());
  }
  const QString node = settings->value(key(kNodeChoice)).toString();
  const int at = node.isEmpty() ? -1 : ComboBox3->findText(node);
  if (at >= 0) {
    ComboBox3->setCurrentIndex(at);
    ComboBox3Change();
  }
}

void TForm1::rememberChoices() {
  if (choicesFile_.isEmpty()) return;
  const auto settings = openChoices(choicesFile_, Memo1);
  if (!settings) return;
  settings->setValue(key(kPortChoice), ComboBox1->currentText());
  settings->setValue(key(kSpeedChoice), ComboBox10->currentIndex());
  settings->setValue(key(kAddressChoice), ComboBox11->currentText());
  settings->setValue(key(kGsmChoice), CheckBox2->isChecked());
  // A node counts as picked while the box shows its name as listed.
  const int node = ComboBox3->currentIndex();
  if (node >= 0 && ComboBox3->currentText() == ComboBox3->itemText(node)) {
    settings->setValue(key(kNodeChoice), ComboBox3->currentText());
  } else {
    settings->remove(key(kNodeChoice));
  }
  // The default folder is not pinned: it follows $VARDIS_HOME from run to run.
  const std::filesystem::path& dataDir = session_.config().dataDir;
  if (dataDir == vardis::defaultDataDir()) {
    settings->remove(key(vardis::kDataDirChoice));
  } else {
    settings->setValue(key(vardis::kDataDirChoice), QString::fromStdU16String(dataDir.u16string()));
  }
  settings->sync();
  if (settings->status() == QSettings::NoError || property(kWriteWarned).toBool()) return;
  setProperty(kWriteWarned, true);
  Memo1->appendPlainText(
      QStringLiteral("Выбор порта и связи не запомнен: файл %1 не записывается").arg(choicesFile_));
}

void TForm1::rememberStore(const QString& text) {
  if (choicesFile_.isEmpty()) return;
  const auto settings = openChoices(choicesFile_, Memo1);
  if (!settings) return;
  settings->setValue(key(vardis::kStoreChoice), text);
  settings->sync();
  // A password typed into the location is for this user only.
  const std::string typed = text.toStdString();
  if (vardis::store::maskPasswords(typed) != typed) {
    QFile::setPermissions(choicesFile_, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  }
  if (settings->status() == QSettings::NoError) return;
  Memo1->appendPlainText(QStringLiteral("Выбор базы показаний не запомнен: файл %1 не записывается")
                             .arg(choicesFile_));
}
