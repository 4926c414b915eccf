// The form's layout: the connection, GSM and archive groups, the status line,
// the hidden controls and the timers. The value pages are in kros_values.cpp,
// the "Сервис" menu and the diagnostics window in kros_service.cpp.
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/kros.h"
#include "app/port_combo_box.h"
#include "link/modem.h"
#include "values/device_clock.h"

namespace {

// The status line is refreshed this often while the port is open.
constexpr int kStatusRefreshMs = 200;
constexpr int kModemAnswerPollMs = 100;

// Minimum widths of the four status panels; the last one takes the rest of the line.
constexpr int kPanelWidths[4] = {90, 110, 90, 50};

}  // namespace

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

  buildHiddenControls(central);
  buildStatusBar();
  buildDiagnostics();
  buildTimers();
  buildServiceMenu();

  setWanted(Button14, false);
  setWanted(Button7, false);
  setWanted(Button8, false);
}

// Hidden controls that carry state.
void TForm1::buildHiddenControls(QWidget* central) {
  Button2 = makeButton("Button2", QStringLiteral("Счит парам"), &TForm1::Button2Click);
  Button2->setParent(central);
  Button2->hide();
  Edit2 = new QLineEdit(central);
  Edit2->setObjectName("Edit2");
  Edit2->hide();
  Edit3 = new QLineEdit(central);
  Edit3->setObjectName("Edit3");
  Edit3->hide();
}

void TForm1::buildTimers() {
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
  // While the dial wait runs, the modem's answer is looked for every 100 ms.
  ModemAnswerTimer = new QTimer(this);
  ModemAnswerTimer->setObjectName("ModemAnswerTimer");
  ModemAnswerTimer->setInterval(kModemAnswerPollMs);
  connect(ModemAnswerTimer, &QTimer::timeout, this,
          [this] { whenIdle([this] { ModemAnswerTimerTimer(); }); });
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
