// Placing a top-level window in the middle of the screen.
#pragma once

class QScreen;
class QWidget;

// Centres the window's frame on the free area of the screen (the primary
// screen when none is given). The frame is known once the window is shown;
// before that its size stands in for it.
void CentreOnScreen(QWidget &window, const QScreen *screen = nullptr);
