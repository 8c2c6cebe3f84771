// On a real X server: the progress bar must move on the screen itself while the user-interface
// thread is busy resampling and processes no events. Two screenshots taken by another process
// during one run, at its start and half-way, must differ in a bar-shaped strip only.

#include "resize/U_Interpolation_BiLineaire.h"
#include "resize/Unit2.h"
#include "resize/resample_tuning.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

QImage screenshot(const QString& path) {
    const int rc = QProcess::execute(QStringLiteral("import"),
                                     {QStringLiteral("-window"), QStringLiteral("root"), path});
    EXPECT_EQ(rc, 0);
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

struct Shooter : ResampleProgress {
    TForm2& form;
    QTemporaryDir dir;
    int rows = 0;
    QImage at_start, half_way;
    explicit Shooter(TForm2& f) : form(f) {}
    void resample_started(int n) override {
        form.resample_started(n);
        rows = n;
    }
    void row_reached(int row) override {
        form.row_reached(row);
        if (row == 0) {
            QThread::msleep(400); // let the window manager settle the new window
            at_start = screenshot(dir.filePath("start.png"));
        } else if (row == rows / 2) {
            QThread::msleep(30); // past the repaint interval, then the same row again
            form.row_reached(row);
            half_way = screenshot(dir.filePath("half.png"));
        }
    }
    void resample_finished() override { form.resample_finished(); }
};

TEST(ProgressWindowOnScreen, BarMovesWhileTheThreadIsBusy) {
    TForm2 form;
    Shooter shooter(form);
    QImage picture(300, 200, QImage::Format_BGR888);
    picture.fill(Qt::gray);
    ResampleTuning tuning;
    tuning.threads = 1;
    resample_bilinear_tuned(picture, 600, 400, &shooter, tuning);
    EXPECT_FALSE(form.isVisible());

    ASSERT_FALSE(shooter.at_start.isNull());
    ASSERT_EQ(shooter.at_start.size(), shooter.half_way.size());
    QRect changed;
    int count = 0;
    for (int y = 0; y < shooter.at_start.height(); ++y)
        for (int x = 0; x < shooter.at_start.width(); ++x)
            if (shooter.at_start.pixel(x, y) != shooter.half_way.pixel(x, y)) {
                changed |= QRect(x, y, 1, 1);
                ++count;
            }
    // Half of a 217-pixel bar, no more than its 16 rows, and nothing else on the screen.
    EXPECT_GE(changed.width(), 60) << count << " pixels changed";
    EXPECT_LE(changed.width(), 217);
    EXPECT_LE(changed.height(), 16);
    EXPECT_GE(count, 300);
}

} // namespace
