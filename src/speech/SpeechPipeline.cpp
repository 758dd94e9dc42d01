#include "SpeechPipeline.h"

#include "core/LineBreaker.h"
#include "core/LineCasing.h"
#include "core/Log.h"
#include "core/SerialQueue.h"
#include "core/UnicodeText.h"

#include <fmt/format.h>

#include <cmath>
#include <utility>

namespace ambrel {

namespace {

constexpr double tickInterval = 0.3;

} // namespace

std::shared_ptr<SpeechPipeline> SpeechPipeline::create(core::SpeechSource source,
                                                       std::shared_ptr<AudioSource> audio,
                                                       std::vector<RecognitionLanguage> languages,
                                                       core::Scheduler& scheduler,
                                                       RecognizerFactory makeRecognizer,
                                                       Background background, Background capture) {
    return std::shared_ptr<SpeechPipeline>(
        new SpeechPipeline(source, std::move(audio), std::move(languages), scheduler,
                           std::move(makeRecognizer), std::move(background), std::move(capture)));
}

SpeechPipeline::Background SpeechPipeline::captureQueue() {
    // Never destroyed: a source may still be stopping while the process ends.
    static auto* queue = new core::SerialQueue("org.ambrel.Ambrel.capture");
    return [](std::function<void()> work) { queue->async(std::move(work)); };
}

SpeechPipeline::SpeechPipeline(core::SpeechSource source, std::shared_ptr<AudioSource> audio,
                               std::vector<RecognitionLanguage> languages,
                               core::Scheduler& scheduler, RecognizerFactory makeRecognizer,
                               Background background, Background capture)
    : source_(source)
    , audio_(std::move(audio))
    , languages_(std::move(languages))
    , scheduler_(scheduler)
    , makeRecognizer_(std::move(makeRecognizer))
    , background_(std::move(background))
    , capture_(std::move(capture))
    , arbiter_(RecognitionLanguage::identifiers(languages_))
    , streamOrigin_(scheduler.now())
    , clockOrigin_(scheduler.monotonic()) {}

SpeechPipeline::~SpeechPipeline() {
    if (preparing_.joinable()) {
        preparing_.join();
    }
    if (audio_) {
        stopCapture();
    }
    for (auto& recognizer : recognizers_) {
        recognizer->cancel();
    }
    for (auto& recognizer : stopping_) {
        recognizer->cancel();
    }
}

void SpeechPipeline::start(Handlers handlers,
                           std::function<void(std::optional<std::string>)> done) {
    handlers_ = std::move(handlers);
    std::weak_ptr<SpeechPipeline> weak = weak_from_this();
    // Loading models takes a while; the main thread goes on meanwhile.
    auto prepare = [weak, languages = languages_, make = makeRecognizer_, &scheduler = scheduler_,
                    done = std::move(done)]() mutable {
        std::vector<std::unique_ptr<Recognizer>> recognizers;
        std::optional<std::string> failure;
        try {
            for (const auto& language : languages) {
                recognizers.push_back(make(language));
                if (!(recognizers.back()->format().sampleRate > 0)) {
                    throw AudioSourceError("Speech recognition doesn’t support this audio");
                }
            }
        } catch (const std::exception& error) {
            failure = error.what();
            recognizers.clear();
        }
        auto shared =
            std::make_shared<std::vector<std::unique_ptr<Recognizer>>>(std::move(recognizers));
        scheduler.post([weak, shared, failure, done = std::move(done)]() mutable {
            const auto pipeline = weak.lock();
            if (!pipeline) {
                return;
            }
            if (failure) {
                pipeline->stopNow();
                done(failure);
                return;
            }
            pipeline->started(std::move(*shared), std::move(done));
        });
    };
    if (background_) {
        background_(std::move(prepare));
    } else {
        preparing_ = std::thread(std::move(prepare));
    }
}

void SpeechPipeline::started(std::vector<std::unique_ptr<Recognizer>> recognizers,
                             std::function<void(std::optional<std::string>)> done) {
    if (stopped_) {
        for (auto& recognizer : recognizers) {
            recognizer->cancel();
        }
        done(std::string("Transcription was stopped"));
        return;
    }
    recognizers_ = std::move(recognizers);
    std::weak_ptr<SpeechPipeline> weak = weak_from_this();
    std::vector<std::pair<StreamFormat, Recognizer*>> targets;
    for (std::size_t i = 0; i < recognizers_.size(); ++i) {
        const std::string locale = languages_[i].identifier;
        Recognizer* recognizer = recognizers_[i].get();
        recognizer->start(Recognizer::Callbacks{
            [weak, locale, &scheduler = scheduler_](RecognizerResult result) {
                scheduler.post([weak, locale, result = std::move(result)] {
                    if (const auto pipeline = weak.lock()) {
                        pipeline->handle(locale, result);
                    }
                });
            },
            [weak, &scheduler = scheduler_](const std::string& error) {
                scheduler.post([weak, error] {
                    const auto pipeline = weak.lock();
                    if (!pipeline) {
                        return;
                    }
                    if (!pipeline->stopped_ && pipeline->handlers_.onError) {
                        pipeline->handlers_.onError(error);
                    }
                    pipeline->recognizerEnded(); // a failed recogniser has nothing more to say
                });
            },
            [weak, &scheduler = scheduler_] {
                scheduler.post([weak] {
                    if (const auto pipeline = weak.lock()) {
                        pipeline->recognizerEnded();
                    }
                });
            }});
        targets.emplace_back(recognizer->format(), recognizer);
    }
    auto fanOut = std::make_shared<AudioFanOut>(
        targets, clockOrigin_, [&scheduler = scheduler_] { return scheduler.monotonic(); });
    startCapture(std::move(fanOut), std::move(done));
}

void SpeechPipeline::startCapture(std::shared_ptr<AudioFanOut> fanOut,
                                  std::function<void(std::optional<std::string>)> done) {
    std::weak_ptr<SpeechPipeline> weak = weak_from_this();
    auto begin = [weak, audio = audio_, fanOut = std::move(fanOut), gate = feeding_,
                  &scheduler = scheduler_]() -> std::optional<std::string> {
        try {
            audio->start(
                [fanOut, gate](AudioBuffer buffer) {
                    gate->deliver([&] { fanOut->feed(buffer); });
                },
                [weak, &scheduler](const std::optional<AudioSourceError>& lost) {
                    std::optional<std::string> reason;
                    if (lost) {
                        reason = lost->message();
                    }
                    scheduler.post([weak, reason] {
                        const auto pipeline = weak.lock();
                        if (pipeline && !pipeline->stopped_ && pipeline->handlers_.onInterruption) {
                            pipeline->handlers_.onInterruption(reason);
                        }
                    });
                });
        } catch (const std::exception& error) {
            return std::string(error.what());
        }
        return std::nullopt;
    };
    if (!capture_ || !audio_->startsOnAnyThread()) {
        captureStarted(begin(), std::move(done));
        return;
    }
    capture_([weak, begin = std::move(begin), &scheduler = scheduler_,
              done = std::move(done)]() mutable {
        if (weak.expired()) {
            return; // gone meanwhile: its stop is queued behind this
        }
        auto failure = begin();
        scheduler.post([weak, failure = std::move(failure), done = std::move(done)]() mutable {
            if (const auto pipeline = weak.lock()) {
                pipeline->captureStarted(failure, std::move(done));
            }
        });
    });
}

void SpeechPipeline::captureStarted(const std::optional<std::string>& failure,
                                    std::function<void(std::optional<std::string>)> done) {
    if (failure) {
        stopNow();
        done(failure);
        return;
    }
    if (stopped_) {
        done(std::string("Transcription was stopped"));
        return;
    }
    std::weak_ptr<SpeechPipeline> weak = weak_from_this();
    tickTimer_ = scheduler_.every(tickInterval, [weak] {
        if (const auto pipeline = weak.lock()) {
            pipeline->tick();
        }
    });
    done(std::nullopt);
}

void SpeechPipeline::dispose(std::vector<std::unique_ptr<Recognizer>> recognizers) {
    if (!capture_ || recognizers.empty()) {
        return; // they go right here
    }
    // Freeing a decoder and its models takes tens of milliseconds: not on this thread.
    auto doomed =
        std::make_shared<std::vector<std::unique_ptr<Recognizer>>>(std::move(recognizers));
    capture_([doomed] { doomed->clear(); });
}

void SpeechPipeline::stopCapture() {
    feeding_->close();
    if (!capture_ || !audio_->startsOnAnyThread()) {
        audio_->stop();
        return;
    }
    capture_([audio = audio_] { audio->stop(); });
}

void SpeechPipeline::recognizerEnded() {
    if (stopping_.empty()) {
        ++endedEarly_; // failed while running: a graceful stop need not wait for it
        return;
    }
    ++finishedCount_;
    if (finishedCount_ >= stopping_.size() && !raceDone_ && stopTimer_) {
        raceDone_ = true;
        stopTimer_.reset();
        finishStop(true);
    }
}

void SpeechPipeline::handle(const std::string& locale, const RecognizerResult& result) {
    const std::string text = result.text();
    const double confidence = SpeechPipeline::confidence(result).value_or(0.5);
    if (!result.isFinal) {
        arbiter_.setVolatile(locale, text, confidence);
        showPartial(arbiter_.volatileResult(), true);
        return;
    }
    core::RecognizedSegment segment(locale, words(result, confidence));
    const auto decided = arbiter_.addFinal(std::move(segment), scheduler_.monotonic());
    emit(decided, arbiter_.volatileResult());
}

void SpeechPipeline::tick() {
    const auto decided = arbiter_.tick(scheduler_.monotonic());
    emit(decided, arbiter_.volatileResult());
}

void SpeechPipeline::emit(const std::vector<core::RecognizedSegment>& decided,
                          const std::optional<core::LanguageArbiter::VolatileResult>& partial) {
    for (const auto& decision : decided) {
        for (const auto& segment : core::LineBreaker().split(decision)) {
            const double start =
                std::isfinite(segment.start()) && segment.start() >= 0 ? segment.start() : 0;
            core::Log::transcript().debug(
                fmt::format("Decided a line: {}, {:.2f} s of audio, confidence {:.2f}",
                            segment.locale, segment.end() - start, segment.confidence()));
            send(Event{Event::Kind::final,
                       core::LineCasing::sentenceCase(segment.text(), segment.locale),
                       segment.confidence(), segment.locale, streamOrigin_ + start});
        }
    }
    showPartial(partial, !decided.empty());
}

void SpeechPipeline::showPartial(
    const std::optional<core::LanguageArbiter::VolatileResult>& partial, bool always) {
    const std::string text =
        partial ? core::LineCasing::sentenceCase(partial->text, partial->locale) : std::string();
    if (!always && text == shownPartial_) {
        return;
    }
    shownPartial_ = text;
    send(Event{Event::Kind::volatileText, text, partial ? partial->confidence : 0.0, {}, 0});
}

void SpeechPipeline::send(const Event& event) {
    if (handlers_.onEvent) {
        handlers_.onEvent(event);
    }
}

void SpeechPipeline::stop(double timeout, std::function<void()> done) {
    stopped_ = true;
    stopCapture();
    tickTimer_.reset();
    stopping_ = std::move(recognizers_);
    recognizers_.clear();
    stopDone_ = std::move(done);
    raceDone_ = false;
    finishedCount_ = std::exchange(endedEarly_, 0);
    if (stopping_.empty() || finishedCount_ >= stopping_.size()) {
        raceDone_ = true;
        finishStop(true);
        return;
    }
    std::weak_ptr<SpeechPipeline> weak = weak_from_this();
    stopTimer_ = scheduler_.after(timeout, [weak] {
        const auto pipeline = weak.lock();
        if (pipeline && !pipeline->raceDone_) {
            pipeline->raceDone_ = true;
            pipeline->finishStop(false);
        }
    });
    for (auto& recognizer : stopping_) {
        recognizer->finish();
    }
}

void SpeechPipeline::finishStop(bool finished) {
    if (finished) {
        emit(arbiter_.flush(), std::nullopt);
        showPartial(std::nullopt, true);
    } else {
        for (auto& recognizer : stopping_) {
            recognizer->cancel();
        }
        const auto partial = arbiter_.volatileResult();
        emit(arbiter_.flush(), partial);
    }
    handlers_.onEvent = nullptr;
    dispose(std::move(stopping_));
    stopping_.clear();
    stopTimer_.reset();
    if (auto done = std::move(stopDone_)) {
        stopDone_ = nullptr;
        done();
    }
}

void SpeechPipeline::stopNow() {
    stopped_ = true;
    stopCapture();
    tickTimer_.reset();
    for (auto& recognizer : recognizers_) {
        recognizer->cancel();
    }
    dispose(std::move(recognizers_));
    recognizers_.clear();
    const auto partial = arbiter_.volatileResult();
    emit(arbiter_.flush(), partial);
    handlers_.onEvent = nullptr;
}

std::size_t SpeechPipeline::backlog() const {
    std::size_t largest = 0;
    for (const auto& recognizer : recognizers_) {
        largest = std::max(largest, recognizer->backlog());
    }
    return largest;
}

std::optional<double> SpeechPipeline::confidence(const RecognizerResult& result) {
    double weighted = 0;
    double characters = 0;
    for (const auto& run : result.runs) {
        if (!run.confidence) {
            continue;
        }
        const auto count = static_cast<double>(core::UnicodeText::characterCount(run.text));
        weighted += *run.confidence * count;
        characters += count;
    }
    if (characters <= 0) {
        return std::nullopt;
    }
    return weighted / characters;
}

std::vector<core::RecognizedSegment::Word> SpeechPipeline::words(const RecognizerResult& result,
                                                                 double confidence) {
    std::vector<core::RecognizedSegment::Word> words;
    for (const auto& run : result.runs) {
        if (run.text.empty()) {
            continue;
        }
        if (run.time && std::isfinite(run.time->first) && std::isfinite(run.time->second)) {
            words.push_back(
                {run.text, run.time->first, run.time->second, run.confidence.value_or(confidence)});
        } else if (words.empty()) {
            words.push_back({run.text, result.range.first, result.range.first, confidence});
        } else {
            words.back().text += run.text; // spaces and punctuation stick to the word before
        }
    }
    const bool timed = std::any_of(words.begin(), words.end(),
                                   [](const auto& word) { return word.start < word.end; });
    if (timed) {
        return words;
    }
    std::string text;
    for (const auto& run : result.runs) {
        text += run.text;
    }
    return {{text, result.range.first, result.range.second, confidence}};
}

} // namespace ambrel
