#include "WindowOpacity.h"

#include <QGuiApplication>
#include <QWidget>

void ShowWindowOpacity(QWidget &window, double opacity)
{
    window.setWindowOpacity(opacity);
    // The request would otherwise wait in the connection's buffer until the
    // next input event.
    if (window.windowHandle())
        QGuiApplication::sync();
}
