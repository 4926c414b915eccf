// The window's size: fixed at 96 dpi, fitted to a screen too small for it.
//
// Where the screen's available area (less the window frame) holds the whole
// window, nothing changes: the client area is the central widget at its fixed
// size. Where it does not (a small screen, or a large scale factor), the window
// is made as small as that area, the client area goes into a scroll area at
// its full size (so every control keeps its place and can be scrolled to). The
// window stays fixed at that size; the menu and the status line stay outside
// the scrolled part, always in view. A frame the
// window manager adds after the first show is fitted in then, once.
#include <QEvent>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <functional>
#include <utility>

#include "app/kros.h"

namespace {

// The window's fixed client area.
constexpr int kClientWidth = 663;
constexpr int kClientHeight = 545;

// A window manager may frame the window only after its first show: until
// then its frame is not known. This calls `refit` once, on the first move,
// resize, paint or activation of the window that finds it framed.
class FrameWatch : public QObject {
 public:
  static constexpr const char* kName = "FrameWatch";

  FrameWatch(QWidget* window, std::function<void()> refit)
      : QObject(window), window_(window), refit_(std::move(refit)) {
    setObjectName(kName);
    window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type t = event->type();
    const bool placed = t == QEvent::Move || t == QEvent::Resize || t == QEvent::Paint ||
                        t == QEvent::WindowActivate;
    if (watched == window_ && placed && window_->frameGeometry().size() != window_->size()) {
      // Not in the middle of a paint: once the event loop is back.
      window_->removeEventFilter(this);
      QMetaObject::invokeMethod(window_, std::move(refit_), Qt::QueuedConnection);
      deleteLater();
    }
    return false;
  }

 private:
  QWidget* window_;
  std::function<void()> refit_;
};

}  // namespace

void TForm1::applyClientSize() {
  // The form's client area is 663 x 545 below the menu bar, status line included.
  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

void TForm1::fitToScreen() {
  const QScreen* s = screen();
  if (!s) return;
  const QSize frame = frameGeometry().size() - geometry().size();
  if (frame.width() <= 0 && frame.height() <= 0 &&
      !findChild<QObject*>(FrameWatch::kName, Qt::FindDirectChildrenOnly)) {
    new FrameWatch(this, [this] {
      const QSize before = size();
      fitToScreen();
      if (size() == before || !screen()) return;
      QRect moved = frameGeometry();
      moved.moveCenter(screen()->availableGeometry().center());
      move(moved.topLeft());
    });
  }
  const QSize full(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  const QSize room = s->availableGeometry().size() - frame;
  if (full.width() <= room.width() && full.height() <= room.height()) return;

  // The scroll bars the smaller window will need, and the room they take.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  bool vertical = full.height() > room.height();
  const bool horizontal = full.width() + (vertical ? bar : 0) > room.width();
  if (horizontal) vertical = vertical || full.height() + bar > room.height();
  const QSize most(full.width() + (vertical ? bar : 0), full.height() + (horizontal ? bar : 0));

  if (!qobject_cast<QScrollArea*>(centralWidget())) {
    QWidget* client = centralWidget();
    client->setMinimumSize(client->size());
    auto* area = new QScrollArea;
    area->setObjectName("ClientScroll");
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(takeCentralWidget());
    setCentralWidget(area);
  }
  // Fixed again: a resizable window would get a wider frame from some window managers.
  setFixedSize(most.boundedTo(room));
}
