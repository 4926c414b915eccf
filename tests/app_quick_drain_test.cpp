// "Сервис → Быстрый обмен": the session's quick drain follows it at once, the
// choice is remembered in the data folder (a folder that cannot be written
// leaves it for the run), and a node with quick=1 in the node file is called
// with the quick drain even when the item is off.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "connection/data_dir.h"
#include "support/fake_line.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

namespace {

using vardis::test::TestForm;

vardis::SessionConfig configFor(const std::filesystem::path& dataDir) {
  vardis::SessionConfig config;
  config.dataDir = dataDir;
  return config;
}

}  // namespace

class QuickDrainTest : public QObject {
  Q_OBJECT

 private slots:
  void theServiceItemSetsTheSessionAndIsRemembered() {
    vardis::test::VirtualClock clock;
    vardis::test::FakeLine line(clock);
    vardis::test::TempDir dir;
    {
      TestForm form(line, clock, configFor(dir.path()));
      const QList<QAction*> menus = form.menuBar()->actions();
      QCOMPARE(menus.size(), 1);
      QCOMPARE(menus[0]->text(), QStringLiteral("Сервис"));
      const QList<QAction*> items = menus[0]->menu()->actions();
      QCOMPARE(items.indexOf(form.QuickDrainAction), items.indexOf(form.StoreAction) + 1);
      QCOMPARE(form.QuickDrainAction->objectName(), QStringLiteral("QuickDrainAction"));
      QCOMPARE(form.QuickDrainAction->text(), QStringLiteral("Быстрый обмен"));
      QVERIFY(form.QuickDrainAction->isCheckable());
      QVERIFY(!form.QuickDrainAction->isChecked());
      QVERIFY(!form.session().link.quickDrain);

      form.QuickDrainAction->trigger();
      QVERIFY(form.session().link.quickDrain);
      form.QuickDrainAction->trigger();
      QVERIFY(!form.session().link.quickDrain);
      form.QuickDrainAction->trigger();
    }
    QVERIFY(std::filesystem::exists(dir.path() / "vardis-window.ini"));
    TestForm again(line, clock, configFor(dir.path()));
    QVERIFY(again.QuickDrainAction->isChecked());
    QVERIFY(again.session().link.quickDrain);
  }

  void aFolderThatCannotBeWrittenLeavesTheChoiceForTheRun_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("read-only folder") << true;
    // Unwritable even for root: the file's name is taken by a folder.
    QTest::newRow("file name taken") << false;
  }
  void aFolderThatCannotBeWrittenLeavesTheChoiceForTheRun() {
    QFETCH(bool, readOnly);
    vardis::test::VirtualClock clock;
    vardis::test::FakeLine line(clock);
    vardis::test::TempDir dir;
    namespace fs = std::filesystem;
    if (readOnly) {
      fs::permissions(dir.path(), fs::perms(0555));
    } else {
      fs::create_directory(dir.path() / "vardis-window.ini");
    }
    TestForm form(line, clock, configFor(dir.path()));
    QVERIFY(!form.QuickDrainAction->isChecked());
    form.QuickDrainAction->trigger();
    QVERIFY(form.session().link.quickDrain);
    form.QuickDrainAction->trigger();
    form.QuickDrainAction->trigger();
    QVERIFY(form.session().link.quickDrain);
    QVERIFY(form.errors.isEmpty());
    const bool written = fs::is_regular_file(dir.path() / "vardis-window.ini");
    // Said once, and only when the choice was not kept (root writes anyway).
    QCOMPARE(form.Memo1->toPlainText().count(QStringLiteral("Не удалось записать")),
             written ? 0 : 1);
    if (!readOnly) QVERIFY(!written);
    fs::permissions(dir.path(), fs::perms::owner_all);
  }

  void aQuickNodeIsCalledQuickAndTheNextNodeAsTheMenuSays() {
    vardis::test::VirtualClock clock;
    vardis::test::FakeLine line(clock);
    vardis::test::TempDir dir;
    std::ofstream(vardis::nodeFile(dir.path()))
        << "[baza]\nkol_uzlov=2\ntel_1=ATD+79000000001\nname_u1=A\nquick_1=1\n"
           "tel_2=ATD+79000000002\nname_u2=B\n";
    TestForm form(line, clock, configFor(dir.path()));
    form.CheckBox2->setChecked(true);
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    const auto dialNode = [&form](int index) {
      form.ComboBox3->setCurrentIndex(index);
      form.ComboBox3Change();
      QTest::mouseClick(form.Button7, Qt::LeftButton);
      return form.session().link.quickDrain;
    };
    QVERIFY(dialNode(0));
    QVERIFY(!dialNode(1));
    form.QuickDrainAction->trigger();
    QVERIFY(dialNode(1));
    form.QuickDrainAction->trigger();
    QVERIFY(dialNode(0));
    // "Старт" again: no node is called, the menu decides.
    QTest::mouseClick(form.Button14, Qt::LeftButton);
    QTest::mouseClick(form.Button13, Qt::LeftButton);
    QVERIFY(!form.session().link.quickDrain);
    // A number typed over the quick node's is no node's.
    QVERIFY(dialNode(0));
    form.Edit1->setText(QStringLiteral("ATD+79000000009"));
    QTest::mouseClick(form.Button7, Qt::LeftButton);
    QVERIFY(!form.session().link.quickDrain);
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join('\n')));
    QTest::mouseClick(form.Button14, Qt::LeftButton);
  }
};

QTEST_MAIN(QuickDrainTest)
#include "app_quick_drain_test.moc"
