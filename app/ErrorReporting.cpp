#include "ErrorReporting.h"

#include "CaptionTable.h"
#include "CentreOnScreen.h"
#include "RefusalText.h"
#include "Registry.h"
#include "Unit1.h"

#include <QApplication>
#include <QFontMetrics>
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

    // The box wraps its lines at blanks. A word wider than the screen allows
    // (a very long name), or a line that would take more than three lines,
    // is shortened in its middle; the whole text is then under the box's
    // details.
    void FitToScreen()
    {
        const QScreen *screen = screen_ ? screen_.data() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const int room = screen->availableGeometry().width() * 2 / 3;
        const QFontMetrics metrics(font());
        const QString whole = text();
        QStringList lines = whole.split('\n');
        for (QString &line : lines) {
            QStringList words = line.split(' ');
            for (QString &word : words)
                word = metrics.elidedText(word, Qt::ElideMiddle, room);
            line = metrics.elidedText(words.join(' '), Qt::ElideMiddle, 3 * room);
        }
        const QString fitted = lines.join('\n');
        if (fitted == whole)
            return;
        setText(fitted);
        setDetailedText(whole);
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
    box.FitToScreen();
    Present(box);
}

// The language the main window shows: the one it was made in until the
// stored one is restored.
TLanguage WindowLanguage()
{
    const std::optional<TLanguage> marked = Form1 ? MarkedLanguage(*Form1) : std::nullopt;
    return marked.value_or(CreationLanguage);
}

// A registry failure whose reason is known shows that reason, in the
// window's language, on the line after its own message.
void ReportException(const std::exception &failure)
{
    const auto *refused = dynamic_cast<const ERegistryException *>(&failure);
    if (!refused || !refused->Reason()) {
        ShowErrorBox(failure.what());
        return;
    }
    ShowErrorBox(refused->FirstLine() + "\n" + RefusalText(WindowLanguage(), *refused->Reason()).toStdString());
}

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
