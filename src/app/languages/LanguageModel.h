#pragma once

#include "speech/SpeechModel.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// The recognition languages as the user edits them: automatic, or a list of up to five chosen
// ones. Every change goes to `apply`, which stores it and tells the speech engine.
class LanguageModel {
public:
    static constexpr std::size_t maximumChosen = 5;
    static constexpr std::size_t recommendedChosen = 3;

    using Apply = std::function<void(bool automatic, const std::vector<std::string>& chosen)>;

    explicit LanguageModel(Apply apply) : apply_(std::move(apply)) {}

    // Told after any change.
    std::function<void()> onChange;
    // Asks for the list of downloadable languages to be loaded again (it could not be).
    std::function<void()> onRetryCatalog;

    void load(const SpeechOptions& options, SpeechModel::Catalog catalog);
    void setCatalog(SpeechModel::Catalog catalog);

    bool automatic() const { return automatic_; }
    const std::vector<std::string>& chosen() const { return chosen_; }
    const SpeechModel::Catalog& catalog() const { return catalog_; }

    // The languages in use: the automatic candidates, or the chosen ones.
    const std::vector<std::string>& inUse() const;
    bool canAdd() const;
    bool canRemove(const std::optional<std::string>& identifier) const;
    bool isInstalled(const std::string& identifier) const;
    // Neither installed nor downloadable now.
    bool isUnavailable(const std::string& identifier) const;
    // One warning per language in use that cannot be had, naming it.
    std::vector<std::string> warnings() const;
    void retryCatalog();

    void setAutomatic(bool on);
    void add(const std::string& identifier);
    void remove(const std::string& identifier);
    // What may be added, whose name contains the query (case and accents aside), by name.
    std::vector<std::string> addable(const std::string& query) const;

    // A language's name in the interface language, or its identifier.
    static std::string displayName(const std::string& identifier);

private:
    void changed();

    Apply apply_;
    bool automatic_ = true;
    std::vector<std::string> chosen_;
    SpeechModel::Catalog catalog_;
};

} // namespace ambrel
