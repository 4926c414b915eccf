// Which meter answered and where its reports went: shown after "Старт", the
// report folder opened in the file manager or made on request, and the file
// each command appended to named in the diagnostics memo.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "support/line_window.h"
#include "support/pty_meter.h"
#include "support/scripted_window.h"

using vardis::test::ScriptedWindow;
using vardis::test::TestForm;

namespace {

QString u(const char* text) {
  return QString::fromUtf8(text);
}

// The window that records the folder it was asked to open.
class FolderForm : public TestForm {
 public:
  using TestForm::TestForm;
  QStringList opened;

 protected:
  bool openFolder(const QString& folder) override {
    opened << folder;
    return true;
  }
};

int reportCount(const std::filesystem::path& folder) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) n += e.is_regular_file();
  return n;
}

}  // namespace

class MeterFilesTest : public QObject {
  Q_OBJECT

 private slots:
  // On the real line to the simulated meter, serial number 4711.
  void theMeterAndItsReportSetAreShown() {
    vardis::test::PtyMeter meter({}, [](vardis::sim::MeterModel& m) { m.pinParameter(0, 4711); });
    vardis::test::LineWindow w;
    TestForm& form = *w.form;
    form.setConnectionChoice(QString::fromStdString(meter.simulator->portPath()), 8, u("0"));
    const QString caption = form.windowTitle();
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    const QString base = form.Edit2->text();
    QVERIFY(base.startsWith(u("4711D")));
    QCOMPARE(form.windowTitle(), caption + u(" — прибор № 4711, отчёты ") + base);
    QVERIFY(form.StatusBar1Panels[0]->toolTip().contains(base + "_*.txt"));
    QVERIFY(form.Memo1->toPlainText().contains(u("Прибор № 4711: отчёты в ")));
  }

  // Each report a command appends to is named in the memo.
  void theReportEachCommandWroteIsNamed() {
    ScriptedWindow w;
    TestForm& form = *w.form;
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QTest::mouseClick(form.Button9, Qt::LeftButton);
    QTest::mouseClick(form.Button15, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    const QString memo = form.Memo1->toPlainText();
    for (const char* suffix : {"_chas.txt", "_par.txt"}) {
      const auto file = w.arc() / (form.Edit2->text().toStdString() + suffix);
      QVERIFY2(memo.contains(u("Отчёт дописан в ") + QString::fromStdString(file.string())),
               qPrintable(memo));
    }

    // The next "Старт" forgets the meter until one answers again.
    const QString caption = form.windowTitle().section(u(" — "), 0, 0);
    QTest::mouseClick(form.Button14, Qt::LeftButton);
    w.line.responder = nullptr;
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QCOMPARE(form.windowTitle(), caption);
    QVERIFY(form.StatusBar1Panels[0]->toolTip().isEmpty());
  }

  void theReportFolderOpensInTheFileManager() {
    ScriptedWindow w;
    vardis::SessionConfig config;
    config.dataDir = w.dir.path();
    FolderForm form(w.line, w.clock, config);
    form.ReportFolderAction->trigger();
    QCOMPARE(form.opened, QStringList{QString::fromStdString(w.arc().string())});
    // A folder that is not there is said, not opened.
    std::filesystem::remove_all(w.arc());
    form.ReportFolderAction->trigger();
    QCOMPARE(form.opened.size(), 1);
    QCOMPARE(form.errors.size(), 1);
    QVERIFY(form.errors[0].startsWith(u("Папка отчётов ")));
  }

  void aMissingReportFolderIsMadeWhenTheUserAgrees() {
    for (const bool yes : {false, true}) {
      ScriptedWindow w(false);
      TestForm& form = *w.form;
      form.answer = yes;
      QTest::mouseClick(form.Button13, Qt::LeftButton);
      const QString folder = QString::fromStdString(w.arc().string());
      QCOMPARE(form.questions,
               QStringList{u("Папка отчётов ") + folder + u(" не найдена. Создать?")});
      if (yes) {
        QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
        QCOMPARE(reportCount(w.arc()), 4);
        QCOMPARE(form.Label52->text(), u("Параметры записаны"));
      } else {
        // As without the question: the identification ends at its first file.
        QCOMPARE(form.errors.size(), 1);
        QVERIFY(form.errors[0].startsWith(u("I/O error 3: папка отчётов ")));
        QVERIFY(!std::filesystem::exists(w.arc()));
      }
    }
  }
};

QTEST_MAIN(MeterFilesTest)
#include "app_meter_files_test.moc"
