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
