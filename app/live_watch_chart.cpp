// The watch's chart: a line for every ticked quantity over the PC time of the
// passes, the latest ten minutes in view. A pass without a good reply is a gap:
// the line stops before it and starts again after it.
#include <QColor>
#include <QDate>
#include <QDateTime>
#include <QPainter>
#include <QPen>
#include <QTime>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "app/kros.h"
#include "app/live_watch.h"

namespace vardis {

namespace {

qint64 msOf(const LocalDateTime& t) {
  return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second, t.millisecond))
      .toMSecsSinceEpoch();
}

const QColor& lineColour(std::size_t column) {
  static const QColor colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                   QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                                   QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                   QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
  return colours[column % std::size(colours)];
}

}  // namespace

QWidget* LiveWatch::newChart() {
  chart_ = new QChart;
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setMargins(QMargins(6, 4, 6, 4));
  x_ = new QDateTimeAxis;
  x_->setFormat(QStringLiteral("HH:mm:ss"));
  x_->setTitleText(QStringLiteral("Время ПК"));
  x_->setTickCount(6);
  y_ = new QValueAxis;
  y_->setTitleText(QStringLiteral("Значение"));
  chart_->addAxis(x_, Qt::AlignBottom);
  chart_->addAxis(y_, Qt::AlignLeft);
  view_ = new QChartView(chart_, this);
  view_->setObjectName("LiveWatchChart");
  view_->setRenderHint(QPainter::Antialiasing);
  redrawChart();
  return view_;
}

// The ticked quantities from the rows in view, drawn afresh.
void LiveWatch::redrawChart() {
  for (Line& line : lines_) {
    for (QLineSeries* run : line.runs) {
      chart_->removeSeries(run);
      delete run;
    }
  }
  lines_.clear();
  const auto& rows = log_.rows();
  const qint64 last = rows.empty() ? msOf(form_.session().clock().now()) : msOf(rows.back().time);
  const qint64 first = rows.empty() ? last : msOf(rows.front().time);
  // From the first pass on until the view is full, then the latest passes.
  const qint64 from = std::max(first, last - kVisibleMs);
  for (const QString& key : tickedKeys()) {
    addLine(static_cast<std::size_t>(log_.column(key.toStdString())), from);
  }
  // A short watch fills a minute, then the view grows to ten.
  fitAxes(from, from + std::clamp((last - from) * 5 / 4, kFirstVisibleMs, kVisibleMs));
}

void LiveWatch::addLine(std::size_t column, qint64 from) {
  Line line{column, {}};
  const WatchColumn& c = log_.columns()[column];
  const QString name = QString::fromStdString(c.unit.empty() ? c.name : c.name + ", " + c.unit);
  QPen pen(lineColour(column));
  pen.setWidthF(2);
  const auto newRun = [&] {
    auto* run = new QLineSeries;
    run->setName(name);
    run->setPen(pen);
    run->setPointsVisible(true);  // a value between two gaps is a lone point
    run->setMarkerSize(5);
    line.runs.push_back(run);
    return run;
  };
  QLineSeries* run = nullptr;
  for (const WatchLog::Row& row : log_.rows()) {
    const qint64 at = msOf(row.time);
    if (at < from) continue;
    const std::optional<double> value =
        column < row.values.size() ? row.values[column] : std::nullopt;
    if (!value) {
      run = nullptr;
      continue;
    }
    if (!run) run = newRun();
    run->append(static_cast<qreal>(at), *value);
  }
  if (line.runs.empty()) newRun();  // no value in view: the legend still names it
  for (QLineSeries* series : line.runs) {
    chart_->addSeries(series);
    series->attachAxis(x_);
    series->attachAxis(y_);
  }
  // One legend entry a quantity.
  for (std::size_t i = 1; i < line.runs.size(); ++i) {
    for (QLegendMarker* marker : chart_->legend()->markers(line.runs[i])) marker->setVisible(false);
  }
  lines_.push_back(std::move(line));
}

void LiveWatch::fitAxes(qint64 from, qint64 to) {
  x_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
  double lo = std::numeric_limits<double>::max();
  double hi = std::numeric_limits<double>::lowest();
  for (const Line& line : lines_) {
    for (const QLineSeries* run : line.runs) {
      for (const QPointF& p : run->points()) {
        lo = std::min(lo, p.y());
        hi = std::max(hi, p.y());
      }
    }
  }
  if (lo > hi) {
    lo = 0;
    hi = 1;
  }
  const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(1.0, std::abs(hi) * 0.05);
  y_->setRange(lo - pad, hi + pad);
  y_->applyNiceNumbers();
}

QList<QPointF> LiveWatch::chartPoints(const QString& key) const {
  QList<QPointF> points;
  const int column = log_.column(key.toStdString());
  for (const Line& line : lines_) {
    if (static_cast<int>(line.column) != column) continue;
    for (const QLineSeries* run : line.runs) points += run->points();
  }
  return points;
}

int LiveWatch::chartRuns(const QString& key) const {
  int runs = 0;
  const int column = log_.column(key.toStdString());
  for (const Line& line : lines_) {
    if (static_cast<int>(line.column) != column) continue;
    for (const QLineSeries* run : line.runs) runs += run->count() > 0 ? 1 : 0;
  }
  return runs;
}

}  // namespace vardis
