// The range view of the chart: the hourly or daily records the store of
// readings holds for one meter over a date range, joined into one reading and
// drawn as a reading is, x counting the hours or days from the start of the
// range and the axis labelled with their dates (and hours). An hour or a day
// the store lacks (it keeps only intervals that are over), or a value without
// a good reply, is a gap in its line. The store is only read here.
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QtCharts/QCategoryAxis>
#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>
#include <memory>
#include <system_error>

#include "app/chart_common.h"
#include "app/window_texts.h"
#include "store/history.h"
#include "store/reading_store.h"
#include "store/store_reader.h"

namespace vardis {

namespace {

using chart_common::q;

constexpr int kHoursPerDay = 24;
// The longest hourly range drawn at once: two months of hours.
constexpr int kMaxHourlyDays = 62;
// The labels along the x axis: at most 16, fewer the longer they are.
constexpr int kMaxTicks = 16;
constexpr int kTickChars = 96;
constexpr int kDefaultRangeDays = 7;

const QString kDateFormat = QStringLiteral("dd.MM.yyyy");

std::string isoDate(const QDate& d) {
  return d.toString(Qt::ISODate).toStdString();
}

// A label every so many hours or days: a round step that keeps `places`
// places under `ticks` labels.
int tickStep(int places, bool hourly, int ticks) {
  static const std::vector<int> hours{1, 2, 3, 6, 12, 24, 48, 72, 168, 336};
  static const std::vector<int> days{1, 2, 5, 7, 14, 28, 56, 91, 182, 364};
  const std::vector<int>& steps = hourly ? hours : days;
  for (const int step : steps) {
    if (places <= step * ticks) return step;
  }
  return steps.back() * (places / (steps.back() * ticks) + 1);
}

QString storeProblem(const std::exception& e) {
  const auto* refused = dynamic_cast<const vardis::store::StoreError*>(&e);
  return QStringLiteral("База показаний недоступна: ") +
         (refused ? vardis::storeReasonText(refused->fault())
                  : vardis::windowText(store::maskPasswords(e.what())));
}

// The store, opened read-only with a short busy time-out; nothing, with the
// reason, when there is no SQLite file there yet (none is made by looking) or
// it cannot be opened.
std::unique_ptr<store::StoreReader> openStore(const std::optional<store::StoreLocation>& location,
                                              QString& why) {
  if (!location) {
    why = QStringLiteral("Папка данных не задана: база показаний недоступна.");
    return nullptr;
  }
  std::error_code ec;
  if (!location->postgres() && !std::filesystem::exists(location->file, ec)) {
    why = QStringLiteral("В базе показаний пока ничего нет (%1).").arg(storeName(*location));
    return nullptr;
  }
  try {
    return std::make_unique<store::StoreReader>(*location);
  } catch (const std::exception& e) {
    why = storeProblem(e);
    return nullptr;
  }
}

// The records of one meter from every period the store gave, in time order.
ArchiveData joined(const std::vector<store::MeterArchive>& found, long long serial,
                   const std::string& kind, const QDate& from, const QDate& to) {
  ArchiveData d;
  d.kind = kind;
  d.period = isoDate(from) + "/" + isoDate(to);
  for (const store::MeterArchive& meter : found) {
    if (meter.serial != serial) continue;
    for (const ArchiveData& period : meter.periods) {
      d.volume = period.volume;
      d.heatUnit = period.heatUnit;
      // An interval not over is no reading: its place stays a gap.
      std::copy_if(period.records.begin(), period.records.end(), std::back_inserter(d.records),
                   [](const ArchiveRecord& r) { return r.ended; });
    }
  }
  std::stable_sort(
      d.records.begin(), d.records.end(),
      [](const ArchiveRecord& a, const ArchiveRecord& b) { return a.dateTime < b.dateTime; });
  return d;
}

QDateEdit* newDateEdit(const QDate& date, const char* name) {
  auto* edit = new chart_common::DateBox(date);
  edit->setObjectName(name);
  edit->setToolTip(QStringLiteral("Дата: ДД.ММ.ГГГГ, можно набрать цифрами подряд (05112026)"));
  return edit;
}

}  // namespace

// The row above the chart: meter, kind, dates, "Показать", and a line for
// what the store said.
QWidget* ArchiveChart::newRangeBar() {
  rangeMeter_ = new QComboBox;
  rangeMeter_->setObjectName("ArchiveChartRangeMeter");
  rangeMeter_->setMinimumContentsLength(8);
  rangeKind_ = new QComboBox;
  rangeKind_->setObjectName("ArchiveChartRangeKind");
  rangeKind_->addItem(QStringLiteral("Часовые"), QStringLiteral("hourly"));
  rangeKind_->addItem(QStringLiteral("Суточные"), QStringLiteral("daily"));
  const QDate today = QDate::currentDate();
  rangeFrom_ = newDateEdit(today.addDays(1 - kDefaultRangeDays), "ArchiveChartRangeFrom");
  rangeTo_ = newDateEdit(today, "ArchiveChartRangeTo");
  // A date typed (on Enter or leaving the box) or picked redraws a range shown.
  for (QDateEdit* edit : {rangeFrom_, rangeTo_}) {
    connect(edit, &QDateEdit::editingFinished, this, &ArchiveChart::rangeDatesEdited);
    connect(edit->calendarWidget(), &QCalendarWidget::clicked, this,
            &ArchiveChart::rangeDatesEdited);
    connect(edit->calendarWidget(), &QCalendarWidget::activated, this,
            &ArchiveChart::rangeDatesEdited);
  }
  rangeShow_ = new QPushButton(QStringLiteral("Показать"));
  rangeShow_->setObjectName("ArchiveChartRangeShow");
  rangeShow_->setAutoDefault(false);
  connect(rangeShow_, &QPushButton::clicked, this, &ArchiveChart::showRangeClicked);
  rangeMessage_ = new QLabel;
  rangeMessage_->setObjectName("ArchiveChartRangeMessage");
  rangeMessage_->setWordWrap(true);
  rangeMessage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  rangeMessage_->hide();

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Из базы: прибор")));
  row->addWidget(rangeMeter_);
  row->addWidget(rangeKind_);
  row->addWidget(new QLabel(QStringLiteral("с")));
  row->addWidget(rangeFrom_);
  row->addWidget(new QLabel(QStringLiteral("по")));
  row->addWidget(rangeTo_);
  row->addWidget(rangeShow_);
  row->addStretch(1);
  auto* bar = new QWidget;
  bar->setObjectName("ArchiveChartRange");
  auto* box = new QVBoxLayout(bar);
  box->setContentsMargins(0, 0, 0, 0);
  box->addLayout(row);
  box->addWidget(rangeMessage_);
  return bar;
}

void ArchiveChart::setStoreFolder(const std::filesystem::path& dataDir) {
  storeLocation_.reset();
  if (!dataDir.empty()) storeLocation_ = store::parseStoreLocation({}, dataDir);
}

void ArchiveChart::setStoreLocation(const store::StoreLocation& location) {
  storeLocation_ = location;
}

void ArchiveChart::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refreshMeters();
}

void ArchiveChart::setRangeMessage(const QString& text) {
  rangeMessage_->setText(text);
  rangeMessage_->setVisible(!text.isEmpty());
}

QString ArchiveChart::rangeMessage() const {
  return rangeMessage_->text();
}

void ArchiveChart::refreshMeters() {
  const QVariant chosen = rangeMeter_->currentData();
  rangeMeter_->clear();
  QString why;
  try {
    if (const auto db = openStore(storeLocation_, why)) {
      for (const store::MeterRow& m : store::meters(db->database())) {
        rangeMeter_->addItem(QString::number(m.serial), QVariant::fromValue<qlonglong>(m.serial));
      }
      if (rangeMeter_->count() == 0)
        why = QStringLiteral("В базе показаний нет ни одного прибора.");
    }
  } catch (const std::exception& e) {
    why = storeProblem(e);
  }
  const int again = rangeMeter_->findData(chosen);
  if (again >= 0) rangeMeter_->setCurrentIndex(again);
  rangeShow_->setEnabled(rangeMeter_->count() > 0);
  // What the range view said about the range it shows stays.
  if (!why.isEmpty() || !range_) setRangeMessage(why);
}

void ArchiveChart::showRangeClicked() {
  if (rangeMeter_->currentIndex() < 0) refreshMeters();
  if (rangeMeter_->currentIndex() < 0) return;
  showRange(rangeMeter_->currentData().toLongLong(), rangeKind_->currentData().toString(),
            rangeFrom_->date(), rangeTo_->date());
}

void ArchiveChart::rangeDatesEdited() {
  if (!range_ || (rangeFrom_->date() == range_->from && rangeTo_->date() == range_->to)) return;
  showRangeClicked();
}

bool ArchiveChart::showRange(long long serial, const QString& kind, const QDate& from,
                             const QDate& to) {
  const bool hourly = kind == QStringLiteral("hourly");
  if (!from.isValid() || !to.isValid() || from > to) {
    setRangeMessage(QStringLiteral("Начало диапазона позже его конца."));
    return false;
  }
  if (hourly && from.daysTo(to) >= kMaxHourlyDays) {
    setRangeMessage(QStringLiteral("Часовые записи показываются не больше чем за %1 суток.")
                        .arg(kMaxHourlyDays));
    return false;
  }
  QString why;
  std::vector<store::MeterArchive> found;
  try {
    const auto db = openStore(storeLocation_, why);
    if (!db) {
      setRangeMessage(why);
      return false;
    }
    found =
        store::archive(db->database(), kind.toStdString(), {serial, isoDate(from), isoDate(to)});
  } catch (const std::exception& e) {
    setRangeMessage(storeProblem(e));
    return false;
  }
  ArchiveData data = joined(found, serial, kind.toStdString(), from, to);
  if (data.records.empty()) {
    setRangeMessage(QStringLiteral("В базе нет %1 записей прибора %2 с %3 по %4.")
                        .arg(hourly ? QStringLiteral("часовых") : QStringLiteral("суточных"))
                        .arg(serial)
                        .arg(from.toString(kDateFormat), to.toString(kDateFormat)));
    return false;
  }
  range_ = Range{serial, kind, from, to};
  // The row above says what is drawn.
  rangeFrom_->setDate(from);
  rangeTo_->setDate(to);
  rangeKind_->setCurrentIndex(std::max(0, rangeKind_->findData(kind)));
  if (const int m = rangeMeter_->findData(QVariant::fromValue<qlonglong>(serial)); m >= 0) {
    rangeMeter_->setCurrentIndex(m);
  }
  const auto records = static_cast<int>(data.records.size());
  draw(data);
  setRangeMessage(records == rangeSlots()
                      ? QString()
                      : QStringLiteral("В базе %1 из %2 %3; недостающие — разрывы линий.")
                            .arg(records)
                            .arg(rangeSlots())
                            .arg(hourly ? QStringLiteral("часов") : QStringLiteral("суток")));
  return true;
}

// ---------------------------------------------------------------------------
// The range on the chart

int ArchiveChart::rangeSlots() const {
  const auto days = static_cast<int>(range_->from.daysTo(range_->to)) + 1;
  return range_->kind == QStringLiteral("hourly") ? days * kHoursPerDay : days;
}

double ArchiveChart::rangeX(const ArchiveRecord& record) const {
  const QString when = q(record.dateTime);
  const auto days =
      static_cast<double>(range_->from.daysTo(QDate::fromString(when.left(10), Qt::ISODate)));
  if (range_->kind != QStringLiteral("hourly")) return days;
  return days * kHoursPerDay + when.mid(11, 2).toInt();
}

// The x axis of the range: a label, the date (and the hour), every few hours
// or days from the start of the range; the year only when the range is not
// within one. x counts places, so the meter's times stay as they are.
QValueAxis* ArchiveChart::newRangeAxis(double& lo, double& hi) const {
  const bool hourly = range_->kind == QStringLiteral("hourly");
  const bool oneYear = range_->from.year() == range_->to.year();
  const QString day = oneYear ? QStringLiteral("dd.MM") : kDateFormat;
  auto* axis = new QCategoryAxis;
  axis->setTitleText(hourly ? QStringLiteral("Дата и час") : QStringLiteral("Дата"));
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  lo = -0.5;
  hi = rangeSlots() - 0.5;
  axis->setStartValue(lo);
  const auto chars = static_cast<int>(day.size()) + (hourly ? 6 : 0);
  const int step = tickStep(rangeSlots(), hourly, std::min(kMaxTicks, kTickChars / chars));
  for (int x = 0; x < rangeSlots(); x += step) {
    const QDate date = range_->from.addDays(hourly ? x / kHoursPerDay : x);
    QString label = date.toString(day);
    if (hourly) label += QStringLiteral(" %1:00").arg(x % kHoursPerDay, 2, 10, QLatin1Char('0'));
    axis->append(label, x);
  }
  return axis;
}

// "09.04.2011 05 ч", or the day alone.
QString ArchiveChart::rangeIntervalText(double x) const {
  const long n = std::lround(x);
  if (range_->kind != QStringLiteral("hourly"))
    return range_->from.addDays(n).toString(kDateFormat);
  const QDate day = range_->from.addDays(n / kHoursPerDay);
  return day.toString(kDateFormat) +
         QStringLiteral(" %1 ч").arg(n % kHoursPerDay, 2, 10, QLatin1Char('0'));
}

QString ArchiveChart::rangePeriodText() const {
  const QString what = range_->kind == QStringLiteral("hourly") ? QStringLiteral("часовые")
                                                                : QStringLiteral("суточные");
  return QStringLiteral("%1 записи прибора %2 с %3 по %4")
      .arg(what)
      .arg(range_->serial)
      .arg(range_->from.toString(kDateFormat), range_->to.toString(kDateFormat));
}

}  // namespace vardis
