#pragma once

#include "WelcomeModel.h"
#include "core/Scheduler.h"

#include <QRect>

#include <memory>
#include <optional>

namespace ambrel {

class MenuBarPanel;
class WelcomeView;

// The setup checklist in its panel under the tray icon, re-checked every two seconds while open.
class WelcomePanel {
public:
    static constexpr double refreshInterval = 2.0;

    WelcomePanel(WelcomeModel::Actions actions, WelcomeModel::Services services,
                 core::Scheduler& scheduler);
    ~WelcomePanel();
    WelcomePanel(const WelcomePanel&) = delete;
    WelcomePanel& operator=(const WelcomePanel&) = delete;

    void show(const std::optional<QRect>& anchor);
    bool isShown() const;

    WelcomeModel& model() { return *model_; }
    WelcomeView& view() { return *view_; }
    MenuBarPanel& panel() { return *panel_; }

private:
    core::Scheduler& scheduler_;
    std::unique_ptr<WelcomeModel> model_;
    WelcomeView* view_ = nullptr;
    std::unique_ptr<MenuBarPanel> panel_;
    core::Scheduler::TimerHandle refreshTimer_;
};

} // namespace ambrel
