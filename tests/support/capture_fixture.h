#pragma once
// The program's windows over a fake screen of known pixels, with the blocking waits recorded
// instead of slept.

#include "tests/support/app_fixture.h"

#include "app/spin_box.h"
#include "edit/picture_view.h"
#include "platform/core/error.h"
#include "platform/core/temp_dir.h"
#include "platform/wait.h"
#include "tests/support/fake_screen.h"
#include "tests/support/test_pictures.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <vector>

class CaptureTest : public AppTest {
protected:
    QTemporaryDir temp;
    QByteArray old_tmpdir;
    FakeScreen fake_screen{position_pattern(QSize(1280, 1024))};
    std::vector<int> waits;
    std::vector<bool> main_visible_at_grab;

    void SetUp() override {
        old_tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        set_screen(&fake_screen);
        set_waiter([this](int ms) { waits.push_back(ms); });
        fake_screen.on_grab = [this](const ScreenRect&) {
            main_visible_at_grab.push_back(Form1 && Form1->isVisible());
        };
        AppTest::SetUp();
        Form1->show();
    }
    void TearDown() override {
        AppTest::TearDown();
        set_waiter({});
        set_screen(nullptr);
        if (old_tmpdir.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", old_tmpdir);
    }

    const QImage& picture() const { return Form1->Image1->picture(); }
    static QImage crop(const QImage& image, const QRect& rect) { return image.copy(rect); }
    // The client area fitted to a narrow picture: 428 wide, or wider where the window manager's
    // frame is thinner than the standard one, since the window is never less than 442 wide.
    static QSize narrow_client(int height) {
        const int frame = Form1->outer_size().width() - Form1->width();
        return QSize(std::max(428, 442 - frame), height);
    }
};
