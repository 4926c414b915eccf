#include "app/chart_common.h"

#include <QColor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>
#include <iterator>

namespace vardis::chart_common {

namespace {

constexpr UnitText kUnitTexts[] = {
    {"t/h", "Расход", "Массовый расход, т/ч", "т/ч"},
    {"m3/h", "Расход", "Объёмный расход, м³/ч", "м³/ч"},
    {"degC", "Температура", "Температура, °C", "°C"},
    {"MPa", "Давление", "Давление, МПа", "МПа"},
    {"GJ", "Тепло", "Тепловая энергия, ГДж", "ГДж"},
    {"Gcal", "Тепло", "Тепловая энергия, Гкал", "Гкал"},
    {"h", "Время", "Время работы (B1, B2) и время сети (Tc), ч", "ч"},
};

}  // namespace

const UnitText* unitText(const std::string& unit) {
  for (const UnitText& t : kUnitTexts) {
    if (unit == t.unit) return &t;
  }
  return nullptr;
}

const QColor& channelColour(std::size_t index) {
  static const QColor colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c),
                                   QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd),
                                   QColor(0x8c, 0x56, 0x4b)};
  return colours[index % std::size(colours)];
}

// ---------------------------------------------------------------------------
// The date box

namespace {

const QString kDateFormat = QStringLiteral("dd.MM.yyyy");
const QDate kFirstDate(2000, 1, 1);
const QDate kLastDate(2099, 12, 31);
constexpr qsizetype kMaxTyped = 10;

bool isSeparator(QChar c) {
  return c == QLatin1Char('.') || c == QLatin1Char(',') || c == QLatin1Char('/') ||
         c == QLatin1Char('-') || c == QLatin1Char(' ');
}

// "26" is 2026, "2026" itself; 0 for anything else.
int yearOf(const QString& digits) {
  if (digits.size() == 2) return 2000 + digits.toInt();
  return digits.size() == 4 ? digits.toInt() : 0;
}

// The day of `d` in another month or year, or that month's last day.
QDate sameDay(int year, int month, const QDate& d) {
  const QDate first(year, month, 1);
  return first.isValid() ? first.addDays(std::min(d.day(), first.daysInMonth()) - 1) : QDate();
}

// The date of digits typed alone: into the day (or from the start), the month
// or the year; an invalid date when they make none.
QDate digitsDate(const QString& s, QDateTimeEdit::Section section, const QDate& d) {
  const auto n = s.size();
  if (section == QDateTimeEdit::MonthSection && n <= 2) return sameDay(d.year(), s.toInt(), d);
  if (section == QDateTimeEdit::YearSection && n <= 4) return sameDay(yearOf(s), d.month(), d);
  if (n <= 2) return QDate(d.year(), d.month(), s.toInt());
  const int day = s.left(2).toInt();
  const int month = s.mid(2, 2).toInt();
  if (n == 4) return QDate(d.year(), month, day);
  if (n == 6 || n == 8) return QDate(yearOf(s.mid(4)), month, day);
  return {};
}

// "5.11.2026", "05.11.26" or "5.11" (the year kept).
QDate partsDate(const QString& s, const QDate& d) {
  QStringList parts = s.split(QLatin1Char('.'));
  if (parts.size() == 3 && parts.back().isEmpty()) parts.removeLast();
  if (parts.size() < 2 || parts.size() > 3) return {};
  for (const QString& p : parts) {
    if (p.isEmpty()) return {};
  }
  if (parts[0].size() > 2 || parts[1].size() > 2) return {};
  const int year = parts.size() == 3 ? yearOf(parts[2]) : d.year();
  return QDate(year, parts[1].toInt(), parts[0].toInt());
}

// Digits of a whole date shown with their dots as they come: "05.11.20".
QString dotted(const QString& digits) {
  QString out = digits.left(2);
  if (digits.size() > 2) out += QLatin1Char('.') + digits.mid(2, 2);
  if (digits.size() > 4) out += QLatin1Char('.') + digits.mid(4);
  return out;
}

}  // namespace

DateBox::DateBox(const QDate& date, QWidget* parent) : QDateEdit(date, parent) {
  setDisplayFormat(kDateFormat);
  setCalendarPopup(true);
  setDateRange(kFirstDate, kLastDate);
  setKeyboardTracking(false);
}

// What the box shows, unseen and unchecked by the date part of the box: it
// would take a part of what is typed for a date of its own, or mend it.
void DateBox::showText(const QString& text) {
  const QSignalBlocker unseen(lineEdit());
  const QValidator* check = lineEdit()->validator();
  lineEdit()->setValidator(nullptr);
  lineEdit()->setText(text);
  lineEdit()->setValidator(check);
}

void DateBox::stepBy(int steps) {
  finishTyping();
  QDateEdit::stepBy(steps);
}

void DateBox::keyPressEvent(QKeyEvent* event) {
  if (takeTyping(event)) {
    event->accept();
    return;
  }
  // Enter, an arrow or any other key: what was typed counts first.
  finishTyping();
  QDateEdit::keyPressEvent(event);
}

void DateBox::focusInEvent(QFocusEvent* event) {
  typed_.clear();
  QDateEdit::focusInEvent(event);
}

void DateBox::focusOutEvent(QFocusEvent* event) {
  finishTyping();
  QDateEdit::focusOutEvent(event);
}

void DateBox::mousePressEvent(QMouseEvent* event) {
  finishTyping();
  QDateEdit::mousePressEvent(event);
}

// A digit or a separator of what is being typed, Backspace and Escape while
// typing: true when the key was taken here.
bool DateBox::takeTyping(QKeyEvent* event) {
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
    return false;
  }
  if (!typed_.isEmpty() && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Escape)) {
    if (event->key() == Qt::Key_Backspace) typed_.chop(1);
    if (event->key() == Qt::Key_Escape) typed_.clear();
    if (typed_.isEmpty()) {
      showText(textFromDateTime(dateTime()));
    } else {
      showTyped();
    }
    return true;
  }
  const QString text = event->text();
  if (text.size() != 1) return false;
  const QChar c = text.front();
  if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
    if (typed_.isEmpty()) {
      // From the start, or into the part the cursor is in.
      const bool whole = lineEdit()->selectedText() == lineEdit()->text();
      typedSection_ = whole || lineEdit()->cursorPosition() == 0 ? DaySection : currentSection();
    }
    if (typed_.size() < kMaxTyped) typed_ += c;
  } else if (isSeparator(c) && !typed_.isEmpty()) {
    if (!typed_.endsWith(QLatin1Char('.')) && typed_.size() < kMaxTyped) {
      typed_ += QLatin1Char('.');
    }
  } else {
    return false;
  }
  showTyped();
  return true;
}

// What is typed, in place of the month or the year when only they are typed.
void DateBox::showTyped() {
  const bool digits = !typed_.contains(QLatin1Char('.'));
  const QString day = date().toString(QStringLiteral("dd"));
  QString month = date().toString(QStringLiteral("MM"));
  QString year = date().toString(QStringLiteral("yyyy"));
  if (digits && typedSection_ == MonthSection && typed_.size() <= 2) {
    month = typed_;
  } else if (digits && typedSection_ == YearSection && typed_.size() <= 4) {
    year = typed_;
  } else {
    showText(digits ? dotted(typed_) : typed_);
    return;
  }
  showText(day + QLatin1Char('.') + month + QLatin1Char('.') + year);
}

QDate DateBox::typedDate() const {
  if (typed_.contains(QLatin1Char('.'))) return partsDate(typed_, date());
  return digitsDate(typed_, typedSection_, date());
}

void DateBox::finishTyping() {
  if (typed_.isEmpty()) return;
  const QDate typed = typedDate();
  typed_.clear();
  if (typed.isValid() && typed >= minimumDate() && typed <= maximumDate()) setDate(typed);
  showText(textFromDateTime(dateTime()));
}

}  // namespace vardis::chart_common
