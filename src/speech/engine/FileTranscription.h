#pragma once

#include "SpeechEngine.h"
#include "audio/WavFileSource.h"
#include "core/Instant.h"
#include "core/SpeechSource.h"
#include "core/TranscriptLabels.h"
#include "core/VirtualScheduler.h"

#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

class SpeechModel;

// One audio file through the speech engine as one session, as fast as recognition goes. The
// engine's clock is the audio's: it starts at the wall-clock time the run starts and moves with
// the audio fed, so lines keep their real spacing.
class FileTranscription {
public:
    struct Request {
        std::filesystem::path file;
        core::SpeechSource source = core::SpeechSource::systemAudio;
        std::vector<std::string> languages; // none: automatic
        std::filesystem::path folder;
        // The words of the Markdown transcript; empty: English.
        std::function<core::TranscriptLabels()> transcriptLabels = {};
    };

    // Throws WavFile::Error when the file cannot be read.
    FileTranscription(Request request, std::shared_ptr<SpeechModel> model, std::string appVersion,
                      core::Instant startedAt);
    ~FileTranscription();
    FileTranscription(const FileTranscription&) = delete;
    FileTranscription& operator=(const FileTranscription&) = delete;

    // Set its callbacks before start().
    SpeechEngine& engine() { return *engine_; }
    core::VirtualScheduler& scheduler() { return scheduler_; }
    double duration() const { return audio_->duration(); }
    double position() const { return position_; }

    // Prepares the languages and starts listening; false when the run could not start, with
    // the reason in the engine's status.
    bool start();
    // Feeds the audio up to `seconds` into the file, or all of it; false when the engine stopped
    // listening (a failure, a pause).
    bool feed(double seconds = std::numeric_limits<double>::infinity());
    // Stops and waits until everything heard is recorded and written; returns the session's id,
    // absent when nothing was said.
    std::optional<std::string> finish();

    // How much audio may wait for the recognisers before feeding pauses, in chunks.
    static constexpr std::size_t maximumBacklog = 5;

    // Runs what the engine's threads post until the condition holds.
    void runUntil(const std::function<bool()>& condition);

private:
    core::VirtualScheduler scheduler_;
    std::shared_ptr<WavFileSource> audio_;
    std::shared_ptr<SpeechEngine> engine_;
    std::optional<std::string> sessionID_;
    double position_ = 0;
};

} // namespace ambrel
