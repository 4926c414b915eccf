// The archive chart window: after "Часовые" against the simulated meter on a
// pseudo-terminal it holds the rows the reading stored, marks the abnormal
// hours, hides the all-zero channels and saves its picture; "Месячные" replaces
// it. The hourly reading (533 exchanges) runs once, in initTestCase. The
// range view from a store: dates along its axis, typed dates, gaps.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolTip>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtTest>
#include <memory>

#include "app/app_options.h"
#include "app/archive_chart.h"
#include "archives/archive_data.h"
#include "connection/data_dir.h"
#include "link/qt_serial_line.h"
#include "sim/calendar.h"
#include "store/reading_store.h"
#include "support/pty_meter.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

namespace {

using vardis::test::TestForm;

// The abnormal hour pinned in the meter, its word and the codes it stands for.
constexpr int kAbnormalHour = 17;
constexpr std::uint32_t kAbnormalWord = (1u << 12) | (1u << 2);
const QStringList kAbnormalCodes{QStringLiteral("T1<"), QStringLiteral("G1o")};
// The flow channel pinned to zero for the whole day (quantity 1: channel 2).
constexpr int kZeroFlowQuantity = 1;

QStringList toQt(const std::vector<std::string>& v) {
  QStringList out;
  for (const std::string& s : v) out << QString::fromStdString(s);
  return out;
}

// The value of a channel in an archive row as the session stored it.
double storedValue(const vardis::ArchiveStore& a, const QString& name, std::size_t row) {
  const QChar kind = name.at(0);
  const auto k = static_cast<std::size_t>(name.mid(1).toInt() - 1);
  if (name == QStringLiteral("Tc")) return a.MainsTime[row] / 10000;
  if (kind == 'M' || kind == 'G') return a.Flow.at(k)[row];
  if (kind == 'T') return a.Temperature.at(k)[row];
  if (kind == 'P') return a.Pressure.at(k)[row];
  if (kind == 'W') return a.Heat.at(k)[row];
  if (kind == 'B') return a.RunTime.at(k)[row] / 10000;
  qFatal("no stored value for %s", qPrintable(name));
}

// The hour whose row the day's own record took: its values were kept aside.
double keptValue(const vardis::IntervalRow& r, const QString& name) {
  const QChar kind = name.at(0);
  const auto k = static_cast<std::size_t>(name.mid(1).toInt() - 1);
  if (name == QStringLiteral("Tc")) return r.mains / 10000;
  if (kind == 'M' || kind == 'G') return r.flow[k];
  if (kind == 'T') return r.temperature[k];
  if (kind == 'P') return r.pressure[k];
  if (kind == 'W') return r.heat[k];
  if (kind == 'B') return r.runTime[k] / 10000;
  qFatal("no kept value for %s", qPrintable(name));
}

QScatterSeries* abnormalSeries(QChartView* view) {
  for (QAbstractSeries* s : view->chart()->series()) {
    if (s->name() == QStringLiteral("НС")) return qobject_cast<QScatterSeries*>(s);
  }
  return nullptr;
}

vardis::ArchiveRecord dayRecord(int day, double flow, double temperature, double heat,
                                std::uint32_t word) {
  vardis::ArchiveRecord r;
  r.label = (day < 10 ? "0" : "") + std::to_string(day);
  r.dateTime = "2011-02-" + r.label;
  r.quantities = {
      {"G1", "m3/h", flow}, {"G2", "m3/h", 0}, {"T1", "degC", temperature}, {"W1", "GJ", heat}};
  r.abnormalWord = word;
  r.abnormalCodes = vardis::abnormalCodeList(word);
  return r;
}

constexpr long long kSerial = 4711;

// The store of a meter: days 30.10–05.11.2026 but 02.11 (not read) and 05.11
// (read before it was over), and the 24 hours of 03.11.2026.
void storeDays(const std::filesystem::path& dir) {
  vardis::store::ReadingStore st(vardis::store::storeFile(dir));
  const auto visit = st.beginVisit({"2026-11-06T10:00:00", "1", 9600, false});
  const auto meter = st.meter({kSerial, 0, "GJ", true, "8.3"}, visit, "2026-11-06T10:00:01");
  vardis::ArchiveData days[2];
  for (const auto& [day, month] :
       {std::pair{30, 10}, {31, 10}, {1, 11}, {3, 11}, {4, 11}, {5, 11}}) {
    vardis::ArchiveData& d = days[month - 10];
    d.kind = "daily";
    d.period = month == 10 ? "2026-10" : "2026-11";
    d.records.push_back(dayRecord(day, 10 + day, 50, 1, 0));
    d.records.back().dateTime = d.period + "-" + d.records.back().label;
    d.records.back().ended = day != 5;
  }
  vardis::ArchiveData hours;
  hours.kind = "hourly";
  hours.period = "2026-11-03";
  for (int h = 0; h < 24; ++h) {
    const std::string hh = (h < 10 ? "0" : "") + std::to_string(h);
    vardis::ArchiveRecord r;
    r.label = hh;
    r.dateTime = hours.period + "T" + hh + ":00";
    r.quantities = {{"T1", "degC", 40.0 + h}};
    hours.records.push_back(r);
  }
  for (const auto& d : {days[0], days[1], hours}) st.storeArchive(meter, visit, "2026-11-06", d);
}

}  // namespace

class ChartTest : public QObject {
  Q_OBJECT

  QDate day_;
  std::unique_ptr<vardis::test::PtyMeter> meter_;
  std::unique_ptr<vardis::test::TempDir> dir_;
  std::unique_ptr<vardis::QtSerialLine> line_;
  std::unique_ptr<vardis::PcClock> clock_;
  std::unique_ptr<TestForm> form_;

  vardis::ArchiveChart* chart() const { return form_->archiveChart(); }
  // Pictures of every tab into $VARDIS_CHART_PICTURES, for a look by eye.
  void savePictures(const QString& prefix) const {
    const QString folder = qEnvironmentVariable("VARDIS_CHART_PICTURES");
    if (folder.isEmpty()) return;
    for (int i = 0; i < chart()->tabs()->count(); ++i) {
      chart()->tabs()->setCurrentIndex(i);
      QVERIFY(chart()->grab().save(folder + QStringLiteral("/%1-%2.png").arg(prefix).arg(i)));
    }
  }
  QString flowName(int channel) const {
    const bool volume = vardis::lastArchiveData(form_->session()).volume;
    return (volume ? QStringLiteral("G") : QStringLiteral("M")) + QString::number(channel);
  }

 private slots:
  void initTestCase() {
    day_ = QDate::currentDate().addDays(-1);
    const int y = day_.year();
    const int m = day_.month();
    const int d = day_.day();
    meter_ = std::make_unique<vardis::test::PtyMeter>(
        vardis::sim::FaultOptions{}, [y, m, d](vardis::sim::MeterModel& model) {
          const auto hourly = vardis::sim::RecordKind::Hourly;
          model.pinArchive(hourly, vardis::sim::archiveDateCode(y, m, d, kAbnormalHour), 17,
                           kAbnormalWord);
          for (int h = 0; h <= 23; ++h) {
            model.pinArchive(hourly, vardis::sim::archiveDateCode(y, m, d, h), kZeroFlowQuantity,
                             0.0);
          }
          // The day's own record is stored over the row of hour d: zero there too.
          model.pinArchive(vardis::sim::RecordKind::Daily,
                           vardis::sim::archiveDateCode(y, m, d, 23), kZeroFlowQuantity, 0.0);
        });
    dir_ = std::make_unique<vardis::test::TempDir>();
    std::filesystem::create_directories(vardis::reportDir(dir_->path()));
    vardis::SessionConfig config;
    config.dataDir = dir_->path();
    line_ = std::make_unique<vardis::QtSerialLine>();
    clock_ = vardis::makeSystemClock();
    form_ = std::make_unique<TestForm>(*line_, *clock_, config);
    form_->setConnectionChoice(QString::fromStdString(meter_->simulator->portPath()),
                               vardis::kDefaultSpeedIndex, QStringLiteral("0"));
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));

    // Opened before any reading: the chart says there is nothing yet.
    // The archive group offers the chart on a right click.
    QVERIFY(!chart());
    QCOMPARE(form_->GroupBox3->contextMenuPolicy(), Qt::ActionsContextMenu);
    const QList<QAction*> offered = form_->GroupBox3->actions();
    QCOMPARE(offered.size(), 1);
    QCOMPARE(offered.front()->text(), QStringLiteral("График архива"));
    offered.front()->trigger();
    QVERIFY(chart());
    QVERIFY(QTest::qWaitForWindowExposed(chart()));
    QVERIFY(chart()->seriesNames().isEmpty());
    QVERIFY(chart()->findChild<QWidget*>(QStringLiteral("ArchiveChartEmpty"))->isVisible());
    QVERIFY(!chart()->findChild<QPushButton*>(QStringLiteral("ArchiveChartSavePng"))->isEnabled());
    QVERIFY(!chart()->saveChartPng(QString::fromStdString((dir_->path() / "none.png").string())));

    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    form_->DateTimePicker1->setDate(day_);
    QTest::mouseClick(form_->Button9, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QCOMPARE(QString::fromStdString(vardis::lastArchiveData(form_->session()).kind),
             QStringLiteral("hourly"));
  }

  void openChartFollowsTheHourlyReading() {
    QVERIFY(chart()->isVisible());
    QCOMPARE(chart()->data().kind, std::string("hourly"));
    QCOMPARE(QString::fromStdString(chart()->data().period), day_.toString(Qt::ISODate));
    QVERIFY(chart()->windowTitle().contains(day_.toString(QStringLiteral("dd.MM.yyyy"))));
    QCOMPARE(chart()->xAxisTitle(), QStringLiteral("Час"));
    QCOMPARE(chart()->tabTitles(),
             QStringList({QStringLiteral("Расход"), QStringLiteral("Температура"),
                          QStringLiteral("Давление"), QStringLiteral("Тепло"),
                          QStringLiteral("Время")}));
    QStringList names;
    for (int k = 1; k <= 4; ++k) names << flowName(k);
    for (const char* kind : {"T", "P"}) {
      for (int k = 1; k <= 4; ++k) names << QString::fromLatin1(kind) + QString::number(k);
    }
    names << QStringLiteral("W1") << QStringLiteral("W2") << QStringLiteral("B1")
          << QStringLiteral("B2") << QStringLiteral("Tc");
    QCOMPARE(chart()->seriesNames(), names);
  }

  void seriesHoldTheStoredHours() {
    const vardis::ArchiveStore& a = form_->session().archive;
    const QStringList visible = chart()->visibleSeriesNames();
    QVERIFY(visible.contains(flowName(1)));
    QVERIFY(visible.contains(QStringLiteral("T1")));
    for (const QString& name : chart()->seriesNames()) {
      const QList<QPointF> points = chart()->series(name)->points();
      QCOMPARE(points, chart()->seriesPoints(name));
      QCOMPARE(points.size(), 24);
      bool allZero = true;
      const vardis::LastReading& reading = form_->session().lastReading;
      for (int h = 0; h <= 23; ++h) {
        const auto row = static_cast<std::size_t>(h);
        // The day's own record took the row of hour `day` after the report's
        // hour lines were written; the chart shows the hour's own values.
        const double expected =
            h == reading.day ? keptValue(reading.keptHour, name) : storedValue(a, name, row);
        QCOMPARE(points[h].x(), double(h));
        QCOMPARE(points[h].y(), expected);
        if (expected != 0) allZero = false;
      }
      // Shown unless every hour is zero.
      QCOMPARE(visible.contains(name), !allZero);
      QCOMPARE(chart()->seriesCheckBox(name)->isChecked(), !allZero);
    }
    // The same numbers the data export gives.
    const vardis::ArchiveData data = vardis::lastArchiveData(form_->session());
    for (std::size_t h = 0; h < data.records.size(); ++h) {
      for (const vardis::Quantity& v : data.records[h].quantities) {
        QCOMPARE(chart()->seriesPoints(QString::fromStdString(v.name)).at(qsizetype(h)).y(),
                 v.value);
      }
    }
  }

  void axesCarryTheUnitsOfTheReport() {
    const vardis::ArchiveData data = vardis::lastArchiveData(form_->session());
    QCOMPARE(chart()->valueAxisTitle(flowName(1)), data.volume
                                                       ? QStringLiteral("Объёмный расход, м³/ч")
                                                       : QStringLiteral("Массовый расход, т/ч"));
    QCOMPARE(chart()->valueAxisTitle(QStringLiteral("T2")), QStringLiteral("Температура, °C"));
    QCOMPARE(chart()->valueAxisTitle(QStringLiteral("P1")), QStringLiteral("Давление, МПа"));
    QCOMPARE(chart()->valueAxisTitle(QStringLiteral("W2")),
             data.heatUnit == "GJ" ? QStringLiteral("Тепловая энергия, ГДж")
                                   : QStringLiteral("Тепловая энергия, Гкал"));
    QVERIFY(chart()->valueAxisTitle(QStringLiteral("Tc")).endsWith(QStringLiteral(", ч")));
    QCOMPARE(chart()->valueAxisTitle(QStringLiteral("B1")),
             chart()->valueAxisTitle(QStringLiteral("Tc")));
  }

  void abnormalHourCarriesItsMarker() {
    const vardis::ArchiveStore& a = form_->session().archive;
    QCOMPARE(a.AbnormalWord[kAbnormalHour], kAbnormalWord);
    QCOMPARE(chart()->abnormalCodesAt(kAbnormalHour), kAbnormalCodes);

    // One marker for every hour whose word is not zero, with that word's codes.
    QList<double> expected;
    for (std::size_t h = 0; h <= 23; ++h) {
      if (a.AbnormalWord[h] != 0) expected << double(h);
    }
    QList<double> xs;
    for (const vardis::AbnormalMarker& m : chart()->abnormalMarkers()) {
      xs << m.x;
      const auto row = static_cast<std::size_t>(m.x);
      QCOMPARE(m.word, a.AbnormalWord[row]);
      QCOMPARE(m.codes, toQt(vardis::abnormalCodeList(a.AbnormalWord[row])));
      QCOMPARE(m.label, QStringLiteral("%1").arg(row, 2, 10, QLatin1Char('0')));
    }
    QCOMPARE(xs, expected);
    for (const QString& name : chart()->seriesNames()) QCOMPARE(chart()->markerSeriesX(name), xs);
    for (std::size_t h = 0; h <= 23; ++h) {
      if (a.AbnormalWord[h] == 0) QVERIFY(chart()->abnormalCodesAt(double(h)).isEmpty());
    }

    // The hover texts name the codes.
    QCOMPARE(chart()->markerToolTip(kAbnormalHour), QStringLiteral("НС, 17 ч: T1<, G1o"));
    QVERIFY(chart()
                ->valueToolTip(QStringLiteral("T1"), kAbnormalHour)
                .endsWith(QStringLiteral("\nНС: T1<, G1o")));
    QVERIFY(chart()
                ->valueToolTip(QStringLiteral("T1"), kAbnormalHour)
                .startsWith(QStringLiteral("T1, 17 ч: ")));

    // Hovering the marker shows them.
    chart()->tabs()->setCurrentIndex(0);
    QScatterSeries* markers = abnormalSeries(chart()->currentChartView());
    QVERIFY(markers);
    const QPointF at = markers->points().at(xs.indexOf(double(kAbnormalHour)));
    emit markers->hovered(at, true);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("НС, 17 ч: T1<, G1o"));
    emit markers->hovered(at, false);
  }

  void zeroChannelIsHiddenUntilShown() {
    const QString zero = flowName(kZeroFlowQuantity + 1);
    QVERIFY(!chart()->visibleSeriesNames().contains(zero));
    QVERIFY(!chart()->series(zero)->isVisible());
    for (const QPointF& p : chart()->seriesPoints(zero)) QCOMPARE(p.y(), 0.0);
    QCheckBox* box = chart()->seriesCheckBox(zero);
    QVERIFY(!box->isChecked());

    chart()->tabs()->setCurrentIndex(0);
    QVERIFY(QTest::qWaitForWindowExposed(chart()));
    QVERIFY(box->isVisible());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
    QVERIFY(box->isChecked());
    QVERIFY(chart()->series(zero)->isVisible());
    QVERIFY(chart()->visibleSeriesNames().contains(zero));
    QCOMPARE(chart()->seriesPoints(zero).size(), 24);

    chart()->setSeriesVisible(zero, false);
    QVERIFY(!box->isChecked());
    QVERIFY(!chart()->isSeriesVisible(zero));
  }

  void legendMarkerTogglesItsChannel() {
    const QString name = QStringLiteral("T1");
    QLineSeries* series = chart()->series(name);
    const QList<QLegendMarker*> markers = series->chart()->legend()->markers(series);
    QCOMPARE(markers.size(), 1);
    emit markers.first()->clicked();
    QVERIFY(!series->isVisible());
    QVERIFY(!chart()->seriesCheckBox(name)->isChecked());
    QVERIFY(!chart()->visibleSeriesNames().contains(name));
    // The entry stays in the legend so that it can be clicked back.
    QTRY_VERIFY(markers.first()->isVisible());
    emit markers.first()->clicked();
    QVERIFY(series->isVisible());
    QVERIFY(chart()->seriesCheckBox(name)->isChecked());
  }

  void savesTheChartAsPng() {
    chart()->tabs()->setCurrentIndex(1);
    const QString path = QString::fromStdString((dir_->path() / "chart.png").string());
    QVERIFY(chart()->saveChartPng(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    file.close();
    QImage image;
    QVERIFY(image.load(path, "PNG"));
    QCOMPARE(image.size(),
             chart()->currentChartView()->size() * chart()->currentChartView()->devicePixelRatio());

    savePictures(QStringLiteral("hourly"));
  }

  void closedChartShowsTheMonthlyReadingWhenOpened() {
    chart()->close();
    // Last month: the month under way is not over, and is no reading.
    form_->DateTimePicker1->setDate(form_->DateTimePicker1->date().addMonths(-1));
    QTest::mouseClick(form_->Button12, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QVERIFY(!chart()->isVisible());
    form_->ChartAction->trigger();
    QVERIFY(chart()->isVisible());

    const vardis::ArchiveData data = vardis::lastArchiveData(form_->session());
    QCOMPARE(data.kind, std::string("monthly"));
    QCOMPARE(chart()->data().kind, std::string("monthly"));
    QCOMPARE(chart()->xAxisTitle(), QStringLiteral("День месяца"));
    const double day = QString::fromStdString(data.records.front().label).toInt();
    const vardis::ArchiveStore& a = form_->session().archive;
    for (const QString& name : chart()->seriesNames()) {
      const QList<QPointF> points = chart()->seriesPoints(name);
      QCOMPARE(points.size(), 1);
      QCOMPARE(points.front(), QPointF(day, storedValue(a, name, 23)));
    }
    QList<double> xs;
    if (a.AbnormalWord[23] != 0) xs << day;
    QCOMPARE(chart()->markerSeriesX(QStringLiteral("T1")), xs);
    savePictures(QStringLiteral("monthly"));
  }

  void dailyDataRunsOverTheDaysOfTheMonth() {
    vardis::ArchiveData data;
    data.kind = "daily";
    data.period = "2011-02";
    data.volume = true;
    data.heatUnit = "GJ";
    for (int day = 1; day <= 28; ++day) {
      data.records.push_back(
          dayRecord(day, 10 + day, 60 - day, 0.5 * day, day == 5 ? 1u << 20 : 0));
    }
    vardis::ArchiveChart chart;
    chart.setData(data);
    QCOMPARE(chart.tabTitles(),
             QStringList({QStringLiteral("Расход"), QStringLiteral("Температура"),
                          QStringLiteral("Тепло")}));
    QCOMPARE(chart.visibleSeriesNames(),
             QStringList({QStringLiteral("G1"), QStringLiteral("T1"), QStringLiteral("W1")}));
    QCOMPARE(chart.valueAxisTitle(QStringLiteral("G1")), QStringLiteral("Объёмный расход, м³/ч"));
    QCOMPARE(chart.valueAxisTitle(QStringLiteral("W1")), QStringLiteral("Тепловая энергия, ГДж"));
    const QList<QPointF> points = chart.seriesPoints(QStringLiteral("G1"));
    QCOMPARE(points.size(), 28);
    for (int day = 1; day <= 28; ++day) QCOMPARE(points[day - 1], QPointF(day, 10 + day));
    if (!qEnvironmentVariableIsEmpty("VARDIS_CHART_PICTURES")) {
      chart.show();
      QVERIFY(QTest::qWaitForWindowExposed(&chart));
      QVERIFY(chart.grab().save(qEnvironmentVariable("VARDIS_CHART_PICTURES") +
                                QStringLiteral("/daily.png")));
    }
    QCOMPARE(chart.markerSeriesX(QStringLiteral("W1")), QList<double>({5.0}));
    QCOMPARE(chart.abnormalCodesAt(5), QStringList({QStringLiteral("P1<")}));
    QCOMPARE(chart.markerToolTip(5), QStringLiteral("НС, 05 число: P1<"));

    // Nothing read: the empty page again.
    chart.setData({});
    QVERIFY(chart.seriesNames().isEmpty());
    QVERIFY(chart.abnormalMarkers().empty());
    QVERIFY(!chart.series(QStringLiteral("G1")));
  }

  // A value without a good reply is a gap in its line; a word without one, no marker.
  // A value without a good reply, and a day not over, are no reading.
  void valueWithoutReplyIsAGap() {
    vardis::ArchiveData data;
    data.kind = "daily";
    data.period = "2011-02";
    for (int day = 1; day <= 6; ++day) {
      data.records.push_back(dayRecord(day, 10 + day, 50, 1, day == 5 ? 1u << 20 : 0));
    }
    data.records[3].quantities[0].noReply = true;  // G1 of day 4
    data.records[4].abnormalNoReply = true;
    data.records[5].ended = false;  // day 6 was not over when it was read
    vardis::ArchiveChart chart;
    chart.setData(data);
    QList<double> xs;
    for (const QPointF& p : chart.seriesPoints(QStringLiteral("G1"))) xs << p.x();
    QCOMPARE(xs, QList<double>({1, 2, 3, 5}));
    QCOMPARE(chart.series(QStringLiteral("G1"))->points().size(), 3);  // its line ends at day 3
    QVERIFY(chart.abnormalMarkers().empty());
  }

  // The axis of a range shows its dates, and hours for the hourly records; a
  // day the store lacks, or holds not as it was read before it was over, is a
  // gap and never a zero.
  void rangeAxisShowsDatesAndGaps() {
    vardis::test::TempDir dir;
    storeDays(dir.path());
    vardis::ArchiveChart chart;
    chart.setStoreFolder(dir.path());
    chart.refreshMeters();
    QVERIFY(chart.showRange(kSerial, QStringLiteral("daily"), {2026, 10, 30}, {2026, 11, 5}));
    QCOMPARE(chart.xAxisTitle(), QStringLiteral("Дата"));
    QCOMPARE(chart.xAxisLabels(),
             QStringList({"30.10", "31.10", "01.11", "02.11", "03.11", "04.11", "05.11"}));
    QCOMPARE(chart.seriesPoints(QStringLiteral("G1")),
             QList<QPointF>({{0, 40}, {1, 41}, {2, 11}, {4, 13}, {5, 14}}));
    QCOMPARE(chart.series(QStringLiteral("G1"))->points().size(), 3);  // its line ends at 01.11
    QVERIFY(chart.rangeMessage().contains(QStringLiteral("5 из 7")));

    QVERIFY(chart.showRange(kSerial, QStringLiteral("hourly"), {2026, 11, 3}, {2026, 11, 3}));
    QCOMPARE(chart.xAxisTitle(), QStringLiteral("Дата и час"));
    QCOMPARE(chart.xAxisLabels(),
             QStringList({"03.11 00:00", "03.11 03:00", "03.11 06:00", "03.11 09:00", "03.11 12:00",
                          "03.11 15:00", "03.11 18:00", "03.11 21:00"}));
    // Over a new year the labels carry the year.
    QVERIFY(chart.showRange(kSerial, QStringLiteral("daily"), {2026, 10, 30}, {2027, 1, 2}));
    QCOMPARE(chart.xAxisLabels().mid(0, 2), QStringList({"30.10.2026", "13.11.2026"}));
  }

  // Digits typed in one go, wherever the cursor is, give the date on Enter and
  // draw its range; before Enter the range stays; a text that is no date
  // puts the date back.
  void typedDateSelectsTheRange() {
    vardis::test::TempDir dir;
    storeDays(dir.path());
    vardis::ArchiveChart chart;
    chart.setStoreFolder(dir.path());
    chart.show();
    QVERIFY(QTest::qWaitForWindowActive(&chart));
    chart.rangeKind()->setCurrentIndex(chart.rangeKind()->findData(QStringLiteral("daily")));
    chart.rangeFrom()->setDate({2026, 11, 1});
    chart.rangeTo()->setDate({2026, 11, 5});
    QTest::mouseClick(chart.rangeShowButton(), Qt::LeftButton);
    QCOMPARE(chart.xAxisLabels().front(), QStringLiteral("01.11"));

    QDateEdit* from = chart.rangeFrom();
    auto* text = from->findChild<QLineEdit*>();
    QTest::mouseClick(text, Qt::LeftButton, {}, text->rect().center());  // the cursor inside
    QTest::keyClicks(from, QStringLiteral("3010202"));
    QCOMPARE(text->text(), QStringLiteral("30.10.202"));
    QCOMPARE(from->date(), QDate(2026, 11, 1));
    QCOMPARE(chart.xAxisLabels().front(), QStringLiteral("01.11"));
    QTest::keyClicks(from, QStringLiteral("6"));
    QTest::keyClick(from, Qt::Key_Return);
    QCOMPARE(from->date(), QDate(2026, 10, 30));
    QCOMPARE(chart.xAxisLabels().front(), QStringLiteral("30.10"));
    QVERIFY(chart.windowTitle().endsWith(QStringLiteral("с 30.10.2026 по 05.11.2026")));

    QTest::keyClicks(chart.rangeTo(), QStringLiteral("3.11.2026"));
    QTest::keyClick(chart.rangeTo(), Qt::Key_Enter);
    QCOMPARE(chart.xAxisLabels().back(), QStringLiteral("03.11"));
    QTest::keyClicks(from, QStringLiteral("31.02.2026"));
    QTest::keyClick(from, Qt::Key_Return);
    QCOMPARE(from->date(), QDate(2026, 10, 30));
    QCOMPARE(text->text(), QStringLiteral("30.10.2026"));
  }

  void chartPictureOptionIsHidden() {
    QString error;
    QString help;
    const auto o = vardis::parseAppOptions({"vardis", "--demo", "--chart-screenshot", "/tmp/c.png"},
                                           error, help);
    QVERIFY2(o, qPrintable(error));
    QCOMPARE(o->chartScreenshot, QStringLiteral("/tmp/c.png"));
    QVERIFY(o->demo);
    QVERIFY(!vardis::parseAppOptions({"vardis", "--help"}, error, help));
    QVERIFY(!help.contains(QStringLiteral("--chart-screenshot")));
  }

  void cleanupTestCase() {
    if (form_) {
      form_->close();
      QVERIFY(!chart() || !chart()->isVisible());
    }
    form_.reset();
    line_.reset();
    meter_.reset();
  }
};

QTEST_MAIN(ChartTest)
#include "app_chart_test.moc"
