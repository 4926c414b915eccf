// The command line of the window program.
#include "app/app_options.h"

#include <QtTest>

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
};

QTEST_MAIN(OptionsTest)
#include "app_options_test.moc"
