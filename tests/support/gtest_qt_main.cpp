// The main of test executables that need a Qt application object (plugins, event loops, the
// hand-off of the receive thread). No window system is touched.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
