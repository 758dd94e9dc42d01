#include "AppDelegate.h"
#include "app/cli/CommandLine.h"
#include "app/desktop/ExitDeadline.h"
#include "app/desktop/QtLogSink.h"
#include "app/desktop/RelaunchArguments.h"

#include <QApplication>
#include <QIcon>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

// No command (or only the relaunch flag) starts the desktop app; anything else is a command.
bool startsTheApp(const std::vector<std::string>& arguments) {
    return arguments.empty() || arguments.front() == ambrel::RelaunchArguments::flag;
}

int runApp(int argc, char** argv, std::vector<std::string> arguments) {
    // Wayland lets no client keep a caption window on top or place it: use XWayland when there.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("WAYLAND_DISPLAY") != nullptr &&
        std::getenv("DISPLAY") != nullptr) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    QApplication app(argc, argv);
    ambrel::QtLogSink::install();
    QApplication::setApplicationName(QStringLiteral("Ambrel"));
    QApplication::setDesktopFileName(QStringLiteral("org.ambrel.Ambrel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.ambrel.Ambrel.svg")));
    // The app lives in the tray: closing a window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    auto delegate = std::make_unique<ambrel::AppDelegate>(std::move(arguments));
    QObject::connect(&app, &QApplication::aboutToQuit, &app, [&] { delegate->willTerminate(); });
    if (const auto status = delegate->launch()) {
        return *status;
    }
    const int status = QApplication::exec();
    // The session is saved by now: a worker stuck on the network does not hold the quit.
    const ambrel::ExitDeadline deadline(std::chrono::seconds(3), status);
    delegate.reset();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (startsTheApp(arguments)) {
        return runApp(argc, argv, arguments);
    }
    return ambrel::CommandLine::run(argc, argv, std::cout, std::cerr);
}
