// The channel series: one line a channel, coloured by its place on the chart,
// broken where a value had no good reply, with the value under the mouse shown
// as a tool tip.
#include <QCursor>
#include <QPen>
#include <QToolTip>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

#include "app/chart_common.h"
#include "connection/shown_state.h"

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
    QPen pen(channelColour(i));
    pen.setWidthF(2);
    const Channel* c = &channel;
    for (const auto& run : channel.runs) {
      auto* series = new QLineSeries;
      series->setName(channel.name);
      series->setObjectName(channel.name);
      series->setPen(pen);
      series->setPointsVisible(true);
      series->setMarkerSize(monthly ? 11 : 6);
      series->append(QList<QPointF>(run.begin(), run.end()));
      group.chart->addSeries(series);
      series->attachAxis(group.x);
      series->attachAxis(group.y);
      channel.segments.push_back(series);
      connect(series, &QLineSeries::hovered, this,
              [this, c](const QPointF& point, bool state) { showValueTip(*c, point, state); });
    }
    channel.series = channel.segments.front();
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
  QList<QPointF> points;
  if (const Channel* c = channel(name)) {
    for (const QLineSeries* segment : c->segments) points += segment->points();
  }
  return points;
}

QString ArchiveChart::valueToolTip(const QString& seriesName, double x) const {
  const Channel* c = channel(seriesName);
  const ArchiveRecord* r = recordAt(x);
  if (!c || !r) return {};
  double value = 0;
  bool noReply = false;
  for (const Quantity& v : r->quantities) {
    if (q(v.name) != seriesName) continue;
    value = v.value;
    noReply = v.noReply;
  }
  const UnitText* unit = unitText(c->unit);
  QString text = seriesName + QStringLiteral(", ") + intervalText(x) + QStringLiteral(": ");
  if (noReply) {
    text += QString::fromUtf8(kNoReplyText);
  } else {
    text += valueText(value) + QLatin1Char(' ') +
            (unit ? QString::fromUtf8(unit->shortText) : q(c->unit));
  }
  if (r->abnormalWord != 0 && !r->abnormalNoReply) {
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
