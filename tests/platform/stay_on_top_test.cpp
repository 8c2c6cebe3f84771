// The main window gives stay-on-top up while any secondary window is shown, and takes it back only
// when the last one hides.

#include "platform/stay_on_top.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

TEST(StayOnTop, TheMainWindowIsOnTopOnlyWhenNoSecondaryWindowIsShown) {
    std::vector<bool> applied;
    set_stay_on_top_owner([&](bool on_top) { applied.push_back(on_top); });
    QWidget progress, configuration;

    secondary_window_visibility(&configuration, true);
    secondary_window_visibility(&progress, true);
    secondary_window_visibility(&progress, false); // the configuration window is still up
    EXPECT_FALSE(main_window_on_top());
    secondary_window_visibility(&progress, false); // a second hide changes nothing
    secondary_window_visibility(&configuration, false);
    EXPECT_TRUE(main_window_on_top());
    EXPECT_EQ(applied, (std::vector<bool>{false, false, false, false, true}));
    set_stay_on_top_owner({});
}
