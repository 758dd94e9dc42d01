#pragma once

#include "AudioSource.h"
#include "WavFile.h"

#include <filesystem>
#include <memory>

namespace ambrel {

// Audio from a WAVE file, delivered when the owner asks, piece by piece: a file run goes as
// fast as recognition allows, its clock moving with the audio.
class WavFileSource : public AudioSource {
public:
    // Throws WavFile::Error when the file cannot be read.
    explicit WavFileSource(const std::filesystem::path& path, double chunkSeconds = 0.02);

    void start(BufferCallback onBuffer, InterruptionCallback onInterruption = {}) override;
    void stop() override;

    // Hands the next piece to the consumer on the calling thread; false at the end of the file
    // or when not started.
    bool deliverNext();
    double duration() const { return file_.seconds(); }
    double chunkSeconds() const { return chunkSeconds_; }

private:
    WavFile file_;
    double chunkSeconds_;
    BufferCallback onBuffer_;
};

} // namespace ambrel
