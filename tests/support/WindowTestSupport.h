// Shared helpers of the tests that drive the program's windows: a registry of
// their own, a record of the boxes that would have been shown, and the test
// entry.
#pragma once

#include "Application.h"
#include "BoxRecorder.h"
#include "ErrorReporting.h"
#include "ScratchRegistry.h"

#include <QTest>

inline void ShowAndActivate(QWidget &window)
{
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

#define VANTOR_TEST_MAIN(TestClass)                                                                                  \
    int main(int argc, char **argv)                                                                                  \
    {                                                                                                                \
        TApplication application(argc, argv);                                                                        \
        SetApplicationTitle(QStringLiteral("Vantor 1.5"));                                                           \
        FailTest() = [](const QString &message) { QTest::qFail(qPrintable(message), __FILE__, __LINE__); };         \
        ExpectNoBoxes();                                                                                             \
        TestClass test;                                                                                              \
        return QTest::qExec(&test, argc, argv);                                                                      \
    }
