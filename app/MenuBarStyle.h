// A menu bar style that shows an item's bitmap and its caption side by side;
// plain Qt styles show only the bitmap when an item has one.
#pragma once

class QObject;
class QStyle;

// A style for one menu bar, owned by owner; it draws like the application's
// style in everything else.
QStyle *NewMenuBarStyle(QObject *owner);
