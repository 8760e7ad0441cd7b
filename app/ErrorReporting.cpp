#include "ErrorReporting.h"

#include "CentreOnScreen.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace {

// Qt places a parentless box near the centre but from its size before the
// final layout; this one centres itself once its size is known, on the
// screen of the window that was active (the primary screen without one).
class CentredBox : public QMessageBox {
public:
    CentredBox(Icon icon, const QString &title, const QString &text)
        : QMessageBox(icon, title, text), screen_(ActiveScreen())
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
        CentreOnScreen(*this, screen_ ? screen_.data() : screen());
    }

private:
    static QScreen *ActiveScreen()
    {
        const QWidget *active = QApplication::activeWindow();
        return active ? active->screen() : QGuiApplication::primaryScreen();
    }

    QPointer<QScreen> screen_;
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

// Gives activation and keyboard focus back to where they were when a box
// went up, as the platform does not always do so. Activation arrives later
// than it is asked for, so a box that follows another at once takes the
// window the previous one handed back.
class ActivationKeeper {
public:
    ActivationKeeper() : window_(QApplication::activeWindow()), focus_(QApplication::focusWidget())
    {
        if (!window_ && handedBack_ && handedBack_->isVisible()) {
            window_ = handedBack_;
            focus_ = handedBack_->focusWidget();
        }
    }
    ~ActivationKeeper()
    {
        handedBack_ = window_;
        if (!window_)
            return;
        window_->activateWindow();
        if (focus_)
            focus_->setFocus();
    }
    ActivationKeeper(const ActivationKeeper &) = delete;
    ActivationKeeper &operator=(const ActivationKeeper &) = delete;

private:
    static inline QPointer<QWidget> handedBack_;
    QPointer<QWidget> window_;
    QPointer<QWidget> focus_;
};

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
    const ActivationKeeper keeper;
    CentredBox box(QMessageBox::Critical, ApplicationTitle(), ErrorBoxText(message));
    Present(box);
}

void ReportException(const std::exception &failure) { ShowErrorBox(failure.what()); }

void ShowMessage(const QString &text)
{
    const ActivationKeeper keeper;
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
