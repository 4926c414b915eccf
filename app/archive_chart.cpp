#include "app/archive_chart.h"

#include <QCheckBox>
#include <QColor>
#include <QCursor>
#include <QDate>
#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace vardis {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

// What a unit of the archive data is called on the chart.
struct UnitText {
  const char* unit;
  const char* tab;   // the tab of the quantities in this unit
  const char* axis;  // the value axis title
  const char* shortText;
};

constexpr UnitText kUnitTexts[] = {
    {"t/h", "Расход", "Массовый расход, т/ч", "т/ч"},
    {"m3/h", "Расход", "Объёмный расход, м³/ч", "м³/ч"},
    {"degC", "Температура", "Температура, °C", "°C"},
    {"MPa", "Давление", "Давление, МПа", "МПа"},
    {"GJ", "Тепло", "Тепловая энергия, ГДж", "ГДж"},
    {"Gcal", "Тепло", "Тепловая энергия, Гкал", "Гкал"},
    {"h", "Время", "Время работы (B1, B2) и время сети (Tc), ч", "ч"},
};

const UnitText* unitText(const std::string& unit) {
  for (const UnitText& t : kUnitTexts) {
    if (unit == t.unit) return &t;
  }
  return nullptr;
}

// Channel colours by the channel's place in its chart.
const QColor& channelColour(std::size_t index) {
  static const QColor colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c),
                                   QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd),
                                   QColor(0x8c, 0x56, 0x4b)};
  return colours[index % std::size(colours)];
}

const QColor kAbnormalColour(0xd6, 0x27, 0x28);
const QString kAbnormalName = QStringLiteral("НС");

constexpr int kDefaultWidth = 940;
constexpr int kDefaultHeight = 620;
// Room above the data for the abnormal markers, as a share of the data's span.
constexpr double kMarkerRoom = 0.15;
constexpr double kPadding = 0.06;
constexpr double kValueSteps = 6;

QString periodText(const ArchiveData& d) {
  const QString period = q(d.period);
  if (d.kind == "hourly") {
    const QDate day = QDate::fromString(period, Qt::ISODate);
    return QStringLiteral("часовой архив за ") +
           (day.isValid() ? day.toString(QStringLiteral("dd.MM.yyyy")) : period);
  }
  const QDate month = QDate::fromString(period + QStringLiteral("-01"), Qt::ISODate);
  const QString monthText = month.isValid() ? month.toString(QStringLiteral("MM.yyyy")) : period;
  if (d.kind == "daily") return QStringLiteral("суточный архив за ") + monthText;
  return QStringLiteral("месячный архив за ") + monthText;
}

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

QString valueText(double v) {
  return QString::number(v, 'g', 6);
}

}  // namespace

struct ArchiveChart::Channel {
  QString name;
  std::string unit;
  std::vector<QPointF> points;
  bool allZero = true;
  QLineSeries* series = nullptr;
  QCheckBox* box = nullptr;
  Group* group = nullptr;
};

struct ArchiveChart::Group {
  std::string unit;
  QString tab;
  QString axisTitle;
  std::vector<std::unique_ptr<Channel>> channels;
  QWidget* page = nullptr;
  QChartView* view = nullptr;
  QChart* chart = nullptr;
  QValueAxis* x = nullptr;
  QValueAxis* y = nullptr;
  QScatterSeries* abnormal = nullptr;
};

ArchiveChart::ArchiveChart(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("ArchiveChart");
  setWindowTitle(QStringLiteral("График архива"));
  resize(kDefaultWidth, kDefaultHeight);

  empty_ = new QLabel(
      QStringLiteral("Архив ещё не считан.\nВыберите дату и нажмите «Часовые», «Суточные» "
                     "или «Месячные»: график покажет считанные записи."));
  empty_->setObjectName("ArchiveChartEmpty");
  empty_->setAlignment(Qt::AlignCenter);
  empty_->setWordWrap(true);

  tabs_ = new QTabWidget;
  tabs_->setObjectName("ArchiveChartTabs");

  pages_ = new QStackedWidget;
  pages_->addWidget(empty_);
  pages_->addWidget(tabs_);

  abnormalSummary_ = new QLabel;
  abnormalSummary_->setObjectName("ArchiveChartAbnormal");
  abnormalSummary_->setWordWrap(true);
  abnormalSummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  savePng_ = new QPushButton(QStringLiteral("Сохранить PNG"));
  savePng_->setObjectName("ArchiveChartSavePng");
  savePng_->setAutoDefault(false);
  connect(savePng_, &QPushButton::clicked, this, &ArchiveChart::savePngClicked);
  auto* closeButton = new QPushButton(QStringLiteral("Закрыть"));
  closeButton->setObjectName("ArchiveChartClose");
  closeButton->setAutoDefault(false);
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(abnormalSummary_, 1);
  bottom->addWidget(savePng_);
  bottom->addWidget(closeButton);

  auto* box = new QVBoxLayout(this);
  box->addWidget(pages_, 1);
  box->addLayout(bottom);

  setData({});
}

ArchiveChart::~ArchiveChart() = default;

// ---------------------------------------------------------------------------
// Building

void ArchiveChart::clear() {
  channels_.clear();
  markers_.clear();
  while (tabs_->count() > 0) {
    QWidget* page = tabs_->widget(0);
    tabs_->removeTab(0);
    delete page;
  }
  groups_.clear();
}

void ArchiveChart::setData(const ArchiveData& data) {
  QToolTip::hideText();
  clear();
  data_ = data;
  const bool any = !data_.kind.empty() && !data_.records.empty();
  if (any) buildGroups();
  pages_->setCurrentWidget(any ? static_cast<QWidget*>(tabs_) : empty_);
  savePng_->setEnabled(any);
  setWindowTitle(any ? QStringLiteral("График архива — ") + periodText(data_)
                     : QStringLiteral("График архива"));

  if (!any) {
    abnormalSummary_->clear();
  } else if (markers_.empty()) {
    abnormalSummary_->setText(QStringLiteral("Нештатных ситуаций нет."));
  } else {
    QStringList parts;
    for (const AbnormalMarker& m : markers_) {
      parts << intervalText(m.x) + QStringLiteral(": ") + m.codes.join(QStringLiteral(", "));
    }
    abnormalSummary_->setText(QStringLiteral("НС (▲): ") + parts.join(QStringLiteral("; ")));
  }
}

double ArchiveChart::xOf(const ArchiveRecord& record, std::size_t index) const {
  bool ok = false;
  const int fromLabel = q(record.label).toInt(&ok);
  if (ok) return fromLabel;
  // Labels are numbers for every kind; the place in the list stands in otherwise.
  return data_.kind == "hourly" ? static_cast<double>(index) : static_cast<double>(index + 1);
}

void ArchiveChart::buildGroups() {
  for (std::size_t i = 0; i < data_.records.size(); ++i) {
    const ArchiveRecord& r = data_.records[i];
    if (r.abnormalWord == 0) continue;
    AbnormalMarker m;
    m.x = xOf(r, i);
    m.label = q(r.label);
    m.word = r.abnormalWord;
    for (const std::string& code : r.abnormalCodes) m.codes << q(code);
    markers_.push_back(m);
  }
  std::sort(markers_.begin(), markers_.end(),
            [](const AbnormalMarker& a, const AbnormalMarker& b) { return a.x < b.x; });

  // The channels, grouped by unit in the order the records name them.
  for (const Quantity& quantity : data_.records.front().quantities) {
    auto g = std::find_if(groups_.begin(), groups_.end(),
                          [&](const auto& group) { return group->unit == quantity.unit; });
    if (g == groups_.end()) {
      auto group = std::make_unique<Group>();
      group->unit = quantity.unit;
      const UnitText* text = unitText(quantity.unit);
      group->tab = text ? QString::fromUtf8(text->tab) : q(quantity.unit);
      group->axisTitle = text ? QString::fromUtf8(text->axis) : q(quantity.unit);
      groups_.push_back(std::move(group));
      g = std::prev(groups_.end());
    }
    auto channel = std::make_unique<Channel>();
    channel->name = q(quantity.name);
    channel->unit = quantity.unit;
    channel->group = g->get();
    for (std::size_t i = 0; i < data_.records.size(); ++i) {
      const ArchiveRecord& r = data_.records[i];
      const auto it = std::find_if(r.quantities.begin(), r.quantities.end(),
                                   [&](const Quantity& v) { return v.name == quantity.name; });
      const double value = it == r.quantities.end() ? 0.0 : it->value;
      channel->points.emplace_back(xOf(r, i), value);
      if (value != 0) channel->allZero = false;
    }
    channels_[channel->name] = channel.get();
    (*g)->channels.push_back(std::move(channel));
  }
  for (auto& group : groups_) buildGroup(*group);
}

void ArchiveChart::buildGroup(Group& group) {
  const bool monthly = data_.kind == "monthly";
  auto* chart = new QChart;
  chart->setTitle(group.tab + QStringLiteral(" — ") + periodText(data_));
  QFont titleFont = chart->titleFont();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
  chart->setTitleFont(titleFont);
  chart->legend()->setAlignment(Qt::AlignTop);
  chart->setMargins(QMargins(6, 4, 6, 4));
  group.chart = chart;

  // The x axis: hours 0..23, or the days of the month.
  group.x = new QValueAxis;
  group.x->setTickType(QValueAxis::TicksDynamic);
  group.x->setTickInterval(1);
  group.x->setLabelFormat(QStringLiteral("%d"));
  group.x->setMinorTickCount(0);
  double lo = 0;
  double hi = 0;
  if (data_.kind == "hourly") {
    group.x->setTitleText(QStringLiteral("Час"));
    group.x->setTickAnchor(0);
    lo = -0.5;
    hi = 23.5;
  } else {
    group.x->setTitleText(QStringLiteral("День месяца"));
    group.x->setTickAnchor(1);
    int days = static_cast<int>(data_.records.size());
    if (monthly) {
      const QDate month = QDate::fromString(q(data_.period) + QStringLiteral("-01"), Qt::ISODate);
      days = month.isValid() ? month.daysInMonth() : 31;
    }
    lo = 0.5;
    hi = days + 0.5;
  }
  for (const auto& channel : group.channels) {
    for (const QPointF& p : channel->points) {
      lo = std::min(lo, p.x() - 0.5);
      hi = std::max(hi, p.x() + 0.5);
    }
  }
  group.x->setRange(lo, hi);
  chart->addAxis(group.x, Qt::AlignBottom);

  group.y = new QValueAxis;
  group.y->setTitleText(group.axisTitle);
  chart->addAxis(group.y, Qt::AlignLeft);

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
    chart->addSeries(series);
    series->attachAxis(group.x);
    series->attachAxis(group.y);
    channel.series = series;
    const Channel* c = &channel;
    connect(series, &QLineSeries::hovered, this,
            [this, c](const QPointF& point, bool state) { showValueTip(*c, point, state); });
  }

  group.abnormal = new QScatterSeries;
  group.abnormal->setName(kAbnormalName);
  group.abnormal->setObjectName(QStringLiteral("abnormal"));
  group.abnormal->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
  group.abnormal->setMarkerSize(13);
  group.abnormal->setColor(kAbnormalColour);
  group.abnormal->setBorderColor(kAbnormalColour.darker(140));
  chart->addSeries(group.abnormal);
  group.abnormal->attachAxis(group.x);
  group.abnormal->attachAxis(group.y);
  connect(group.abnormal, &QScatterSeries::hovered, this,
          [this](const QPointF& point, bool state) { showMarkerTip(point, state); });
  for (QLegendMarker* marker : chart->legend()->markers(group.abnormal)) {
    marker->setVisible(!markers_.empty());
  }

  // Legend markers toggle their channel.
  for (const auto& channel : group.channels) {
    for (QLegendMarker* marker : chart->legend()->markers(channel->series)) {
      const QString name = channel->name;
      connect(marker, &QLegendMarker::clicked, this,
              [this, name] { setSeriesVisible(name, !isSeriesVisible(name)); });
    }
  }

  group.view = new QChartView(chart);
  group.view->setRenderHint(QPainter::Antialiasing);
  group.view->setObjectName(QStringLiteral("chart_") + group.tab);

  // Check boxes for the channels; the all-zero ones start hidden.
  auto* boxes = new QHBoxLayout;
  boxes->addWidget(new QLabel(QStringLiteral("Показать:")));
  for (std::size_t i = 0; i < group.channels.size(); ++i) {
    Channel& channel = *group.channels[i];
    auto* box = new QCheckBox(channel.name);
    box->setObjectName(QStringLiteral("show_") + channel.name);
    QPixmap swatch(12, 12);
    swatch.fill(channelColour(i));
    box->setIcon(QIcon(swatch));
    if (channel.allZero) box->setToolTip(QStringLiteral("Все значения равны нулю"));
    channel.box = box;
    const QString name = channel.name;
    connect(box, &QCheckBox::toggled, this,
            [this, name](bool checked) { setSeriesVisible(name, checked); });
    boxes->addWidget(box);
  }
  boxes->addStretch(1);

  group.page = new QWidget;
  auto* layout = new QVBoxLayout(group.page);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(group.view, 1);
  layout->addLayout(boxes);
  tabs_->addTab(group.page, group.tab);

  for (const auto& channel : group.channels) {
    const bool shown = !channel->allZero;
    channel->series->setVisible(shown);
    const QSignalBlocker quiet(channel->box);
    channel->box->setChecked(shown);
    updateLegendMarker(*channel);
  }
  rescale(group);
}

void ArchiveChart::rescale(Group& group) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const auto& channel : group.channels) {
    if (!channel->series->isVisible()) continue;
    for (const QPointF& p : channel->points) {
      if (!std::isfinite(p.y())) continue;  // a garbled reply: no place on the scale
      lo = std::min(lo, p.y());
      hi = std::max(hi, p.y());
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

  // The abnormal markers run along the top, above the data.
  const double markerY = group.y->max() - (group.y->max() - group.y->min()) * 0.04;
  QList<QPointF> points;
  for (const AbnormalMarker& m : markers_) points.append(QPointF(m.x, markerY));
  group.abnormal->replace(points);
}

void ArchiveChart::updateLegendMarker(const Channel& channel) {
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

// ---------------------------------------------------------------------------
// Series

const ArchiveChart::Channel* ArchiveChart::channel(const QString& name) const {
  const auto it = channels_.find(name);
  return it == channels_.end() ? nullptr : it->second;
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

bool ArchiveChart::isSeriesVisible(const QString& name) const {
  const Channel* c = channel(name);
  return c && c->series->isVisible();
}

QCheckBox* ArchiveChart::seriesCheckBox(const QString& name) const {
  const Channel* c = channel(name);
  return c ? c->box : nullptr;
}

void ArchiveChart::setSeriesVisible(const QString& name, bool visible) {
  const Channel* c = channel(name);
  if (!c) return;
  c->series->setVisible(visible);
  {
    const QSignalBlocker quiet(c->box);
    c->box->setChecked(visible);
  }
  updateLegendMarker(*c);
  rescale(*c->group);
}

// ---------------------------------------------------------------------------
// Abnormal markers and hover texts

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

const ArchiveRecord* ArchiveChart::recordAt(double x) const {
  for (std::size_t i = 0; i < data_.records.size(); ++i) {
    if (std::abs(xOf(data_.records[i], i) - x) < 0.5) return &data_.records[i];
  }
  return nullptr;
}

QString ArchiveChart::intervalText(double x) const {
  const ArchiveRecord* r = recordAt(x);
  const QString label = r ? q(r->label) : QString::number(std::lround(x));
  if (data_.kind == "hourly") return label + QStringLiteral(" ч");
  return label + QStringLiteral(" число");
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

QString ArchiveChart::markerToolTip(double x) const {
  const QStringList codes = abnormalCodesAt(x);
  if (codes.isEmpty()) return {};
  return QStringLiteral("НС, ") + intervalText(x) + QStringLiteral(": ") +
         codes.join(QStringLiteral(", "));
}

void ArchiveChart::showValueTip(const Channel& channel, const QPointF& point, bool state) {
  if (!state) {
    QToolTip::hideText();
    return;
  }
  const QString text = valueToolTip(channel.name, std::round(point.x()));
  if (!text.isEmpty()) QToolTip::showText(QCursor::pos(), text, channel.group->view);
}

void ArchiveChart::showMarkerTip(const QPointF& point, bool state) {
  if (!state) {
    QToolTip::hideText();
    return;
  }
  const QString text = markerToolTip(point.x());
  if (!text.isEmpty()) QToolTip::showText(QCursor::pos(), text, currentChartView());
}

// ---------------------------------------------------------------------------
// Tabs, axes and the picture

QStringList ArchiveChart::tabTitles() const {
  QStringList titles;
  for (int i = 0; i < tabs_->count(); ++i) titles << tabs_->tabText(i);
  return titles;
}

QString ArchiveChart::valueAxisTitle(const QString& seriesName) const {
  const Channel* c = channel(seriesName);
  return c ? c->group->y->titleText() : QString();
}

QString ArchiveChart::xAxisTitle() const {
  return groups_.empty() ? QString() : groups_.front()->x->titleText();
}

QChartView* ArchiveChart::currentChartView() const {
  const int index = tabs_->currentIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= groups_.size()) return nullptr;
  return groups_[static_cast<std::size_t>(index)]->view;
}

bool ArchiveChart::saveChartPng(const QString& path) const {
  QChartView* view = currentChartView();
  if (!view) return false;
  return view->grab().save(path, "PNG");
}

void ArchiveChart::savePngClicked() {
  QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить график"),
                                              QStringLiteral("archive-chart.png"),
                                              QStringLiteral("Рисунок PNG (*.png)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) path += QStringLiteral(".png");
  if (!saveChartPng(path)) {
    QMessageBox::critical(this, windowTitle(),
                          QStringLiteral("Не удалось записать файл %1").arg(path));
  }
}

}  // namespace vardis
