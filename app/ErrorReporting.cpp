#include "ErrorReporting.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace {

// Qt places a parentless box near the centre but from its size before the
// final layout; this one centres itself once its size is known.
class CentredBox : public QMessageBox {
public:
    CentredBox(Icon icon, const QString &title, const QString &text) : QMessageBox(icon, title, text)
    {
        setTextFormat(Qt::PlainText);
        setWindowModality(Qt::ApplicationModal);
        QPushButton *ok = addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        setDefaultButton(ok);
        setEscapeButton(ok);
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        if (const QScreen *screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    }
};

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

    CentredBox box(QMessageBox::Critical, ApplicationTitle(), ErrorBoxText(message));
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
    CentredBox box(QMessageBox::NoIcon, ApplicationTitle(), text);
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
