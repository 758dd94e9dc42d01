#pragma once

#include "CallbackGate.h"
#include "Recognizer.h"
#include "RecognizerInput.h"

#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace ambrel {

// A recogniser that decodes on a thread of its own: audio waits in a bounded input, results go
// out through a gate that cancel() closes, so nothing is called back once cancel() returns.
class DecodingThreadRecognizer : public Recognizer {
public:
    DecodingThreadRecognizer(const DecodingThreadRecognizer&) = delete;
    DecodingThreadRecognizer& operator=(const DecodingThreadRecognizer&) = delete;

    void start(Callbacks callbacks) final;
    void feed(AudioBuffer buffer, std::int64_t startSample) final;
    void finish() final;
    void cancel() final;
    std::size_t backlog() const final { return input_.size(); }

protected:
    DecodingThreadRecognizer() = default;
    ~DecodingThreadRecognizer() override = default;

    // Cancels and waits for the thread. Every subclass's destructor calls it first, while the
    // decoder the thread uses still exists. Not from within a callback.
    void stopDecoding();

    // The thread's work: take input until it ends, then deliver the rest and finished().
    virtual void decode() = 0;

    bool isCancelled() const { return gate_.isClosed(); }
    void deliverResult(RecognizerResult result);
    // A volatile result, unless its text is the one on show already.
    void deliverPartial(RecognizerResult partial);
    // The end of an utterance: its final result; or, when nothing came of it, the partial text
    // on show taken back by an empty volatile result over `range`.
    void deliverUtteranceEnd(std::optional<RecognizerResult> final,
                             std::pair<double, double> range);
    void deliverFinished();
    void deliverFailure(const std::string& error);

    RecognizerInput input_;

private:
    Callbacks callbacks_;
    std::thread thread_;
    CallbackGate gate_;
    std::string shownPartial_; // on the decoding thread only
};

} // namespace ambrel
