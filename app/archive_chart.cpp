#include "app/archive_chart.h"

#include <QCalendarWidget>
#include <QDate>
#include <QDateEdit>
#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <algorithm>
#include <cmath>

#include "app/chart_common.h"

namespace vardis {

namespace {

using chart_common::q;
using chart_common::UnitText;
using chart_common::unitText;

constexpr int kDefaultWidth = 940;
constexpr int kDefaultHeight = 620;

QString readingPeriodText(const ArchiveData& d) {
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

// The chart of one tab, still without axes and series: its title, bold and a
// little larger, and the legend on top.
QChart* newChart(const QString& title) {
  auto* chart = new QChart;
  chart->setTitle(title);
  QFont titleFont = chart->titleFont();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
  chart->setTitleFont(titleFont);
  chart->legend()->setAlignment(Qt::AlignTop);
  chart->setMargins(QMargins(6, 4, 6, 4));
  return chart;
}

}  // namespace

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
  box->addWidget(newRangeBar());
  box->addWidget(pages_, 1);
  box->addLayout(bottom);

  setData({});
}

ArchiveChart::~ArchiveChart() {
  // The date boxes outlive this part of the chart: one that loses the focus
  // while the window goes must not call back into it.
  for (QDateEdit* box : {rangeFrom_, rangeTo_}) {
    if (!box) continue;
    box->disconnect(this);
    box->calendarWidget()->disconnect(this);
  }
}

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
  // What the range view said was about its range.
  if (range_) setRangeMessage({});
  range_.reset();
  draw(data);
}

QString ArchiveChart::periodText() const {
  return range_ ? rangePeriodText() : readingPeriodText(data_);
}

void ArchiveChart::draw(const ArchiveData& data) {
  QToolTip::hideText();
  clear();
  data_ = data;
  const bool any = !data_.kind.empty() && !data_.records.empty();
  if (any) buildGroups();
  pages_->setCurrentWidget(any ? static_cast<QWidget*>(tabs_) : empty_);
  savePng_->setEnabled(any);
  setWindowTitle(any ? QStringLiteral("График архива — ") + periodText()
                     : QStringLiteral("График архива"));
  if (any) {
    abnormalSummary_->setText(abnormalSummaryText());
  } else {
    abnormalSummary_->clear();
  }
}

double ArchiveChart::xOf(const ArchiveRecord& record, std::size_t index) const {
  if (range_) return rangeX(record);
  bool ok = false;
  const int fromLabel = q(record.label).toInt(&ok);
  if (ok) return fromLabel;
  // Labels are numbers for every kind; the place in the list stands in otherwise.
  return data_.kind == "hourly" ? static_cast<double>(index) : static_cast<double>(index + 1);
}

void ArchiveChart::buildGroups() {
  collectAbnormalMarkers();
  collectChannels();
  for (auto& group : groups_) buildGroup(*group);
}

// The channels, grouped by unit in the order the records name them.
void ArchiveChart::collectChannels() {
  for (const Quantity& quantity : data_.records.front().quantities) {
    Group& group = groupOf(quantity);
    auto channel = std::make_unique<Channel>();
    channel->name = q(quantity.name);
    channel->unit = quantity.unit;
    channel->group = &group;
    for (std::size_t i = 0; i < data_.records.size(); ++i) {
      const ArchiveRecord& r = data_.records[i];
      const auto it = std::find_if(r.quantities.begin(), r.quantities.end(),
                                   [&](const Quantity& v) { return v.name == quantity.name; });
      if (!r.ended || it == r.quantities.end() || it->noReply) {
        // No reading (an interval not over when it was read, no value in the
        // record, or one without a good reply): a gap, and the next value
        // starts a new run.
        if (!channel->runs.back().empty()) channel->runs.emplace_back();
        continue;
      }
      const double value = it->value;
      const double x = xOf(r, i);
      // An hour or a day the data lacks is a gap as well.
      if (!channel->runs.back().empty() && x - channel->runs.back().back().x() > 1.5) {
        channel->runs.emplace_back();
      }
      channel->runs.back().emplace_back(x, value);
      if (value != 0) channel->allZero = false;
    }
    if (channel->runs.size() > 1 && channel->runs.back().empty()) channel->runs.pop_back();
    channels_[channel->name] = channel.get();
    group.channels.push_back(std::move(channel));
  }
}

// The group of the quantity's unit; a new one, titled by the unit, when the
// unit comes first.
ArchiveChart::Group& ArchiveChart::groupOf(const Quantity& quantity) {
  const auto g = std::find_if(groups_.begin(), groups_.end(),
                              [&](const auto& group) { return group->unit == quantity.unit; });
  if (g != groups_.end()) return **g;
  auto group = std::make_unique<Group>();
  group->unit = quantity.unit;
  const UnitText* text = unitText(quantity.unit);
  group->tab = text ? QString::fromUtf8(text->tab) : q(quantity.unit);
  group->axisTitle = text ? QString::fromUtf8(text->axis) : q(quantity.unit);
  groups_.push_back(std::move(group));
  return *groups_.back();
}

// The tab of one unit: its chart (axes, channel series, abnormal markers) over
// the row of check boxes.
void ArchiveChart::buildGroup(Group& group) {
  group.chart = newChart(group.tab + QStringLiteral(" — ") + periodText());
  addXAxis(group);
  addValueAxis(group);
  addChannelSeries(group);
  addAbnormalSeries(group);
  connectLegendToggles(group);

  group.view = new QChartView(group.chart);
  group.view->setRenderHint(QPainter::Antialiasing);
  group.view->setObjectName(QStringLiteral("chart_") + group.tab);
  QHBoxLayout* boxes = newSeriesToggles(group);

  group.page = new QWidget;
  auto* layout = new QVBoxLayout(group.page);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(group.view, 1);
  layout->addLayout(boxes);
  tabs_->addTab(group.page, group.tab);

  showNonZeroChannels(group);
  rescale(group);
}

const ArchiveChart::Channel* ArchiveChart::channel(const QString& name) const {
  const auto it = channels_.find(name);
  return it == channels_.end() ? nullptr : it->second;
}

const ArchiveRecord* ArchiveChart::recordAt(double x) const {
  for (std::size_t i = 0; i < data_.records.size(); ++i) {
    if (std::abs(xOf(data_.records[i], i) - x) < 0.5) return &data_.records[i];
  }
  return nullptr;
}

QString ArchiveChart::intervalText(double x) const {
  if (range_) return rangeIntervalText(x);
  const ArchiveRecord* r = recordAt(x);
  const QString label = r ? q(r->label) : QString::number(std::lround(x));
  if (data_.kind == "hourly") return label + QStringLiteral(" ч");
  return label + QStringLiteral(" число");
}

// ---------------------------------------------------------------------------
// Tabs and the picture

QStringList ArchiveChart::tabTitles() const {
  QStringList titles;
  for (int i = 0; i < tabs_->count(); ++i) titles << tabs_->tabText(i);
  return titles;
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
