// The abnormal-situation markers: the hours or days whose abnormal word is not
// zero, as red triangles ("НС") along the top of every chart, in the summary
// line under the tabs and in the tool tips.
#include <QColor>
#include <QCursor>
#include <QToolTip>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/chart_common.h"

namespace vardis {

namespace {

using chart_common::q;

const QColor kAbnormalColour(0xd6, 0x27, 0x28);
const QString kAbnormalName = QStringLiteral("НС");

}  // namespace

// The intervals with a non-zero abnormal word, in x order.
void ArchiveChart::collectAbnormalMarkers() {
  for (std::size_t i = 0; i < data_.records.size(); ++i) {
    const ArchiveRecord& r = data_.records[i];
    // A word without a good reply is not the meter's: nothing to mark.
    if (r.abnormalWord == 0 || r.abnormalNoReply || !r.ended) continue;
    AbnormalMarker m;
    m.x = xOf(r, i);
    m.label = q(r.label);
    m.word = r.abnormalWord;
    for (const std::string& code : r.abnormalCodes) m.codes << q(code);
    markers_.push_back(m);
  }
  std::sort(markers_.begin(), markers_.end(),
            [](const AbnormalMarker& a, const AbnormalMarker& b) { return a.x < b.x; });
}

// The line under the tabs: each abnormal interval with its codes.
QString ArchiveChart::abnormalSummaryText() const {
  if (markers_.empty()) return QStringLiteral("Нештатных ситуаций нет.");
  QStringList parts;
  for (const AbnormalMarker& m : markers_) {
    parts << intervalText(m.x) + QStringLiteral(": ") + m.codes.join(QStringLiteral(", "));
  }
  return QStringLiteral("НС (▲): ") + parts.join(QStringLiteral("; "));
}

// The marker series of a chart; its legend entry only when there is something
// to mark. placeAbnormalMarkers() gives it its points.
void ArchiveChart::addAbnormalSeries(Group& group) {
  group.abnormal = new QScatterSeries;
  group.abnormal->setName(kAbnormalName);
  group.abnormal->setObjectName(QStringLiteral("abnormal"));
  group.abnormal->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
  group.abnormal->setMarkerSize(13);
  group.abnormal->setColor(kAbnormalColour);
  group.abnormal->setBorderColor(kAbnormalColour.darker(140));
  group.chart->addSeries(group.abnormal);
  group.abnormal->attachAxis(group.x);
  group.abnormal->attachAxis(group.y);
  connect(group.abnormal, &QScatterSeries::hovered, this,
          [this](const QPointF& point, bool state) { showMarkerTip(point, state); });
  for (QLegendMarker* marker : group.chart->legend()->markers(group.abnormal)) {
    marker->setVisible(!markers_.empty());
  }
}

// The abnormal markers run along the top, above the data.
void ArchiveChart::placeAbnormalMarkers(Group& group) {
  const double markerY = group.y->max() - (group.y->max() - group.y->min()) * 0.04;
  QList<QPointF> points;
  for (const AbnormalMarker& m : markers_) points.append(QPointF(m.x, markerY));
  group.abnormal->replace(points);
}

QStringList ArchiveChart::abnormalCodesAt(double x) const {
  for (const AbnormalMarker& m : markers_) {
    if (std::abs(m.x - x) < 0.5) return m.codes;
  }
  return {};
}

QList<double> ArchiveChart::markerSeriesX(const QString& seriesName) const {
  QList<double> xs;
  const Channel* c = channel(seriesName);
  if (!c) return xs;
  for (const QPointF& p : c->group->abnormal->points()) xs << p.x();
  return xs;
}

QString ArchiveChart::markerToolTip(double x) const {
  const QStringList codes = abnormalCodesAt(x);
  if (codes.isEmpty()) return {};
  return QStringLiteral("НС, ") + intervalText(x) + QStringLiteral(": ") +
         codes.join(QStringLiteral(", "));
}

void ArchiveChart::showMarkerTip(const QPointF& point, bool state) {
  if (!state) {
    QToolTip::hideText();
    return;
  }
  const QString text = markerToolTip(point.x());
  if (!text.isEmpty()) QToolTip::showText(QCursor::pos(), text, currentChartView());
}

}  // namespace vardis
