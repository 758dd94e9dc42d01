#pragma once

#include "DecodingThreadRecognizer.h"
#include "VoskLibrary.h"
#include "VoskModel.h"
#include "VoskTimeline.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// The `speech` engine's recogniser: a Vosk model at work on a thread of its own. Partial results
// become volatile results; each utterance Vosk ends becomes a final with timed words.
class VoskRecognizer : public DecodingThreadRecognizer {
public:
    // The rate Vosk's models are trained on.
    static constexpr double sampleRate = 16000;

    // With the process's Vosk library. Loads the model (slow the first time). Throws
    // std::runtime_error when Vosk is not available or the folder holds no usable model.
    VoskRecognizer(const std::filesystem::path& modelFolder, std::string locale);
    // With the library given; null means Vosk is not available.
    VoskRecognizer(const VoskLibrary* library, const std::filesystem::path& modelFolder,
                   std::string locale);
    // Stops at once, without callbacks. Not from within a callback.
    ~VoskRecognizer() override;

    StreamFormat format() const override { return {sampleRate, true, 1}; }

private:
    void decode() override;
    void process(const RecognizerInput::Item& item);
    void accept(std::size_t silence, const float* samples, std::size_t count);
    void endUtterance(const char* json);
    void updatePartial();
    void fail(const std::string& message);

    const VoskLibrary& library_;
    std::string locale_;
    std::shared_ptr<const VoskModel> model_;
    VoskLibrary::NativeRecognizer* native_ = nullptr;

    // The recognition thread's own.
    VoskTimeline timeline_{sampleRate};
    std::optional<double> utteranceStart_; // while Vosk has audio it has not ended
    std::vector<float> scaled_;
};

} // namespace ambrel
