#include "LanguageWindowController.h"

#include "LanguageWindow.h"
#include "app/desktop/MainMenu.h"

#include <QGuiApplication>
#include <QScreen>

namespace ambrel {

LanguageWindowController::LanguageWindowController(LanguageModel::Apply apply,
                                                   std::function<void()> retryCatalog)
    : model_(std::move(apply)) {
    model_.onRetryCatalog = std::move(retryCatalog);
    model_.onChange = [this] {
        if (window_) {
            window_->refresh();
        }
    };
}

LanguageWindowController::~LanguageWindowController() {
    model_.onChange = nullptr;
}

void LanguageWindowController::show(const SpeechOptions& options,
                                    const SpeechModel::Catalog& catalog) {
    model_.load(options, catalog);
    if (!window_) {
        window_ = std::make_unique<LanguageWindow>(model_);
        window_->onClosed = [this] { isOpen_ = false; };
        MainMenu::install(*window_);
        window_->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = window_->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window_->move(frame.topLeft());
        }
    }
    isOpen_ = true;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void LanguageWindowController::setCatalog(const SpeechModel::Catalog& catalog) {
    model_.setCatalog(catalog);
}

void LanguageWindowController::retranslate() {
    if (window_) {
        window_->refresh();
        MainMenu::install(*window_);
    }
}

} // namespace ambrel
