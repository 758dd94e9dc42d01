#pragma once

#include "DecodingThreadRecognizer.h"
#include "PocketsphinxModels.h"

#include <memory>
#include <string>

namespace ambrel {

// Dictation on pocketsphinx: a decoder of its own on a thread of its own. An utterance ends
// wherever the decoder's voice detection hears speech stop; its words come back as a final
// result with their times, and the words so far as volatile results while it lasts.
class PocketsphinxRecognizer : public DecodingThreadRecognizer {
public:
    static constexpr double sampleRate = 16000;

    // Loads a decoder for the model (about half a second); throws std::runtime_error when it
    // cannot.
    explicit PocketsphinxRecognizer(const PocketsphinxModel& model);
    ~PocketsphinxRecognizer() override;

    StreamFormat format() const override { return {sampleRate, true, 1}; }

    // A recognised word as the decoder writes it, made fit to show: fillers ("<s>", "<sil>",
    // "[NOISE]", "++UM++"…) give nothing, pronunciation variants lose their mark ("was(2)").
    static std::string cleanWord(std::string_view word);

private:
    struct Decoder;
    void decode() override;
    void endUtterance(bool restart);
    void partial();

    std::unique_ptr<Decoder> decoder_;

    // Decoding state, on the recogniser's thread only.
    bool inUtterance_ = false;
    bool heardSpeech_ = false;
    std::int64_t utteranceStart_ = 0;        // time-line sample of the utterance's first sample
    std::int64_t decoderSamples_ = 0;        // samples the decoder has had since it was made
    std::int64_t utteranceDecoderStart_ = 0; // decoderSamples_ when the utterance began
    std::int64_t nextSample_ = 0;
    std::int64_t lastPartialAt_ = 0;
};

} // namespace ambrel
