// "Старт" in the window on a line where no meter answers (silence, or only the
// echo of the requests): the message, no report files, and nothing left shown
// of the meter before.
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "connection/data_dir.h"
#include "store/reading_store.h"
#include "store/store_reader.h"
#include "support/fake_line.h"
#include "support/fake_meter.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

namespace {

using vardis::test::TestForm;

long long visitCount(const std::filesystem::path& dataDir) {
  vardis::store::StoreReader reader(vardis::store::storeFile(dataDir));
  vardis::store::Statement q(reader.database(), "SELECT count(*) FROM visits");
  q.step();
  return q.integer(0);
}

int fileCount(const std::filesystem::path& folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& f : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

}  // namespace

class EchoWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startWithoutAMeterShowsWhyAndClearsTheMeterBefore_data() {
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QString>("message");
    QTest::newRow("echo only") << true << QStringLiteral("Линия возвращает посланное (эхо)");
    QTest::newRow("silent") << false << QStringLiteral("не пришло ни одного байта");
  }
  void startWithoutAMeterShowsWhyAndClearsTheMeterBefore() {
    QFETCH(bool, echo);
    QFETCH(QString, message);
    vardis::test::VirtualClock clock;
    vardis::test::FakeLine line(clock);
    vardis::test::TempDir dir;
    const auto arc = vardis::reportDir(dir.path());
    std::filesystem::create_directories(arc);
    vardis::test::FakeMeter meter;
    meter.parameters = {{0, 12345.0f}, {10, 50.0f}};
    meter.floats[0] = 12.5f;
    meter.clock = 1104080905;
    line.responder = meter.responder();
    vardis::SessionConfig config;
    config.dataDir = dir.path();
    TestForm form(line, clock, config);

    // The meter before: identified, its values and clock shown.
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QTest::mouseClick(form.Button4, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    QVERIFY(form.valueLabels.at(2)->text().contains(QStringLiteral("12.5")));
    QCOMPARE(form.valueLabels.at(40)->text(), QStringLiteral("Дата:  2011.04.08 "));
    QTest::mouseClick(form.Button14, Qt::LeftButton);
    const int files = fileCount(arc);

    if (echo) {
      line.responder = [](const std::vector<std::uint8_t>& sent) {
        return std::vector<vardis::test::Chunk>{{0, sent}};
      };
    } else {
      line.responder = nullptr;
    }
    const std::int64_t startAt = clock.ms;
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QCOMPARE(form.errors.size(), 1);
    QVERIFY2(form.errors.front().contains(message), qPrintable(form.errors.front()));
    QVERIFY(form.Memo1->toPlainText().contains(message));
    QVERIFY(clock.ms - startAt < 40000);
    QCOMPARE(fileCount(arc), files);
    QCOMPARE(visitCount(dir.path()), 1LL);  // the meter's before; none of the dead line
    QCOMPARE(form.ProgressBar1->value(), 0);
    QVERIFY(form.Label52->text() != QStringLiteral("Параметры записаны"));
    QCOMPARE(form.valueLabels.at(2)->text(), QStringLiteral("G1,м3/час:"));
    QCOMPARE(form.valueLabels.at(40)->text(), QStringLiteral("Дата: 2007-12-31"));
    QCOMPARE(form.valueLabels.at(41)->text(), QStringLiteral("Время:  12:34:56"));
  }
};

QTEST_MAIN(EchoWindowTest)
#include "app_echo_test.moc"
