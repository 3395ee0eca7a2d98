// One PostgreSQL server for the whole program; Qt offscreen for the password dialog.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

#include "tests/support/pg_server.h"

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tarnel::test::PgServerEnvironment);
    return RUN_ALL_TESTS();
}
