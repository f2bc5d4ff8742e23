#include <QApplication>
#include <gtest/gtest.h>

// Widgets want a QApplication; the general test main makes only a core one.
int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
