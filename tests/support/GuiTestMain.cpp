// The entry of the window tests written with GoogleTest: one application
// object for all of them, made as the program makes it, so that a failure
// escaping a handler reaches the error box as it does in the program.
#include "Application.h"
#include "BoxRecorder.h"
#include "ErrorReporting.h"
#include "SoftwareRenderer.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests at build time needs no display.
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    KeepSoftwareRendererLoaded();
    TApplication application(argc, argv);
    SetApplicationTitle(QStringLiteral("Vantor 1.5"));
    FailTest() = [](const QString &message) { ADD_FAILURE() << message.toStdString(); };
    ExpectNoBoxes();
    return RUN_ALL_TESTS();
}
