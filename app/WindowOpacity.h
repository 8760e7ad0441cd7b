// Layered-window transparency as the window system sees it.
#pragma once

class QWidget;

// Gives the window its opacity, 0 transparent to 1 opaque, and hands it to
// the window system at once: each step of a fade then reaches the screen,
// also while nothing else wakes the program's event loop.
void ShowWindowOpacity(QWidget &window, double opacity);
