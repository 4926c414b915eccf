// The channel series: one line a channel, coloured by its place on the chart,
// with the value under the mouse shown as a tool tip.
#include <QCursor>
#include <QPen>
#include <QToolTip>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

#include "app/chart_common.h"

namespace vardis {

namespace {

using chart_common::channelColour;
using chart_common::q;
using chart_common::UnitText;
using chart_common::unitText;

QString valueText(double v) {
  return QString::number(v, 'g', 6);
}

}  // namespace

void ArchiveChart::addChannelSeries(Group& group) {
  const bool monthly = data_.kind == "monthly";
  for (std::size_t i = 0; i < group.channels.size(); ++i) {
    Channel& channel = *group.channels[i];
    auto* series = new QLineSeries;
    series->setName(channel.name);
    series->setObjectName(channel.name);
    QPen pen(channelColour(i));
    pen.setWidthF(2);
    series->setPen(pen);
    series->setPointsVisible(true);
    series->setMarkerSize(monthly ? 11 : 6);
    series->append(QList<QPointF>(channel.points.begin(), channel.points.end()));
    group.chart->addSeries(series);
    series->attachAxis(group.x);
    series->attachAxis(group.y);
    channel.series = series;
    const Channel* c = &channel;
    connect(series, &QLineSeries::hovered, this,
            [this, c](const QPointF& point, bool state) { showValueTip(*c, point, state); });
  }
}

QStringList ArchiveChart::seriesNames() const {
  QStringList names;
  for (const auto& group : groups_) {
    for (const auto& c : group->channels) names << c->name;
  }
  return names;
}

QStringList ArchiveChart::visibleSeriesNames() const {
  QStringList names;
  for (const auto& group : groups_) {
    for (const auto& c : group->channels) {
      if (c->series->isVisible()) names << c->name;
    }
  }
  return names;
}

QLineSeries* ArchiveChart::series(const QString& name) const {
  const Channel* c = channel(name);
  return c ? c->series : nullptr;
}

QList<QPointF> ArchiveChart::seriesPoints(const QString& name) const {
  const Channel* c = channel(name);
  return c ? c->series->points() : QList<QPointF>();
}

QString ArchiveChart::valueToolTip(const QString& seriesName, double x) const {
  const Channel* c = channel(seriesName);
  const ArchiveRecord* r = recordAt(x);
  if (!c || !r) return {};
  double value = 0;
  for (const Quantity& v : r->quantities) {
    if (q(v.name) == seriesName) value = v.value;
  }
  const UnitText* unit = unitText(c->unit);
  QString text = seriesName + QStringLiteral(", ") + intervalText(x) + QStringLiteral(": ") +
                 valueText(value) + QLatin1Char(' ') +
                 (unit ? QString::fromUtf8(unit->shortText) : q(c->unit));
  if (r->abnormalWord != 0) {
    QStringList codes;
    for (const std::string& code : r->abnormalCodes) codes << q(code);
    text += QStringLiteral("\nНС: ") + codes.join(QStringLiteral(", "));
  }
  return text;
}

void ArchiveChart::showValueTip(const Channel& channel, const QPointF& point, bool state) {
  if (!state) {
    QToolTip::hideText();
    return;
  }
  const QString text = valueToolTip(channel.name, std::round(point.x()));
  if (!text.isEmpty()) QToolTip::showText(QCursor::pos(), text, channel.group->view);
}

}  // namespace vardis
