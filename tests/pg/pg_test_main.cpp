// One PostgreSQL server for the whole program.
#include <gtest/gtest.h>

#include "tests/support/pg_server.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tarnel::test::PgServerEnvironment);
    return RUN_ALL_TESTS();
}
