// The window on small and large screens: within the available area, and each
// control of it scrolled to lies on the screen and takes the click. Offscreen
// the program brings its own screens: 1366 x 768 at a scale of 1.5, 1280 x 720
// at 1.25, 1920 x 1080 at 1; under X it takes those it finds (xvfb-run -a -s
// "-screen 0 1366x768x24" env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1.5 app_fit_test).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "support/fake_line.h"
#include "support/temp_dir.h"
#include "support/test_form.h"

namespace {

QRect globalRect(const QWidget* w) {
  return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// Each shown control is on the screen and under its own centre once scrolled
// to; an enabled button, its handlers cut off, takes the click there.
void checkControls(QMainWindow& form, const QRect& screen) {
  auto* area = qobject_cast<QScrollArea*>(form.centralWidget());
  for (QWidget* w : form.findChildren<QWidget*>()) {
    auto* button = qobject_cast<QAbstractButton*>(w);
    const bool control = qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) ||
                         qobject_cast<QComboBox*>(w) || qobject_cast<QDateEdit*>(w);
    if (!control || w->window() != &form || !w->isVisible()) continue;
    if (area) area->ensureWidgetVisible(w, 0, 0);
    const QPoint centre = w->mapTo(&form, w->rect().center());
    // A control wider than the scrolled view can only be in view in part.
    const bool fits = !area || (w->width() <= area->viewport()->width() &&
                                w->height() <= area->viewport()->height());
    const QByteArray name = w->objectName().toUtf8();
    QVERIFY2(fits ? screen.contains(globalRect(w)) : screen.contains(form.mapToGlobal(centre)),
             name);
    QWidget* hit = form.childAt(centre);
    QVERIFY2(hit == w || w->isAncestorOf(hit), name);
    if (!button || !button->isEnabled()) continue;
    QObject::disconnect(button, nullptr, &form, nullptr);
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, centre);
    QVERIFY2(clicked.count() == 1, name);
  }
}

}  // namespace

class FitTest : public QObject {
  Q_OBJECT

  vardis::test::VirtualClock clock_;
  vardis::test::FakeLine line_{clock_};
  vardis::test::TempDir dir_;

 private slots:
  void everyControlWithinReach_data() {
    QTest::addColumn<QScreen*>("screen");
    for (QScreen* s : QGuiApplication::screens()) QTest::newRow(qPrintable(s->name())) << s;
  }
  void everyControlWithinReach() {
    QFETCH(QScreen*, screen);
    vardis::SessionConfig config;
    config.dataDir = dir_.path();
    vardis::test::TestForm form(line_, clock_, config);
    const QSize full(663, 545 + form.menuBar()->sizeHint().height());
    form.setScreen(screen);
    form.move(screen->availableGeometry().topLeft());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QRect room = screen->availableGeometry();
    QTRY_VERIFY(room.contains(form.frameGeometry()));  // a window manager frames it late
    QVERIFY(form.statusBar()->isVisible() && room.contains(globalRect(form.statusBar())));
    auto* area = qobject_cast<QScrollArea*>(form.centralWidget());
    if (room.size().expandedTo(full + form.frameGeometry().size() - form.size()) == room.size()) {
      QVERIFY(!area);  // room enough: the window as it always was
      QCOMPARE(form.minimumSize(), full);
      QCOMPARE(form.maximumSize(), full);
    } else {
      QVERIFY(area);  // the client area scrolls at its full size: nothing squeezed
      QCOMPARE(area->widget()->size(), QSize(663, 545 - form.statusBar()->height()));
    }
    for (int page = 0; page < form.PageControl2->count() && !QTest::currentTestFailed(); ++page) {
      form.PageControl2->setCurrentIndex(page);
      checkControls(form, room);
    }
  }
};

int main(int argc, char** argv) {
  QTemporaryDir dir;
  QFile screens(dir.filePath("screens.json"));
  if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screens.open(QIODevice::WriteOnly)) {
    screens.write(R"({"screens": [
      {"name": "1366x768@1.5", "x": 0, "y": 0, "width": 1366, "height": 768, "logicalDpi": 144},
      {"name": "1280x720@1.25", "x": 1366, "y": 0, "width": 1280, "height": 720, "logicalDpi": 120},
      {"name": "1920x1080", "x": 2646, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96}]})");
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
  }
  QApplication app(argc, argv);
  FitTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "app_fit_test.moc"
