// The command line of the window program, and the version its About box names.
#include "app/app_options.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "support/scripted_window.h"
#include "vardis_version.h"

class OptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void defaults() {
    QString error;
    QString help;
    const auto o = vardis::parseAppOptions({"vardis"}, error, help);
    QVERIFY(o);
    QVERIFY(!o->demo);
    QVERIFY(o->dataDir.isEmpty());
    QVERIFY(o->screenshot.isEmpty());
    QCOMPARE(o->tab, -1);
    QVERIFY(!o->diagnostics);
  }

  void dataFolder() {
    QString error;
    QString help;
    const std::filesystem::path home = "/home/op/vardis";
    auto dirOf = [&](const QStringList& args) {
      const auto o = vardis::parseAppOptions(args, error, help);
      return o ? vardis::dataDirFor(*o, home) : std::filesystem::path("?");
    };
    QCOMPARE(dirOf({"vardis"}), home);
    // The demonstration keeps away from the real report folder.
    QCOMPARE(dirOf({"vardis", "--demo"}), home / "demo");
    QCOMPARE(dirOf({"vardis", "--demo", "--data-dir", "/tmp/v"}), std::filesystem::path("/tmp/v"));
    QCOMPARE(dirOf({"vardis", "--data-dir", "/tmp/w"}), std::filesystem::path("/tmp/w"));
  }

  // The folder of the last run while it is one; not for a demonstration or pictures.
  void rememberedDataFolder() {
    QTemporaryDir dir;
    const QString choices = dir.filePath("choices.ini");
    QSettings(choices, QSettings::IniFormat).setValue(vardis::kDataDirChoice, dir.path());
    const std::filesystem::path last = vardis::rememberedDataDir(choices);
    QCOMPARE(last, std::filesystem::path(dir.path().toStdString()));
    QString error;
    QString help;
    const auto plain = vardis::parseAppOptions({"vardis"}, error, help);
    const auto demo = vardis::parseAppOptions({"vardis", "--demo"}, error, help);
    QCOMPARE(vardis::dataDirFor(*plain, "/home/op/vardis", last), last);
    QCOMPARE(vardis::dataDirFor(*plain, "/v", last / "gone"), std::filesystem::path("/v"));
    QCOMPARE(vardis::dataDirFor(*demo, "/v", last), std::filesystem::path("/v/demo"));
    QVERIFY(vardis::remembersChoices(*plain) && !vardis::remembersChoices(*demo));
  }

  void everyOption() {
    QString error;
    QString help;
    const auto o =
        vardis::parseAppOptions({"vardis", "--demo", "--data-dir", "/tmp/v", "--screenshot",
                                 "/tmp/w.png", "--tab", "11", "--diagnostics"},
                                error, help);
    QVERIFY2(o, qPrintable(error));
    QVERIFY(o->demo);
    QCOMPARE(o->dataDir, QStringLiteral("/tmp/v"));
    QCOMPARE(o->screenshot, QStringLiteral("/tmp/w.png"));
    QCOMPARE(o->tab, 11);
    QVERIFY(o->diagnostics);
  }

  void errors_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"vardis", "--bogus"};
    QTest::newRow("missing folder") << QStringList{"vardis", "--data-dir"};
    QTest::newRow("empty folder") << QStringList{"vardis", "--data-dir", ""};
    QTest::newRow("bad page") << QStringList{"vardis", "--tab", "x"};
    QTest::newRow("stray argument") << QStringList{"vardis", "COM1"};
  }
  void errors() {
    QFETCH(QStringList, arguments);
    QString error;
    QString help;
    QVERIFY(!vardis::parseAppOptions(arguments, error, help));
    QVERIFY(!error.isEmpty());
    QVERIFY(help.isEmpty());
  }

  void help() {
    QString error;
    QString help;
    QVERIFY(!vardis::parseAppOptions({"vardis", "--help"}, error, help));
    QVERIFY(error.isEmpty());
    QVERIFY(help.contains(QStringLiteral("--demo")));
    QVERIFY(help.contains(QStringLiteral("--data-dir")));
    QVERIFY(!help.contains(QStringLiteral("--screenshot")));
  }

  // "Сервис → О программе" shows the version and the Qt in use; the form's
  // caption stays its own.
  void aboutBox() {
    vardis::test::ScriptedWindow window;
    auto* about = window.form->findChild<QAction*>(QStringLiteral("AboutAction"));
    QVERIFY(about);
    QCOMPARE(about->text(), QStringLiteral("О программе"));
    const QList<QAction*> menus = window.form->menuBar()->actions();
    QVERIFY(menus.at(0)->menu()->actions().contains(about));
    QString shown;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->accept();
        closer.stop();
      }
    });
    closer.start(10);
    about->trigger();
    QVERIFY2(shown.startsWith(QStringLiteral("vardis " VARDIS_VERSION "\n")), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("теплосчётчика ВАРДИС")), qPrintable(shown));
    QVERIFY2(shown.contains(QString::fromLatin1(qVersion())), qPrintable(shown));
    QCOMPARE(window.form->windowTitle(), QStringLiteral("ВАРДИС АРХИВ V2.1 2011.04.08"));
  }
};

QTEST_MAIN(OptionsTest)
#include "app_options_test.moc"
