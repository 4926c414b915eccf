// The chart window of the last archive reading: one series per channel over the
// hours of the day (hourly), the days of the month (daily) or the record's day
// (monthly), grouped by unit on tabs, with the hours or days of abnormal
// situations marked. It shows what lastArchiveData() returns; it reads nothing.
// Its range view draws the same from the store of readings: the hourly or
// daily records of one meter over a date range, each missing hour or day a gap.
#pragma once

#include <QDate>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "archives/archive_data.h"
#include "store/store_location.h"

class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QHBoxLayout;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QStackedWidget;
class QTabWidget;
class QValueAxis;

namespace vardis {

// One interval whose abnormal word is not zero.
struct AbnormalMarker {
  double x = 0;   // the hour or the day on the x axis
  QString label;  // the record's label: "05", "17"
  std::uint32_t word = 0;
  QStringList codes;  // "T1<", "G1o", ...
};

class ArchiveChart : public QWidget {
  Q_OBJECT

 public:
  explicit ArchiveChart(QWidget* parent = nullptr);
  ~ArchiveChart() override;

  // Replaces what is shown. An empty kind shows the "nothing read yet" page.
  void setData(const ArchiveData& data);
  // What is shown: the reading, or in the range view the records of the range.
  const ArchiveData& data() const { return data_; }

  // The range view reads the store of readings in this data folder.
  void setStoreFolder(const std::filesystem::path& dataDir);
  // The range view reads the store at this location (a file or a database).
  void setStoreLocation(const store::StoreLocation& location);
  // The meter list from the store; showing the window refreshes it too.
  void refreshMeters();
  // Draws the records of a meter ("hourly" or "daily") from `from` to `to`,
  // both included, x counting the hours or days from the start of `from` and
  // the x axis labelled with their dates ("05.11", hourly "05.11 06:00").
  // False, with the reason in rangeMessage(), when nothing could be drawn.
  bool showRange(long long serial, const QString& kind, const QDate& from, const QDate& to);
  bool showingRange() const { return range_.has_value(); }
  QString rangeMessage() const;
  // The range view's controls: the meter's serial number, the kind, the dates.
  QComboBox* rangeMeter() const { return rangeMeter_; }
  QComboBox* rangeKind() const { return rangeKind_; }
  QDateEdit* rangeFrom() const { return rangeFrom_; }
  QDateEdit* rangeTo() const { return rangeTo_; }
  QPushButton* rangeShowButton() const { return rangeShow_; }

  // The channel series in tab order ("M1".."M4" or "G1".."G4", "T1".., "P1"..,
  // "W1", "W2", "B1", "B2", "Tc"), and those of them currently shown.
  QStringList seriesNames() const;
  QStringList visibleSeriesNames() const;
  // The series of a channel; nullptr for an unknown name.
  QLineSeries* series(const QString& name) const;
  QList<QPointF> seriesPoints(const QString& name) const;
  bool isSeriesVisible(const QString& name) const;
  // Shows or hides a channel (as its check box and its legend marker do).
  void setSeriesVisible(const QString& name, bool visible);
  // The check box of a channel; nullptr for an unknown name.
  QCheckBox* seriesCheckBox(const QString& name) const;

  // The abnormal intervals, in x order, and the codes at one x (empty when none).
  const std::vector<AbnormalMarker>& abnormalMarkers() const { return markers_; }
  QStringList abnormalCodesAt(double x) const;
  // The x positions of the "НС" marker series drawn on the chart of a channel.
  QList<double> markerSeriesX(const QString& seriesName) const;

  // The hover texts: of a channel's value at x, and of the abnormal marker at x.
  QString valueToolTip(const QString& seriesName, double x) const;
  QString markerToolTip(double x) const;

  // The tab titles, the current tab, and the axis titles of a channel's chart.
  QStringList tabTitles() const;
  QTabWidget* tabs() const { return tabs_; }
  QString valueAxisTitle(const QString& seriesName) const;
  QString xAxisTitle() const;
  // The labels along the x axis of the range view, first to last; empty for
  // a reading, whose axis is numbered.
  QStringList xAxisLabels() const;
  // The chart of the current tab.
  QChartView* currentChartView() const;

  // Saves the chart of the current tab as a PNG picture; false when it cannot.
  bool saveChartPng(const QString& path) const;

 public slots:
  // "Сохранить PNG": asks for a file name and saves.
  void savePngClicked();
  // "Показать": the range view of the chosen meter, kind and dates.
  void showRangeClicked();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Channel;
  struct Group;
  // What the range view shows: x counts hours (hourly) or days from `from`.
  struct Range {
    long long serial = 0;
    QString kind;
    QDate from;
    QDate to;
  };

  // The data: the abnormal intervals, the channels grouped by unit, a tab each.
  void draw(const ArchiveData& data);
  QString periodText() const;
  void clear();
  void buildGroups();
  void collectChannels();
  Group& groupOf(const Quantity& quantity);
  void buildGroup(Group& group);
  double xOf(const ArchiveRecord& record, std::size_t index) const;
  const ArchiveRecord* recordAt(double x) const;
  QString intervalText(double x) const;
  const Channel* channel(const QString& name) const;

  // The range view: its controls, the records of the range joined into one
  // reading, and its x axis, interval and title texts.
  QWidget* newRangeBar();
  void setRangeMessage(const QString& text);
  int rangeSlots() const;
  void rangeDatesEdited();
  double rangeX(const ArchiveRecord& record) const;
  QValueAxis* newRangeAxis(double& lo, double& hi) const;
  QString rangeIntervalText(double x) const;
  QString rangePeriodText() const;

  // The axes. rescale() fits the value axis to the shown channels and puts the
  // abnormal markers back along its top.
  void addXAxis(Group& group);
  QValueAxis* newReadingAxis(double& lo, double& hi) const;
  void addValueAxis(Group& group);
  void rescale(Group& group);
  void fitValueAxis(Group& group);

  // The channel series.
  void addChannelSeries(Group& group);
  void showValueTip(const Channel& channel, const QPointF& point, bool state);

  // The abnormal-situation markers.
  void collectAbnormalMarkers();
  QString abnormalSummaryText() const;
  void addAbnormalSeries(Group& group);
  void placeAbnormalMarkers(Group& group);
  void showMarkerTip(const QPointF& point, bool state);

  // The series toggles: the check boxes under a chart and its legend markers.
  QHBoxLayout* newSeriesToggles(Group& group);
  void connectLegendToggles(Group& group);
  void showNonZeroChannels(Group& group);
  void updateLegendMarker(const Channel& channel);

  ArchiveData data_;
  std::optional<Range> range_;
  std::optional<store::StoreLocation> storeLocation_;  // none: no data folder
  std::vector<std::unique_ptr<Group>> groups_;
  std::map<QString, Channel*> channels_;
  std::vector<AbnormalMarker> markers_;

  QStackedWidget* pages_ = nullptr;
  QLabel* empty_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QLabel* abnormalSummary_ = nullptr;
  QPushButton* savePng_ = nullptr;
  QComboBox* rangeMeter_ = nullptr;
  QComboBox* rangeKind_ = nullptr;
  QDateEdit* rangeFrom_ = nullptr;
  QDateEdit* rangeTo_ = nullptr;
  QPushButton* rangeShow_ = nullptr;
  QLabel* rangeMessage_ = nullptr;
};

}  // namespace vardis
