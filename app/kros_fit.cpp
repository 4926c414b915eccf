// The window's size: fixed at 96 dpi, fitted to a screen too small for it.
#include <QMenuBar>

#include "app/kros.h"

namespace {

// The window's fixed client area.
constexpr int kClientWidth = 663;
constexpr int kClientHeight = 545;

}  // namespace

void TForm1::applyClientSize() {
  // The form's client area is 663 x 545 below the menu bar, status line included.
  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

void TForm1::fitToScreen() {}
