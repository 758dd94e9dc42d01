#pragma once

#include "app/languages/LanguageModel.h"
#include "locale/L10n.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace ambrel::testing {

// A languages model over a catalogue of seven languages, English installed, recording what it
// applies.
class LanguagesFixture : public ::testing::Test {
protected:
    using Strings = std::vector<std::string>;

    LanguagesFixture() {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
        catalog.supported = {"en-US", "de-DE", "fr-FR", "es-ES", "it-IT", "pt-BR", "ja-JP"};
        catalog.installed = {"en-US"};
        catalog.defaultCandidates = {"en-US", "de-DE"};
    }

    SpeechModel::Catalog catalog;
    std::vector<std::pair<bool, Strings>> applied;
    LanguageModel model{
        [this](bool automatic, const Strings& chosen) { applied.emplace_back(automatic, chosen); }};
};

} // namespace ambrel::testing
