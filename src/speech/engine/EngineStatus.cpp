#include "EngineStatus.h"

#include <algorithm>

namespace ambrel {

void EngineStatus::change(const std::function<void(TranscriptionStatus&)>& edit) {
    TranscriptionStatus next = status_;
    edit(next);
    if (next == status_) {
        return;
    }
    status_ = std::move(next);
    if (onChange) {
        onChange(status_);
    }
}

void EngineStatus::setState(TranscriptionStatus::State state) {
    change([&](TranscriptionStatus& status) { status.state = std::move(state); });
}

void EngineStatus::setWarnings(std::vector<RunProblem> warnings) {
    change([&](TranscriptionStatus& status) { status.warnings = std::move(warnings); });
}

void EngineStatus::addWarning(const RunProblem& warning) {
    auto warnings = status_.warnings;
    std::erase(warnings, warning);
    warnings.push_back(warning);
    setWarnings(std::move(warnings));
}

void EngineStatus::removeWarning(const RunProblem& warning) {
    auto warnings = status_.warnings;
    std::erase(warnings, warning);
    setWarnings(std::move(warnings));
}

void EngineStatus::sourceInterrupted(core::SpeechSource source,
                                     const std::optional<std::string>& lost) {
    if (const auto shown = interruptions_.find(source); shown != interruptions_.end()) {
        removeWarning(shown->second);
        interruptions_.erase(shown);
    }
    if (lost) {
        const auto warning = RunProblem::sourceFailed(source, *lost);
        interruptions_.insert_or_assign(source, warning);
        addWarning(warning);
    }
}

void EngineStatus::microphoneChanged(const std::optional<std::string>& deviceName,
                                     const std::optional<std::string>& problem) {
    change([&](TranscriptionStatus& status) { status.microphoneDevice = deviceName; });
    change([&](TranscriptionStatus& status) {
        if (deviceName) {
            status.microphoneProblem.reset();
        } else if (problem) {
            status.microphoneProblem = TranscriptionStatus::MicrophoneFailed{*problem};
        } else {
            status.microphoneProblem = TranscriptionStatus::MicrophoneNotConnected{};
        }
    });
}

void EngineStatus::clearMicrophone() {
    change([](TranscriptionStatus& status) { status.microphoneDevice.reset(); });
    change([](TranscriptionStatus& status) { status.microphoneProblem.reset(); });
}

} // namespace ambrel
