// The live values window on a scripted meter: passes need a connection and
// wait for no other command; every pass is a point of each ticked quantity
// and a current-values reading in the store; a reply the meter never gave is
// a gap in the table, the chart and the CSV; "Стоп" during a pass ends the
// watch after the current exchange.
#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "app/kros.h"
#include "app/live_watch.h"
#include "connection/data_dir.h"
#include "store/history.h"
#include "store/reading_store.h"
#include "support/scripted_window.h"

using vardis::LiveWatch;
using vardis::test::FakeLine;
using vardis::test::FakeMeter;
using vardis::test::TestForm;

namespace {

// The watch with the CSV file question answered by `csvFile`.
class TestWatch : public LiveWatch {
 public:
  using LiveWatch::LiveWatch;
  QString csvFile;

 protected:
  QString askCsvFile() override { return csvFile; }
};

// Float value 0 (G1) and 4 (T1) as the meter gives them at pass `n`.
float flowAt(int n) {
  return 1.5f + 0.25f * static_cast<float>(n);
}
float temperatureAt(int n) {
  return 60.0f - static_cast<float>(n);
}

}  // namespace

class LiveWatchTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vardis::test::ScriptedWindow> window_;
  FakeLine* line_ = nullptr;
  FakeMeter* meter_ = nullptr;
  TestForm* form_ = nullptr;
  std::unique_ptr<TestWatch> watch_;
  bool dropFlow_ = false;  // the meter does not answer for G1

  // The meter's values for pass `n` (0-based), then the pass.
  void passNumber(int n) {
    meter_->floats[0] = flowAt(n);
    meter_->floats[4] = temperatureAt(n);
    if (n == 0) {
      watch_->start();
    } else {
      watch_->pass();
    }
    QCOMPARE(watch_->log().rows().size(), static_cast<std::size_t>(n + 1));
  }
  QString cell(const QString& key, int column) const {
    return watch_->table()->item(watch_->log().column(key.toStdString()), column)->text();
  }

 private slots:
  void init() {
    window_ = std::make_unique<vardis::test::ScriptedWindow>();
    line_ = &window_->line;
    meter_ = &window_->meter;
    form_ = window_->form.get();
    line_->responder = [this, answer = meter_->responder()](const std::vector<std::uint8_t>& sent) {
      const bool flow = sent.size() == vardis::kFrameLength && sent[2] == 4 && sent[3] == 0;
      return dropFlow_ && flow ? std::vector<vardis::test::Chunk>{} : answer(sent);
    };
    watch_ = std::make_unique<TestWatch>(*form_);
  }

  void cleanup() {
    watch_.reset();
    window_.reset();
  }

  // The menu opens the window; its interval drives the timer; without "Старт"
  // nothing goes to the meter; a close ends the watch.
  void windowIntervalAndNoPassWithoutAConnection() {
    form_->WatchAction->trigger();
    LiveWatch* shown = form_->liveWatch();
    QVERIFY(shown && shown->isVisible() && shown->isWindow());
    QCOMPARE(shown->objectName(), QStringLiteral("LiveWatch"));
    QCOMPARE(watch_->intervalBox()->value(), 5);
    QCOMPARE(watch_->timer()->interval(), 5000);
    watch_->intervalBox()->setValue(12);
    QCOMPARE(watch_->timer()->interval(), 12000);

    watch_->start();
    watch_->pass();
    QVERIFY(!watch_->watching());
    QVERIFY(watch_->statusText().contains(QStringLiteral("«Старт»")));
    QVERIFY(line_->sent.empty());
    QVERIFY(watch_->log().rows().empty());

    form_->Button13Click();
    watch_->start();
    QVERIFY(watch_->watching() && watch_->timer()->isActive());
    QVERIFY(!watch_->startButton()->isEnabled() && watch_->stopButton()->isEnabled());
    watch_->close();
    QVERIFY(!watch_->watching() && !watch_->timer()->isActive());
  }

  // Five passes: five points of each ticked quantity, the table's last value
  // and change since the start, five readings in the store; a pass asked for
  // while another command runs is skipped.
  void fivePassesGiveFivePoints() {
    form_->Button13Click();
    QCOMPARE(watch_->tickedKeys(), (QStringList{"G1", "T1"}));
    for (int n = 0; n < 5; ++n) passNumber(n);
    const QList<QPointF> flow = watch_->chartPoints("G1");
    QCOMPARE(flow.size(), 5);
    QCOMPARE(watch_->chartPoints("T1").size(), 5);
    for (int n = 0; n < 5; ++n) {
      QCOMPARE(flow[n].y(), double(flowAt(n)));
      if (n > 0) QVERIFY(flow[n].x() > flow[n - 1].x());
    }
    QCOMPARE(cell("G1", 2), QStringLiteral("2.500"));
    QCOMPARE(cell("G1", 3), QStringLiteral("+1.000"));
    QCOMPARE(cell("T1", 3), QStringLiteral("-4.00"));
    QCOMPARE(cell("P1", 3), QStringLiteral("0.000"));
    watch_->setTicked("T1", false);
    watch_->setTicked("P1", true);
    QVERIFY(watch_->chartPoints("T1").isEmpty());
    QCOMPARE(watch_->chartPoints("P1").size(), 5);

    const std::size_t sent = line_->sent.size();
    form_->runMeterCommand([this] { watch_->pass(); });
    QCOMPARE(line_->sent.size(), sent);
    QCOMPARE(watch_->log().rows().size(), std::size_t{5});
    QVERIFY(watch_->statusText().contains(QStringLiteral("пропущен")));

    QVERIFY(form_->errors.isEmpty());
    form_->Button14Click();
    QVERIFY(!watch_->watching());
    vardis::store::ReadingStore store(vardis::store::storeFile(window_->dir.path()));
    QCOMPARE(vardis::store::currentValues(store.database(), {}).size(), std::size_t{5});
  }

  // A pass without G1's reply: "—" in the table, a break in the chart's line
  // and an empty cell in the CSV, which holds what the table showed.
  void aDroppedReplyIsAGap() {
    form_->Button13Click();
    passNumber(0);
    passNumber(1);
    dropFlow_ = true;
    passNumber(2);
    dropFlow_ = false;
    QCOMPARE(cell("G1", 2), QStringLiteral("—"));
    QCOMPARE(cell("G1", 3), QStringLiteral("—"));
    QCOMPARE(cell("T1", 2), QStringLiteral("58.00"));
    QVERIFY(watch_->statusText().contains(QStringLiteral("нет ответа: G1")));
    passNumber(3);
    passNumber(4);
    QCOMPARE(watch_->chartPoints("G1").size(), 4);
    QCOMPARE(watch_->chartRuns("G1"), 2);
    QCOMPARE(watch_->chartRuns("T1"), 1);

    watch_->csvFile = QString::fromStdString((window_->dir.path() / "watch.csv").string());
    watch_->saveCsv();
    QFile file(watch_->csvFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 7);  // the header, five passes, the end of the last line
    const QStringList header = lines[0].split(';');
    QCOMPARE(header.size(), watch_->table()->rowCount() + 1);
    QCOMPARE(header.mid(0, 2), (QStringList{"Время", "G1, м3/час"}));
    const int g1 = watch_->log().column("G1") + 1;
    QCOMPARE(lines[3].split(';')[g1], QString());
    QCOMPARE(lines[2].split(';')[g1], QStringLiteral("1.750"));
    const QStringList last = lines[5].split(';');
    for (int r = 0; r < watch_->table()->rowCount(); ++r) {
      QCOMPARE(last[r + 1], watch_->table()->item(r, 2)->text());
    }
  }

  // "Стоп" during a pass: the pass ends after the current exchange, nothing of
  // it is kept, and the watch is over.
  void stopDuringAPassEndsTheWatch() {
    form_->Button13Click();
    passNumber(0);
    const std::size_t sent = line_->sent.size();
    QTimer::singleShot(0, form_,
                       [this] { QTest::mouseClick(form_->Button14, Qt::LeftButton); });
    watch_->pass();
    QCOMPARE(line_->sent.size(), sent + 1);
    QCOMPARE(watch_->log().rows().size(), std::size_t{1});
    QVERIFY(!watch_->watching() && !watch_->timer()->isActive());
    QVERIFY(watch_->statusText().contains(QStringLiteral("Связь завершена")));
    QVERIFY(form_->Button13->isEnabled());
    watch_->pass();
    QCOMPARE(line_->sent.size(), sent + 1);
    QVERIFY(form_->errors.isEmpty());
  }
};

QTEST_MAIN(LiveWatchTest)
#include "app_live_watch_test.moc"
