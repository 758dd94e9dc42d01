#include "WelcomePanel.h"

#include "MenuBarPanel.h"
#include "WelcomeView.h"

namespace ambrel {

WelcomePanel::WelcomePanel(WelcomeModel::Actions actions, WelcomeModel::Services services,
                           core::Scheduler& scheduler)
    : scheduler_(scheduler)
    , model_(std::make_unique<WelcomeModel>(std::move(actions), std::move(services))) {
    view_ = new WelcomeView(*model_);
    panel_ = std::make_unique<MenuBarPanel>(view_);
    model_->onChange = [this] { view_->refresh(); };
    panel_->onClose = [this] {
        refreshTimer_.reset();
        model_->stopAskingForSystemAudio();
    };
    model_->close = [this] { panel_->closePanel(); };
}

WelcomePanel::~WelcomePanel() {
    refreshTimer_.reset();
    model_->onChange = nullptr;
}

void WelcomePanel::show(const std::optional<QRect>& anchor) {
    model_->refresh();
    view_->refresh();
    panel_->showFrom(anchor);
    if (!refreshTimer_) {
        refreshTimer_ = scheduler_.every(refreshInterval, [this] { model_->refresh(); });
    }
}

bool WelcomePanel::isShown() const {
    return panel_->isShown();
}

} // namespace ambrel
