// main() of the window tests: Qt on the offscreen platform, the program's
// application object, then GoogleTest. A message box no test expected fails
// the running test instead of waiting for a click that never comes.
#include <cstdlib>
#include <gtest/gtest.h>

#include "controls/error_guard.h"
#include "controls/guarded_application.h"

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    tarnel::TGuardedApplication app(argc, argv);
    tarnel::SetMessageBoxHook([](const tarnel::ShownBox& box) {
        ADD_FAILURE() << "Unexpected message box: " << box.text.toStdString();
        return false;
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
