#pragma once

#include "AudioFanOut.h"
#include "CallbackGate.h"
#include "RecognitionLanguage.h"
#include "Recognizer.h"
#include "TranscriptionPipeline.h"
#include "audio/AudioSource.h"
#include "core/Instant.h"
#include "core/LanguageArbiter.h"
#include "core/Scheduler.h"
#include "core/SpeechSource.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ambrel {

// Turns the audio of one source into recognition events: one recogniser per language over the
// same audio, their results merged by a language arbiter. Lives on the scheduler's thread;
// audio is fed on the source's thread and results come back through the scheduler.
class SpeechPipeline : public TranscriptionPipeline,
                       public std::enable_shared_from_this<SpeechPipeline> {
public:
    // Makes the recogniser of a language; may take a while (models load) and may throw.
    using RecognizerFactory =
        std::function<std::unique_ptr<Recognizer>(const RecognitionLanguage&)>;
    // Runs work away from the scheduler's thread; by default on a thread of the pipeline's own.
    using Background = std::function<void(std::function<void()> work)>;

    // Where the audio source is started and stopped: by default right on the scheduler's
    // thread; the desktop app gives captureQueue() so that a slow sound server never holds
    // its windows.
    static std::shared_ptr<SpeechPipeline>
    create(core::SpeechSource source, std::shared_ptr<AudioSource> audio,
           std::vector<RecognitionLanguage> languages, core::Scheduler& scheduler,
           RecognizerFactory makeRecognizer, Background background = {}, Background capture = {});
    // One thread for the whole process that starts and stops sources in the order asked.
    static Background captureQueue();
    ~SpeechPipeline() override;

    // Makes the recognisers (off the scheduler's thread), then starts the audio.
    void start(Handlers handlers,
               std::function<void(std::optional<std::string> failure)> done) override;
    void stop(double timeout, std::function<void()> done) override;
    void stopNow() override;
    std::size_t backlog() const override;

    core::SpeechSource source() const override { return source_; }
    const std::vector<RecognitionLanguage>& languages() const override { return languages_; }
    // The source's audio, for the owner's own questions (such as the microphone's device).
    const std::shared_ptr<AudioSource>& audio() const { return audio_; }

    // The words of a final result: timed runs become words; untimed runs stick to the word
    // before; without any timing, the whole text spans the result.
    static std::vector<core::RecognizedSegment::Word> words(const RecognizerResult& result,
                                                            double confidence);
    // Mean run confidence weighted by characters; absent when no run has one.
    static std::optional<double> confidence(const RecognizerResult& result);

private:
    SpeechPipeline(core::SpeechSource source, std::shared_ptr<AudioSource> audio,
                   std::vector<RecognitionLanguage> languages, core::Scheduler& scheduler,
                   RecognizerFactory makeRecognizer, Background background, Background capture);

    // Starts the source where sources start; `done` hears how it went, on the scheduler.
    void startCapture(std::shared_ptr<AudioFanOut> fanOut,
                      std::function<void(std::optional<std::string>)> done);
    void captureStarted(const std::optional<std::string>& failure,
                        std::function<void(std::optional<std::string>)> done);
    // Feeds no more audio to the recognisers, and stops the source where sources stop.
    void stopCapture();
    // Ends recognisers that are done (cancelled or finished), away from the scheduler's thread
    // when there is a capture queue.
    void dispose(std::vector<std::unique_ptr<Recognizer>> recognizers);
    void started(std::vector<std::unique_ptr<Recognizer>> recognizers,
                 std::function<void(std::optional<std::string>)> done);
    void handle(const std::string& locale, const RecognizerResult& result);
    void recognizerEnded();
    void tick();
    void emit(const std::vector<core::RecognizedSegment>& decided,
              const std::optional<core::LanguageArbiter::VolatileResult>& partial);
    void showPartial(const std::optional<core::LanguageArbiter::VolatileResult>& partial,
                     bool always);
    void send(const Event& event);
    void finishStop(bool finished);

    core::SpeechSource source_;
    std::shared_ptr<AudioSource> audio_;
    std::vector<RecognitionLanguage> languages_;
    core::Scheduler& scheduler_;
    RecognizerFactory makeRecognizer_;
    Background background_;
    Background capture_;
    // Closed when capture stops: buffers still in flight never reach recognisers that went.
    std::shared_ptr<CallbackGate> feeding_ = std::make_shared<CallbackGate>();
    core::LanguageArbiter arbiter_;
    core::Instant streamOrigin_;
    double clockOrigin_;

    Handlers handlers_;
    std::vector<std::unique_ptr<Recognizer>> recognizers_;
    std::vector<std::unique_ptr<Recognizer>> stopping_;
    core::Scheduler::TimerHandle tickTimer_;
    core::Scheduler::TimerHandle stopTimer_;
    std::function<void()> stopDone_;
    std::string shownPartial_;
    std::thread preparing_;
    bool stopped_ = false;
    bool raceDone_ = false;
    std::size_t finishedCount_ = 0;
    std::size_t endedEarly_ = 0; // recognisers that failed before the stop
};

} // namespace ambrel
