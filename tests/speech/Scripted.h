#pragma once

#include "audio/AudioSource.h"
#include "speech/Recognizer.h"

#include <memory>
#include <vector>

namespace ambrel::testing {

// A recogniser the test drives: it keeps what it is fed and reports what the test tells it to.
class ScriptedRecognizer : public Recognizer {
public:
    struct Log {
        std::vector<std::pair<AudioBuffer, std::int64_t>> fed;
        Callbacks callbacks;
        bool finishing = false;
        bool cancelled = false;
        bool finishesAtOnce = true;
        bool destroyed = false;
    };

    ScriptedRecognizer(double rate, std::shared_ptr<Log> log) : rate_(rate), log_(std::move(log)) {}
    ~ScriptedRecognizer() override { log_->destroyed = true; }

    StreamFormat format() const override { return {rate_, true, 1}; }
    void start(Callbacks callbacks) override { log_->callbacks = std::move(callbacks); }
    void feed(AudioBuffer buffer, std::int64_t startSample) override {
        log_->fed.emplace_back(std::move(buffer), startSample);
    }
    void finish() override {
        log_->finishing = true;
        if (log_->finishesAtOnce && log_->callbacks.onFinished) {
            log_->callbacks.onFinished();
        }
    }
    void cancel() override { log_->cancelled = true; }
    std::size_t backlog() const override { return 0; }

private:
    double rate_;
    std::shared_ptr<Log> log_;
};

// An audio source the test feeds by hand.
class ScriptedAudio : public AudioSource {
public:
    void start(BufferCallback onBuffer, InterruptionCallback onInterruption) override {
        if (failure) {
            throw AudioSourceError(*failure);
        }
        buffer = std::move(onBuffer);
        interruption = std::move(onInterruption);
        running = true;
    }
    void stop() override {
        running = false;
        buffer = nullptr;
    }
    bool startsOnAnyThread() const override { return anyThread; }

    std::optional<std::string> failure;
    bool anyThread = true;
    BufferCallback buffer;
    InterruptionCallback interruption;
    bool running = false;
};

// A final or volatile result from word texts with times.
RecognizerResult result(bool isFinal,
                        const std::vector<std::tuple<std::string, double, double>>& words,
                        double confidence = 0.9);

} // namespace ambrel::testing
