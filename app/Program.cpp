#include "Program.h"

#include "Application.h"
#include "CaptionTable.h"
#include "ErrorReporting.h"
#ifndef _WIN32
#include "NewRegistry.h"
#endif
#include "StartupHives.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"

#include <QIcon>

namespace {

// Points a window's global at it for as long as the window lives.
template <typename Window>
class GlobalWindow {
public:
    explicit GlobalWindow(Window *&global) : global_(global) { global_ = &window_; }
    ~GlobalWindow() { global_ = nullptr; }
    GlobalWindow(const GlobalWindow &) = delete;
    GlobalWindow &operator=(const GlobalWindow &) = delete;
    Window &operator*() { return window_; }

private:
    Window *&global_;
    Window window_;
};

} // namespace

int RunProgram(int argc, char **argv, const std::function<void(TForm1 &)> &beforeLoop)
{
    TApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("vantor"));
    application.setDesktopFileName(QStringLiteral("vantor"));
    application.setWindowIcon(QIcon(QStringLiteral(":/icons/vantor.png")));
    SetApplicationTitle(QStringLiteral("Vantor 1.5"));
    TellUnchangeableHives(CreationLanguage);
#ifndef _WIN32
    // Our own engine's registry folder starts empty; Windows' registry never does.
    RunStartupStep(SeedRegistryIfNew);
#endif

    // Created in this order and kept for the whole run; the main window
    // first. Destroyed in the reverse order.
    GlobalWindow<TForm1> form1(Form1);
    GlobalWindow<TAboutBox> aboutBox(AboutBox);
    GlobalWindow<TForm3> form3(Form3);
    GlobalWindow<TForm4> form4(Form4);
    GlobalWindow<TForm5> form5(Form5);
    GlobalWindow<TForm6> form6(Form6);

    (*form1).show();
    (*form1).activateWindow();
    if (beforeLoop)
        beforeLoop(*form1);
    return application.exec();
}
