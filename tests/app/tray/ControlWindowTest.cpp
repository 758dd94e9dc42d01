#include "app/tray/ControlWindow.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace ambrel;

namespace {

MenuRow row(MenuRow::Kind kind, std::string id, std::string title,
            std::function<void()> action = {}) {
    MenuRow made;
    made.kind = kind;
    made.id = std::move(id);
    made.title = std::move(title);
    made.action = std::move(action);
    return made;
}

QString buttonText(const ControlWindow& window, const std::string& id) {
    const auto* button = qobject_cast<const QPushButton*>(window.widget(id));
    return button != nullptr ? button->text() : QStringLiteral("<no button>");
}

} // namespace

TEST(ControlWindowTest, RowsBecomeButtonsThatRunTheirActionsAndFollowChanges) {
    ControlWindow window;
    int starts = 0, afterActions = 0, chosen = 0;
    window.afterAction = [&] { ++afterActions; };
    auto rows = [&](const std::string& status, bool enabled) {
        MenuRow languages = row(MenuRow::Kind::submenu, "languages", "Languages");
        languages.children = {row(MenuRow::Kind::action, "en", "English", [&] { ++chosen; })};
        MenuRow start =
            row(MenuRow::Kind::action, "start", "Start Transcription", [&] { ++starts; });
        start.enabled = enabled;
        return std::vector<MenuRow>{row(MenuRow::Kind::label, "status", status),
                                    row(MenuRow::Kind::separator, "sep", ""), start, languages};
    };
    window.setRows(rows("Transcription off", true));
    auto* start = qobject_cast<QPushButton*>(window.widget("start"));
    ASSERT_NE(start, nullptr);
    start->click();
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(afterActions, 1) << "the owner hears that the rows may have changed";

    // Same rows, new texts: the same widgets change in place, so focus and clicks survive.
    window.setRows(rows("Listening · English", false));
    EXPECT_EQ(window.widget("start"), start);
    EXPECT_FALSE(start->isEnabled());
    const auto labels = window.widget("status")->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 2);
    EXPECT_EQ(labels[1]->text().toStdString(), "Listening · English");

    // A submenu row drops down the same rows a tray menu would show.
    auto* languages = qobject_cast<QPushButton*>(window.widget("languages"));
    ASSERT_NE(languages, nullptr);
    ASSERT_NE(languages->menu(), nullptr);
    ASSERT_EQ(languages->menu()->actions().size(), 1);
    languages->menu()->actions().front()->trigger();
    EXPECT_EQ(chosen, 1);

    // Another shape is built anew; rows that went are gone.
    window.setRows({row(MenuRow::Kind::action, "quit", "Quit Ambrel", [] {})});
    EXPECT_EQ(window.widget("start"), nullptr);
    EXPECT_EQ(buttonText(window, "quit").toStdString(), "Quit Ambrel");
}

TEST(ControlWindowTest, ClosingWithoutATrayAsksBeforeQuittingAndOnlyHidesWithOne) {
    ControlWindow window;
    int asked = 0, quits = 0;
    bool answer = false;
    std::vector<bool> shown;
    window.confirmQuit = [&] {
        ++asked;
        return answer;
    };
    window.quit = [&] { ++quits; };
    window.onShownChanged = [&](bool now) { shown.push_back(now); };
    window.setRows({row(MenuRow::Kind::action, "start", "Start Transcription", [] {})});

    window.show();
    window.close();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(window.isVisible()) << "a declined quit keeps the only way back on screen";
    answer = true;
    window.close();
    EXPECT_EQ(quits, 1);

    // With a tray holding the icon the window is one way among two: closing just hides it.
    window.setTrayPresent(true);
    window.close();
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(shown, (std::vector<bool>{true, false}));
}
