#include "app/setup/MenuBarPanel.h"

#include "app/setup/WelcomeModel.h"
#include "audio/AudioSourceError.h"
#include "core/VirtualScheduler.h"
#include "locale/L10n.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace ambrel;
using Step = WelcomeModel::Step;
using State = Permissions::State;

TEST(MenuBarPanelTest, HangsUnderTheIconAndKeepsInsideTheScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QRect available(0, 32, 1920, 1048);
    const QSize size(420, 300);
    auto placed = MenuBarPanel::place(QRect(1000, 4, 24, 24), size, screen, available);
    EXPECT_EQ(placed.frame, QRect(802, 32, 420, 300));
    EXPECT_EQ(placed.arrowX, 210);
    // Near the right edge: 8 pixels inside, the arrow follows but not closer than 37 to the end.
    placed = MenuBarPanel::place(QRect(1900, 4, 20, 24), size, screen, available);
    EXPECT_EQ(placed.frame.right(), 1920 - 8 - 1);
    EXPECT_EQ(placed.arrowX, 420 - 37);
    placed = MenuBarPanel::place(QRect(0, 4, 10, 24), size, screen, available);
    EXPECT_EQ(placed.frame.left(), 8);
    EXPECT_EQ(placed.arrowX, 37);
    EXPECT_FALSE(placed.above);
    // A tray at the foot of the screen: the panel stands over the icon, inside the screen.
    const QRect bottomTaskbar(0, 0, 1920, 1040);
    placed = MenuBarPanel::place(QRect(1000, 1048, 24, 24), size, screen, bottomTaskbar);
    EXPECT_TRUE(placed.above);
    EXPECT_EQ(placed.frame, QRect(802, 748, 420, 300));
    // Without room either way it is kept inside the available area.
    placed = MenuBarPanel::place(QRect(1000, 500, 24, 24), QSize(420, 1000), screen, available);
    EXPECT_FALSE(placed.above);
    EXPECT_EQ(placed.frame.top(), 80);

    // A tray that never says where its icon is: the panel takes the corner where trays sit,
    // over a bottom taskbar, under a top bar, and inside the work area either way.
    const QRect leftDock(48, 0, 1872, 1080);
    for (const QRect& area : {bottomTaskbar, available, leftDock, screen}) {
        placed = MenuBarPanel::place(MenuBarPanel::trayCorner(screen, area), size, screen, area);
        EXPECT_TRUE(area.contains(placed.frame)) << area.x() << "," << area.y();
        EXPECT_EQ(placed.frame.center().x() > 960, area != leftDock) << area.x() << "," << area.y();
    }
    EXPECT_TRUE(MenuBarPanel::place(MenuBarPanel::trayCorner(screen, bottomTaskbar), size, screen,
                                    bottomTaskbar)
                    .above);

    // Escape on a hidden panel does nothing; on a shown one it closes it once.
    MenuBarPanel panel(new QWidget);
    int closed = 0;
    panel.onClose = [&] { ++closed; };
    panel.closePanel();
    EXPECT_EQ(closed, 0);
    panel.showFrom(QRect(1000, 4, 24, 24));
    panel.closePanel();
    panel.closePanel();
    EXPECT_EQ(closed, 1);
    // Closed by the window manager: told as well.
    panel.showFrom(QRect(1000, 4, 24, 24));
    panel.close();
    EXPECT_EQ(closed, 2);
    EXPECT_FALSE(panel.isShown());
}
