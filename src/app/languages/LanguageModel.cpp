#include "LanguageModel.h"

#include "core/TextMatcher.h"
#include "core/UnicodeText.h"
#include "locale/L10n.h"

#include <algorithm>

namespace ambrel {

void LanguageModel::changed() {
    if (onChange) {
        onChange();
    }
}

void LanguageModel::load(const SpeechOptions& options, SpeechModel::Catalog catalog) {
    automatic_ = options.automaticLanguages;
    chosen_ = options.chosenLanguages;
    catalog_ = std::move(catalog);
    changed();
}

void LanguageModel::setCatalog(SpeechModel::Catalog catalog) {
    if (catalog != catalog_) {
        catalog_ = std::move(catalog);
        changed();
    }
}

const std::vector<std::string>& LanguageModel::inUse() const {
    return automatic_ ? catalog_.defaultCandidates : chosen_;
}

bool LanguageModel::canAdd() const {
    return !automatic_ && chosen_.size() < maximumChosen;
}

bool LanguageModel::canRemove(const std::optional<std::string>& identifier) const {
    return !automatic_ && chosen_.size() >= 2 && identifier &&
           std::find(chosen_.begin(), chosen_.end(), *identifier) != chosen_.end();
}

bool LanguageModel::isInstalled(const std::string& identifier) const {
    return catalog_.installed.contains(identifier);
}

bool LanguageModel::isUnavailable(const std::string& identifier) const {
    return !isInstalled(identifier) &&
           std::find(catalog_.supported.begin(), catalog_.supported.end(), identifier) ==
               catalog_.supported.end();
}

std::vector<std::string> LanguageModel::warnings() const {
    std::vector<std::string> warnings;
    for (const auto& identifier : inUse()) {
        if (!isUnavailable(identifier)) {
            continue;
        }
        const auto name = displayName(identifier);
        warnings.push_back(
            catalog_.listProblem
                ? L10n::format(Texts::warningLanguageOffline, {name, *catalog_.listProblem})
                : L10n::format(Texts::warningLanguageUnavailable, {name}));
    }
    return warnings;
}

void LanguageModel::retryCatalog() {
    if (onRetryCatalog) {
        onRetryCatalog();
    }
}

void LanguageModel::setAutomatic(bool on) {
    automatic_ = on;
    if (!on && chosen_.empty()) {
        chosen_ = catalog_.defaultCandidates; // start from what detection was using
    }
    apply_(automatic_, chosen_);
    changed();
}

void LanguageModel::add(const std::string& identifier) {
    if (automatic_ || chosen_.size() >= maximumChosen ||
        std::find(chosen_.begin(), chosen_.end(), identifier) != chosen_.end()) {
        return;
    }
    chosen_.push_back(identifier);
    apply_(automatic_, chosen_);
    changed();
}

void LanguageModel::remove(const std::string& identifier) {
    if (!canRemove(identifier)) {
        return;
    }
    std::erase(chosen_, identifier);
    apply_(automatic_, chosen_);
    changed();
}

std::string LanguageModel::displayName(const std::string& identifier) {
    return L10n::displayName(identifier);
}

std::vector<std::string> LanguageModel::addable(const std::string& query) const {
    const std::string trimmed(core::UnicodeText::trimmingBlanks(query));
    const core::TextMatcher matcher(trimmed);
    std::vector<std::pair<std::string, std::string>> named;
    for (const auto& identifier : catalog_.supported) {
        if (std::find(chosen_.begin(), chosen_.end(), identifier) != chosen_.end()) {
            continue;
        }
        auto name = displayName(identifier);
        if (!trimmed.empty() && !matcher.foundIn(core::TextMatcher::fold(name))) {
            continue;
        }
        named.emplace_back(std::move(name), identifier);
    }
    std::stable_sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
        return core::UnicodeText::localizedStandardCompare(a.first, b.first) < 0;
    });
    std::vector<std::string> identifiers;
    for (auto& [name, identifier] : named) {
        identifiers.push_back(std::move(identifier));
    }
    return identifiers;
}

} // namespace ambrel
