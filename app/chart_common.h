// What the pieces of the archive chart share: the records of a channel and of a
// tab (one unit), what a unit is called on the chart, the channel colours and
// the range view's date box. For app/archive_chart.cpp and app/chart_*.cpp only.
#pragma once

#include <QDateEdit>
#include <QPointF>
#include <QString>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/archive_chart.h"

class QColor;

namespace vardis {

struct ArchiveChart::Channel {
  QString name;
  std::string unit;
  // The values the meter gave, in runs split where a value had no good reply:
  // the line goes through each run and never across the gap between two.
  std::vector<std::vector<QPointF>> runs{1};
  bool allZero = true;
  // A series for each run, all alike; the first stands for the channel in the
  // legend and in its toggles, the others have no legend entry.
  QLineSeries* series = nullptr;
  std::vector<QLineSeries*> segments;
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
  QValueAxis* x = nullptr;  // a QCategoryAxis of dates in the range view
  QValueAxis* y = nullptr;
  QScatterSeries* abnormal = nullptr;
};

namespace chart_common {

inline QString q(const std::string& s) {
  return QString::fromStdString(s);
}

// What a unit of the archive data is called on the chart.
struct UnitText {
  const char* unit;
  const char* tab;   // the tab of the quantities in this unit
  const char* axis;  // the value axis title
  const char* shortText;
};

// nullptr for a unit the chart has no words for: its own name stands in.
const UnitText* unitText(const std::string& unit);

// Channel colours by the channel's place in its chart.
const QColor& channelColour(std::size_t index);

// A date box ("dd.MM.yyyy", calendar popup) that takes a date typed in one go,
// wherever the cursor is: "05112026", "05.11.2026", "5.11.26" or "051126"; a
// day and month alone ("0511", "5.11") keep the year. Digits typed into the
// month or the year alone ("03", "2025") change only that part. What is typed
// counts on Enter or when the box loses its focus; until then the date and
// its signals stay as they were. A text that is no date puts the date back.
class DateBox : public QDateEdit {
 public:
  explicit DateBox(const QDate& date, QWidget* parent = nullptr);
  void stepBy(int steps) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool takeTyping(QKeyEvent* event);
  void showTyped();
  void showText(const QString& text);
  // Sets the typed date, or puts the date's own text back; ends the typing.
  void finishTyping();
  QDate typedDate() const;

  QString typed_;
  Section typedSection_ = DaySection;
};

}  // namespace chart_common

}  // namespace vardis
