// The port box (the numbers, then each device once with its description, the
// session given the device's path) and the choices remembered between runs.
#include <pty.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QtTest>
#include <fstream>
#include <memory>

#include "app/app_options.h"
#include "app/port_combo_box.h"
#include "link/port_text.h"
#include "support/fake_line.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

using vardis::PortComboBox;

class PortsTest : public QObject {
  Q_OBJECT

  vardis::test::VirtualClock clock_;
  vardis::test::FakeLine line_{clock_};
  vardis::test::TempDir dir_;

  std::unique_ptr<vardis::test::TestForm> form(const QString& choices) {
    vardis::SessionConfig config;
    config.dataDir = dir_.path();
    auto f = std::make_unique<vardis::test::TestForm>(line_, clock_, config);
    f->setChoicesFile(choices);
    f->restoreChoices();
    return f;
  }
  QString file(const char* name) { return QString::fromStdString((dir_.path() / name).string()); }

 private slots:
  void init() {
    std::ofstream(dir_.path() / "gsm_csd.ini") << "[baza]\nkol_uzlov=2\ntel_1=ATD+1\nname_u1=A\n"
                                                  "tel_2=ATD+79002222222\nname_u2=B\n";
  }

  // The numbers first (a number's own device beside it, not again below),
  // then each device once, the USB adapters first, in the order of their numbers.
  void listOrderAndLabels() {
    const QString first = QString::fromStdString(vardis::deviceForPort("1"));
    const auto entries =
        PortComboBox::portEntries({{"/dev/ttyS12", "", "", "", false},
                                   {"/dev/ttyUSB10", "CP2102", "Silicon Labs", "", false},
                                   {first, "16550A", "", "", false},
                                   {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "", false},
                                   {"/dev/ttyUSB0", "", "", "A50285BI", false},
                                   {"/dev/ttyACM0", "", "Arduino", "", true}},
                                  "/dev/pts/7");
    QStringList shown;
    for (const auto& e : entries) shown << e.port + " | " + e.label;
    QCOMPARE(shown.mid(8), QStringList({"9 | 9", "/dev/ttyACM0 | /dev/ttyACM0 — Arduino",
                                        "/dev/ttyUSB0 | /dev/ttyUSB0 — FT232R USB UART "
                                        "(FTDI, № A50285BI)",
                                        "/dev/ttyUSB10 | /dev/ttyUSB10 — CP2102 (Silicon Labs)",
                                        "/dev/ttyS12 | /dev/ttyS12", "/dev/pts/7 | /dev/pts/7"}));
    QCOMPARE(shown[0], "1 | 1: " + first + " — 16550A");
  }

  // What the list shows is not what "Старт" gives the session: the device path.
  void startOpensTheDevicePath() {
    auto f = form({});
    f->ComboBox1->setEntries(PortComboBox::portEntries({{"/dev/ttyUSB0", "FT232R", "", "", true}}));
    f->ComboBox1->setCurrentIndex(9);
    f->CheckBox2->setChecked(true);  // "Старт" opens the port and reads nothing
    f->Button13Click();
    QCOMPARE(f->errors, QStringList());
    QCOMPARE(line_.calls.back(), std::string("Open_Com(/dev/ttyUSB0,115200,8,0,0)"));
  }

  // Qt 6.4 lists no pseudo-terminal on Linux: a pty typed into the box is one
  // item while it exists, and stays the typed text once it is gone.
  void ptyAppearsOnce() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    PortComboBox box;
    box.setEditText(name);
    box.refreshPorts();
    box.refreshPorts();
    QCOMPARE(box.findText(name), box.count() - 1);
    ::close(slave);
    ::close(master);
    box.refreshPorts();
    QCOMPARE(box.findText(name), -1);
    QCOMPARE(box.currentText(), QString(name));
  }

  // One run's choices are the next one's; a window without a choices file
  // leaves them alone; a port gone since is not put back.
  void choicesComeBack() {
    const QString choices = file("config/choices.ini");
    auto a = form(choices);
    a->ComboBox1->setCurrentText("/dev/null");
    a->ComboBox10->setCurrentIndex(4);
    a->ComboBox11->setCurrentText("17");
    a->CheckBox2->setChecked(true);
    a->ComboBox3->setCurrentIndex(1);
    a->close();
    {
      auto c = form({});
      c->ComboBox10->setCurrentIndex(2);
      c->close();
    }
    QCOMPARE(vardis::rememberedDataDir(choices), dir_.path());
    auto b = form(choices);
    QCOMPARE(b->ComboBox1->currentText(), "/dev/null");
    QCOMPARE(b->ComboBox10->currentIndex(), 4);
    QCOMPARE(b->ComboBox11->currentText(), "17");
    QVERIFY(b->CheckBox2->isChecked());
    QCOMPARE(b->Edit1->text(), "ATD+79002222222");
    QSettings(choices, QSettings::IniFormat).setValue("port", "/dev/ttyUSB-gone");
    QCOMPARE(form(choices)->ComboBox1->currentText(), "1");
  }

  // A broken file is set aside and said in the memo, so is one that cannot be
  // written; the window goes on with its defaults.
  void brokenOrUnwritableChoices() {
    const std::string garbage = "\x01\x02garbage\xff\xfe=\n[[[\nspeed=2\n";
    std::ofstream(file("choices.ini").toStdString(), std::ios::binary) << garbage;
    auto broken = form(file("choices.ini"));
    QCOMPARE(broken->ComboBox10->currentIndex(), 8);
    QVERIFY(broken->Memo1->toPlainText().contains("повреждён"));
    QCOMPARE(vardis::test::readFile(dir_.path() / "choices.ini.bad"), garbage);
    broken->ComboBox10->setCurrentIndex(3);
    broken->close();
    QCOMPARE(QSettings(file("choices.ini"), QSettings::IniFormat).value("speed").toInt(), 3);
    auto unwritable = form(file("choices.ini/choices.ini"));
    unwritable->close();
    QVERIFY(unwritable->Memo1->toPlainText().contains("не записывается"));
  }
};

QTEST_MAIN(PortsTest)
#include "app_ports_test.moc"
