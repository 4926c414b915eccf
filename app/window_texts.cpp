#include "app/window_texts.h"

#include <QDir>
#include <regex>
#include <vector>

namespace vardis {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

// One kind of message: its English shape and its Russian, %1 .. %n taking
// the shape's groups in order.
struct Translation {
  std::regex shape;
  const char* russian;
  std::size_t reasonGroup = 0;  // the group that holds the system's reason, if any
};

const std::vector<Translation>& translations() {
  static const std::vector<Translation> table = [] {
    const auto t = [](const char* shape, const char* russian, std::size_t reasonGroup = 0) {
      return Translation{std::regex(shape), russian, reasonGroup};
    };
    return std::vector<Translation>{
        t(R"(cannot open the port (.+) \((.*)\); nothing was sent)",
          "Порт %1 не открывается (%2); прибору ничего не отправлено", 2),
        t(R"(port (.+) not open: (.*))", "Порт %1 не открыт: %2", 2),
        t(R"(the meter address (.+) is outside 0 to 255; nothing was sent)",
          "Адрес прибора %1 вне диапазона 0…255; прибору ничего не отправлено"),
        t(R"(the port (.+) names no serial port: give a port number 1 to 255 or a device path)",
          "«%1» не называет последовательный порт: укажите номер порта от 1 до 255 или путь "
          "устройства"),
        t(R"(no line speed at index (\d+) of the speed list)",
          "В списке скоростей нет скорости с номером %1"),
        t(R"(no number to dial; nothing was sent to the modem)",
          "Не указан номер для набора; модему ничего не отправлено"),
        t(R"((I/O error \d+): the report folder (.+) does not exist)",
          "%1: папка отчётов %2 не найдена"),
        t(R"((I/O error \d+): cannot create the report files in (.+?)(?: \((.*)\))?)",
          "%1: не удаётся создать файлы отчётов в папке %2 (%3)", 3),
        t(R"(the meter reports the serial number (.+), which cannot name its report files; no report files were created)",
          "Прибор сообщает заводской номер %1, которым нельзя назвать файлы отчётов; файлы "
          "отчётов не созданы"),
        t(R"(no report files are open: identify the meter first .*; nothing was read)",
          "Файлы отчётов не открыты: сначала опросите прибор («Старт» на прямой линии, "
          "«Соединится» через модем); ничего не считано"),
        t(R"(The PC clock reads the year (\d+); the meter's clock can only be set to the years (\d+) to (\d+))",
          "Часы ПК показывают %1 год; часы прибора можно установить только на годы с %2 по %3"),
        t(R"(the archive date (\S+) is outside 2000-01-01 to 2042-12-31.*)",
          "Дата архива %1 вне диапазона 2000-01-01 … 2042-12-31, за который прибор хранит "
          "архивы; выберите другую дату (или поправьте часы ПК)"),
        t(R"(no answer on the port (.+) at (\S+) baud, meter address (\d+): not one byte came back.*)",
          "Нет ответа: порт %1, %2 бод, адрес прибора %3 — на первый запрос не пришло ни одного "
          "байта; проверьте кабель, скорость, адрес и питание прибора; файлы отчётов не созданы"),
        t(R"(the line sends back what it is sent \(an echo\) on the port (.+) at (\S+) baud, meter address (\d+) and no meter answered.*)",
          "Линия возвращает посланное (эхо): порт %1, %2 бод, адрес прибора %3 — прибор не "
          "ответил; файлы отчётов не созданы"),
        t(R"(quick drain off: .*)",
          "Быстрый обмен выключен: обмен прошёл без верного ответа, до конца сеанса каждый "
          "запрос снова ждёт полной очистки линии"),
        t(R"((.+): kol_uzlov is (-?\d+); no nodes are used)",
          "Файл узлов %1: kol_uzlov = %2, узлы не используются"),
        t(R"((.+): kol_uzlov is (\d+); only the first (\d+) nodes are used)",
          "Файл узлов %1: kol_uzlov = %2, используются только первые %3 узлов"),
        t(R"((.+): kol_uzlov is not a whole number; no nodes are used)",
          "Файл узлов %1: kol_uzlov не целое число, узлы не используются"),
        t(R"((.+): (quick(?:_\d+)?) is neither 1 nor 0; the full drain is kept)",
          "Файл узлов %1: %2 не 1 и не 0, обмен остаётся обычным"),
        t(R"((.+): the node directory could not be read)", "Файл узлов %1 не читается"),
        t(R"((.+): the file is larger than (\d+) MB.*)",
          "Файл узлов %1 больше %2 МБ и не читается"),
    };
  }();
  return table;
}

QString fill(const Translation& t, const std::smatch& m) {
  QString text = QString::fromUtf8(t.russian);
  for (std::size_t i = 1; i < m.size(); ++i) {
    text = text.arg(i == t.reasonGroup ? systemReasonText(m[i].str()) : q(m[i].str()));
  }
  return text.replace(QStringLiteral(" ()"), QString());
}

bool runtimeText(const std::string& message) {
  static const std::regex runtime(R"(I/O error \d+|'.*' is not a valid integer value)");
  return std::regex_match(message, runtime);
}

}  // namespace

bool hasCyrillic(const QString& text) {
  for (const QChar c : text) {
    if (c.script() == QChar::Script_Cyrillic) return true;
  }
  return false;
}

QString systemReasonText(const std::string& reason) {
  static const std::vector<std::pair<const char*, const char*>> reasons = {
      {"No such file or directory", "нет такого устройства"},
      {"Permission denied", "нет прав на доступ к порту"},
      {"Device or resource busy", "порт занят другой программой"},
      {"Inappropriate ioctl for device", "это не последовательный порт"},
      {"Input/output error", "ошибка ввода-вывода"},
      {"No such device", "устройство отключено"},
      {"Is a directory", "это папка, а не порт"},
  };
  for (const auto& [english, russian] : reasons) {
    const std::string e(english);
    const auto at = reason.find(e);
    if (at == std::string::npos) continue;
    // "/dev/ttyUSB9: No such file or directory" keeps its device.
    return q(reason.substr(0, at)) + QString::fromUtf8(russian);
  }
  return reason.empty() ? QStringLiteral("причина неизвестна")
                        : QStringLiteral("системная ошибка: %1").arg(q(reason));
}

QString windowText(const std::string& message) {
  const QString text = q(message);
  if (runtimeText(message)) return text;
  for (const Translation& t : translations()) {
    std::smatch m;
    if (std::regex_match(message, m, t.shape)) return fill(t, m);
  }
  if (hasCyrillic(text) || message.find_first_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos)
    return text;
  // A message of no known kind still says, in Russian, that it is one.
  return QStringLiteral("Ошибка: %1").arg(text);
}

QString memoText(const std::string& line) {
  for (const Translation& t : translations()) {
    std::smatch m;
    if (std::regex_match(line, m, t.shape)) return fill(t, m);
  }
  return q(line);
}

QString storeReasonText(store::StoreFault fault) {
  using store::StoreFault;
  switch (fault) {
    case StoreFault::CannotOpen:
      return QStringLiteral("файл не открывается");
    case StoreFault::ReadOnly:
      return QStringLiteral("нет прав на запись");
    case StoreFault::Busy:
      return QStringLiteral("занята другой программой");
    case StoreFault::Corrupt:
      return QStringLiteral("файл повреждён или не является базой показаний");
    case StoreFault::Newer:
      return QStringLiteral("записана более новой версией vardis");
    case StoreFault::Older:
      return QStringLiteral(
          "сделана старой версией vardis; показание с включённой базой "
          "обновит её");
    case StoreFault::Io:
      break;
  }
  return QStringLiteral("ошибка диска");
}

QString storeName(const store::StoreLocation& location) {
  if (location.postgres()) return QString::fromStdString(store::shownLocation(location));
  return QDir::toNativeSeparators(QString::fromStdU16String(location.file.u16string()));
}

QString storeWarningText(std::optional<store::StoreFault> fault,
                         const store::StoreLocation& location, const std::string& message) {
  const QString name = storeName(location);
  QString why;
  using store::StoreFault;
  switch (fault.value_or(StoreFault::Io)) {
    case StoreFault::CannotOpen:
      why = QStringLiteral("База показаний %1 не открывается").arg(name);
      break;
    case StoreFault::ReadOnly:
      why = QStringLiteral("База показаний %1 недоступна для записи").arg(name);
      break;
    case StoreFault::Busy:
      why = QStringLiteral("База показаний %1 занята другой программой").arg(name);
      break;
    case StoreFault::Corrupt:
      why = location.postgres()
                ? QStringLiteral("База %1 повреждена или не является базой показаний").arg(name)
                : QStringLiteral("Файл %1 повреждён или не является базой показаний").arg(name);
      break;
    case StoreFault::Newer:
      why = QStringLiteral(
                "База показаний %1 записана более новой версией vardis и оставлена "
                "как есть")
                .arg(name);
      break;
    case StoreFault::Older:
      why = QStringLiteral("База показаний %1 сделана старой версией vardis").arg(name);
      break;
    case StoreFault::Io:
      why = QStringLiteral("Не удалось записать базу показаний %1 (%2)")
                .arg(name, location.postgres() ? QStringLiteral("сервер недоступен или отказал")
                                               : QStringLiteral("диск полон или неисправен"));
      break;
  }
  if (!fault && !message.empty()) why = windowText(store::maskPasswords(message));
  return why + QStringLiteral("; показания продолжаются без базы");
}

}  // namespace vardis
