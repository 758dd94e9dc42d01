#include "PocketsphinxRecognizer.h"

#include "core/Log.h"

#include <fmt/format.h>
#include <pocketsphinx.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <sphinxbase/cmn.h>
#include <sphinxbase/err.h>
#include <sphinxbase/feat.h>
#include <stdexcept>
#include <vector>

namespace ambrel {

namespace {

// A time-line jump larger than this ends the utterance: its frames would no longer line up.
constexpr std::int64_t gapTolerance = 1600; // 0.1 s
constexpr double framesPerSecond = 100;
// Volatile text is refreshed at most this often (in samples of audio).
constexpr std::int64_t partialInterval = 800;

// The library logs a great deal to standard error; a log file per decoder would crash decoders
// running side by side, so logging goes off once for the process.
void silenceLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { err_set_logfp(nullptr); });
}

bool isFiller(std::string_view word) {
    return word.empty() || word.front() == '<' || word.front() == '[' || word.front() == '+';
}

// Cepstral means beyond this are not of any sound; a stored mean holding one is ignored.
constexpr double plausibleMean = 1000;

} // namespace

// A decoder of its own for every recogniser, so that recognisers running side by side never
// share state; what it adapted to comes from the Adaptation given, not from another run's decoder.
struct PocketsphinxRecognizer::Decoder {
    ps_decoder_t* handle = nullptr;

    explicit Decoder(const PocketsphinxModel& model) {
        silenceLibrary();
        cmd_ln_t* config =
            cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.acoustic.c_str(), "-lm",
                        model.languageModel.c_str(), "-dict", model.dictionary.c_str(), nullptr);
        if (config == nullptr) {
            throw std::runtime_error(
                fmt::format("The speech model for {} is incomplete", model.locale));
        }
        handle = ps_init(config);
        cmd_ln_free_r(config);
        if (handle == nullptr) {
            throw std::runtime_error(
                fmt::format("The speech model for {} could not be loaded", model.locale));
        }
    }
    ~Decoder() { ps_free(handle); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    cmn_t& cmn() const { return *ps_get_feat(handle)->cmn_struct; }
    std::vector<double> mean() const {
        const cmn_t& state = cmn();
        return {state.cmn_mean, state.cmn_mean + state.veclen};
    }
    void setMean(const std::vector<double>& values) const {
        const std::vector<mfcc_t> converted(values.begin(), values.end());
        cmn_live_set(&cmn(), converted.data());
    }
    // Makes the current mean count as `frames` frames of sound.
    void weighMean(int32 frames) const {
        cmn_t& state = cmn();
        for (int32 i = 0; i < state.veclen; ++i) {
            state.sum[i] = state.cmn_mean[i] * static_cast<mfcc_t>(frames);
        }
        state.nframe = frames;
    }
    // The whole running state (mean, sums, frame count), to undo a second decoding's traces.
    struct Snapshot {
        std::vector<mfcc_t> mean;
        std::vector<mfcc_t> sum;
        int32 frames;
    };
    Snapshot snapshot() const {
        const cmn_t& state = cmn();
        return {{state.cmn_mean, state.cmn_mean + state.veclen},
                {state.sum, state.sum + state.veclen},
                state.nframe};
    }
    void restore(const Snapshot& snapshot) const {
        cmn_t& state = cmn();
        std::copy(snapshot.mean.begin(), snapshot.mean.end(), state.cmn_mean);
        std::copy(snapshot.sum.begin(), snapshot.sum.end(), state.sum);
        state.nframe = snapshot.frames;
    }
};

namespace {

double distance(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    }
    return std::sqrt(sum);
}

} // namespace

std::string PocketsphinxRecognizer::cleanWord(std::string_view word) {
    if (isFiller(word)) {
        return {};
    }
    if (!word.empty() && word.back() == ')') {
        if (const auto open = word.rfind('('); open != std::string_view::npos && open > 0) {
            word = word.substr(0, open);
        }
    }
    return std::string(word);
}

PocketsphinxRecognizer::PocketsphinxRecognizer(const PocketsphinxModel& model,
                                               Adaptation adaptation)
    : decoder_(std::make_unique<Decoder>(model))
    , adaptation_(std::move(adaptation)) {
    const auto size = static_cast<std::size_t>(decoder_->cmn().veclen);
    if (const auto initial = adaptation_.stored ? adaptation_.stored(size) : std::nullopt;
        initial && initial->size() == size &&
        std::all_of(initial->begin(), initial->end(), [](double value) {
            return std::isfinite(value) && std::abs(value) < plausibleMean;
        })) {
        decoder_->setMean(*initial);
        settled_ = true;
    } else {
        decoder_->weighMean(guessFrames);
    }
}

PocketsphinxRecognizer::~PocketsphinxRecognizer() {
    stopDecoding();
}

void PocketsphinxRecognizer::decode() {
    std::vector<std::int16_t> samples;
    try {
        while (auto item = input_.pop()) {
            if (inUtterance_ && item->startSample > nextSample_ + gapTolerance) {
                endUtterance(false); // the audio jumped; its words must not span the gap
            }
            if (!inUtterance_) {
                ps_start_utt(decoder_->handle);
                inUtterance_ = true;
                heardSpeech_ = false;
                utteranceStart_ = item->startSample;
                utteranceDecoderStart_ = decoderSamples_;
                nextSample_ = item->startSample;
                lastPartialAt_ = item->startSample;
                meanAtStart_ = decoder_->mean();
            }
            samples.resize(item->buffer.samples.size());
            std::transform(item->buffer.samples.begin(), item->buffer.samples.end(),
                           samples.begin(), [](float sample) {
                               return static_cast<std::int16_t>(
                                   std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f));
                           });
            process(samples);
        }
        if (!isCancelled()) {
            if (inUtterance_) {
                endUtterance(false);
            }
            keepMean(true);
            deliverFinished();
        }
    } catch (const std::exception& error) {
        deliverFailure(error.what());
    }
}

void PocketsphinxRecognizer::process(const std::vector<std::int16_t>& samples) {
    ps_process_raw(decoder_->handle, samples.data(), samples.size(), FALSE, FALSE);
    if (!settled_ && held_.size() < static_cast<std::size_t>(redecodeSeconds * sampleRate)) {
        held_.insert(held_.end(), samples.begin(), samples.end());
    }
    nextSample_ += static_cast<std::int64_t>(samples.size());
    decoderSamples_ += static_cast<std::int64_t>(samples.size());
    const bool inSpeech = ps_get_in_speech(decoder_->handle) != 0;
    if (inSpeech) {
        heardSpeech_ = true;
        if (nextSample_ - lastPartialAt_ >= partialInterval) {
            lastPartialAt_ = nextSample_;
            partial();
        }
    } else if (heardSpeech_) {
        endUtterance(true); // speech stopped: the sentence is done
    }
}

void PocketsphinxRecognizer::partial() {
    int32 score = 0;
    const char* hypothesis = ps_get_hyp(decoder_->handle, &score);
    std::string text;
    if (hypothesis != nullptr) {
        std::string_view rest(hypothesis);
        while (!rest.empty()) {
            const auto space = rest.find(' ');
            const auto word = cleanWord(rest.substr(0, space));
            if (!word.empty()) {
                text += (text.empty() ? "" : " ") + word;
            }
            rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        }
    }
    RecognizerResult result;
    result.isFinal = false;
    result.runs.push_back({text, std::nullopt, std::nullopt});
    const double start = static_cast<double>(utteranceStart_) / sampleRate;
    result.range = {start, static_cast<double>(nextSample_) / sampleRate};
    deliverPartial(std::move(result));
}

void PocketsphinxRecognizer::endUtterance(bool restart) {
    ps_end_utt(decoder_->handle);
    inUtterance_ = false;
    redecodeIfMeanMoved();
    held_.clear();
    const double origin = static_cast<double>(utteranceStart_) / sampleRate;
    RecognizerResult result = wordsOfUtterance();
    // The decoder's first utterance of a stream is often empty: nothing to say then.
    std::optional<RecognizerResult> final;
    if (!result.runs.empty()) {
        result.range = {result.runs.front().time->first, result.runs.back().time->second};
        final = std::move(result);
    }
    deliverUtteranceEnd(std::move(final), {origin, static_cast<double>(nextSample_) / sampleRate});
    keepMean(false);
    if (restart) {
        ps_start_utt(decoder_->handle);
        inUtterance_ = true;
        heardSpeech_ = false;
        utteranceStart_ = nextSample_;
        utteranceDecoderStart_ = decoderSamples_;
        lastPartialAt_ = nextSample_;
        meanAtStart_ = decoder_->mean();
    }
}

void PocketsphinxRecognizer::redecodeIfMeanMoved() {
    if (settled_) {
        return;
    }
    const auto taught = decoder_->mean();
    const bool whole = held_.size() == static_cast<std::size_t>(nextSample_ - utteranceStart_);
    if (!heardSpeech_ || !whole || distance(taught, meanAtStart_) <= redecodeDistance) {
        return;
    }
    settled_ = true;
    // The second decoding must leave the running mean as the first left it.
    const auto after = decoder_->snapshot();
    decoder_->setMean(taught);
    ps_start_utt(decoder_->handle);
    utteranceDecoderStart_ = decoderSamples_;
    ps_process_raw(decoder_->handle, held_.data(), held_.size(), FALSE, FALSE);
    decoderSamples_ += static_cast<std::int64_t>(held_.size());
    ps_end_utt(decoder_->handle);
    decoder_->restore(after);
    core::Log::transcript().debug(
        fmt::format("Decoded the first utterance again: the cepstral mean moved by {:.1f}",
                    distance(taught, meanAtStart_)));
}

void PocketsphinxRecognizer::keepMean(bool always) {
    if (!adaptation_.keep ||
        (!always && keptAt_ >= 0 &&
         nextSample_ - keptAt_ < static_cast<std::int64_t>(keepInterval * sampleRate))) {
        return;
    }
    if (decoderSamples_ == 0) {
        return; // nothing heard: the model's own guess is not worth keeping
    }
    keptAt_ = nextSample_;
    adaptation_.keep(decoder_->mean());
}

RecognizerResult PocketsphinxRecognizer::wordsOfUtterance() const {
    ps_decoder_t* decoder = decoder_->handle;
    // This decoder numbers frames from its first utterance on, not per utterance; frames before
    // the utterance's own first one mean a decoder that starts again at 0 each time.
    const double decoderStart = static_cast<double>(utteranceDecoderStart_) / sampleRate;
    const double origin = static_cast<double>(utteranceStart_) / sampleRate;
    RecognizerResult result;
    result.isFinal = true;
    logmath_t* logmath = ps_get_logmath(decoder);
    for (ps_seg_t* segment = ps_seg_iter(decoder); segment != nullptr;
         segment = ps_seg_next(segment)) {
        const std::string word = cleanWord(ps_seg_word(segment));
        if (word.empty()) {
            continue;
        }
        int startFrame = 0;
        int endFrame = 0;
        ps_seg_frames(segment, &startFrame, &endFrame);
        const double counted =
            startFrame / framesPerSecond >= decoderStart - 0.005 ? decoderStart : 0.0;
        int32 acoustic = 0;
        int32 language = 0;
        int32 backoff = 0;
        const double probability = std::clamp(
            logmath_exp(logmath, ps_seg_prob(segment, &acoustic, &language, &backoff)), 0.0, 1.0);
        result.runs.push_back({(result.runs.empty() ? "" : " ") + word,
                               std::pair(origin + startFrame / framesPerSecond - counted,
                                         origin + (endFrame + 1) / framesPerSecond - counted),
                               probability});
    }
    return result;
}

} // namespace ambrel
