#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <map>
#include <string_view>

#include "app/archive_chart.h"
#include "app/kros.h"
#include "app/port_combo_box.h"
#include "link/modem.h"
#include "values/current_values_read.h"
#include "values/device_clock.h"

// The form's layout: every group and control under its own name and caption.
namespace {

// The status line is refreshed this often while the port is open.
constexpr int kStatusRefreshMs = 200;

// Minimum widths of the four status panels; the last one takes the rest of the line.
constexpr int kPanelWidths[4] = {90, 110, 90, 50};

// The captions the value labels show before the first reading.
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

// ---------------------------------------------------------------------------
// The form

QPushButton* TForm1::makeButton(const char* name, const QString& caption,
                                void (TForm1::*handler)()) {
  auto* b = new QPushButton(caption);
  b->setObjectName(name);
  b->setAutoDefault(false);
  connect(b, &QPushButton::clicked, this, handler);
  wanted_[b] = true;
  return b;
}

QLabel* TForm1::makeLabel(const char* name, const QString& caption, QWidget* parent) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(name);
  return l;
}

void TForm1::buildForm() {
  auto* central = new QWidget;
  central->setObjectName("ClientArea");
  setCentralWidget(central);

  auto* columns = new QHBoxLayout;
  columns->setSpacing(6);
  auto* left = new QVBoxLayout;
  left->addWidget(buildConnectionGroup());
  left->addWidget(buildGsmGroup(), 1);
  auto* right = new QVBoxLayout;
  right->addWidget(buildValuesGroup(), 1);
  right->addWidget(buildArchiveGroup());
  columns->addLayout(left, 0);
  columns->addLayout(right, 1);

  Button15 = makeButton("Button15", QStringLiteral("Записать параметры прибора в файл"),
                        &TForm1::Button15Click);

  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(6, 4, 6, 4);
  outer->setSpacing(4);
  outer->addLayout(columns, 1);
  outer->addWidget(Button15);

  // Hidden controls that carry state.
  Button2 = makeButton("Button2", QStringLiteral("Счит парам"), &TForm1::Button2Click);
  Button2->setParent(central);
  Button2->hide();
  Edit2 = new QLineEdit(central);
  Edit2->setObjectName("Edit2");
  Edit2->hide();
  Edit3 = new QLineEdit(central);
  Edit3->setObjectName("Edit3");
  Edit3->hide();

  buildStatusBar();
  buildDiagnostics();

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(kStatusRefreshMs);
  // Kept to its 200 ms beat, also when it is served between the exchange's waits.
  Timer1->setTimerType(Qt::PreciseTimer);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

  // The modem timers never interrupt a running command: they wait for its end.
  Timer2 = new QTimer(this);
  Timer2->setObjectName("Timer2");
  Timer2->setInterval(vardis::kDialWaitMs);
  Timer2->setSingleShot(true);
  connect(Timer2, &QTimer::timeout, this, [this] { whenIdle([this] { Timer2Timer(); }); });
  Timer3 = new QTimer(this);
  Timer3->setObjectName("Timer3");
  Timer3->setInterval(vardis::kHangUpWaitMs);
  Timer3->setSingleShot(true);
  connect(Timer3, &QTimer::timeout, this, [this] { whenIdle([this] { Timer3Timer(); }); });

  DiagnosticsAction = new QAction(QStringLiteral("Диагностика"), this);
  DiagnosticsAction->setObjectName("DiagnosticsAction");
  DiagnosticsAction->setShortcut(QKeySequence(Qt::Key_F12));
  DiagnosticsAction->setShortcutContext(Qt::ApplicationShortcut);
  connect(DiagnosticsAction, &QAction::triggered, this, &TForm1::showDiagnostics);
  ChartAction = new QAction(QStringLiteral("График архива"), this);
  ChartAction->setObjectName("ChartAction");
  ChartAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  ChartAction->setShortcutContext(Qt::ApplicationShortcut);
  connect(ChartAction, &QAction::triggered, this, &TForm1::showArchiveChart);
  QMenu* service = menuBar()->addMenu(QStringLiteral("Сервис"));
  service->addAction(DiagnosticsAction);
  service->addAction(ChartAction);
  addAction(DiagnosticsAction);
  addAction(ChartAction);
  // The chart belongs with the archive buttons: a right click on their group
  // offers it, and the group keeps its layout.
  GroupBox3->addAction(ChartAction);
  GroupBox3->setContextMenuPolicy(Qt::ActionsContextMenu);

  setWanted(Button14, false);
  setWanted(Button7, false);
  setWanted(Button8, false);
}

QWidget* TForm1::buildConnectionGroup() {
  GroupBox1 = new QGroupBox(QStringLiteral("Параметры связи"));
  GroupBox1->setObjectName("GroupBox1");

  ComboBox10 = new QComboBox;
  ComboBox10->setObjectName("ComboBox10");
  for (const char* text : vardis::kSpeedTexts) ComboBox10->addItem(QString::fromLatin1(text));
  ComboBox10->setCurrentIndex(vardis::kDefaultSpeedIndex);

  ComboBox11 = new QComboBox;
  ComboBox11->setObjectName("ComboBox11");
  ComboBox11->setEditable(true);
  ComboBox11->setInsertPolicy(QComboBox::NoInsert);
  for (int a = 0; a <= 255; ++a) ComboBox11->addItem(QString::number(a));
  ComboBox11->setCurrentIndex(0);

  ComboBox1 = new vardis::PortComboBox;
  ComboBox1->setObjectName("ComboBox1");

  Button13 = makeButton("Button13", QStringLiteral("Старт"), &TForm1::Button13Click);
  Button14 = makeButton("Button14", QStringLiteral("Стоп"), &TForm1::Button14Click);
  CheckBox2 = new QCheckBox(QStringLiteral("gsm"));
  CheckBox2->setObjectName("CheckBox2");
  CheckBox2->setChecked(false);

  ProgressBar1 = new QProgressBar;
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  auto* grid = new QGridLayout(GroupBox1);
  grid->setVerticalSpacing(4);
  grid->addWidget(makeLabel("LabelSpeed", QStringLiteral("Скорость обмена :")), 0, 0);
  grid->addWidget(ComboBox10, 0, 1);
  grid->addWidget(makeLabel("LabelAddress", QStringLiteral("Адрес прибора :")), 1, 0);
  grid->addWidget(ComboBox11, 1, 1);
  grid->addWidget(makeLabel("LabelPort", QStringLiteral("№ порта RS232:")), 2, 0);
  grid->addWidget(ComboBox1, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button13);
  buttons->addWidget(Button14);
  buttons->addWidget(CheckBox2);
  grid->addLayout(buttons, 3, 0, 1, 2);
  grid->addWidget(ProgressBar1, 4, 0, 1, 2);

  // The status texts behind the status line: kept, not shown.
  Label49 = makeLabel("Label49", QStringLiteral("Label49"), GroupBox1);
  Label50 = makeLabel("Label50", QStringLiteral("Label50"), GroupBox1);
  Label51 = makeLabel("Label51", QStringLiteral("Label51"), GroupBox1);
  Label52 = makeLabel("Label52", QStringLiteral("_"), GroupBox1);
  for (QLabel* l : {Label49, Label50, Label51, Label52}) l->hide();
  return GroupBox1;
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

QWidget* TForm1::buildArchiveGroup() {
  GroupBox3 = new QGroupBox(QStringLiteral("Архивы теплосчетчика : "));
  GroupBox3->setObjectName("GroupBox3");
  DateTimePicker1 = new QDateEdit;
  DateTimePicker1->setObjectName("DateTimePicker1");
  DateTimePicker1->setCalendarPopup(true);
  DateTimePicker1->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
  // Only the dates an archive request can name.
  DateTimePicker1->setDateRange(QDate(vardis::kFirstArchiveYear, 1, 1),
                                QDate(vardis::kLastClockYear, 12, 31));
  Button9 = makeButton("Button9", QStringLiteral("Часовые"), &TForm1::Button9Click);
  Button11 = makeButton("Button11", QStringLiteral("Суточные"), &TForm1::Button11Click);
  Button12 = makeButton("Button12", QStringLiteral("Месячные"), &TForm1::Button12Click);

  auto* grid = new QGridLayout(GroupBox3);
  grid->setVerticalSpacing(4);
  auto* dateRow = new QHBoxLayout;
  dateRow->addWidget(makeLabel("LabelDate", QStringLiteral("Выбор даты:")));
  dateRow->addWidget(DateTimePicker1);
  dateRow->addStretch(1);
  grid->addLayout(dateRow, 0, 0, 1, 3);
  grid->addWidget(Button9, 1, 0);
  grid->addWidget(Button11, 1, 1);
  grid->addWidget(Button12, 1, 2);
  return GroupBox3;
}

QWidget* TForm1::buildGsmGroup() {
  GroupBox4 = new QGroupBox(QStringLiteral("GSM связь (CSD):"));
  GroupBox4->setObjectName("GroupBox4");
  ComboBox3 = new QComboBox;
  ComboBox3->setObjectName("ComboBox3");
  ComboBox3->setEditable(true);
  ComboBox3->setInsertPolicy(QComboBox::NoInsert);
  ComboBox3->setEditText(QStringLiteral("Узел учета"));
  connect(ComboBox3, qOverload<int>(&QComboBox::activated), this, &TForm1::ComboBox3Change);
  connect(ComboBox3->lineEdit(), &QLineEdit::textEdited, this, &TForm1::ComboBox3Change);
  Edit1 = new QLineEdit(QStringLiteral("+79000000000"));
  Edit1->setObjectName("Edit1");
  Button7 = makeButton("Button7", QStringLiteral("Соединится"), &TForm1::Button7Click);
  Button8 = makeButton("Button8", QStringLiteral("Разорвать связь"), &TForm1::Button8Click);
  Label47 = makeLabel("Label47", QStringLiteral("Статус:"));

  auto* box = new QVBoxLayout(GroupBox4);
  box->setSpacing(4);
  box->addWidget(ComboBox3);
  box->addWidget(Edit1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button7);
  buttons->addWidget(Button8);
  box->addLayout(buttons);
  box->addWidget(Label47);
  box->addStretch(1);
  return GroupBox4;
}

void TForm1::buildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel(QStringLiteral("Статус") + QString::number(i + 1));
    panel->setObjectName("StatusBar1Panel" + QString::number(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setMinimumWidth(kPanelWidths[i]);
    panel->setContentsMargins(2, 0, 2, 0);
    bar->addWidget(panel, i == 3 ? 1 : 0);
    StatusBar1Panels.push_back(panel);
  }
}

void TForm1::buildDiagnostics() {
  diagnostics_ = new QWidget(this, Qt::Window);
  diagnostics_->setObjectName("DiagnosticsWindow");
  diagnostics_->setWindowTitle(QStringLiteral("Диагностика"));
  diagnostics_->resize(720, 520);

  Label1 = makeLabel("Label1", QStringLiteral("Label1"), diagnostics_);
  Memo1 = new QPlainTextEdit(diagnostics_);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Button1 = makeButton("Button1", QStringLiteral("Пусто"), &TForm1::Button1Click);
  Button3 = makeButton("Button3", QStringLiteral("view_read"), &TForm1::Button3Click);
  Button5 = makeButton("Button5", QStringLiteral("Button5"), &TForm1::Button5Click);
  Button10 = makeButton("Button10", QStringLiteral("Button10"), &TForm1::Button10Click);
  wanted_.erase(Button1);
  wanted_.erase(Button3);

  TraceView = new QPlainTextEdit(diagnostics_);
  TraceView->setObjectName("TraceView");
  TraceView->setReadOnly(true);
  TraceView->setLineWrapMode(QPlainTextEdit::NoWrap);
  TraceView->setMaximumBlockCount(5000);
  TraceView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* clearTrace = new QPushButton(QStringLiteral("Очистить"));
  clearTrace->setObjectName("TraceClear");
  connect(clearTrace, &QPushButton::clicked, TraceView, &QPlainTextEdit::clear);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Button1, Button3, Button5, Button10}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* traceHead = new QHBoxLayout;
  traceHead->addWidget(new QLabel(QStringLiteral("Обмен с прибором:")));
  traceHead->addStretch(1);
  traceHead->addWidget(clearTrace);

  auto* box = new QVBoxLayout(diagnostics_);
  box->addWidget(Label1);
  box->addWidget(Memo1, 1);
  box->addLayout(buttons);
  box->addLayout(traceHead);
  box->addWidget(TraceView, 2);
}
