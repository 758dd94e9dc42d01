#include "app/tray/StatusItemController.h"

#include "EngineHarness.h"
#include "PrivateBus.h"
#include "app/SessionsFolder.h"
#include "app/tray/DBusTypes.h"
#include "app/tray/StatusNotifierTray.h"

#include <QAction>
#include <QApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QThread>
#include <gtest/gtest.h>

using namespace ambrel;
using ambrel::testing::EngineHarness;
using Strings = std::vector<std::string>;

namespace {

Strings shown(const QMenu& menu) {
    Strings texts;
    for (const QAction* action : menu.actions()) {
        texts.push_back(action->isSeparator() ? "---" : action->text().toStdString());
    }
    return texts;
}

QAction* action(const QMenu& menu, const QString& text) {
    for (QAction* candidate : menu.actions()) {
        if (candidate->text().startsWith(text)) {
            return candidate;
        }
    }
    return nullptr;
}

// What the desktop answers when asked for a tray; changed by the tests between looks.
struct FakeDesktop {
    bool xembed = false;
    bool statusNotifier = false;

    TrayHost::Probes probes() {
        return {[this] { return xembed; },
                [this](std::function<void(bool)> answer) { answer(statusNotifier); }};
    }
};

class StatusItemControllerTest : public ::testing::Test {
protected:
    StatusItemControllerTest() {
        SpeechOptions both;
        both.microphone = true;
        engine.make(both);
    }

    void makeController(StatusItemController::Desktop desktop) {
        StatusItemController::Actions actions;
        actions.setTranscriptionOn = [this](bool on) {
            on ? engine.engine->startListening() : engine.engine->stopListening();
        };
        actions.setOptions = [this](const SpeechOptions& options) {
            engine.engine->setOptions(options);
        };
        actions.quit = [] {};
        controller = std::make_unique<StatusItemController>(
            engine.engine, settings, folder, engine.scheduler, actions,
            [] { return std::vector<core::InputDeviceInfo>{}; }, std::move(desktop));
        controller->onTrayChanged = [this](bool hasIcon) { trayChanges.push_back(hasIcon); };
        controller->onMenuOpening = [this] { ++openings; };
        engine.engine->onStatusChange = [this](const TranscriptionStatus& status) {
            controller->update(status);
        };
        controller->start();
    }
    void makeController(FakeDesktop& desktop) {
        makeController({desktop.probes(), QDBusConnection(QStringLiteral("no bus"))});
    }

    void open() { emit controller->menu().aboutToShow(); }
    void close() { emit controller->menu().aboutToHide(); }

    EngineHarness engine;
    AppSettings settings{std::make_shared<core::MemorySettingsStore>()};
    SessionsFolder folder{settings, [](const auto&, const auto&) { return std::nullopt; },
                          [](const auto&, const auto&) {}};
    std::unique_ptr<StatusItemController> controller;
    std::vector<bool> trayChanges;
    int openings = 0;
};

} // namespace

TEST_F(StatusItemControllerTest, TheOpenMenuFollowsTheEngineAndItsClock) {
    FakeDesktop desktop{.xembed = true};
    makeController(desktop);
    ASSERT_NE(controller->xembedIcon(), nullptr);
    EXPECT_EQ(trayChanges, std::vector<bool>{true});
    const QSystemTrayIcon& icon = *controller->xembedIcon();
    EXPECT_EQ(icon.toolTip().toStdString(), "Ambrel\nTranscription off");
    open();
    EXPECT_EQ(openings, 1) << "an opening asks for fresher devices";
    EXPECT_EQ(shown(controller->menu()).front(), "Start Transcription");
    ASSERT_NE(action(controller->menu(), "Quit"), nullptr);
    EXPECT_EQ(action(controller->menu(), "Quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Starting from the menu: the open menu gains the status line and Stop.
    action(controller->menu(), "Start Transcription")->trigger();
    engine.settle();
    EXPECT_EQ(shown(controller->menu())[0], "Listening · English · waiting for speech");
    EXPECT_EQ(shown(controller->menu())[2], "Stop Transcription");
    EXPECT_EQ(icon.toolTip().toStdString(), "Ambrel\nListening · English · waiting for speech");

    engine.system()->sendFinal("hello", engine.scheduler.now());
    EXPECT_EQ(shown(controller->menu())[0], "Listening · English · 1 line · 0:00");
    engine.advance(2);
    EXPECT_EQ(shown(controller->menu())[0], "Listening · English · 1 line · 0:02");
    close();
    engine.advance(5); // closed: the clock stops
    EXPECT_EQ(shown(controller->menu())[0], "Listening · English · 1 line · 0:02");

    // Rows whose state changes are updated in place.
    open();
    QAction* systemAudio = action(controller->menu(), "System Audio");
    ASSERT_NE(systemAudio, nullptr);
    systemAudio->trigger();
    engine.settle();
    EXPECT_EQ(systemAudio->text(), "System Audio — Off");
    EXPECT_EQ(action(controller->menu(), "System Audio"), systemAudio);

    // A warning joins the tooltip as its third line.
    engine.microphone()->handlers.onInterruption("Server gone");
    EXPECT_EQ(icon.toolTip().toStdString(),
              "Ambrel\nListening · English · 1 line · 0:07\nMicrophone failed: Server gone");
}

TEST_F(StatusItemControllerTest, WithoutATrayTheRowsGoToAWindowUntilATrayAppears) {
    FakeDesktop desktop;
    makeController(desktop);
    EXPECT_EQ(trayChanges, std::vector<bool>{false}) << "the first look is always told";
    EXPECT_FALSE(controller->hasTrayIcon());
    EXPECT_EQ(controller->xembedIcon(), nullptr);

    std::vector<std::string> statusLines;
    controller->onRows = [&](const std::vector<MenuRow>& rows) {
        statusLines.push_back(rows.front().text());
    };
    engine.engine->startListening();
    engine.settle();
    EXPECT_TRUE(statusLines.empty()) << "nobody shows the rows yet";
    controller->setRowsShown(true);
    engine.system()->sendFinal("hello", engine.scheduler.now());
    engine.advance(1);
    ASSERT_FALSE(statusLines.empty());
    EXPECT_EQ(statusLines.back(), "Listening · English · 1 line · 0:01");
    controller->setRowsShown(false);
    const auto seen = statusLines.size();
    engine.advance(3);
    EXPECT_EQ(statusLines.size(), seen) << "the clock stops with the window";

    // A panel started later is found at the next look; one that goes is noticed too.
    desktop.xembed = true;
    engine.advance(TrayHost::recheckInterval);
    EXPECT_EQ(trayChanges, (std::vector<bool>{false, true}));
    EXPECT_NE(controller->xembedIcon(), nullptr);
    desktop.xembed = false;
    engine.advance(TrayHost::recheckInterval);
    EXPECT_EQ(trayChanges, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(controller->xembedIcon(), nullptr);
}

namespace {

using DBusTypes::LayoutItem;

QDBusMessage menuCall(const QString& service, const QString& member, const QVariantList& args) {
    auto call = QDBusMessage::createMethodCall(service, QStringLiteral("/MenuBar"),
                                               QStringLiteral("com.canonical.dbusmenu"), member);
    call.setArguments(args);
    return call;
}

// The menu as a panel reads it: every item's label and id, in order.
std::vector<std::pair<QString, int>> exportedLabels(QDBusConnection panel, const QString& service) {
    const auto reply = ambrel::testing::callAndWait(
        panel, menuCall(service, QStringLiteral("GetLayout"),
                        {0, -1, QStringList{QStringLiteral("label")}}));
    std::vector<std::pair<QString, int>> labels;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2) {
        return labels;
    }
    LayoutItem root;
    reply.arguments()[1].value<QDBusArgument>() >> root;
    for (const LayoutItem& child : root.children) {
        labels.emplace_back(child.properties.value(QStringLiteral("label")).toString(), child.id);
    }
    return labels;
}

int idOf(const std::vector<std::pair<QString, int>>& labels, const QString& start) {
    for (const auto& [label, id] : labels) {
        if (label.startsWith(start)) {
            return id;
        }
    }
    return -1;
}

QVariant itemProperty(QDBusConnection panel, const QString& service, const QString& name) {
    auto call = QDBusMessage::createMethodCall(service, QStringLiteral("/StatusNotifierItem"),
                                               QStringLiteral("org.freedesktop.DBus.Properties"),
                                               QStringLiteral("Get"));
    call << QStringLiteral("org.kde.StatusNotifierItem") << name;
    const auto reply = ambrel::testing::callAndWait(panel, call);
    return reply.arguments().isEmpty() ? QVariant()
                                       : reply.arguments()[0].value<QDBusVariant>().variant();
}

} // namespace

TEST_F(StatusItemControllerTest, AStatusNotifierHostShowsTheExportedMenuAndIcon) {
    ambrel::testing::PrivateBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon is needed";
    DBusTypes::registerAll();
    QDBusConnection app = bus.connect(QStringLiteral("app"));
    QDBusConnection panel = bus.connect(QStringLiteral("panel"));
    ambrel::testing::FakeWatcher watcher(panel);
    ASSERT_TRUE(watcher.appear());

    auto probes = TrayHost::standardProbes(app);
    probes.xembed = [] { return false; };
    makeController({std::move(probes), app});
    ASSERT_TRUE(ambrel::testing::runUntil([&] { return controller->trayKind().has_value(); }));
    EXPECT_EQ(controller->trayKind(), TrayHost::Kind::statusNotifier);
    EXPECT_EQ(trayChanges, std::vector<bool>{true});
    const QString service = controller->statusNotifier()->service();
    ASSERT_TRUE(ambrel::testing::runUntil([&] { return watcher.registered.size() == 1; }));
    EXPECT_EQ(watcher.registered.front(), service);

    EXPECT_EQ(itemProperty(panel, service, QStringLiteral("IconName")).toString().toStdString(),
              "org.ambrel.Ambrel-idle-symbolic");
    EXPECT_TRUE(itemProperty(panel, service, QStringLiteral("ItemIsMenu")).toBool());

    // The menu is true before the host asks to show it, and while it is closed.
    auto labels = exportedLabels(panel, service);
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front().first.toStdString(), "Start Transcription");
    engine.engine->startListening();
    engine.settle();
    labels = exportedLabels(panel, service);
    EXPECT_EQ(labels.front().first.toStdString(), "Listening · English · waiting for speech");
    EXPECT_FALSE(controller->isMenuOpen());

    // Showing it starts the clock until the host closes it or goes quiet.
    bool onOwnThread = false;
    controller->onMenuOpening = [&] { onOwnThread = QThread::currentThread() == qApp->thread(); };
    const auto shown =
        ambrel::testing::callAndWait(panel, menuCall(service, QStringLiteral("AboutToShow"), {0}));
    EXPECT_EQ(shown.type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(controller->isMenuOpen());
    EXPECT_TRUE(onOwnThread) << "bus calls reach the controller on its own thread";
    engine.system()->sendFinal("hello", engine.scheduler.now());
    engine.advance(3);
    EXPECT_EQ(exportedLabels(panel, service).front().first.toStdString(),
              "Listening · English · 1 line · 0:03");
    engine.advance(StatusItemController::exportedMenuTimeout);
    EXPECT_FALSE(controller->isMenuOpen()) << "a quiet host counts as closed";

    // A click on a row runs its action, after the host has its answer.
    const int stop = idOf(exportedLabels(panel, service), QStringLiteral("Stop Transcription"));
    ASSERT_GT(stop, 0);
    const auto clicked = ambrel::testing::callAndWait(
        panel, menuCall(service, QStringLiteral("Event"),
                        {stop, QStringLiteral("clicked"),
                         QVariant::fromValue(QDBusVariant(QVariant(0))), 0u}));
    EXPECT_EQ(clicked.type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(ambrel::testing::runUntil([&] {
        engine.settle();
        return engine.engine->status().is<TranscriptionStatus::Idle>();
    }));

    // A panel that restarts gets the item again.
    watcher.disappear();
    ASSERT_TRUE(watcher.appear());
    ASSERT_TRUE(ambrel::testing::runUntil([&] { return watcher.registered.size() == 2; }));
    EXPECT_EQ(watcher.registered.back(), service);
}
