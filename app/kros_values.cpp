// The current-value pages: one tab a group of quantities, each shown by its
// value label under the caption it has before the first reading.
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <map>
#include <string_view>

#include "app/kros.h"
#include "values/current_values_read.h"

namespace {

// The captions the value labels show before the first reading: for a quantity,
// the start of what a reading shows (for a meter counting heat in GJ); for the
// clock, a sample date and time.
QString formCaption(const std::string& label) {
  static const std::map<std::string, const char*> captions{
      {"Label2", "G1,м3/час:"},
      {"Label3", "G2,м3/час:"},
      {"Label4", "G3,м3/час:"},
      {"Label5", "G4,м3/час:"},
      {"Label6", "T1,гр.C:"},
      {"Label7", "T2,гр.C:"},
      {"Label8", "T3,гр.C:"},
      {"Label9", "T4,гр.C:"},
      {"Label10", "P1,Мпа:"},
      {"Label11", "P2,Мпа:"},
      {"Label12", "P3,Мпа:"},
      {"Label13", "P4,Мпа:"},
      {"Label14", "П1,кг/м3:"},
      {"Label15", "П2,кг/м3:"},
      {"Label16", "П3,кг/м3:"},
      {"Label17", "П4,кг/м3:"},
      {"Label18", "Э1,кДж/кг:"},
      {"Label19", "Э2,кДж/кг:"},
      {"Label20", "Э3,кДж/кг:"},
      {"Label21", "Э4,кДж/кг:"},
      {"Label22", "m1,т/час:"},
      {"Label23", "m2,т/час:"},
      {"Label24", "m3,т/час:"},
      {"Label25", "m4,т/час:"},
      {"Label26", "M1,т:"},
      {"Label27", "M2,т:"},
      {"Label28", "M3,т:"},
      {"Label29", "M4,т:"},
      {"Label30", "W1,Гдж/час:"},
      {"Label31", "Q1,Гдж:"},
      {"Label32", "В1,час:"},
      {"Label33", "W2,Гдж/час:"},
      {"Label34", "Q2,Гдж:"},
      {"Label35", "В2,час:"},
      {"Label36", "НС1:"},
      {"Label37", "НС2:"},
      {"Label38", "НС3:"},
      {"Label39", "НС4:"},
      {"Label40", "Дата: 2007-12-31"},
      {"Label41", "Время:  12:34:56"},
      {"Label42", "Tс,ч:"},
  };
  const auto it = captions.find(label);
  return it == captions.end() ? QString::fromStdString(label) : QString::fromUtf8(it->second);
}

}  // namespace

void TForm1::clearMeterDisplay() {
  for (const auto& [number, label] : valueLabels) {
    label->setText(formCaption("Label" + std::to_string(number)));
  }
  session_.setOperationStatus("_");
  session_.setProgress(0);
}

int TForm1::valueLabelNumber(const std::string& quantity) {
  static const std::map<std::string, int> numbers = [] {
    std::map<std::string, int> m{{"W1", 30}, {"Q1", 31}, {"B1", 32}, {"W2", 33},
                                 {"Q2", 34}, {"B2", 35}, {"Tc", 42}};
    const std::pair<const char*, int> channels[] = {{"G", 2},  {"T", 6},  {"P", 10}, {"PL", 14},
                                                    {"E", 18}, {"m", 22}, {"M", 26}, {"HC", 36}};
    for (const auto& [family, first] : channels) {
      for (int n = 1; n <= 4; ++n) m[family + std::to_string(n)] = first + n - 1;
    }
    return m;
  }();
  const auto it = numbers.find(quantity);
  return it == numbers.end() ? 0 : it->second;
}

QWidget* TForm1::valuePage(const QString& tabCaption, const QString& groupCaption,
                           const std::vector<std::pair<int, QString>>& labels) {
  auto* page = new QWidget;
  page->setObjectName("TabSheet" + QString::number(PageControl2->count() + 1));
  auto* group = new QGroupBox(groupCaption, page);
  group->setObjectName("ValueGroup" + QString::number(PageControl2->count() + 1));
  auto* panel = new QFrame(group);
  panel->setObjectName("ValuePanel" + QString::number(PageControl2->count() + 1));
  // Lime on navy, the meter display's colours.
  panel->setStyleSheet(QStringLiteral("background-color: #000080; color: #00ff00;"));
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setBold(true);

  auto* rows = new QVBoxLayout(panel);
  rows->setContentsMargins(8, 4, 8, 4);
  rows->setSpacing(2);
  for (const auto& [number, caption] : labels) {
    const QByteArray name = "Label" + QByteArray::number(number);
    QLabel* l = makeLabel(name.constData(), caption, panel);
    l->setFont(mono);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    rows->addWidget(l);
    valueLabels[number] = l;
  }
  rows->addStretch(1);

  auto* inGroup = new QVBoxLayout(group);
  inGroup->setContentsMargins(4, 4, 4, 4);
  inGroup->addWidget(panel);
  auto* onPage = new QVBoxLayout(page);
  onPage->setContentsMargins(2, 2, 2, 2);
  onPage->addWidget(group);
  PageControl2->addTab(page, tabCaption);
  return page;
}

QWidget* TForm1::buildValuesGroup() {
  GroupBox2 = new QGroupBox(QStringLiteral("Текущие значения"));
  GroupBox2->setObjectName("GroupBox2");
  PageControl2 = new QTabWidget;
  PageControl2->setObjectName("PageControl2");
  PageControl2->setUsesScrollButtons(true);
  PageControl2->setElideMode(Qt::ElideNone);
  // Twelve short tabs side by side without scrolling.
  PageControl2->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 6px; }"));

  QWidget* clockPage = nullptr;
  for (const vardis::ValuePage& page : vardis::valuePages()) {
    std::vector<int> numbers;
    for (const std::string& quantity : page.quantities)
      numbers.push_back(valueLabelNumber(quantity));
    if (page.deviceClock) numbers = {kClockDateLabel, kClockTimeLabel};
    std::vector<std::pair<int, QString>> labels;
    for (const int number : numbers) {
      labels.emplace_back(number, formCaption("Label" + std::to_string(number)));
    }
    QWidget* w = valuePage(QString::fromUtf8(page.tab), QString::fromUtf8(page.group), labels);
    if (std::string_view(page.tab) == "D") clockPage = w;
  }
  Button6 = makeButton("Button6", QStringLiteral("Время ПК в прибор"), &TForm1::Button6Click);
  if (clockPage) {
    auto* clockRow = new QHBoxLayout;
    clockRow->addStretch(1);
    clockRow->addWidget(Button6);
    static_cast<QVBoxLayout*>(clockPage->layout())->addLayout(clockRow);
  }

  Button4 = makeButton("Button4", QStringLiteral("Считать значения"), &TForm1::Button4Click);
  auto* box = new QVBoxLayout(GroupBox2);
  box->setSpacing(4);
  box->addWidget(PageControl2, 1);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(Button4);
  box->addLayout(row);
  return GroupBox2;
}
