// The window speaks Russian: every failure it can meet reaches the user as a
// Russian message, although the core says it in English.
#include <sqlite3.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QtTest>

#include "app/window_texts.h"
#include "store/reading_store.h"
#include "support/scripted_window.h"

using vardis::test::ScriptedWindow;

namespace {

// English words that would give away a message left untranslated.
const QRegularExpression kEnglish(QStringLiteral(R"(\b(the|cannot|not|no|of|and|is|was|to)\b)"));

void requireRussian(const QString& text) {
  QVERIFY2(vardis::hasCyrillic(text), qPrintable(text));
  QVERIFY2(!kEnglish.match(text).hasMatch(), qPrintable(text));
}

}  // namespace

class RussianTest : public QObject {
  Q_OBJECT

 private slots:
  void everyFailureOfTheWindowIsSaidInRussian_data() {
    QTest::addColumn<QString>("failure");
    for (const char* f : {"port missing", "meter silent", "echoing line", "folder missing",
                          "no report files", "store locked"})
      QTest::newRow(f) << QString::fromLatin1(f);
  }

  void everyFailureOfTheWindowIsSaidInRussian() {
    QFETCH(QString, failure);
    ScriptedWindow w(failure != "folder missing");
    vardis::test::TestForm& form = *w.form;
    form.answer = false;  // the report folder is not made
    sqlite3* lock = nullptr;
    if (failure == "port missing") w.line.refuseOpen = "/dev/ttyUSB9: No such file or directory";
    if (failure == "meter silent") w.line.responder = nullptr;
    if (failure == "echoing line") {
      w.line.responder = [](const std::vector<std::uint8_t>& sent) {
        return std::vector<vardis::test::Chunk>{{0, sent}};
      };
    }
    if (failure == "store locked") {
      const auto file = vardis::store::storeFile(w.dir.path());
      { vardis::store::ReadingStore created(file); }
      QCOMPARE(sqlite3_open(file.string().c_str(), &lock), SQLITE_OK);
      QCOMPARE(sqlite3_exec(lock, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr,
                            nullptr, nullptr),
               SQLITE_OK);
    }
    if (failure == "no report files") {
      QTest::mouseClick(form.Button9, Qt::LeftButton);
    } else {
      QTest::mouseClick(form.Button13, Qt::LeftButton);
    }
    sqlite3_close(lock);

    QStringList shown = form.errors;
    shown << form.questions;
    if (failure == "store locked") {
      QVERIFY(form.errors.isEmpty());
      shown << form.statusBar()->currentMessage();
      QVERIFY(form.Memo1->toPlainText().contains(QString::fromUtf8("занята другой программой")));
    }
    QVERIFY(!shown.isEmpty());
    for (const QString& text : shown) requireRussian(text);
  }

  // The runtime's own texts stay as the user knows them.
  void theRuntimesMessagesPassUnchanged() {
    QCOMPARE(vardis::windowText("'x1' is not a valid integer value"),
             QStringLiteral("'x1' is not a valid integer value"));
    QCOMPARE(vardis::windowText("I/O error 103"), QStringLiteral("I/O error 103"));
    QCOMPARE(vardis::memoText("speed=8"), QStringLiteral("speed=8"));
    const QString unknown = vardis::windowText("a message of a kind nobody has met");
    QVERIFY(unknown.startsWith(QStringLiteral("Ошибка: ")));
  }
};

QTEST_MAIN(RussianTest)
#include "app_russian_test.moc"
