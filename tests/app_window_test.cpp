// The window on a scripted line: its controls and their captions, "Старт",
// "Стоп", the status line, and the rules for commands that run while others are
// asked for, through the window and on the command runner alone; the questions
// before a close during a command and before the clock is written.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "app/command_runner.h"
#include "app/kros.h"
#include "app/port_combo_box.h"
#include "connection/data_dir.h"
#include "link/meter_protocol.h"
#include "support/scripted_window.h"
#include "values/current_values_read.h"

using vardis::test::FakeLine;
using vardis::test::FakeMeter;
using vardis::test::TempDir;
using vardis::test::TestForm;
using vardis::test::VirtualClock;

namespace {

int countCalls(const std::vector<std::string>& calls, const std::string& call) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

QString u(const char* text) {
  return QString::fromUtf8(text);
}

// What a command runner asks of its window, as it asks it.
vardis::CommandRunner::Window recordingWindow(std::vector<std::string>& seen) {
  return {.busyChanged = [&seen] { seen.push_back("busy"); },
          .stop = [&seen] { seen.push_back("stop"); },
          .close = [&seen] { seen.push_back("close"); },
          .error = [&seen](const std::string& text) { seen.push_back("error: " + text); }};
}

// The text with each Latin letter as "L" and each Cyrillic one as "C".
QString scripts(const QString& text) {
  QString out;
  for (const QChar c : text) {
    if (c.isLetter() && c.unicode() < 0x80) {
      out += QLatin1Char('L');
    } else if (c.script() == QChar::Script_Cyrillic) {
      out += QLatin1Char('C');
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<vardis::test::ScriptedWindow> window_;
  VirtualClock* clock_ = nullptr;
  FakeLine* line_ = nullptr;
  TempDir* dir_ = nullptr;
  FakeMeter* meter_ = nullptr;
  TestForm* form_ = nullptr;

  template <typename T>
  T* control(const char* name) {
    T* w = form_->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }
  QPushButton* button(const char* name) { return control<QPushButton>(name); }
  void startWithGsm() {
    form_->CheckBox2->setChecked(true);
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
  }

 private slots:
  void init() {
    window_ = std::make_unique<vardis::test::ScriptedWindow>();
    clock_ = &window_->clock;
    line_ = &window_->line;
    dir_ = &window_->dir;
    meter_ = &window_->meter;
    form_ = window_->form.get();
  }

  void cleanup() { window_.reset(); }

  void windowCaptionSizeAndButtons() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    QCOMPARE(form_->windowTitle(), u("ВАРДИС АРХИВ V2.1 2011.04.08"));
    // The client area below the menu bar, status line included.
    const QSize client(663, 545);
    const QSize whole = client + QSize(0, form_->menuBar()->height());
    QCOMPARE(form_->centralWidget()->height() + form_->statusBar()->height(), 545);
    QCOMPARE(form_->size(), whole);
    QCOMPARE(form_->minimumSize(), whole);
    QCOMPARE(form_->maximumSize(), whole);
    const Qt::WindowFlags flags = form_->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowSystemMenuHint);
  }

  void initialStatusAndButtonStates() {
    form_->show();
    for (int i = 0; i < 4; ++i) QCOMPARE(form_->panelText(i), u("Статус") + QString::number(i + 1));
    QVERIFY(form_->Button13->isEnabled());
    QVERIFY(!form_->Button14->isEnabled());
    QVERIFY(!form_->Button7->isEnabled());
    QVERIFY(!form_->Button8->isEnabled());
    QVERIFY(!form_->Timer1->isActive());
    QCOMPARE(form_->Timer1->interval(), 200);
    QCOMPARE(form_->Timer2->interval(), 35000);
    QCOMPARE(form_->Timer3->interval(), 5000);
    QVERIFY(!form_->Timer2->isActive());
    QVERIFY(!form_->Timer3->isActive());
    QVERIFY(!form_->CheckBox2->isChecked());
    QCOMPARE(form_->ProgressBar1->minimum(), 0);
    QCOMPARE(form_->ProgressBar1->maximum(), 100);
    QCOMPARE(form_->Label52->text(), u("_"));
    // Window creation opened port 1 at 9600 baud and did nothing else on the line.
    QCOMPARE(line_->calls, std::vector<std::string>{"Open_Com(1,9600,8,0,0)"});
    QVERIFY(line_->sent.empty());
    QCOMPARE(form_->session().link.ExpectedReplyLength, std::uint16_t{11});
    QCOMPARE(form_->session().link.ReceiveTimeWord, std::uint16_t{200});
    // The date picker shows the PC's date.
    QCOMPARE(form_->DateTimePicker1->date(), QDate(2011, 4, 8));
    QVERIFY(form_->DateTimePicker1->calendarPopup());
  }

  void everyNamedControlExists() {
    const std::vector<std::pair<const char*, const char*>> controls{
        {"ComboBox10", "QComboBox"},
        {"ComboBox11", "QComboBox"},
        {"ComboBox1", "QComboBox"},
        {"Button13", "QPushButton"},
        {"Button14", "QPushButton"},
        {"CheckBox2", "QCheckBox"},
        {"ProgressBar1", "QProgressBar"},
        {"Label49", "QLabel"},
        {"Label50", "QLabel"},
        {"Label51", "QLabel"},
        {"Label52", "QLabel"},
        {"PageControl2", "QTabWidget"},
        {"Button4", "QPushButton"},
        {"Button6", "QPushButton"},
        {"DateTimePicker1", "QDateEdit"},
        {"Button9", "QPushButton"},
        {"Button11", "QPushButton"},
        {"Button12", "QPushButton"},
        {"ComboBox3", "QComboBox"},
        {"Edit1", "QLineEdit"},
        {"Button7", "QPushButton"},
        {"Button8", "QPushButton"},
        {"Label47", "QLabel"},
        {"Button15", "QPushButton"},
        {"StatusBar1", "QStatusBar"},
        {"Button2", "QPushButton"},
        {"Edit2", "QLineEdit"},
        {"Edit3", "QLineEdit"},
        {"Label1", "QLabel"},
        {"Memo1", "QPlainTextEdit"},
        {"Button1", "QPushButton"},
        {"Button3", "QPushButton"},
        {"Button5", "QPushButton"},
        {"Button10", "QPushButton"},
        {"Timer1", "QTimer"},
        {"Timer2", "QTimer"},
        {"Timer3", "QTimer"},
    };
    for (const auto& [name, type] : controls) {
      QObject* o = form_->findChild<QObject*>(QString::fromLatin1(name));
      QVERIFY2(o, name);
      QVERIFY2(o->inherits(type), name);
    }
    for (int n = 2; n <= 42; ++n) {
      const QString name = QStringLiteral("Label%1").arg(n);
      QVERIFY2(form_->findChild<QLabel*>(name), qPrintable(name));
    }
  }

  // The texts the README and docs/window.md tell users to look for. The archive
  // buttons' names are checked with what they read (archiveButtonsUseThePickedDate).
  void textsTheDocsName() {
    QCOMPARE(form_->Button13->text(), u("Старт"));
    QCOMPARE(form_->Button14->text(), u("Стоп"));
    QCOMPARE(form_->CheckBox2->text(), u("gsm"));
    QCOMPARE(form_->Button4->text(), u("Считать значения"));
    QCOMPARE(form_->Button15->text(), u("Записать параметры прибора в файл"));
    QCOMPARE(form_->Button7->text(), u("Соединится"));
    // The title of the call status until the first call.
    QCOMPARE(form_->Label47->text(), u("Статус:"));
    const QList<QAction*> menus = form_->menuBar()->actions();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus[0]->text(), u("Сервис"));
    const QList<QAction*> items = menus[0]->menu()->actions();
    QCOMPARE(items.mid(0, 7), (QList<QAction*>{form_->DiagnosticsAction, form_->ChartAction,
                                               form_->StoreLocationAction, form_->StoreAction,
                                               form_->QuickDrainAction, form_->WatchAction,
                                               form_->ReportFolderAction}));
    QCOMPARE(items.size(), 9);
    QVERIFY(items.at(7)->isSeparator());
    QCOMPARE(items.at(8)->objectName(), u("AboutAction"));
    QCOMPARE(form_->DiagnosticsAction->text(), u("Диагностика"));
    QCOMPARE(form_->ChartAction->text(), u("График архива"));
  }

  void everyButtonHasACaption() {
    int buttons = 0;
    for (QAbstractButton* b : form_->findChildren<QAbstractButton*>()) {
      // The tab bar's scroll arrows are drawn, not captioned.
      if (!qobject_cast<QPushButton*>(b) && !qobject_cast<QCheckBox*>(b)) continue;
      QVERIFY2(!b->text().trimmed().isEmpty(), qPrintable(b->objectName()));
      ++buttons;
    }
    QVERIFY(buttons >= 16);
  }

  // The four groups, in the order the eye meets them: the left column top to
  // bottom, then the right one.
  void groupTitlesAsTheFormLaysThemOut() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    QList<QGroupBox*> groups =
        form_->centralWidget()->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    std::sort(groups.begin(), groups.end(), [](const QGroupBox* a, const QGroupBox* b) {
      return std::pair(a->x(), a->y()) < std::pair(b->x(), b->y());
    });
    QStringList titles;
    for (const QGroupBox* g : groups) titles << g->title();
    QCOMPARE(titles, QStringList({u("Параметры связи"), u("GSM связь (CSD):"),
                                  u("Текущие значения"), u("Архивы теплосчетчика : ")}));
    QCOMPARE(groups, (QList<QGroupBox*>{form_->GroupBox1, form_->GroupBox4, form_->GroupBox2,
                                        form_->GroupBox3}));
    QVERIFY(groups[0]->x() == groups[1]->x() && groups[2]->x() == groups[3]->x());
  }

  // Each field's label ends with a colon and stands on the field's line, left of it.
  void fieldLabelsStandBesideTheirFields() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    const std::pair<const char*, QWidget*> fields[] = {{"LabelSpeed", form_->ComboBox10},
                                                       {"LabelAddress", form_->ComboBox11},
                                                       {"LabelPort", form_->ComboBox1},
                                                       {"LabelDate", form_->DateTimePicker1}};
    for (const auto& [name, field] : fields) {
      const QLabel* label = control<QLabel>(name);
      QVERIFY2(label->text().endsWith(u(":")), name);
      const QRect l(label->mapTo(form_, QPoint(0, 0)), label->size());
      const QRect f(field->mapTo(form_, QPoint(0, 0)), field->size());
      QVERIFY2(l.right() < f.left(), name);
      QVERIFY2(f.top() <= l.center().y() && l.center().y() <= f.bottom(), name);
    }
  }

  // The tab pages are the core's value pages, each holding the labels of its
  // quantities; the clock page holds the clock labels and "Время ПК в прибор".
  void valuePagesAreTheCoresPages() {
    const std::vector<vardis::ValuePage>& pages = vardis::valuePages();
    QTabWidget* tabs = form_->PageControl2;
    QCOMPARE(tabs->count(), static_cast<int>(pages.size()));
    std::set<int> onPages;
    for (int i = 0; i < tabs->count(); ++i) {
      const vardis::ValuePage& page = pages[static_cast<std::size_t>(i)];
      QCOMPARE(tabs->tabText(i), u(page.tab));
      QWidget* sheet = tabs->widget(i);
      QCOMPARE(sheet->findChild<QGroupBox*>()->title(), u(page.group));
      std::vector<int> numbers;
      for (const std::string& quantity : page.quantities) {
        numbers.push_back(TForm1::valueLabelNumber(quantity));
      }
      if (page.deviceClock) {
        numbers = {TForm1::kClockDateLabel, TForm1::kClockTimeLabel};
        QVERIFY(sheet->isAncestorOf(form_->Button6));
      }
      QVERIFY2(!numbers.empty(), page.tab);
      for (const int n : numbers) {
        const QString name = QStringLiteral("Label%1").arg(n);
        QVERIFY2(n > 0 && onPages.insert(n).second, qPrintable(name));
        QLabel* label = form_->valueLabels.at(n);
        QCOMPARE(label->objectName(), name);
        QVERIFY2(sheet->isAncestorOf(label), qPrintable(name + " on " + page.tab));
      }
    }
    QCOMPARE(onPages.size(), form_->valueLabels.size());
  }

  // Before a reading a value label shows the name and unit of its quantity;
  // a reading adds the value after them. The captions before the reading are
  // those of a meter counting heat in GJ, as the test meter does.
  void valueCaptionsBeforeAReadingStartTheReadingsCaptions() {
    std::map<int, QString> before;
    for (const auto& [number, label] : form_->valueLabels) before[number] = label->text();
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    meter_->floats[0] = 12.5f;
    QTest::mouseClick(form_->Button4, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));

    const vardis::ShownState& shown = form_->session().shown();
    std::set<int> checked;
    for (const auto& [quantity, caption] : vardis::currentValueCaptions(form_->session())) {
      const int n = TForm1::valueLabelNumber(quantity);
      QVERIFY2(form_->valueLabels.count(n), quantity.c_str());
      const QString after = form_->valueLabels.at(n)->text();
      QCOMPARE(after, QString::fromStdString(caption));
      QCOMPARE(after, QString::fromStdString(shown.valueCaption(quantity)));
      const QString& first = before.at(n);
      QVERIFY2(first.endsWith(u(":")), qPrintable(first));
      QVERIFY2(after.startsWith(first), qPrintable(QString::fromStdString(quantity) + ": '" +
                                                   first + "' does not start '" + after + "'"));
      checked.insert(n);
    }
    // The clock labels keep their names: a sample date and time before the first reading.
    for (const int n : {TForm1::kClockDateLabel, TForm1::kClockTimeLabel}) {
      const QString name = before.at(n).section(':', 0, 0) + ':';
      QVERIFY2(name.size() > 1, qPrintable(before.at(n)));
      QVERIFY2(form_->valueLabels.at(n)->text().startsWith(name), qPrintable(name));
      QVERIFY(before.at(n) != form_->valueLabels.at(n)->text());
      checked.insert(n);
    }
    QCOMPARE(checked.size(), form_->valueLabels.size());
  }

  // Where the quantity's key is Latin but the meter's name for it is Cyrillic,
  // or mixes the two, the caption has the letters of the meter's name: the
  // reports print the same (the daily report's "В1 , час" in code page 1251),
  // and on screen a slip into the other alphabet would not show.
  void lookAlikeLettersAreTheIntendedScript() {
    const auto caption = [this](const char* quantity) {
      return form_->valueLabels.at(TForm1::valueLabelNumber(quantity))->text();
    };
    QCOMPARE(scripts(caption("B1")), u("C1,CCC:"));  // Cyrillic В
    QCOMPARE(scripts(caption("B2")), u("C2,CCC:"));
    QCOMPARE(scripts(caption("Tc")), u("LC,C:"));  // Latin T, Cyrillic с
    for (const char* quantity : {"HC1", "HC2", "HC3", "HC4"}) {
      QVERIFY2(scripts(caption(quantity)).startsWith(u("CC")), quantity);  // Cyrillic НС
    }
    for (const char* quantity : {"G1", "T1", "P1", "m1", "M1", "W1", "Q1"}) {
      QVERIFY2(scripts(caption(quantity)).startsWith(u("L1,C")), quantity);  // as the key
    }
  }

  void connectionControls() {
    QComboBox* speed = form_->ComboBox10;
    QCOMPARE(speed->count(), 9);
    const char* speeds[] = {"600,N,8,1",   "1200,N,8,1",  "2400,N,8,1",
                            "4800,N,8,1",  "9600,N,8,1",  "19200,N,8,1",
                            "38400,N,8,1", "57600,N,8,1", "115200,N,8,1"};
    for (int i = 0; i < 9; ++i) QCOMPARE(speed->itemText(i), QString::fromLatin1(speeds[i]));
    QCOMPARE(speed->currentIndex(), 8);

    QComboBox* address = form_->ComboBox11;
    QVERIFY(address->isEditable());
    QCOMPARE(address->count(), 256);
    QCOMPARE(address->itemText(0), u("0"));
    QCOMPARE(address->itemText(255), u("255"));
    QCOMPARE(address->currentText(), u("0"));

    vardis::PortComboBox* port = form_->ComboBox1;
    QVERIFY(port->isEditable());
    QVERIFY(port->count() >= 9);
    for (int n = 1; n <= 9; ++n) QCOMPARE(port->itemText(n - 1), QString::number(n));
    QCOMPARE(port->currentText(), u("1"));
    const QStringList devices = vardis::PortComboBox::devicePorts();
    QCOMPARE(port->count(), 9 + devices.size());
    // Opening the list reads the devices again and keeps what was typed.
    port->setEditText(u("/dev/does-not-exist"));
    port->refreshPorts();
    QCOMPARE(port->currentText(), u("/dev/does-not-exist"));
    QCOMPARE(port->count(), 9 + vardis::PortComboBox::devicePorts().size());
    port->setEditText(u("3"));
    port->refreshPorts();
    QCOMPARE(port->currentIndex(), 2);

    QVERIFY(form_->ComboBox3->isEditable());
    QCOMPARE(form_->ComboBox3->currentText(), u("Узел учета"));
    QCOMPARE(form_->Edit1->text(), u("+79000000000"));
  }

  void hiddenControlsStayHidden() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    for (const char* name :
         {"Label49", "Label50", "Label51", "Label52", "Button2", "Edit2", "Edit3"}) {
      QVERIFY2(!control<QWidget>(name)->isVisible(), name);
    }
    // The diagnostics window opens from its menu entry (F12).
    QVERIFY(!form_->diagnosticsWindow()->isVisible());
    QCOMPARE(form_->DiagnosticsAction->shortcut(), QKeySequence(Qt::Key_F12));
    const QSize before = form_->size();
    form_->DiagnosticsAction->trigger();
    QVERIFY(form_->diagnosticsWindow()->isVisible());
    for (const char* name : {"Label1", "Memo1", "Button1", "Button3", "Button5", "Button10"}) {
      QVERIFY2(form_->diagnosticsWindow()->isAncestorOf(control<QWidget>(name)), name);
    }
    // The main window keeps its size.
    QCOMPARE(form_->size(), before);
  }

  // Every shown control gets at least the room its text needs, on every tab page,
  // also with the longest texts the readings and the status line produce.
  void nothingClipped_data() {
    QTest::addColumn<bool>("longTexts");
    QTest::newRow("form captions") << false;
    QTest::newRow("long readings") << true;
  }
  void nothingClipped() {
    QFETCH(bool, longTexts);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    if (longTexts) {
      const auto set = [this](int n, const char* text) {
        form_->valueLabels.at(n)->setText(u(text));
      };
      for (int n = 36; n <= 39; ++n) set(n, "НС3: T3<  T3>  P3<  P3>  G3<  G3>  G3o  ");
      set(2, "G1,м3/час: 12345.6789");
      set(14, "П1,кг/м3: 12345.6");
      set(18, "Э1,кДж/кг: 123.456");
      set(26, "M1,т:  1234567.890");
      set(30, "W1,Гкал/час: 123.4567");
      set(31, "Q1,Гкал: 12345678.901");
      set(32, "В1,час:   1684.3009");
      set(42, "Tс,ч:   1684.3009");
      set(40, "Дата:  2000.16.84 ");
      set(41, "Время:  30:09:01");
      form_->StatusBar1Panels[0]->setText(u("№ запроса=123456"));
      form_->StatusBar1Panels[1]->setText(u("Кол.таймаутов=12345"));
      form_->StatusBar1Panels[2]->setText(u("Кол.ошибок=123456"));
      form_->StatusBar1Panels[3]->setText(u("Считывание часовых архивов"));
      form_->Label47->setText(u("Считывание параметров"));
    }
    QTabBar* tabs = form_->PageControl2->tabBar();
    for (int page = 0; page < form_->PageControl2->count(); ++page) {
      form_->PageControl2->setCurrentIndex(page);
      QVERIFY(tabs->rect().contains(tabs->tabRect(page)));
      QApplication::processEvents();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
      const QRect client = form_->rect();
      for (QWidget* w : form_->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != form_) continue;
        // The edit field inside a combo box or a date box is the box's own business.
        if (qobject_cast<QComboBox*>(w->parentWidget()) ||
            qobject_cast<QAbstractSpinBox*>(w->parentWidget())) {
          continue;
        }
        const bool text = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                          qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
                          qobject_cast<QDateEdit*>(w) || qobject_cast<QGroupBox*>(w);
        if (!text) continue;
        const QString what = QString::fromLatin1(w->metaObject()->className()) + " " +
                             w->objectName() + " on page " + QString::number(page);
        const QRect at(w->mapTo(form_, QPoint(0, 0)), w->size());
        QVERIFY2(client.contains(at), qPrintable(what + " lies outside the window"));
        QSize need = w->minimumSizeHint();
        if (qobject_cast<QLabel*>(w)) need = w->sizeHint();
        QVERIFY2(w->width() >= need.width() && w->height() >= need.height(),
                 qPrintable(what + QStringLiteral(": %1x%2 < %3x%4")
                                       .arg(w->width())
                                       .arg(w->height())
                                       .arg(need.width())
                                       .arg(need.height())));
      }
    }
  }

  void startWithGsmOpensThePortAndReadsNothing() {
    form_->show();
    line_->calls.clear();
    startWithGsm();
    QVERIFY(form_->errors.isEmpty());
    QVERIFY(form_->Timer1->isActive());
    QVERIFY(!form_->Button13->isEnabled());
    QVERIFY(form_->Button14->isEnabled());
    QVERIFY(form_->Button7->isEnabled());
    QVERIFY(!form_->Button8->isEnabled());
    QCOMPARE(line_->calls, (std::vector<std::string>{"Close_Com(1)", "Close_Com(1)", "Close_Com(1)",
                                                     "Open_Com(1,115200,8,0,0)"}));
    QVERIFY(line_->sent.empty());
    QVERIFY(form_->Memo1->toPlainText().split('\n').contains(u("speed=8")));
    // The 200 ms refresh shows the counters.
    QTRY_COMPARE(form_->panelText(0), u("№ запроса=0"));
    QCOMPARE(form_->panelText(1), u("Кол.таймаутов=0"));
    QCOMPARE(form_->panelText(2), u("Кол.ошибок=0"));
    QCOMPARE(form_->panelText(3), u("_"));
    QCOMPARE(form_->Label49->text(), u("№ запроса=0"));
    QCOMPARE(form_->Label52->text(), u("_"));
  }

  void startUsesTheChosenPortSpeedAndAddress() {
    form_->setConnectionChoice(u("4"), 4, u("7"));
    startWithGsm();
    QCOMPARE(line_->calls.back(), std::string("Open_Com(4,9600,8,0,0)"));
    QCOMPARE(form_->session().link.addr.meterAddress, std::uint8_t{7});
    QCOMPARE(form_->session().link.port, std::string("4"));
  }

  void startOnADirectLineIdentifiesTheMeter() {
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QCOMPARE(meter_->requests.size(), std::size_t{8});
    QTRY_COMPARE(form_->panelText(0), u("№ запроса=8"));
    QCOMPARE(form_->panelText(1), u("Кол.таймаутов=0"));
    QCOMPARE(form_->panelText(2), u("Кол.ошибок=0"));
    QCOMPARE(form_->panelText(3), u("Параметры записаны"));
    QCOMPARE(form_->ProgressBar1->value(), 100);
    QCOMPARE(form_->Edit3->text(), u("2011_04_08_09_05"));
    QCOMPARE(form_->Edit2->text(), u("12345D2011_04_08_09_05"));
    QCOMPARE(form_->Label1->text(), u("n=0"));
    QCOMPARE(form_->Label47->text(), u("Считывание параметров"));
    // The end of the identification makes the hang-up usable.
    QVERIFY(form_->Button8->isEnabled());
    QVERIFY(std::filesystem::exists(vardis::reportDir(dir_->path()) /
                                    "12345D2011_04_08_09_05_par.txt"));
  }

  void readCurrentValuesShowsThemOnThePages() {
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    meter_->floats[0] = 12.5f;
    meter_->counters[5] = 12345;
    meter_->clock = 1104080905;
    meter_->seconds = 7;
    QTest::mouseClick(form_->Button4, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QCOMPARE(form_->Label52->text(), u("Параметры считаны"));
    QVERIFY(form_->valueLabels.at(2)->text().startsWith(u("G1,м3/час: ")));
    QVERIFY(form_->valueLabels.at(2)->text().contains(u("12.5")));
    QCOMPARE(form_->valueLabels.at(32)->text(), u("В1,час:      1.2345"));
    QCOMPARE(form_->valueLabels.at(40)->text(), u("Дата:  2011.04.08 "));
    QCOMPARE(form_->valueLabels.at(41)->text(), u("Время:  09:05:07"));
    QCOMPARE(form_->ProgressBar1->value(), 100);
  }

  // The archive buttons read the date of the picker as it stands when clicked.
  void archiveButtonsUseThePickedDate_data() {
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("reportSuffix");
    QTest::addColumn<int>("recordKind");
    QTest::addColumn<quint32>("firstDateCode");
    QTest::newRow("Часовые") << "Button9" << u("Считывание часовых архивов") << "_chas.txt" << 0
                             << quint32{1104070000};
    QTest::newRow("Суточные") << "Button11" << u("Считывание суточных архивов") << "_sut.txt" << 1
                              << quint32{1104012300};
    QTest::newRow("Месячные") << "Button12" << u("Считывание месячных архивов") << "_mes.txt" << 2
                              << quint32{0};
  }
  void archiveButtonsUseThePickedDate() {
    QFETCH(QString, buttonName);
    QFETCH(QString, status);
    QFETCH(QString, reportSuffix);
    QFETCH(int, recordKind);
    QFETCH(quint32, firstDateCode);
    // Users know the button by the name of the row (docs/window.md names all three).
    QPushButton* archiveButton = form_->findChild<QPushButton*>(buttonName);
    QCOMPARE(archiveButton->text(), QString::fromUtf8(QTest::currentDataTag()));
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    QVERIFY(form_->session().reports.ReportFilesOpen);
    form_->DateTimePicker1->setDate(QDate(2011, 4, 7));
    meter_->requests.clear();
    QStringList statuses;
    QTimer::singleShot(0, form_, [&] { statuses << form_->Label52->text(); });
    QTest::mouseClick(archiveButton, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QCOMPARE(statuses, QStringList{status});
    QCOMPARE(form_->Label52->text(), u("Архивы записаны"));
    QCOMPARE(form_->ProgressBar1->value(), 100);
    bool kindSeen = false;
    for (const vardis::Frame& r : meter_->requests) {
      if ((r[2] == 11 || r[2] == 12) && r[4] == recordKind) {
        kindSeen = true;
        if (firstDateCode != 0) QCOMPARE(vardis::getU32(&r[5]), std::uint32_t{firstDateCode});
        break;
      }
    }
    QVERIFY(kindSeen);
    const auto report =
        vardis::reportDir(dir_->path()) / ("12345D2011_04_08_09_05" + reportSuffix.toStdString());
    form_->Button14Click();
    QVERIFY(std::filesystem::file_size(report) > 0);
  }

  void parameterReportButtonWritesTheReport() {
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    meter_->requests.clear();
    QTest::mouseClick(form_->Button15, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QVERIFY(meter_->requests.size() >= 123);
    QCOMPARE(form_->Label52->text(), u("Параметры записаны"));
    form_->Button14Click();
    QVERIFY(std::filesystem::file_size(vardis::reportDir(dir_->path()) /
                                       "12345D2011_04_08_09_05_par.txt") > 0);
  }

  // The node list comes from the node file; choosing a node puts its dial text
  // into the dial box, typing a name empties it.
  void nodeDirectoryFillsTheNodeList() {
    {
      std::ofstream ini(vardis::nodeFile(dir_->path()), std::ios::binary);
      ini << "[baza]\r\nkol_uzlov=2\r\ntel_1=ATD+79001234567\r\nname_u1=Node one\r\n"
             "name_u2=Node two\r\n";
    }
    vardis::SessionConfig config;
    config.dataDir = dir_->path();
    TestForm form(*line_, *clock_, config);
    QCOMPARE(form.ComboBox3->count(), 2);
    QCOMPARE(form.ComboBox3->itemText(0), u("Node one"));
    QCOMPARE(form.ComboBox3->itemText(1), u("Node two"));
    QCOMPARE(form.ComboBox3->currentText(), u("Узел учета"));
    QCOMPARE(form.Edit1->text(), u("+79000000000"));
    form.ComboBox3->setCurrentIndex(0);
    emit form.ComboBox3->activated(0);
    QCOMPARE(form.Edit1->text(), u("ATD+79001234567"));
    form.ComboBox3->setCurrentIndex(1);
    emit form.ComboBox3->activated(1);
    QCOMPARE(form.Edit1->text(), QString());
    form.ComboBox3->setCurrentIndex(0);
    emit form.ComboBox3->activated(0);
    QTest::keyClick(form.ComboBox3->lineEdit(), Qt::Key_X);
    QCOMPARE(form.Edit1->text(), QString());
  }

  void noNodeFileLeavesTheListEmpty() {
    QCOMPARE(form_->ComboBox3->count(), 0);
    QCOMPARE(form_->ComboBox3->currentText(), u("Узел учета"));
  }

  // "Соединится", the dial wait, "Разорвать связь" and the hang-up wait.
  void dialIdentifyAndHangUp() {
    startWithGsm();
    line_->sent.clear();
    form_->Edit1->setText(u("ATD+7900123456789"));
    QTest::mouseClick(form_->Button7, Qt::LeftButton);
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QCOMPARE(line_->sent.size(), std::size_t{1});
    const std::string dial(line_->sent[0].begin(), line_->sent[0].end());
    QCOMPARE(dial, std::string("ATD+79001234567\r"));
    QCOMPARE(form_->Label47->text(), u("Соединение ~30c"));
    QVERIFY(form_->Timer2->isActive());
    QCOMPARE(form_->Timer2->interval(), 35000);
    QVERIFY(meter_->requests.empty());
    QVERIFY(!form_->Button8->isEnabled());

    // The wait is cut short here; the identification follows it.
    form_->Timer2->start(0);
    QTRY_VERIFY(form_->Button8->isEnabled());
    QVERIFY(!form_->Timer2->isActive());
    QCOMPARE(meter_->requests.size(), std::size_t{8});
    QCOMPARE(form_->Label52->text(), u("Параметры записаны"));
    QCOMPARE(form_->Label47->text(), u("Считывание параметров"));
    QVERIFY(form_->Button7->isEnabled());

    line_->sent.clear();
    QTest::mouseClick(form_->Button8, Qt::LeftButton);
    QCOMPARE(line_->sent.size(), std::size_t{1});
    QCOMPARE(std::string(line_->sent[0].begin(), line_->sent[0].end()), std::string("+++"));
    QCOMPARE(form_->Label47->text(), u("Разрыв  ~5c "));
    QVERIFY(form_->Timer3->isActive());
    QCOMPARE(form_->Timer3->interval(), 5000);
    form_->Timer3->start(0);
    QTRY_COMPARE(form_->Label47->text(), u("Завершено"));
    QCOMPARE(line_->sent.size(), std::size_t{2});
    QCOMPARE(std::string(line_->sent[1].begin(), line_->sent[1].end()), std::string("ATH\r"));
    QVERIFY(!form_->Timer3->isActive());
  }

  void badPortTextShowsTheRuntimeMessage() {
    form_->show();
    line_->calls.clear();
    form_->ComboBox1->setEditText(u("abc"));
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    QCOMPARE(form_->errors, QStringList{u("'abc' is not a valid integer value")});
    QVERIFY(form_->Button13->isEnabled());
    QVERIFY(!form_->Button14->isEnabled());
    QVERIFY(!form_->Timer1->isActive());
    QVERIFY(line_->calls.empty());
  }

  void badAddressTextShowsTheRuntimeMessage() {
    line_->calls.clear();
    form_->ComboBox11->setEditText(u("x1"));
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    QCOMPARE(form_->errors, QStringList{u("'x1' is not a valid integer value")});
    QVERIFY(form_->Button13->isEnabled());
    QVERIFY(!form_->Button14->isEnabled());
    QVERIFY(line_->calls.empty());
  }

  void stopTwiceClosesOnce() {
    form_->show();
    QTest::mouseClick(form_->Button13, Qt::LeftButton);  // identifies: report files open
    QVERIFY(form_->session().reports.ReportFilesOpen);
    QTRY_COMPARE(form_->panelText(3), u("Параметры записаны"));
    line_->calls.clear();
    QTest::mouseClick(form_->Button14, Qt::LeftButton);
    QTest::mouseClick(form_->Button14, Qt::LeftButton);
    QCOMPARE(countCalls(line_->calls, "Close_Com(1)"), 1);
    QCOMPARE(line_->calls.size(), std::size_t{1});
    QVERIFY(!form_->session().reports.ReportFilesOpen);
    QVERIFY(form_->Button13->isEnabled());
    QVERIFY(!form_->Button14->isEnabled());
    QVERIFY(!form_->Button7->isEnabled());
    QVERIFY(!form_->Button8->isEnabled());
    QVERIFY(!form_->Timer1->isActive());
    // The status line keeps its last texts.
    QCOMPARE(form_->panelText(3), u("Параметры записаны"));
    // Calling the handler again directly is as harmless.
    form_->Button14Click();
    QVERIFY(form_->errors.isEmpty());
    QVERIFY(form_->Button13->isEnabled());
  }

  void viewReadAppendsTheDiagnosticLines() {
    QTest::mouseClick(form_->Button3, Qt::LeftButton);
    const QStringList lines = form_->Memo1->toPlainText().split('\n');
    QCOMPARE(lines.size(), 17);
    QCOMPARE(lines[12], u("l=11"));
    QCOMPARE(lines[13], u("r=200"));
    QVERIFY(lines[14].startsWith(u("f=")));
    QVERIFY(lines[15].startsWith(u("ret=")));
    QVERIFY(lines[16].startsWith(u("kc__=")));
  }

  void theFrameTraceShowsEachExchange() {
    form_->Button13Click();
    const QString trace = form_->TraceView->toPlainText();
    QCOMPARE(trace.count(u("ReadParameterTransaction")), 8);
    QVERIFY(trace.contains(u("send-> [23 00 05 00")));
  }

  // While a command runs the other commands wait; "Стоп" stays usable.
  void commandsAreDisabledWhileOneRuns() {
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    QVERIFY(form_->Button4->isEnabled());
    QVERIFY(form_->Button8->isEnabled());
    bool checked = false;
    form_->runMeterCommand([&] {
      QVERIFY(form_->commandRunning());
      for (const char* name :
           {"Button2", "Button4", "Button5", "Button6", "Button7", "Button8", "Button9", "Button10",
            "Button11", "Button12", "Button13", "Button15"}) {
        QVERIFY2(!button(name)->isEnabled(), name);
      }
      QVERIFY(form_->Button14->isEnabled());
      QVERIFY(form_->Button3->isEnabled());
      checked = true;
    });
    QVERIFY(checked);
    QVERIFY(!form_->commandRunning());
    for (const char* name : {"Button4", "Button5", "Button6", "Button7", "Button8", "Button9",
                             "Button12", "Button15"}) {
      QVERIFY2(button(name)->isEnabled(), name);
    }
    QVERIFY(!form_->Button13->isEnabled());
    QVERIFY(form_->Button14->isEnabled());
  }

  // "Стоп" during a command: the command ends after its current exchange and the
  // stop follows.
  void stopDuringACommandEndsItAfterTheExchange() {
    startWithGsm();
    line_->responder = nullptr;  // the meter is gone
    line_->calls.clear();
    const std::size_t sentBefore = line_->sent.size();
    QTimer::singleShot(0, form_, [this] { QTest::mouseClick(form_->Button14, Qt::LeftButton); });
    int transactions = 0;
    form_->runMeterCommand([&] {
      for (int i = 0; i < 5; ++i) {
        form_->session().link.ReadParameterTransaction();
        ++transactions;
      }
    });
    QCOMPARE(transactions, 0);
    QCOMPARE(line_->sent.size() - sentBefore, std::size_t{1});
    QCOMPARE(countCalls(line_->calls, "Close_Com(1)"), 1);
    QVERIFY(form_->Button13->isEnabled());
    QVERIFY(!form_->Button14->isEnabled());
    QVERIFY(!form_->Timer1->isActive());
    QVERIFY(!form_->session().cancelRequested());
    QVERIFY(form_->errors.isEmpty());
    // The next command runs normally.
    line_->responder = meter_->responder();
    form_->runMeterCommand([&] {
      form_->session().link.ReadParameterTransaction();
      ++transactions;
    });
    QCOMPARE(transactions, 1);

    // A reading stopped half way says so, and its progress starts over.
    form_->CheckBox2->setChecked(false);
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    const auto stopAt = connect(form_->ProgressBar1, &QProgressBar::valueChanged, this, [this] {
      if (form_->ProgressBar1->value() > 0) form_->Button14Click();
    });
    QTest::mouseClick(form_->Button9, Qt::LeftButton);
    disconnect(stopAt);
    QVERIFY(form_->Label52->text().endsWith(u("остановлено, отчёт не записан")));
    QCOMPARE(form_->ProgressBar1->value(), 0);
    QVERIFY(form_->errors.isEmpty());
  }

  // A modem timer that fires during a command runs when the command has ended.
  void modemTimerWaitsForTheRunningCommand() {
    startWithGsm();
    line_->responder = nullptr;
    form_->Timer3->setInterval(0);
    form_->runMeterCommand([&] {
      form_->Timer3->start();
      form_->session().link.ReadClockTransaction();  // a dead exchange breathes many times
      QVERIFY(form_->timer3Busy.empty());
    });
    QCOMPARE(form_->timer3Busy, std::vector<bool>{false});
    // With no command running it runs at once.
    form_->Timer3->start();
    QTRY_COMPARE(form_->timer3Busy.size(), std::size_t{2});
    QCOMPARE(form_->timer3Busy.back(), false);
  }

  // Closing the window during a command ends the command first.
  void closeDuringACommandWaitsForIt() {
    form_->show();
    startWithGsm();
    line_->responder = nullptr;
    line_->calls.clear();
    QTimer::singleShot(0, form_, [this] { form_->close(); });
    int transactions = 0;
    form_->runMeterCommand([&] {
      for (int i = 0; i < 3; ++i) {
        form_->session().link.ReadParameterTransaction();
        ++transactions;
      }
    });
    QCOMPARE(transactions, 0);
    QVERIFY(!form_->isVisible());
    QVERIFY(countCalls(line_->calls, "Close_Com(1)") >= 1);
  }

  // "Нет" lets the reading complete; "Да" closes once it has unwound.
  void closeDuringAReadingAsksFirst() {
    form_->show();
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    for (const bool yes : {false, true}) {
      form_->answer = yes;
      QTimer::singleShot(0, form_, [this] { form_->close(); });
      QTest::mouseClick(form_->Button9, Qt::LeftButton);
      QCOMPARE(form_->isVisible(), !yes);
      if (!yes) QCOMPARE(form_->Label52->text(), u("Архивы записаны"));
    }
    QCOMPARE(form_->closeBusy, (std::vector<bool>{true, true, false}));
    QCOMPARE(form_->questions,
             QStringList(2, u("Идёт обмен с прибором. Остановить его и закрыть окно?")));
  }

  // Not the next control in the tab order (here the date box), where a digit
  // typed next would change the archive date unnoticed.
  void focusReturnsToTheButtonThatStartedTheCommand() {
    form_->show();
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    QTest::mouseClick(form_->Button4, Qt::LeftButton);
    QCOMPARE(form_->focusWidget(), form_->Button4);
  }

  void clockWriteAsksFirst() {
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    const vardis::LocalDateTime t = clock_->now();
    const QString date = QString::asprintf("%04d.%02d.%02d", t.year, t.month, t.day);
    const QString time = QString::asprintf("%02d:%02d:%02d", t.hour, t.minute, t.second);
    meter_->requests.clear();
    form_->answer = false;
    QTest::mouseClick(form_->Button6, Qt::LeftButton);
    QCOMPARE(form_->questions,
             QStringList{u("Записать в прибор время ПК ") + date + ' ' + time + '?'});
    QVERIFY(meter_->requests.empty());
    form_->answer = true;
    QTest::mouseClick(form_->Button6, Qt::LeftButton);
    QCOMPARE(form_->valueLabels.at(TForm1::kClockDateLabel)->text(), u("Дата:  ") + date + ' ');
    QCOMPARE(form_->valueLabels.at(TForm1::kClockTimeLabel)->text(), u("Время:  ") + time);
  }

  void userErrorsOfACommandAreShown() {
    form_->runMeterCommand([] { throw vardis::UserError("I/O error 5"); });
    QCOMPARE(form_->errors, QStringList{u("I/O error 5")});
    QVERIFY(!form_->commandRunning());
    QVERIFY(form_->Button4->isEnabled());
  }

  // The command runner on its own: the order of what it asks of the window.
  void runnerRunsTheWaitingActionsOnceIdle() {
    std::vector<std::string> seen;
    vardis::CommandRunner runner(form_->session(), recordingWindow(seen));
    runner.whenIdle([&] { seen.push_back("at once"); });
    QCOMPARE(seen, std::vector<std::string>{"at once"});
    seen.clear();
    runner.run([&] {
      QVERIFY(runner.running());
      runner.whenIdle([&] { seen.push_back("first"); });
      runner.whenIdle([&] { seen.push_back("second"); });
      runner.run([&] { seen.push_back("nested"); });
      seen.push_back("command");
    });
    QVERIFY(!runner.running());
    QCOMPARE(seen,
             (std::vector<std::string>{"busy", "nested", "command", "busy", "first", "second"}));
  }

  void runnerStopsThenClosesOnceTheCommandHasUnwound() {
    std::vector<std::string> seen;
    vardis::CommandRunner runner(form_->session(), recordingWindow(seen));
    runner.run([&] {
      runner.stop();
      QVERIFY(runner.stopPending());
      QVERIFY(form_->session().cancelRequested());
      QVERIFY(runner.postponeClose());
      runner.whenIdle([&] { seen.push_back("waiting"); });
      seen.push_back("command");
    });
    // The close drops what waited.
    QCOMPARE(seen, (std::vector<std::string>{"busy", "busy", "command", "busy", "stop", "close"}));
    QVERIFY(!runner.stopPending());
    QVERIFY(!form_->session().cancelRequested());
    seen.clear();
    runner.run([] {});
    QCOMPARE(seen, (std::vector<std::string>{"busy", "busy"}));
    // With no command running the stop is at once and a close is not held.
    seen.clear();
    runner.stop();
    QVERIFY(!runner.postponeClose());
    QCOMPARE(seen, std::vector<std::string>{"stop"});
    QVERIFY(!form_->session().cancelRequested());
  }

  // A cancelled command is no error; a nested command's error is the running one's.
  void runnerTellsErrorsButNotCancellation() {
    std::vector<std::string> seen;
    vardis::CommandRunner runner(form_->session(), recordingWindow(seen));
    runner.run([] { throw vardis::CommandCancelled(); });
    runner.run([&] {
      runner.run([] { throw vardis::UserError("I/O error 5"); });
      seen.push_back("not reached");
    });
    runner.guarded([] { throw std::runtime_error("port gone"); });
    QCOMPARE(seen, (std::vector<std::string>{"busy", "busy", "busy", "error: I/O error 5", "busy",
                                             "error: port gone"}));
  }

  void progressAndMemoFollowTheSession() {
    form_->session().setProgress(42);
    QCOMPARE(form_->ProgressBar1->value(), 42);
    form_->session().memo("OK=11");
    QVERIFY(form_->Memo1->toPlainText().endsWith(u("OK=11")));
    form_->session().setOperationStatus("Архивы записаны");
    QCOMPARE(form_->Label52->text(), u("Архивы записаны"));
  }

  void datePickerChangeIsRecorded() {
    form_->DateTimePicker1->setDate(QDate(2011, 2, 15));
    QCOMPARE(form_->session().pickedDate.year, 2011);
    QCOMPARE(form_->session().pickedDate.month, 2);
    QCOMPARE(form_->session().pickedDate.day, 15);
  }

  void closingTheWindowReleasesThePort() {
    form_->show();
    startWithGsm();
    line_->calls.clear();
    form_->close();
    QCOMPARE(line_->calls, std::vector<std::string>{"Close_Com(1)"});
  }
};

QTEST_MAIN(WindowTest)
#include "app_window_test.moc"
