#include "EchoCancellation.h"

#include "FrameEnergy.h"
#include "audio/ProcessedAudioSource.h"

#include <cmath>

namespace ambrel {

namespace {

constexpr double frameSeconds = EchoCanceller::frameMilliseconds / 1000.0;

} // namespace

EchoCancellation::EchoCancellation(std::unique_ptr<EchoCanceller> canceller,
                                   std::function<double()> monotonic, bool enabled,
                                   Settings settings)
    : canceller_(std::move(canceller))
    , monotonic_(std::move(monotonic))
    , settings_(settings)
    , enabled_(enabled)
    , queue_(settings.queueFrames)
    , referenceSide_(canceller_->frameSize(), canceller_->sampleRate())
    , microphoneSide_(canceller_->frameSize(), canceller_->sampleRate())
    , comfortNoise_(canceller_->sampleRate()) {}

std::pair<std::vector<std::vector<float>>, double>
EchoCancellation::frames(Side& side, const AudioBuffer& buffer) {
    const double now = monotonic_();
    auto converted = side.converter.convert(buffer);
    if (!converted) {
        return {};
    }
    auto sliced = side.slicer.add(converted->samples);
    if (sliced.empty()) {
        return {};
    }
    // What waits in the slicer came after the last whole frame.
    const double end = now - static_cast<double>(side.slicer.pending()) / canceller_->sampleRate();
    const double start = side.clock.stamp(sliced.size(), end);
    return {std::move(sliced), start};
}

void EchoCancellation::reference(const AudioBuffer& buffer) {
    if (!isActive()) {
        referenceSide_.wasOff = true;
        return;
    }
    if (referenceSide_.wasOff) {
        referenceSide_.wasOff = false;
        referenceSide_.slicer.clear();
        referenceSide_.clock.reset();
    }
    auto [sliced, start] = frames(referenceSide_, buffer);
    for (std::size_t i = 0; i < sliced.size(); ++i) {
        queue_.push({std::move(sliced[i]), start + static_cast<double>(i) * frameSeconds});
    }
}

std::optional<AudioBuffer> EchoCancellation::microphone(AudioBuffer buffer) {
    if (!isActive()) {
        microphoneSide_.wasOff = true;
        return buffer;
    }
    if (microphoneSide_.wasOff) {
        microphoneSide_.wasOff = false;
        restartMicrophone();
    }
    auto [sliced, start] = frames(microphoneSide_, buffer);
    if (sliced.empty()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < sliced.size(); ++i) {
        held_.push_back({std::move(sliced[i]), start + static_cast<double>(i) * frameSeconds});
    }
    takeReference();
    AudioBuffer out{static_cast<double>(canceller_->sampleRate()), 1, {}};
    const double newest = held_.back().time;
    while (!held_.empty()) {
        auto& next = held_.front();
        // A frame waits until the reference has come for the sound in it, or for too long.
        const bool covered =
            newestReference_ && *newestReference_ >= dueBy(next.time) + settings_.wobble;
        if (!covered && newest - next.time < settings_.hold) {
            break;
        }
        process(next.samples, next.time);
        out.samples.insert(out.samples.end(), next.samples.begin(), next.samples.end());
        held_.pop_front();
    }
    if (out.samples.empty()) {
        return std::nullopt;
    }
    return out;
}

void EchoCancellation::takeReference() {
    if (!queue_.takeAll(arrived_)) {
        return; // the system-audio thread is handing over; the frames come next time
    }
    for (auto& frame : arrived_) {
        estimator_.addReference(frame.time, levelOf(frame.samples));
        if (!newestReference_ || frame.time > *newestReference_) {
            newestReference_ = frame.time;
        }
        taken_.push_back(std::move(frame));
    }
    arrived_.clear();
    while (taken_.size() > settings_.queueFrames) {
        taken_.pop_front();
    }
}

void EchoCancellation::process(std::vector<float>& frame, double time) {
    if (const auto lag = estimator_.addMicrophone(time, levelOf(frame))) {
        // Too late a reference can never cancel its echo, so a shorter lag is taken before it
        // passes the lead; a longer one only on a clear step.
        const bool earlier = *lag < lag_ - settings_.lead * 0.75;
        if (!lagFound_ || earlier || *lag > lag_ + settings_.lagStep) {
            if (lagFound_ && std::abs(*lag - lag_) > settings_.relearnStep) {
                // What the filter learnt lies out of its reach at the new lag: it learns
                // afresh, with the microphone turned down again while it does.
                canceller_->reset();
                soundAtLag_ = 0;
            }
            if (echoUntil_ && *lag > lag_) {
                *echoUntil_ += *lag - lag_; // the echo of what was fed comes later
            }
            lag_ = *lag;
            shownLag_.store(lag_);
        }
        lagFound_ = true;
    }
    // The reference frames whose sound is due in the microphone by now, a little early: one
    // per microphone frame while the two agree within the wobble of their times. Were each fed
    // the moment it fell due, a pair on the edge would go to this frame and the next by turns,
    // and each turn would shift the echo a frame within the filter, which then learns it anew.
    const double latest = dueBy(time);
    for (int taken = 0;
         !taken_.empty() &&
         taken_.front().time <= latest + (taken == 0 ? settings_.wobble : -settings_.wobble);
         ++taken) {
        const auto& due = taken_.front();
        // Sound long past does not help the canceller find what it hears now.
        if (due.time + lag_ >= time - settings_.staleAfter) {
            canceller_->analyzeReference(due.samples);
            if (levelOf(due.samples) > settings_.silenceLevel) {
                (lagFound_ ? soundAtLag_ : soundBeforeLag_) += frameSeconds;
                echoUntil_ =
                    due.time + (lagFound_ ? lag_ : estimator_.maxLag()) + settings_.echoTail;
            }
        }
        taken_.pop_front();
    }
    const bool present =
        newestReference_ && *newestReference_ + lag_ >= time - settings_.staleAfter;
    if (!present) {
        // The floor fades in afresh when cancelling resumes.
        comfortNoise_.reset();
        passed_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    comfortNoise_.track(frame);
    canceller_->process(frame, static_cast<int>(std::lround(settings_.lead * 1000)));
    double muted = canceller_->muted();
    const bool learning =
        lagFound_ ? soundAtLag_ < settings_.warmUp : soundBeforeLag_ < settings_.search;
    if (learning && echoUntil_ && time <= *echoUntil_) {
        for (auto& sample : frame) {
            sample *= static_cast<float>(settings_.warmUpGain);
        }
        muted = 1;
    }
    comfortNoise_.addTo(frame, muted);
    cancelled_.fetch_add(1, std::memory_order_relaxed);
}

void EchoCancellation::restartMicrophone() {
    microphoneSide_.slicer.clear();
    microphoneSide_.clock.reset();
    held_.clear();
    taken_.clear();
    queue_.takeAll(arrived_);
    arrived_.clear();
    estimator_.reset();
    newestReference_.reset();
    lagFound_ = false;
    soundBeforeLag_ = 0;
    soundAtLag_ = 0;
    echoUntil_.reset();
    comfortNoise_.reset();
    canceller_->reset();
}

EchoCancellation::Figures EchoCancellation::figures() const {
    Figures figures;
    figures.cancelledFrames = cancelled_.load(std::memory_order_relaxed);
    figures.passedFrames = passed_.load(std::memory_order_relaxed);
    figures.droppedReferenceFrames = queue_.dropped();
    figures.lag = shownLag_.load();
    return figures;
}

std::shared_ptr<AudioSource> EchoCancellation::attach(const std::shared_ptr<EchoCancellation>& echo,
                                                      core::SpeechSource source,
                                                      std::shared_ptr<AudioSource> audio) {
    if (!echo) {
        return audio;
    }
    if (source == core::SpeechSource::systemAudio) {
        return std::make_shared<ProcessedAudioSource>(
            std::move(audio), [echo](AudioBuffer buffer) -> std::optional<AudioBuffer> {
                echo->reference(buffer);
                return buffer;
            });
    }
    if (source == core::SpeechSource::microphone) {
        return std::make_shared<ProcessedAudioSource>(std::move(audio), [echo](AudioBuffer buffer) {
            return echo->microphone(std::move(buffer));
        });
    }
    return audio;
}

} // namespace ambrel
