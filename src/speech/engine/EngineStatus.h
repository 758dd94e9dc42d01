#pragma once

#include "RunProblem.h"
#include "TranscriptionStatus.h"
#include "core/SpeechSource.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// The engine's status as its observers see it. Every change is one notification, and only a
// real change notifies; the run's warnings are kept as a list, a repeated one moving to the end.
class EngineStatus {
public:
    std::function<void(const TranscriptionStatus&)> onChange;

    const TranscriptionStatus& current() const { return status_; }
    template <typename S>
    bool is() const {
        return status_.is<S>();
    }

    // One change, told only when something differs.
    void change(const std::function<void(TranscriptionStatus&)>& edit);
    void setState(TranscriptionStatus::State state);

    void setWarnings(std::vector<RunProblem> warnings);
    void addWarning(const RunProblem& warning);
    void removeWarning(const RunProblem& warning);

    // A source lost its capture (with the reason) or has it back (none): while it is lost, its
    // warning shows.
    void sourceInterrupted(core::SpeechSource source, const std::optional<std::string>& lost);
    void forgetInterruptions() { interruptions_.clear(); }

    // The microphone records a device, or does not (with the problem when there is one).
    void microphoneChanged(const std::optional<std::string>& deviceName,
                           const std::optional<std::string>& problem);
    void clearMicrophone();

private:
    TranscriptionStatus status_;
    std::map<core::SpeechSource, RunProblem> interruptions_;
};

} // namespace ambrel
