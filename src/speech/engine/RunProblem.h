#pragma once

#include "core/SpeechSource.h"

#include <optional>
#include <string>

namespace ambrel {

// Why a run failed, or what it has to do without. The engine reports these as values; the app
// says them in the interface language.
struct RunProblem {
    enum class Kind {
        noAudioSource,       // neither source is turned on
        noSpeechModel,       // none of the languages can be recognised here
        modelDownloadFailed, // detail: the reason
        microphoneDenied,    // the run goes on with system audio only
        sourceFailed,        // source; detail: the reason
        languageUnavailable, // language; detail: why no list of models could be had, or empty
    };

    Kind kind = Kind::noAudioSource;
    std::optional<core::SpeechSource> source;
    std::string language;
    std::string detail;

    static RunProblem of(Kind kind) { return {kind, std::nullopt, {}, {}}; }
    static RunProblem modelDownloadFailed(std::string reason) {
        return {Kind::modelDownloadFailed, std::nullopt, {}, std::move(reason)};
    }
    static RunProblem sourceFailed(core::SpeechSource source, std::string reason) {
        return {Kind::sourceFailed, source, {}, std::move(reason)};
    }
    static RunProblem languageUnavailable(std::string language, std::string listProblem) {
        return {Kind::languageUnavailable, std::nullopt, std::move(language),
                std::move(listProblem)};
    }

    bool operator==(const RunProblem&) const = default;
};

} // namespace ambrel
