// The live values window ("Сервис → Наблюдение"): the current values read
// again every few seconds, each pass the same reading as "Считать значения",
// shown as a table (the last value and the change since the watch began) and
// as a scrolling chart of the quantities ticked in the table; what was
// watched can be saved as CSV. Nothing of it goes into the report files.
#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "format/numtext.h"
#include "link/pc_clock.h"

class QChart;
class QChartView;
class QCloseEvent;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class QValueAxis;
class TForm1;

namespace vardis {

class ValueSession;

// One quantity the watch follows.
struct WatchColumn {
  std::string key;   // "G1", "PL1", "B1", "Tc": the names of currentValueCaptions
  std::string name;  // as the value labels call it: "G1", "П1", "В1", "Tс"
  std::string unit;  // "м3/час", "Гдж/час", as the value label gives it; "" for none
  int decimals = 0;  // as the value label shows it
};

// What a watch has read: one row a pass, the PC time and each quantity's
// value, none where the meter gave no good reply. The window's table, chart
// and CSV are all drawn from it.
class WatchLog {
 public:
  struct Row {
    LocalDateTime time;
    std::vector<std::optional<double>> values;  // one a column
  };

  explicit WatchLog(std::vector<WatchColumn> columns = {});

  const std::vector<WatchColumn>& columns() const { return columns_; }
  const std::vector<Row>& rows() const { return rows_; }
  // The column of a quantity; -1 for one the watch does not follow.
  int column(const std::string& key) const;

  // A new watch: the rows go, the columns stay.
  void clear() { rows_.clear(); }
  // A pass: its row, and the columns as the values now stand (the units and
  // decimals follow the meter's parameters).
  void add(Row row, std::vector<WatchColumn> columns);

  // The last pass's value; none before the first pass or without a reply.
  std::optional<double> last(std::size_t column) const;
  // The last value less the first good one of the watch; none when either is missing.
  std::optional<double> change(std::size_t column) const;

  // A value as the table and the CSV write it: the column's decimals, the
  // session's decimal separator; "" for none.
  std::string text(std::size_t column, std::optional<double> value, NumberStyle style) const;
  // The change with its sign ("+0.25", "-1.5", "0.00"); "" for none.
  std::string changeText(std::size_t column, NumberStyle style) const;
  // The whole watch as CSV: a header (the time, then each quantity with its
  // unit), a row a pass, an empty cell for no reply. Fields are separated by
  // ';', lines end in "\r\n".
  std::string csv(NumberStyle style) const;

 private:
  std::vector<WatchColumn> columns_;
  std::vector<Row> rows_;
};

// The quantities a watch follows, in the order the reading shows them, with the
// units and decimals the session's parameters give them.
std::vector<WatchColumn> watchColumns(const ValueSession& s);
// One pass's values from the current values as the last reading left them.
std::vector<std::optional<double>> watchValues(const ValueSession& s);

class LiveWatch : public QWidget {
  Q_OBJECT

 public:
  explicit LiveWatch(TForm1& form);
  ~LiveWatch() override;

  static constexpr int kDefaultIntervalSeconds = 5;
  // How much of the watch the chart shows: the latest ten minutes.
  static constexpr qint64 kVisibleMs = 10 * 60 * 1000;
  // What it shows of a watch just begun: a minute.
  static constexpr qint64 kFirstVisibleMs = 60 * 1000;

  const WatchLog& log() const { return log_; }
  bool watching() const { return watching_; }
  QString statusText() const;

  QSpinBox* intervalBox() const { return interval_; }
  QTimer* timer() const { return timer_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* saveButton() const { return save_; }
  QTableWidget* table() const { return table_; }
  QChartView* chartView() const { return view_; }

  // The quantities ticked for the chart, in table order.
  QStringList tickedKeys() const;
  void setTicked(const QString& key, bool ticked);
  // The chart's points of a quantity, every run of it, and its runs: a pass
  // without a reply splits the line.
  QList<QPointF> chartPoints(const QString& key) const;
  int chartRuns(const QString& key) const;

 public slots:
  // "Начать": a new watch, its first pass at once, then one every interval.
  void start();
  // "Остановить".
  void stop();
  // One pass: the current values read as "Считать значения" reads them. It
  // does not run without a connection, nor while another command runs (that
  // pass is skipped: the next one comes at its time).
  void pass();
  // "Сохранить CSV": what was watched, to the file the user picks.
  void saveCsv();

 protected:
  // The file "Сохранить CSV" writes, as the user picks it; "" when the user
  // cancels. The tests answer it instead.
  virtual QString askCsvFile();
  void closeEvent(QCloseEvent* event) override;

 private:
  // A ticked quantity on the chart: one series a run of values.
  struct Line {
    std::size_t column = 0;
    std::vector<QLineSeries*> runs;
  };

  void buildControls();
  void setStatus(const QString& text);
  void applyButtons();
  void connectionEnded();
  void passDone(const LocalDateTime& time);

  // The table (live_watch_table.cpp).
  QWidget* newTable();
  void fillTable();
  void tickChanged(QTableWidgetItem* item);

  // The chart (live_watch_chart.cpp).
  QWidget* newChart();
  void redrawChart();
  void addLine(std::size_t column, qint64 from);
  void fitAxes(qint64 from, qint64 to);

  TForm1& form_;
  WatchLog log_;
  bool watching_ = false;
  bool inPass_ = false;
  int generation_ = 0;  // a new watch: a pass under way keeps nothing

  QSpinBox* interval_ = nullptr;
  QTimer* timer_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* save_ = nullptr;
  QLabel* status_ = nullptr;
  QTableWidget* table_ = nullptr;
  QChartView* view_ = nullptr;
  QChart* chart_ = nullptr;
  QDateTimeAxis* x_ = nullptr;
  QValueAxis* y_ = nullptr;
  std::vector<Line> lines_;
};

}  // namespace vardis
