#pragma once
// The program's five windows, created as at start-up, with dialogs answered by the test.

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/ini_file.h"
#include "app/startup.h"
#include "platform/dialogs.h"
#include "tests/support/fake_dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

class AppTest : public ::testing::Test {
protected:
    FakeDialogs fake;

    static QString ini_path() { return settings_path(); }

    // Lets a test put a settings file in place before the windows are created.
    virtual void before_windows() {}

    void SetUp() override {
        QFile::remove(ini_path());
        set_dialogs(&fake);
        before_windows();
        create_windows();
    }
    void TearDown() override {
        destroy_windows();
        forget_quit_request();
        set_dialogs(nullptr);
        QFile::remove(ini_path());
    }

    // Closing the main window asks the application to quit. Outside a running event loop that
    // request stays pending and makes every later nested loop (a menu's exec, a dialog) return at
    // once, so the next test would see menus that never open. Running the application's loop
    // for one turn consumes it.
    static void forget_quit_request() {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

    static void write_ini(const QByteArray& content) {
        QFile file(ini_path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static QByteArray read_ini() {
        QFile file(ini_path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }
};
