// One application object for all dialog tests, made as the program makes it.
#include "Application.h"
#include "ErrorReporting.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    TApplication application(argc, argv);
    SetApplicationTitle(QStringLiteral("Vantor 1.5"));
    return RUN_ALL_TESTS();
}
