// The axes of a tab's chart: the hours or the days along x (in the range view
// their dates), the values of the shown channels up the side on round steps,
// with room on top for the markers.
#include <QDate>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/chart_common.h"

namespace vardis {

namespace {

using chart_common::q;

// Room above the data for the abnormal markers, as a share of the data's span.
constexpr double kMarkerRoom = 0.15;
constexpr double kPadding = 0.06;
constexpr double kValueSteps = 6;

// A round step near `raw`: 1, 2, 2.5 or 5 times a power of ten.
double roundStep(double raw) {
  if (!std::isfinite(raw) || raw <= 0) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / power;
  const double step = f <= 1 ? 1 : f <= 2 ? 2 : f <= 2.5 ? 2.5 : f <= 5 ? 5 : 10;
  return step * power;
}

// The decimals that show every multiple of `step`.
int stepDecimals(double step) {
  int decimals = 0;
  for (double scaled = step; decimals < 6; scaled *= 10, ++decimals) {
    if (std::abs(scaled - std::round(scaled)) < 1e-6 * scaled) break;
  }
  return decimals;
}

}  // namespace

// The x axis of a reading: hours 0..23 or the days of the month.
QValueAxis* ArchiveChart::newReadingAxis(double& lo, double& hi) const {
  auto* axis = new QValueAxis;
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickInterval(1);
  axis->setLabelFormat(QStringLiteral("%d"));
  axis->setMinorTickCount(0);
  if (data_.kind == "hourly") {
    axis->setTitleText(QStringLiteral("Час"));
    axis->setTickAnchor(0);
    lo = -0.5;
    hi = 23.5;
    return axis;
  }
  axis->setTitleText(QStringLiteral("День месяца"));
  axis->setTickAnchor(1);
  int days = static_cast<int>(data_.records.size());
  if (data_.kind == "monthly") {
    const QDate month = QDate::fromString(q(data_.period) + QStringLiteral("-01"), Qt::ISODate);
    days = month.isValid() ? month.daysInMonth() : 31;
  }
  lo = 0.5;
  hi = days + 0.5;
  return axis;
}

// The x axis: that of the reading, or the dates of a range from the store.
void ArchiveChart::addXAxis(Group& group) {
  double lo = 0;
  double hi = 0;
  group.x = range_ ? newRangeAxis(lo, hi) : newReadingAxis(lo, hi);
  // A record outside the day or the month still gets its place.
  for (const auto& channel : group.channels) {
    for (const auto& run : channel->runs) {
      for (const QPointF& p : run) {
        lo = std::min(lo, p.x() - 0.5);
        hi = std::max(hi, p.x() + 0.5);
      }
    }
  }
  group.x->setRange(lo, hi);
  group.chart->addAxis(group.x, Qt::AlignBottom);
}

// The value axis, titled by the unit; rescale() sets its range.
void ArchiveChart::addValueAxis(Group& group) {
  group.y = new QValueAxis;
  group.y->setTitleText(group.axisTitle);
  group.chart->addAxis(group.y, Qt::AlignLeft);
}

void ArchiveChart::rescale(Group& group) {
  fitValueAxis(group);
  placeAbnormalMarkers(group);
}

void ArchiveChart::fitValueAxis(Group& group) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const auto& channel : group.channels) {
    if (!channel->series->isVisible()) continue;
    for (const auto& run : channel->runs) {
      for (const QPointF& p : run) {
        if (!std::isfinite(p.y())) continue;  // a garbled reply: no place on the scale
        lo = std::min(lo, p.y());
        hi = std::max(hi, p.y());
      }
    }
  }
  if (!std::isfinite(lo)) {
    lo = 0;
    hi = 1;
  }
  double span = hi - lo;
  if (span <= std::abs(hi) * 1e-9) {
    span = std::max(std::abs(hi) * 0.2, 1.0);
    lo -= span / 2;
    hi += span / 2;
  }
  const bool nonNegative = lo >= 0;
  lo -= span * kPadding;
  hi += span * (kPadding + (markers_.empty() ? 0 : kMarkerRoom));
  if (nonNegative) lo = std::max(lo, 0.0);
  // Round ends on a round step, about six steps over the range.
  const double step = roundStep((hi - lo) / kValueSteps);
  lo = std::floor(lo / step) * step;
  hi = std::ceil(hi / step) * step;
  group.y->setRange(lo, hi);
  group.y->setTickCount(static_cast<int>(std::lround((hi - lo) / step)) + 1);
  group.y->setLabelFormat(QStringLiteral("%.") + QString::number(stepDecimals(step)) +
                          QLatin1Char('f'));
}

QString ArchiveChart::valueAxisTitle(const QString& seriesName) const {
  const Channel* c = channel(seriesName);
  return c ? c->group->y->titleText() : QString();
}

QString ArchiveChart::xAxisTitle() const {
  return groups_.empty() ? QString() : groups_.front()->x->titleText();
}

QStringList ArchiveChart::xAxisLabels() const {
  auto* dates = groups_.empty() ? nullptr : qobject_cast<QCategoryAxis*>(groups_.front()->x);
  return dates ? dates->categoriesLabels() : QStringList();
}

}  // namespace vardis
