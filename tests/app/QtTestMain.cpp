// The app's tests run with an application object on the offscreen platform, in a home folder
// of their own.
#include "IsolatedHome.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // No session bus: nothing is exported, no tray host is looked for.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0);
    const ambrel::testing::IsolatedHome home;
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
