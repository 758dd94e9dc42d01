#include "StatusPresentation.h"

#include "locale/Format.h"
#include "locale/L10n.h"

#include <fmt/format.h>

#include <vector>

namespace ambrel {

namespace {

std::optional<std::string> microphoneText(const TranscriptionStatus& status) {
    if (!status.microphoneProblem) {
        return std::nullopt;
    }
    const auto* failed =
        std::get_if<TranscriptionStatus::MicrophoneFailed>(&*status.microphoneProblem);
    const std::string reason = failed ? failed->message : L10n::text(Texts::menuMicNotConnected);
    return L10n::format(Texts::warningMicrophoneFailed, {reason});
}

// Lines so far and the time since the session started.
void addSessionFigures(std::vector<std::string>& parts, const TranscriptionStatus& status,
                       core::Instant now) {
    parts.push_back(L10n::lineCount(status.currentLineCount));
    if (status.currentSessionStartedAt) {
        parts.push_back(Format::elapsed(now - *status.currentSessionStartedAt));
    }
}

} // namespace

std::string StatusPresentation::describe(const RunProblem& problem) {
    using Kind = RunProblem::Kind;
    switch (problem.kind) {
    case Kind::noAudioSource:
        return L10n::text(Texts::errorNoAudioSource);
    case Kind::noSpeechModel:
        return L10n::text(Texts::errorNoSpeechModel);
    case Kind::modelDownloadFailed:
        return L10n::format(Texts::errorModelDownload, {problem.detail});
    case Kind::microphoneDenied:
        return L10n::text(Texts::warningMicrophoneDenied);
    case Kind::sourceFailed:
        return L10n::warningSourceFailed(problem.source.value_or(core::SpeechSource::systemAudio),
                                         problem.detail);
    case Kind::languageUnavailable: {
        const std::string name = L10n::displayName(problem.language);
        return problem.detail.empty()
                   ? L10n::format(Texts::warningLanguageUnavailable, {name})
                   : L10n::format(Texts::warningLanguageOffline, {name, problem.detail});
    }
    }
    return {};
}

StatusPresentation::StatusPresentation(const TranscriptionStatus& status, core::Instant now) {
    std::vector<std::string> warnings;
    for (const auto& warning : status.warnings) {
        warnings.push_back(describe(warning));
    }
    if (auto microphone = microphoneText(status)) {
        warnings.push_back(std::move(*microphone));
    }
    if (status.lastSaveError) {
        detail = L10n::format(Texts::statusSaveFailed, {*status.lastSaveError});
    } else if (!warnings.empty()) {
        detail = fmt::format("{}", fmt::join(warnings, "; "));
    }

    std::vector<std::string> parts;
    if (const auto* preparing = std::get_if<TranscriptionStatus::Preparing>(&status.state)) {
        if (preparing->progress) {
            parts.push_back(L10n::statusDownloadingModel(*preparing->progress));
            icon = MenuBarIcon::State::downloading;
        } else {
            parts.push_back(L10n::text(Texts::statusStarting));
            icon = MenuBarIcon::State::idle;
        }
    } else if (const auto* failed = std::get_if<TranscriptionStatus::Failed>(&status.state)) {
        parts.push_back(L10n::format(Texts::statusFailed, {describe(failed->problem)}));
        icon = MenuBarIcon::State::error;
    } else if (status.is<TranscriptionStatus::Idle>()) {
        parts.push_back(L10n::text(Texts::statusOff));
        icon = MenuBarIcon::State::idle;
    } else if (status.is<TranscriptionStatus::Listening>()) {
        parts.push_back(L10n::text(Texts::statusListening));
        if (status.detectedLanguage) {
            parts.push_back(L10n::shortName(*status.detectedLanguage, status.languages));
        }
        if (status.currentSessionID) {
            addSessionFigures(parts, status, now);
        } else {
            parts.push_back(L10n::text(Texts::statusWaitingForSpeech));
        }
        icon = MenuBarIcon::State::listening;
    } else {
        parts.push_back(L10n::text(Texts::statusPaused));
        if (status.currentSessionID) {
            addSessionFigures(parts, status, now);
        }
        icon = MenuBarIcon::State::paused;
    }
    text = fmt::format("{}", fmt::join(parts, " \u00B7 "));
    if (status.lastSaveError && !status.is<TranscriptionStatus::Idle>()) {
        icon = MenuBarIcon::State::error;
    }
}

} // namespace ambrel
