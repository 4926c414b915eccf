// What a watch has read (WatchLog), the quantities it follows and how each is
// scaled, the window's table of the last values and the CSV of the whole watch.
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QPointer>
#include <QSaveFile>
#include <QTableWidget>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/kros.h"
#include "app/live_watch.h"
#include "values/current_values_read.h"
#include "values/value_session.h"

namespace vardis {

namespace {

// "2011-04-08 09:05:07".
std::string timeText(const LocalDateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// A number whose text shows no digit but zeros has no sign.
bool showsZero(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return c >= '1' && c <= '9'; });
}

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

constexpr int kNameColumn = 0;
constexpr int kUnitColumn = 1;
constexpr int kValueColumn = 2;
constexpr int kChangeColumn = 3;

}  // namespace

std::vector<WatchColumn> watchColumns(const ValueSession& s) {
  std::vector<WatchColumn> out;
  for (const CurrentQuantity& c : currentQuantities(s)) {
    // The label is the value label's: "G1,м3/час".
    const auto comma = c.label.find(',');
    out.push_back({c.quantity, c.label.substr(0, comma),
                   comma == std::string::npos ? std::string() : c.label.substr(comma + 1),
                   c.decimals});
  }
  return out;
}

std::vector<std::optional<double>> watchValues(const ValueSession& s) {
  std::vector<std::optional<double>> out;
  for (const CurrentQuantity& c : currentQuantities(s)) out.push_back(c.value);
  return out;
}

WatchLog::WatchLog(std::vector<WatchColumn> columns) : columns_(std::move(columns)) {}

int WatchLog::column(const std::string& key) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].key == key) return static_cast<int>(i);
  }
  return -1;
}

void WatchLog::add(Row row, std::vector<WatchColumn> columns) {
  row.values.resize(columns.size());
  columns_ = std::move(columns);
  rows_.push_back(std::move(row));
}

std::optional<double> WatchLog::last(std::size_t column) const {
  if (rows_.empty() || column >= rows_.back().values.size()) return std::nullopt;
  return rows_.back().values[column];
}

std::optional<double> WatchLog::change(std::size_t column) const {
  const std::optional<double> now = last(column);
  if (!now) return std::nullopt;
  for (const Row& row : rows_) {
    if (column < row.values.size() && row.values[column]) return *now - *row.values[column];
  }
  return std::nullopt;
}

std::string WatchLog::text(std::size_t column, std::optional<double> value,
                           NumberStyle style) const {
  if (!value || column >= columns_.size()) return {};
  return fixedRight(*value, 0, columns_[column].decimals, style);
}

std::string WatchLog::changeText(std::size_t column, NumberStyle style) const {
  std::string out = text(column, change(column), style);
  if (out.empty()) return out;
  if (showsZero(out)) return out.front() == '-' ? out.substr(1) : out;
  return out.front() == '-' ? out : "+" + out;
}

std::string WatchLog::csv(NumberStyle style) const {
  std::string out = "Время";
  for (const WatchColumn& c : columns_) {
    out += ';' + csvField(c.unit.empty() ? c.name : c.name + ", " + c.unit);
  }
  out += "\r\n";
  for (const Row& row : rows_) {
    out += timeText(row.time);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      out += ';' + csvField(i < row.values.size() ? text(i, row.values[i], style) : "");
    }
    out += "\r\n";
  }
  return out;
}

// ---------------------------------------------------------------------------
// The table: a row a quantity, ticked for the chart in its first column.

QWidget* LiveWatch::newTable() {
  table_ = new QTableWidget(static_cast<int>(log_.columns().size()), 4, this);
  table_->setObjectName("LiveWatchTable");
  table_->setHorizontalHeaderLabels({QStringLiteral("Величина"), QStringLiteral("Ед. изм."),
                                     QStringLiteral("Значение"),
                                     QStringLiteral("Изменение с начала")});
  table_->verticalHeader()->setVisible(false);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setToolTip(QStringLiteral("Отмеченные величины показаны на графике"));
  for (int r = 0; r < table_->rowCount(); ++r) {
    const WatchColumn& c = log_.columns()[static_cast<std::size_t>(r)];
    auto* name = new QTableWidgetItem(q(c.name));
    name->setData(Qt::UserRole, q(c.key));
    name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    name->setCheckState(c.key == "G1" || c.key == "T1" ? Qt::Checked : Qt::Unchecked);
    table_->setItem(r, kNameColumn, name);
    for (const int column : {kUnitColumn, kValueColumn, kChangeColumn}) {
      auto* item = new QTableWidgetItem;
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      if (column != kUnitColumn) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(r, column, item);
    }
  }
  fillTable();
  table_->resizeColumnsToContents();
  connect(table_, &QTableWidget::itemChanged, this, &LiveWatch::tickChanged);
  return table_;
}

// Before the first pass the values are empty; a value without a good reply is "—".
void LiveWatch::fillTable() {
  const NumberStyle style = form_.session().config().numbers;
  const bool read = !log_.rows().empty();
  const QString none = read ? QStringLiteral("—") : QString();
  for (int r = 0; r < table_->rowCount(); ++r) {
    const auto i = static_cast<std::size_t>(r);
    const std::string value = log_.text(i, log_.last(i), style);
    const std::string change = log_.changeText(i, style);
    table_->item(r, kUnitColumn)->setText(q(log_.columns()[i].unit));
    table_->item(r, kValueColumn)->setText(value.empty() ? none : q(value));
    table_->item(r, kChangeColumn)->setText(change.empty() ? none : q(change));
  }
}

void LiveWatch::tickChanged(QTableWidgetItem* item) {
  if (item->column() == kNameColumn) redrawChart();
}

QStringList LiveWatch::tickedKeys() const {
  QStringList keys;
  for (int r = 0; r < table_->rowCount(); ++r) {
    const QTableWidgetItem* item = table_->item(r, kNameColumn);
    if (item->checkState() == Qt::Checked) keys << item->data(Qt::UserRole).toString();
  }
  return keys;
}

void LiveWatch::setTicked(const QString& key, bool ticked) {
  const int r = log_.column(key.toStdString());
  if (r >= 0) table_->item(r, kNameColumn)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

// ---------------------------------------------------------------------------
// "Сохранить CSV"

QString LiveWatch::askCsvFile() {
  const LocalDateTime t = form_.session().clock().now();
  const QString name = QString::asprintf("watch_%04d_%02d_%02d_%02d_%02d.csv", t.year, t.month,
                                         t.day, t.hour, t.minute);
  const QString folder = QString::fromStdU16String(form_.session().config().dataDir.u16string());
  return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить наблюдение"),
                                      QDir(folder).filePath(name),
                                      QStringLiteral("CSV (*.csv);;Все файлы (*)"));
}

// The file dialog would hold a running pass up: saving waits for its end.
void LiveWatch::saveCsv() {
  if (form_.commandRunning()) {
    const QPointer<LiveWatch> self(this);
    form_.whenIdle([self] {
      if (self) self->saveCsv();
    });
    return;
  }
  if (log_.rows().empty()) {
    setStatus(QStringLiteral("Сохранять нечего: проходов ещё не было"));
    return;
  }
  const QString path = askCsvFile();
  if (path.isEmpty()) return;
  const QString shown = QDir::toNativeSeparators(path);
  // UTF-8 with its mark, so that spreadsheets read the Russian header; the
  // file is written whole or not at all.
  const QByteArray text =
      "\xEF\xBB\xBF" + QByteArray::fromStdString(log_.csv(form_.session().config().numbers));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    setStatus(QStringLiteral("Не удалось записать %1 (%2)").arg(shown, file.errorString()));
    return;
  }
  setStatus(QStringLiteral("Сохранено в %1: проходов %2").arg(shown).arg(log_.rows().size()));
}

}  // namespace vardis
