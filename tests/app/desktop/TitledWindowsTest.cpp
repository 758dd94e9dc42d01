#include "app/desktop/TitledWindows.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace ambrel;

TEST(TitledWindowsTest, OnlyWindowsWithATitleBarCount) {
    QWidget captions(nullptr, Qt::Window | Qt::FramelessWindowHint);
    captions.show();
    EXPECT_FALSE(TitledWindows::anyShown());
    QWidget history;
    history.show();
    EXPECT_TRUE(TitledWindows::anyShown());
    history.hide();
    EXPECT_FALSE(TitledWindows::anyShown());
    // The window that stands in for a missing tray is always there: it is no sign of work.
    QWidget control;
    control.setProperty(TitledWindows::standsInForTray, true);
    control.show();
    EXPECT_FALSE(TitledWindows::anyShown());
}
