#pragma once

#include "LanguageModel.h"

#include <memory>

namespace ambrel {

class LanguageWindow;

// Owns the languages window, made on first use and kept; each showing starts from the current
// settings and catalogue.
class LanguageWindowController {
public:
    // `retryCatalog` loads the catalogue again, fetching the list of downloadable languages.
    LanguageWindowController(LanguageModel::Apply apply, std::function<void()> retryCatalog);
    ~LanguageWindowController();
    LanguageWindowController(const LanguageWindowController&) = delete;
    LanguageWindowController& operator=(const LanguageWindowController&) = delete;

    void show(const SpeechOptions& options, const SpeechModel::Catalog& catalog);
    // A newer catalogue, for the open window too.
    void setCatalog(const SpeechModel::Catalog& catalog);
    void retranslate();
    bool isOpen() const { return isOpen_; }

    LanguageModel& model() { return model_; }
    LanguageWindow* window() const { return window_.get(); }

private:
    LanguageModel model_;
    std::unique_ptr<LanguageWindow> window_;
    bool isOpen_ = false;
};

} // namespace ambrel
