#include "DecodingThreadRecognizer.h"

namespace ambrel {

void DecodingThreadRecognizer::start(Callbacks callbacks) {
    if (thread_.joinable()) {
        return;
    }
    callbacks_ = std::move(callbacks);
    thread_ = std::thread([this] { decode(); });
}

void DecodingThreadRecognizer::feed(AudioBuffer buffer, std::int64_t startSample) {
    input_.push(std::move(buffer), startSample);
}

void DecodingThreadRecognizer::finish() {
    input_.finish();
}

void DecodingThreadRecognizer::cancel() {
    gate_.close();
    input_.cancel();
}

void DecodingThreadRecognizer::stopDecoding() {
    cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DecodingThreadRecognizer::deliverResult(RecognizerResult result) {
    gate_.deliver([&] {
        if (callbacks_.onResult) {
            callbacks_.onResult(std::move(result));
        }
    });
}

void DecodingThreadRecognizer::deliverPartial(RecognizerResult partial) {
    std::string text = partial.text();
    if (text == shownPartial_) {
        return;
    }
    shownPartial_ = std::move(text);
    deliverResult(std::move(partial));
}

void DecodingThreadRecognizer::deliverUtteranceEnd(std::optional<RecognizerResult> final,
                                                   std::pair<double, double> range) {
    const bool partialShown = !std::exchange(shownPartial_, std::string()).empty();
    if (final) {
        deliverResult(std::move(*final));
    } else if (partialShown) {
        deliverResult(RecognizerResult{{}, range, false});
    }
}

void DecodingThreadRecognizer::deliverFinished() {
    gate_.deliver([this] {
        if (callbacks_.onFinished) {
            callbacks_.onFinished();
        }
    });
}

void DecodingThreadRecognizer::deliverFailure(const std::string& error) {
    gate_.deliver([&] {
        if (callbacks_.onFailure) {
            callbacks_.onFailure(error);
        }
    });
}

} // namespace ambrel
