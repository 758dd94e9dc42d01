#include "VoskRecognizer.h"

#include "VoskResultReader.h"
#include "core/Log.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace ambrel {

namespace {

// Vosk takes float samples on the 16-bit scale.
constexpr float sampleScale = 32768.0f;
// A tenth of a second per call: endpoints and cancellation are noticed that often.
constexpr std::size_t chunkFrames = 1600;

const VoskLibrary& available(const VoskLibrary* library) {
    if (library == nullptr) {
        throw std::runtime_error(
            "Vosk speech recognition is not available: libvosk.so could not be loaded");
    }
    return *library;
}

} // namespace

VoskRecognizer::VoskRecognizer(const std::filesystem::path& modelFolder, std::string locale)
    : VoskRecognizer(VoskLibrary::shared(), modelFolder, std::move(locale)) {}

VoskRecognizer::VoskRecognizer(const VoskLibrary* library, const std::filesystem::path& modelFolder,
                               std::string locale)
    : library_(available(library))
    , locale_(std::move(locale))
    , model_(VoskModel::shared(library_, modelFolder)) {
    native_ = library_.recognizerNew(model_->native(), static_cast<float>(sampleRate));
    if (native_ == nullptr) {
        throw std::runtime_error("Vosk could not make a recogniser for " + locale_ +
                                 " with the model in " + modelFolder.string());
    }
    library_.recognizerSetWords(native_, 1);
}

VoskRecognizer::~VoskRecognizer() {
    stopDecoding();
    library_.recognizerFree(native_);
}

void VoskRecognizer::decode() {
    try {
        while (const auto item = input_.pop()) {
            process(*item);
            if (isCancelled()) {
                return;
            }
        }
        if (isCancelled() || input_.cancelled()) {
            return;
        }
        if (utteranceStart_) {
            endUtterance(library_.recognizerFinalResult(native_));
        }
        if (const auto dropped = input_.dropped(); dropped > 0) {
            core::Log::transcript().notice("Vosk " + locale_ + " fell behind and skipped " +
                                           std::to_string(dropped) + " buffers");
        }
        deliverFinished();
    } catch (const std::exception& error) {
        fail(error.what());
    } catch (...) {
        fail("unknown error");
    }
}

void VoskRecognizer::fail(const std::string& message) {
    input_.cancel(); // nobody takes audio any more
    const std::string error = "Vosk " + locale_ + " stopped recognising: " + message;
    core::Log::transcript().error(error);
    try {
        deliverFailure(error);
    } catch (...) {
        core::Log::transcript().error("Vosk " + locale_ + ": the failure could not be reported");
    }
}

void VoskRecognizer::process(const RecognizerInput::Item& item) {
    const AudioBuffer& buffer = item.buffer;
    const std::size_t frames = buffer.frameCount();
    if (frames == 0) {
        return;
    }
    if (buffer.sampleRate != sampleRate || buffer.channels != 1) {
        throw std::runtime_error(fmt::format("audio came as {} channels at {} Hz instead of mono "
                                             "at {} Hz",
                                             buffer.channels, buffer.sampleRate, sampleRate));
    }
    if (timeline_.breaks(item.startSample)) {
        // What was heard before the gap is one utterance; Vosk starts over after it.
        if (utteranceStart_) {
            endUtterance(library_.recognizerFinalResult(native_));
        }
        library_.recognizerReset(native_);
        core::Log::transcript().debug("Vosk " + locale_ + " skips ahead to sample " +
                                      std::to_string(item.startSample));
    }
    const auto placement = timeline_.place(item.startSample, frames);
    accept(placement.silence, buffer.samples.data() + placement.skip, frames - placement.skip);
    if (utteranceStart_ && !isCancelled()) {
        updatePartial();
    }
}

void VoskRecognizer::accept(std::size_t silence, const float* samples, std::size_t count) {
    scaled_.assign(silence, 0.0f);
    scaled_.reserve(silence + count);
    std::transform(samples, samples + count, std::back_inserter(scaled_), [](float sample) {
        return std::isfinite(sample) ? sample * sampleScale : 0.0f;
    });
    for (std::size_t at = 0; at < scaled_.size() && !isCancelled(); at += chunkFrames) {
        const std::size_t length = std::min(chunkFrames, scaled_.size() - at);
        if (!utteranceStart_) {
            utteranceStart_ = timeline_.now();
        }
        const int status = library_.recognizerAcceptWaveformF(native_, scaled_.data() + at,
                                                              static_cast<int>(length));
        timeline_.fed(length);
        if (status < 0) {
            throw std::runtime_error("the library could not take the audio");
        }
        if (status > 0) {
            endUtterance(library_.recognizerResult(native_));
        }
    }
}

void VoskRecognizer::endUtterance(const char* json) {
    const std::pair range(utteranceStart_.value_or(timeline_.now()), timeline_.now());
    utteranceStart_.reset();
    auto result = json != nullptr ? VoskResultReader::readFinal(json, timeline_.offset(), range)
                                  : std::nullopt;
    deliverUtteranceEnd(std::move(result), range);
}

void VoskRecognizer::updatePartial() {
    const char* json = library_.recognizerPartialResult(native_);
    if (json == nullptr) {
        return;
    }
    auto result = VoskResultReader::readPartial(json, {*utteranceStart_, timeline_.now()});
    if (!result) {
        return;
    }
    deliverPartial(std::move(*result));
}

} // namespace ambrel
