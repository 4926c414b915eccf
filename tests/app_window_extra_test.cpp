// The window on a scripted line: a "Старт" whose port does not open leaves the
// window as it was, and the diagnostics window's trace is saved, copied and wrapped.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/kros.h"
#include "app/port_combo_box.h"
#include "connection/data_dir.h"
#include "support/scripted_window.h"

using vardis::test::FakeLine;
using vardis::test::FakeMeter;
using vardis::test::TestForm;

namespace {

QString u(const char* text) {
  return QString::fromUtf8(text);
}

QStringList linesOf(const QString& text) {
  return text.split(QLatin1Char('\n'));
}

}  // namespace

class WindowExtraTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<vardis::test::ScriptedWindow> window_;
  FakeLine* line_ = nullptr;
  FakeMeter* meter_ = nullptr;
  TestForm* form_ = nullptr;

  // What a failed "Старт" must leave as it found it, one "what=value" a line.
  QStringList windowState() const {
    QStringList s;
    for (const QPushButton* b : form_->findChildren<QPushButton*>())
      s << b->objectName() + "=" + (b->isEnabled() ? "on" : "off");
    const vardis::ExchangeCounters& c = form_->session().link.counters;
    s << QString("counters=%1/%2/%3/%4")
             .arg(c.RequestCount)
             .arg(c.ErrorCount)
             .arg(c.TimeoutCount)
             .arg(c.TransactionCount);
    s << QString("LinkFault=%1").arg(form_->session().link.LinkFault);
    s << "port=" + QString::fromStdString(form_->session().link.port);
    for (int i = 0; i < 4; ++i) s << QString("panel%1=").arg(i) + form_->panelText(i);
    s << "Label52=" + form_->Label52->text();
    s << "G1=" + form_->valueLabels.at(2)->text();
    s << "clock=" + form_->valueLabels.at(TForm1::kClockTimeLabel)->text();
    s << QString("progress=%1").arg(form_->ProgressBar1->value());
    s << QString("Timer1=%1").arg(form_->Timer1->isActive() ? "on" : "off");
    return s;
  }

  void clickSave() { QTest::mouseClick(form_->TraceSave, Qt::LeftButton); }

 private slots:
  void init() {
    window_ = std::make_unique<vardis::test::ScriptedWindow>();
    line_ = &window_->line;
    meter_ = &window_->meter;
    form_ = window_->form.get();
  }

  void cleanup() { window_.reset(); }

  void failedStartLeavesTheWindowAsItWas_data() {
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("port");
    QTest::newRow("port refused") << "/dev/ttyUSB9: No such file or directory"
                                  << "3";
    QTest::newRow("port text not a number") << ""
                                            << "x3";
  }

  void failedStartLeavesTheWindowAsItWas() {
    QFETCH(QString, refusal);
    QFETCH(QString, port);
    // A visit with values read and stopped: counters, captions and status to keep.
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    meter_->floats[0] = 12.5f;
    meter_->clock = 1104080905;
    meter_->seconds = 7;
    QTest::mouseClick(form_->Button4, Qt::LeftButton);
    form_->Timer1Timer();
    QTest::mouseClick(form_->Button14, Qt::LeftButton);
    form_->session().link.LinkFault = 2;
    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QVERIFY(form_->valueLabels.at(2)->text().contains(u("12.5")));
    QVERIFY(form_->session().link.counters.TransactionCount > 0);

    const QStringList before = windowState();
    const std::size_t sent = line_->sent.size();
    line_->refuseOpen = refusal.toStdString();
    form_->ComboBox1->setCurrentText(port);
    QTest::mouseClick(form_->Button13, Qt::LeftButton);

    QCOMPARE(form_->errors.size(), 1);
    QCOMPARE(windowState(), before);
    QCOMPARE(line_->sent.size(), sent);
  }

  void traceSavedToTheFilePicked() {
    QTest::mouseClick(form_->Button13, Qt::LeftButton);
    form_->session().link.traceNote("обмен: проверка");
    const QStringList trace = linesOf(form_->TraceView->toPlainText());
    QVERIFY(trace.size() > 8);
    form_->traceFile = QString::fromStdString((window_->dir.path() / "trace.txt").string());

    clickSave();

    QVERIFY2(form_->errors.isEmpty(), qPrintable(form_->errors.join('\n')));
    QFile file(form_->traceFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll());
    QVERIFY(saved.endsWith(QLatin1Char('\n')));
    QCOMPARE(linesOf(saved.chopped(1)), trace);
    QVERIFY(saved.contains(u("обмен: проверка")));
    QVERIFY(form_->Memo1->toPlainText().contains(u("Обмен сохранён в ") + form_->traceFile));
  }

  void traceFileThatCannotBeWrittenIsAnError() {
    form_->session().link.traceNote("line");
    form_->traceFile =
        QString::fromStdString((window_->dir.path() / "missing" / "trace.txt").string());
    clickSave();
    QCOMPARE(form_->errors.size(), 1);
    QVERIFY(form_->errors[0].startsWith(u("Не удалось записать ") + form_->traceFile));
    QVERIFY(!form_->Memo1->toPlainText().contains(u("Обмен сохранён")));

    // Cancelled: no file, no error, no memo line.
    form_->traceFile.clear();
    clickSave();
    QCOMPARE(form_->errors.size(), 1);
    QVERIFY(!form_->Memo1->toPlainText().contains(u("Обмен сохранён")));
  }

  void traceCopiedToTheClipboard() {
    form_->session().link.traceNote("первая");
    form_->session().link.traceNote("вторая");
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(form_->TraceCopy, Qt::LeftButton);
    const QStringList copied = linesOf(QGuiApplication::clipboard()->text());
    QCOMPARE(copied.size(), 2);
    QVERIFY(copied[0].endsWith(u("первая")));
    QVERIFY(copied[1].endsWith(u("вторая")));
  }

  void traceLinesWrap() {
    form_->showDiagnostics();
    QVERIFY(QTest::qWaitForWindowExposed(form_->diagnosticsWindow()));
    form_->session().link.traceNote(std::string(400, 'A') + " " + std::string(400, 'B'));
    QCoreApplication::processEvents();
    QCOMPARE(form_->TraceView->horizontalScrollBar()->maximum(), 0);
    QVERIFY(form_->TraceView->document()->lastBlock().layout()->lineCount() > 2);
  }
};

QTEST_MAIN(WindowExtraTest)
#include "app_window_extra_test.moc"
