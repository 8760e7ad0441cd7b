#include "ErrorReporting.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace {

QString &TitleStore()
{
    static QString title;
    return title;
}

DialogHook &HookStore()
{
    static DialogHook hook;
    return hook;
}

void Present(QMessageBox &box)
{
    if (const DialogHook &hook = HookStore(); hook && hook(box))
        return;
    box.exec();
}

void AddSingleOkButton(QMessageBox &box)
{
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
}

// Mouse capture and open popup menus would otherwise hold on to input that
// the box needs.
void CancelMouseModes()
{
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    for (int guard = 0; guard < 16; ++guard) {
        QWidget *popup = QApplication::activePopupWidget();
        if (!popup)
            break;
        popup->close();
    }
}

bool IsContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

} // namespace

QString ApplicationTitle() { return TitleStore(); }

void SetApplicationTitle(const QString &title) { TitleStore() = title; }

QString ErrorBoxText(const std::string &message)
{
    std::string text = message;
    if (!message.empty()) {
        std::size_t last = message.size() - 1;
        while (last > 0 && IsContinuationByte(message[last]))
            --last;
        if (static_cast<unsigned char>(message[last]) > static_cast<unsigned char>('.'))
            text += '.';
    }
    return QString::fromStdString(text);
}

void ShowErrorBox(const std::string &message)
{
    CancelMouseModes();
    const QPointer<QWidget> activeWindow = QApplication::activeWindow();
    const QPointer<QWidget> focusWidget = QApplication::focusWidget();

    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), ErrorBoxText(message));
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    AddSingleOkButton(box);
    Present(box);

    if (activeWindow) {
        activeWindow->activateWindow();
        if (focusWidget)
            focusWidget->setFocus();
    }
}

void ReportException(const std::exception &failure) { ShowErrorBox(failure.what()); }

void ShowMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    AddSingleOkButton(box);
    Present(box);
}

bool RunReportingFailures(const std::function<void()> &work)
{
    try {
        work();
        return true;
    } catch (const std::exception &failure) {
        ReportException(failure);
    } catch (...) {
        ShowErrorBox("Unknown failure");
    }
    return false;
}

void SetDialogHook(DialogHook hook) { HookStore() = std::move(hook); }
