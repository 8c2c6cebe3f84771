// The progress window driven by real resamplings on the offscreen platform: its layout, the bar
// range and positions seen from inside the run, and the show and hide hooks.

#include "platform/core/error.h"
#include "platform/stay_on_top.h"
#include "resize/U_Interpolation_BiLineaire.h"
#include "resize/Unit2.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <string>
#include <vector>

namespace {

// Passes every call on to the window and notes what the window shows at that moment.
struct Spy : ResampleProgress {
    TForm2& form;
    std::vector<int> values;
    int maximum = -1;
    bool visible_during = true;
    int throw_at = -1;
    explicit Spy(TForm2& f) : form(f) {}
    void resample_started(int rows) override {
        form.resample_started(rows);
        maximum = form.ProgressBar1->maximum();
        EXPECT_EQ(form.ProgressBar1->value(), 0);
    }
    void row_reached(int row) override {
        form.row_reached(row);
        values.push_back(form.ProgressBar1->value());
        visible_during = visible_during && form.isVisible();
        if (row == throw_at)
            throw KapError(QStringLiteral("interrompu"));
    }
    void resample_finished() override { form.resample_finished(); }
};

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override {
        set_stay_on_top_owner(
            [this](bool on_top) { hooks.push_back(on_top ? "hidden" : "shown"); });
    }
    void TearDown() override { set_stay_on_top_owner({}); }
    TForm2 form;
    std::vector<std::string> hooks;
    QImage picture{40, 30, QImage::Format_BGR888};
};

TEST_F(ProgressWindow, LayoutAndStartsHidden) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Redimensionnement..."));
    EXPECT_EQ(form.size(), QSize(235, 35));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.ProgressBar1->geometry(), QRect(9, 9, 217, 16));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(hooks.empty());
}

TEST_F(ProgressWindow, BarCountsTenPerRowThenResetsAndHides) {
    Spy spy(form);
    InterpolationBiLineaire(picture, 30, 20, &spy);
    EXPECT_EQ(spy.maximum, 190);
    std::vector<int> want;
    for (int y = 0; y < 20; ++y)
        want.push_back(10 * y);
    EXPECT_EQ(spy.values, want);
    EXPECT_TRUE(spy.visible_during);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(hooks, (std::vector<std::string>{"shown", "hidden"}));

    InterpolationBiLineaire(picture, 1, 1, &spy); // again, with one row: the range is 0..0
    EXPECT_EQ(spy.maximum, 0);
    EXPECT_EQ(hooks, (std::vector<std::string>{"shown", "hidden", "shown", "hidden"}));
}

TEST_F(ProgressWindow, FailuresLeaveTheWindowHidden) {
    EXPECT_THROW(InterpolationBiLineaire(picture, 10, 0, &form), KapError);
    EXPECT_TRUE(hooks.empty()); // never shown

    Spy spy(form);
    spy.throw_at = 5;
    EXPECT_THROW(InterpolationBiLineaire(picture, 80, 80, &spy), KapError);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(hooks, (std::vector<std::string>{"shown", "hidden"}));
    EXPECT_EQ(picture.size(), QSize(40, 30));
}

} // namespace
