#pragma once

#include "DecodingThreadRecognizer.h"
#include "PocketsphinxModels.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// Dictation on pocketsphinx: a decoder of its own on a thread of its own. An utterance ends
// wherever the decoder's voice detection hears speech stop; its words come back as a final
// result with their times, and the words so far as volatile results while it lasts.
//
// The decoder normalises the sound by its running cepstral mean, which starts from the model's
// guess and moves towards the real sound only as utterances end: the first sentences of a run
// would be heard through the wrong mean. So the mean a run ends with is handed out to be kept
// and given to the next run. Without one, the model's guess counts for little (two seconds of
// sound rather than five), and the first utterance that moves the mean far is decoded a second
// time with the mean it taught the decoder.
class PocketsphinxRecognizer : public DecodingThreadRecognizer {
public:
    static constexpr double sampleRate = 16000;
    // How much sound (in 10 ms frames) the model's own guess at the mean is worth.
    static constexpr int guessFrames = 200;
    // How far (Euclidean, over the cepstra) the mean must move for a second decoding.
    static constexpr double redecodeDistance = 8.0;
    // Utterances longer than this are not held for a second decoding.
    static constexpr double redecodeSeconds = 30.0;
    // The adapted mean is handed out after the first utterance and then at most this often (in
    // seconds of audio), and when the input ends.
    static constexpr double keepInterval = 30.0;

    struct Adaptation {
        // The cepstral mean an earlier run ended with, asked for with the number of values the
        // model's mean has; ignored unless it fits.
        std::function<std::optional<std::vector<double>>(std::size_t count)> stored;
        // Told the current mean, on the decoding thread.
        std::function<void(const std::vector<double>&)> keep;
    };

    // Loads a decoder for the model (about half a second); throws std::runtime_error when it
    // cannot.
    explicit PocketsphinxRecognizer(const PocketsphinxModel& model, Adaptation adaptation = {});
    ~PocketsphinxRecognizer() override;

    StreamFormat format() const override { return {sampleRate, true, 1}; }

    // A recognised word as the decoder writes it, made fit to show: fillers ("<s>", "<sil>",
    // "[NOISE]", "++UM++"…) give nothing, pronunciation variants lose their mark ("was(2)").
    static std::string cleanWord(std::string_view word);

private:
    struct Decoder;
    void decode() override;
    void process(const std::vector<std::int16_t>& samples);
    void endUtterance(bool restart);
    // Decodes the held utterance again with the mean it taught the decoder, when that moved far.
    void redecodeIfMeanMoved();
    void keepMean(bool always);
    RecognizerResult wordsOfUtterance() const;
    void partial();

    std::unique_ptr<Decoder> decoder_;
    Adaptation adaptation_;

    // Decoding state, on the recogniser's thread only.
    bool inUtterance_ = false;
    bool heardSpeech_ = false;
    std::int64_t utteranceStart_ = 0;        // time-line sample of the utterance's first sample
    std::int64_t decoderSamples_ = 0;        // samples the decoder has had since it was made
    std::int64_t utteranceDecoderStart_ = 0; // decoderSamples_ when the utterance began
    std::int64_t nextSample_ = 0;
    std::int64_t lastPartialAt_ = 0;
    bool settled_ = false;            // the mean fits the sound; no second decodings
    std::vector<double> meanAtStart_; // the mean the current utterance is decoded with
    std::vector<std::int16_t> held_;  // the current utterance, while not settled
    std::int64_t keptAt_ = -1;        // nextSample_ when the mean was last handed out
};

} // namespace ambrel
