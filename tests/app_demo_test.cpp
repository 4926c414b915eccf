// The window against the simulated meter of the demo mode, over a pseudo-terminal.
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>
#include <memory>

#include "app/demo_meter.h"
#include "app/kros.h"
#include "connection/data_dir.h"
#include "link/qt_serial_line.h"
#include "support/temp_dir.h"
#include "support/test_form.h"
#include "values/current_values_read.h"

namespace {

using vardis::test::TestForm;

}  // namespace

class DemoTest : public QObject {
  Q_OBJECT

 private slots:
  void startIdentifiesAndReadsTheSimulatedMeter() {
    QString error;
    const auto demo = vardis::startDemoMeter(error);
    QVERIFY2(demo, qPrintable(error));
    QVERIFY(demo->port().startsWith(QStringLiteral("/dev/")));

    vardis::QtSerialLine line;
    const auto clock = vardis::makeSystemClock();
    vardis::test::TempDir dir;
    std::filesystem::create_directories(vardis::reportDir(dir.path()));
    vardis::SessionConfig config;
    config.dataDir = dir.path();
    TestForm form(line, *clock, config);
    form.setConnectionChoice(demo->port(), demo->speedIndex(), demo->address());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    QTRY_COMPARE(form.panelText(3), QStringLiteral("Параметры записаны"));
    QTRY_COMPARE(form.panelText(0), QStringLiteral("№ запроса=8"));
    QCOMPARE(form.panelText(1), QStringLiteral("Кол.таймаутов=0"));
    QCOMPARE(form.panelText(2), QStringLiteral("Кол.ошибок=0"));
    QVERIFY(form.Edit2->text().contains(QLatin1Char('D')));
    QVERIFY(form.Button8->isEnabled());

    QTest::mouseClick(form.Button4, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    QTRY_COMPARE(form.panelText(3), QStringLiteral("Параметры считаны"));
    QCOMPARE(form.panelText(1), QStringLiteral("Кол.таймаутов=0"));
    QVERIFY(form.valueLabels.at(40)->text().startsWith(QStringLiteral("Дата:  20")));
    QVERIFY(form.valueLabels.at(41)->text().startsWith(QStringLiteral("Время:  ")));
    QVERIFY(form.valueLabels.at(2)->text().startsWith(QStringLiteral("G1,м3/час: ")));
    // Every label of every tab page shows what the reading put there.
    std::size_t filled = 0;
    const vardis::ShownState& shown = form.session().shown();
    auto check = [&](int number, const std::string& text) {
      const auto* label = form.findChild<QLabel*>("Label" + QString::number(number));
      QVERIFY2(label, qPrintable(QString::number(number)));
      QVERIFY2(!label->text().trimmed().isEmpty(), qPrintable(label->objectName()));
      QCOMPARE(label->text(), QString::fromStdString(text));
      ++filled;
    };
    for (const auto& page : vardis::valuePages()) {
      for (const auto& quantity : page.quantities) {
        check(TForm1::valueLabelNumber(quantity), shown.valueCaption(quantity));
      }
      if (page.deviceClock) {
        check(TForm1::kClockDateLabel, shown.clockDate);
        check(TForm1::kClockTimeLabel, shown.clockTime);
      }
    }
    QCOMPARE(filled, form.valueLabels.size());

    // A picture of the window with readings, for a look by eye.
    const QByteArray picture = qgetenv("VARDIS_WINDOW_PICTURE");
    if (!picture.isEmpty()) {
      form.PageControl2->setCurrentIndex(qEnvironmentVariableIntValue("VARDIS_WINDOW_TAB"));
      QVERIFY(form.grab().save(QString::fromLocal8Bit(picture)));
    }

    QTest::mouseClick(form.Button14, Qt::LeftButton);
    QVERIFY(form.Button13->isEnabled());
    QVERIFY(!form.session().reports.ReportFilesOpen);
  }

  // "Часовые" at 115200 baud: one complete report per run, appended.
  void hourlyReadingAppendsOneCompleteReportPerRun() {
    QString error;
    const auto demo = vardis::startDemoMeter(error);
    QVERIFY2(demo, qPrintable(error));
    vardis::QtSerialLine line;
    const auto clock = vardis::makeSystemClock();
    vardis::test::TempDir dir;
    std::filesystem::create_directories(vardis::reportDir(dir.path()));
    vardis::SessionConfig config;
    config.dataDir = dir.path();
    TestForm form(line, *clock, config);
    form.setConnectionChoice(demo->port(), demo->speedIndex(), demo->address());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    form.DateTimePicker1->setDate(QDate::currentDate().addDays(-1));

    const auto path =
        vardis::reportDir(dir.path()) / (form.Edit2->text().toStdString() + "_chas.txt");
    std::vector<std::size_t> sizes;
    for (int run = 1; run <= 2; ++run) {
      QTest::mouseClick(form.Button9, Qt::LeftButton);
      QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
      QTRY_COMPARE(form.panelText(3), QStringLiteral("Архивы записаны"));
      QCOMPARE(form.panelText(1), QStringLiteral("Кол.таймаутов=0"));
      // On disk as soon as the command ended, before any "Стоп".
      const std::string text = vardis::test::readFile(path);
      std::size_t lines = 0;
      for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2))
        ++lines;
      sizes.push_back(lines);
      const std::string title = "\xCF\xF0\xEE\xF2\xEE\xEA\xEE\xEB";  // "Протокол" in code page 1251
      std::size_t titles = 0;
      for (std::size_t p = text.find(title); p != std::string::npos; p = text.find(title, p + 1))
        ++titles;
      QCOMPARE(titles, std::size_t(run));
    }
    QVERIFY(sizes[0] == 49 || sizes[0] == 78);
    QVERIFY(sizes[1] - sizes[0] == 49 || sizes[1] - sizes[0] == 78);
    QTest::mouseClick(form.Button14, Qt::LeftButton);
  }
};

QTEST_MAIN(DemoTest)
#include "app_demo_test.moc"
