// TApplication: the program's application object. Every exception that
// escapes an event handler, timer tick or queued call is caught at event
// dispatch and shown in the error box; the program goes on.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
