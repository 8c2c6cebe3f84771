// The program ignores its command line, Qt's own options included. One application object per
// process, so this test has a program of its own.
#include "app/kap_application.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStyle>
#include <gtest/gtest.h>

TEST(CommandLine, QtOptionsAndOtherArgumentsAreIgnored) {
    char name[] = "kaptorama";
    char reverse[] = "-reverse";
    char style[] = "-style";
    char style_name[] = "no-such-style";
    char platform[] = "-platform";
    char platform_name[] = "no-such-platform"; // would abort start-up if Qt read it
    char file[] = "picture.png";
    char* argv[] = {name, reverse, style, style_name, platform, platform_name, file, nullptr};
    int argc = 7;
    KapApplication app(argc, argv);
    EXPECT_EQ(QGuiApplication::platformName(), "offscreen");
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(QCoreApplication::arguments(), QStringList{"kaptorama"});
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
