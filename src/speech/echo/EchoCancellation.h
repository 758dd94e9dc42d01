#pragma once

#include "ComfortNoise.h"
#include "EchoCanceller.h"
#include "EchoDelayEstimator.h"
#include "FrameClock.h"
#include "FrameSlicer.h"
#include "HandOffQueue.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioSource.h"
#include "core/SpeechSource.h"
#include "speech/BufferConverter.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ambrel {

// Cancels the speakers' echo in the microphone during a run that records both. System audio is
// exactly what the speakers play, so its buffers are the reference: on its capture thread they
// are cut into 10 ms frames at the canceller's rate, timed, and handed over without waiting.
// The microphone's capture thread runs the canceller: it feeds it the reference frames as their
// sound reaches the microphone (the streams' times, then the lag the levels show, then the
// canceller's own estimate) and cleans each microphone frame, which may wait a moment for the
// reference of its echo. Cleaned frames get a steady noise floor, where the canceller or the
// learning muted them at the room's own level. While the reference is missing or lags too far
// behind, and while turned off, the microphone passes through unprocessed.
class EchoCancellation {
public:
    struct Settings {
        // How much earlier than its echo is due a reference frame goes in: the streams' times
        // are this uncertain, and the canceller finds the rest.
        double lead = 0.04;
        // How far the two streams' frame times may wobble against each other before the
        // reference slips a frame.
        double wobble = 0.004;
        // A reference further behind than this counts as missing.
        double staleAfter = 0.3;
        // How long a microphone frame may wait for the reference of its echo: the two capture
        // threads deliver in bursts, and the speakers' stream may come later than the
        // microphone's.
        double hold = 0.3;
        // Reference frames waiting for the microphone thread, or for their echo to be due, at
        // most (three seconds: the longest lag found and then some).
        std::size_t queueFrames = 300;
        // A longer lag measured, by less than this, is left to the canceller: the measure
        // wavers by a few frames while both sides talk, and each step costs the filter what it
        // learnt. A shorter one is followed within the lead.
        double lagStep = 0.08;
        // A step of the lag beyond this takes the echo out of the filter's reach (its 400 ms
        // less the lead), and it learns again.
        double relearnStep = 0.3;
        // The canceller needs a few seconds of the speakers' sound at the right lag to learn the
        // echo path; until it has heard this much, the microphone is turned down while they
        // play. Without a lag found, for at most `search` seconds of their sound: with
        // headphones there is no echo to find, and the user would be muted for nothing.
        double warmUp = 3.0;
        double search = 4.0;
        double warmUpGain = 0.001; // -60 dB
        // How long after a reference frame its echo may still ring, beyond the lag.
        double echoTail = 0.35;
        // Reference frames quieter than this (dBFS) are silence.
        double silenceLevel = -55;
    };
    // What it has done so far; safe to read from any thread.
    struct Figures {
        std::size_t cancelledFrames = 0;
        std::size_t passedFrames = 0; // microphone frames let through without a reference
        std::size_t droppedReferenceFrames = 0;
        double lag = 0; // seconds: how much later than its time the reference is heard
    };

    // `monotonic` is the clock both capture threads read.
    EchoCancellation(std::unique_ptr<EchoCanceller> canceller, std::function<double()> monotonic,
                     bool enabled, Settings settings);
    EchoCancellation(std::unique_ptr<EchoCanceller> canceller, std::function<double()> monotonic,
                     bool enabled)
        : EchoCancellation(std::move(canceller), std::move(monotonic), enabled, Settings{}) {}

    // On the system-audio thread: what the speakers play.
    void reference(const AudioBuffer& buffer);
    // On the microphone's thread: the audio to recognise in the buffer's place, at the
    // canceller's rate (absent while frames wait for a whole frame or for their reference);
    // the buffer itself when turned off.
    std::optional<AudioBuffer> microphone(AudioBuffer buffer);

    // From any thread; takes effect with the next buffers.
    void setEnabled(bool enabled) { enabled_.store(enabled); }
    bool isEnabled() const { return enabled_.load(); }
    // Whether the microphone can hear the speakers at all. Into headphones there is no echo,
    // and a canceller fed unrelated speech finds chance lags in it and mutes and smears the
    // user's words; so it stands aside, as when turned off. From any thread.
    void setOverheard(bool overheard) { overheard_.store(overheard); }
    bool isOverheard() const { return overheard_.load(); }
    Figures figures() const;

    // The source with the cancellation on its road: system audio feeds the reference, the
    // microphone comes out cleaned; any other source is given back as it is.
    static std::shared_ptr<AudioSource> attach(const std::shared_ptr<EchoCancellation>& echo,
                                               core::SpeechSource source,
                                               std::shared_ptr<AudioSource> audio);

private:
    struct TimedFrame {
        std::vector<float> samples;
        double time = 0; // when its sound was played or heard: the start of the frame
    };
    // What each capture thread keeps for itself.
    struct Side {
        Side(std::size_t frameSize, double rate)
            : converter(StreamFormat{rate, true, 1})
            , slicer(frameSize)
            , clock(EchoCanceller::frameMilliseconds / 1000.0, 0.1) {}
        BufferConverter converter;
        FrameSlicer slicer;
        FrameClock clock;
        bool wasOff = false;
    };

    // The frames of a buffer with the start time of the first; empty when none completed.
    std::pair<std::vector<std::vector<float>>, double> frames(Side& side,
                                                              const AudioBuffer& buffer);
    void takeReference();
    void process(std::vector<float>& frame, double time);
    // The start time of the latest reference frame whose sound is due, a little early, in the
    // microphone frame that starts at `time`.
    double dueBy(double time) const { return time - lag_ + settings_.lead; }
    void restartMicrophone();
    bool isActive() const { return enabled_.load() && overheard_.load(); }

    std::unique_ptr<EchoCanceller> canceller_;
    std::function<double()> monotonic_;
    Settings settings_;
    std::atomic<bool> enabled_;
    std::atomic<bool> overheard_{true};
    HandOffQueue<TimedFrame> queue_;

    Side referenceSide_; // system-audio thread only

    // The microphone thread's only.
    Side microphoneSide_;
    std::deque<TimedFrame> held_;    // microphone frames waiting for their reference
    std::deque<TimedFrame> taken_;   // waiting to be fed, oldest first
    std::deque<TimedFrame> arrived_; // just taken from the queue
    EchoDelayEstimator estimator_;
    ComfortNoise comfortNoise_;
    std::optional<double> newestReference_;
    double lag_ = 0;
    bool lagFound_ = false;
    double soundBeforeLag_ = 0;       // seconds of the speakers' sound fed before the lag was found
    double soundAtLag_ = 0;           // and since
    std::optional<double> echoUntil_; // when the echo of the loud frames fed has died away

    std::atomic<std::size_t> cancelled_{0};
    std::atomic<std::size_t> passed_{0};
    std::atomic<double> shownLag_{0};
};

} // namespace ambrel
