// The series toggles: a check box for every channel under its chart, and the
// channel's legend marker, which a click toggles as well. Both stay in step
// with the series (all the segments of a broken line); a hidden channel's
// legend entry stays, dimmed.
#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPen>
#include <QPixmap>
#include <QSignalBlocker>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>

#include "app/chart_common.h"

namespace vardis {

namespace {

using chart_common::channelColour;

}  // namespace

// Check boxes for the channels, each with a swatch of its colour.
QHBoxLayout* ArchiveChart::newSeriesToggles(Group& group) {
  auto* boxes = new QHBoxLayout;
  boxes->addWidget(new QLabel(QStringLiteral("Показать:")));
  for (std::size_t i = 0; i < group.channels.size(); ++i) {
    Channel& channel = *group.channels[i];
    auto* box = new QCheckBox(channel.name);
    box->setObjectName(QStringLiteral("show_") + channel.name);
    QPixmap swatch(12, 12);
    swatch.fill(channelColour(i));
    box->setIcon(QIcon(swatch));
    if (channel.runs.front().empty()) {
      box->setToolTip(QStringLiteral("Прибор не ответил"));
    } else if (channel.allZero) {
      box->setToolTip(QStringLiteral("Все значения равны нулю"));
    }
    channel.box = box;
    const QString name = channel.name;
    connect(box, &QCheckBox::toggled, this,
            [this, name](bool checked) { setSeriesVisible(name, checked); });
    boxes->addWidget(box);
  }
  boxes->addStretch(1);
  return boxes;
}

// Legend markers toggle their channel.
void ArchiveChart::connectLegendToggles(Group& group) {
  for (const auto& channel : group.channels) {
    for (QLegendMarker* marker : group.chart->legend()->markers(channel->series)) {
      const QString name = channel->name;
      connect(marker, &QLegendMarker::clicked, this,
              [this, name] { setSeriesVisible(name, !isSeriesVisible(name)); });
    }
  }
}

// The all-zero channels start hidden.
void ArchiveChart::showNonZeroChannels(Group& group) {
  for (const auto& channel : group.channels) {
    const bool shown = !channel->allZero;
    for (QLineSeries* segment : channel->segments) segment->setVisible(shown);
    const QSignalBlocker quiet(channel->box);
    channel->box->setChecked(shown);
    updateLegendMarker(*channel);
  }
}

bool ArchiveChart::isSeriesVisible(const QString& name) const {
  const Channel* c = channel(name);
  return c && c->series->isVisible();
}

void ArchiveChart::setSeriesVisible(const QString& name, bool visible) {
  const Channel* c = channel(name);
  if (!c) return;
  for (QLineSeries* segment : c->segments) segment->setVisible(visible);
  {
    const QSignalBlocker quiet(c->box);
    c->box->setChecked(visible);
  }
  updateLegendMarker(*c);
  rescale(*c->group);
}

QCheckBox* ArchiveChart::seriesCheckBox(const QString& name) const {
  const Channel* c = channel(name);
  return c ? c->box : nullptr;
}

void ArchiveChart::updateLegendMarker(const Channel& channel) {
  // The channel's further segments never show in the legend.
  for (std::size_t i = 1; i < channel.segments.size(); ++i) {
    for (QLegendMarker* marker : channel.group->chart->legend()->markers(channel.segments[i])) {
      marker->setVisible(false);
    }
  }
  // A hidden channel keeps its legend entry, dimmed, so a click brings it back.
  const qreal alpha = channel.series->isVisible() ? 1.0 : 0.35;
  for (QLegendMarker* marker : channel.group->chart->legend()->markers(channel.series)) {
    marker->setVisible(true);
    QBrush label = marker->labelBrush();
    QColor colour = label.color();
    colour.setAlphaF(alpha);
    label.setColor(colour);
    marker->setLabelBrush(label);
    QBrush brush = marker->brush();
    colour = brush.color();
    colour.setAlphaF(alpha);
    brush.setColor(colour);
    marker->setBrush(brush);
    QPen pen = marker->pen();
    colour = pen.color();
    colour.setAlphaF(alpha);
    pen.setColor(colour);
    marker->setPen(pen);
  }
}

}  // namespace vardis
