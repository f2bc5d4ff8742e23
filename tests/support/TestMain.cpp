#include <QCoreApplication>
#include <gtest/gtest.h>

// Qt's SQL drivers and processes want an application object; the tests need no event loop.
int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
