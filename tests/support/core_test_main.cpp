#include <QCoreApplication>
#include <gtest/gtest.h>

// QProcess and Qt's image plugins want an application object; no display is needed.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
