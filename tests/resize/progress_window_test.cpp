// The progress window driven by real resamplings on the offscreen platform: its layout, the bar
// range and positions seen from inside the run, the show and hide hooks, and repainting while the
// event loop is not running.

#include "platform/error.h"
#include "resize/U_Interpolation_BiLineaire.h"
#include "resize/Unit2.h"
#include "resize/resample_tuning.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QProgressBar>
#include <string>
#include <vector>

namespace {

QImage gradient(int w, int h) {
    QImage img(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = img.scanLine(y) + 3 * x;
            p[0] = uchar(x);
            p[1] = uchar(y);
            p[2] = uchar(x ^ y);
        }
    return img;
}

// Passes every call on to the window and notes what the window looks like at that moment.
struct Spy : ResampleProgress {
    TForm2& form;
    std::vector<std::string> log;
    std::vector<int> values;
    int maximum = -1;
    bool visible_during = true;
    int throw_at = -1;
    explicit Spy(TForm2& f) : form(f) {}
    void resample_started(int rows) override {
        form.resample_started(rows);
        log.push_back("started");
        maximum = form.ProgressBar1->maximum();
        EXPECT_EQ(form.ProgressBar1->minimum(), 0);
        EXPECT_EQ(form.ProgressBar1->value(), 0);
    }
    void row_reached(int row) override {
        form.row_reached(row);
        values.push_back(form.ProgressBar1->value());
        visible_during = visible_during && form.isVisible();
        if (row == throw_at)
            throw KapError(QStringLiteral("interrompu"));
    }
    void resample_finished() override {
        form.resample_finished();
        log.push_back("finished");
    }
};

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form.on_shown = [this] { hooks.push_back("shown"); };
        form.on_hidden = [this] { hooks.push_back("hidden"); };
    }
    TForm2 form;
    std::vector<std::string> hooks;
};

TEST_F(ProgressWindow, LayoutAndStartsHidden) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Redimensionnement..."));
    EXPECT_EQ(form.size(), QSize(235, 35));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.ProgressBar1->geometry(), QRect(9, 9, 217, 16));
    EXPECT_EQ(form.ProgressBar1->objectName(), QStringLiteral("ProgressBar1"));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(hooks.empty());
}

TEST_F(ProgressWindow, BarCountsTenPerRowThenResetsAndHides) {
    Spy spy(form);
    QImage picture = gradient(64, 48);
    InterpolationBiLineaire(picture, 30, 20, &spy);
    EXPECT_EQ(spy.maximum, 190);
    ASSERT_EQ(spy.values.size(), 20u);
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(spy.values[std::size_t(y)], 10 * y);
    EXPECT_TRUE(spy.visible_during);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(hooks, (std::vector<std::string>{"shown", "hidden"}));

    // A second run shows and hides the window again.
    InterpolationBiLineaire(picture, 1, 1, &spy);
    EXPECT_EQ(spy.maximum, 0);
    EXPECT_EQ(hooks, (std::vector<std::string>{"shown", "hidden", "shown", "hidden"}));
}

TEST_F(ProgressWindow, HeightZeroNeverShowsTheWindow) {
    QImage picture = gradient(10, 10);
    EXPECT_THROW(InterpolationBiLineaire(picture, 10, 0, &form), KapError);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(hooks.empty());
    EXPECT_EQ(picture.size(), QSize(10, 10));
}

TEST_F(ProgressWindow, InterruptedRunStillHidesAndResets) {
    Spy spy(form);
    spy.throw_at = 5;
    QImage picture = gradient(40, 40);
    EXPECT_THROW(InterpolationBiLineaire(picture, 80, 80, &spy), KapError);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(hooks, (std::vector<std::string>{"shown", "hidden"}));
    EXPECT_EQ(picture.size(), QSize(40, 40));
}

TEST_F(ProgressWindow, BarRepaintsWithoutTheEventLoop) {
    // A resampling long enough to span several repaint intervals on one thread; no event is
    // processed meanwhile, so every paint the bar gets is one forced from the progress calls.
    PaintCounter counter;
    form.ProgressBar1->installEventFilter(&counter);
    ResampleTuning tuning;
    tuning.threads = 1;
    tuning.fast_path = false;
    const QImage big = gradient(1200, 900);
    int paints_at_start = -1;
    struct Start : Spy {
        int* mark;
        PaintCounter* c;
        Start(TForm2& f, int* m, PaintCounter* pc) : Spy(f), mark(m), c(pc) {}
        void resample_started(int rows) override {
            Spy::resample_started(rows);
            *mark = c->paints;
        }
    } probe(form, &paints_at_start, &counter);
    resample_bilinear_tuned(big, 1500, 1100, &probe, tuning);
    EXPECT_GE(paints_at_start, 0);
    EXPECT_GE(counter.paints - paints_at_start, 3);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
