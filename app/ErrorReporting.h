// The two ways the program tells the user something: the error box for a
// failure that escaped a handler, and the message dialog for conditions the
// program tests itself. Both are modal, captioned with the application title.
#pragma once

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <string>

class QMessageBox;

// The application title, caption of both boxes ("Vantor 1.5" once the
// program entry has set it).
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// The error box's text for an exception message: a "." is appended when the
// message is not empty and the first byte of its last character is above
// '.' (0x2E); otherwise the message is shown unchanged.
QString ErrorBoxText(const std::string &message);

// Error box: the stop icon, one OK button; the program's other windows take
// no input meanwhile, and the active window and focus come back afterwards.
void ShowErrorBox(const std::string &message);
// Shows the error box for an exception caught at event dispatch.
void ReportException(const std::exception &failure);

// Message dialog: no icon, the text unchanged, one "OK" button that is both
// default and cancel, centred on the screen.
void ShowMessage(const QString &text);

// Runs work; an exception escaping it goes to the error box. True when work
// completed.
bool RunReportingFailures(const std::function<void()> &work);

// Connects signal to a handler of receiver so that a failure of the handler
// goes to the error box right where it leaves the handler. The application's
// event dispatch catches failures too, but one that passes through the
// widgets' own event code on its way there leaves some of their memory
// behind; handlers of the program's windows are connected this way.
template <typename Sender, typename Signal, typename Receiver>
QMetaObject::Connection ConnectHandler(Sender *sender, Signal signal, Receiver *receiver, void (Receiver::*handler)())
{
    return QObject::connect(sender, signal, receiver,
                            [receiver, handler] { RunReportingFailures([&] { (receiver->*handler)(); }); });
}

// Tests observe the boxes through this hook. It gets every box fully built,
// just before it would be shown; returning true dismisses the box without
// showing it. An empty hook restores the ordinary showing.
using DialogHook = std::function<bool(QMessageBox &box)>;
void SetDialogHook(DialogHook hook);
