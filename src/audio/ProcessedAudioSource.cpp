#include "ProcessedAudioSource.h"

namespace ambrel {

void ProcessedAudioSource::start(BufferCallback onBuffer, InterruptionCallback onInterruption) {
    source_->start(
        [process = process_, onBuffer = std::move(onBuffer)](AudioBuffer buffer) {
            if (auto processed = process(std::move(buffer))) {
                onBuffer(std::move(*processed));
            }
        },
        std::move(onInterruption));
}

} // namespace ambrel
