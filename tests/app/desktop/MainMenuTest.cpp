#include "app/desktop/MainMenu.h"

#include "locale/L10n.h"

#include <QAction>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

using namespace ambrel;

TEST(MainMenuTest, EveryWindowGetsTheStandardKeysOnce) {
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"de"});
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    layout->addWidget(field);
    int finds = 0;
    MainMenu::install(window, {[&] { ++finds; }, {}, {}, {}});
    MainMenu::install(window, {[&] { ++finds; }, {}, {}, {}}); // again, after a language change
    const auto actions = window.actions();
    EXPECT_EQ(actions.size(), 13);
    const auto named = [&](const QKeySequence& keys) -> QAction* {
        for (QAction* action : actions) {
            if (action->shortcut() == keys) {
                return action;
            }
        }
        return nullptr;
    };
    ASSERT_NE(named(QKeySequence::Find), nullptr);
    EXPECT_EQ(named(QKeySequence::Copy)->text(), "Kopieren");
    named(QKeySequence::Find)->trigger();
    EXPECT_EQ(finds, 1);

    window.show();
    field->setText("some words");
    field->setFocus();
    field->deselect();
    named(QKeySequence::SelectAll)->trigger();
    EXPECT_EQ(field->selectedText(), "some words");
    named(QKeySequence::Close)->trigger();
    EXPECT_FALSE(window.isVisible());
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
}
