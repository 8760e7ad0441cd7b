// The program entry: a new registry gets the keys the presets point to, the
// six windows exist in their globals for the whole run, the main window is
// shown and activated, and closing it ends the run.
#include "ErrorReporting.h"
#include "PresetLocations.h"
#include "Program.h"
#include "ScratchRegistry.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace {

int failures = 0;

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "FAIL: %s\n", what);
        ++failures;
    }
}

} // namespace

int main(int argc, char **argv)
{
    bool sawRun = false;
    bool fadedIn = false;
    ScratchRegistry registry;
    const int code = RunProgram(argc, argv, [&](TForm1 &form) {
        sawRun = true;
        HKEY preset = nullptr;
        Check(RegOpenKeyExA(HKEY_LOCAL_MACHINE, PresetLocations::WindowsNtCurrentVersion, 0, KEY_READ, &preset)
                  == ERROR_SUCCESS,
              "a new registry gets the keys the presets point to");
        RegCloseKey(preset);
        Check(Form1 == &form, "Form1 is the main window");
        Check(qobject_cast<QApplication *>(qApp) != nullptr, "an application object exists");
        Check(AboutBox && Form3 && Form4 && Form5 && Form6, "the five dialogs exist");
        Check(!AboutBox->isVisible() && !Form3->isVisible() && !Form4->isVisible() && !Form5->isVisible()
                  && !Form6->isVisible(),
              "the dialogs are hidden at start");
        Check(form.isVisible(), "the main window is shown");
        Check(ApplicationTitle() == QStringLiteral("Vantor 1.5"), "the application title");
        Check(!form.windowIcon().isNull(), "the window icon");
        QTimer::singleShot(3000, &form, [&form, &fadedIn] {
            fadedIn = !form.AlphaBlend() && form.AlphaBlendValue() == 255;
            form.Edit2->setText(QStringLiteral("last path"));
            form.close();
        });
    });
    Check(sawRun, "the program ran");
    Check(code == 0, "closing the main window ends the run with 0");
    Check(fadedIn, "the main window faded in");
    Check(Form1 == nullptr && AboutBox == nullptr && Form6 == nullptr, "the globals are cleared at the end");
    if (failures == 0)
        std::puts("PASS: program entry");
    return failures == 0 ? 0 : 1;
}
