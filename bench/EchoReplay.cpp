// Replays a recording of the speakers and one of the microphone through the echo cancellation,
// as the two capture threads deliver them (20 ms buffers on one clock), and writes what the
// recogniser would hear: 32-bit float samples, mono, at the canceller's rate. With it a live run
// can be repeated offline, and a change to the canceller heard on the same audio.
//   echo_replay SPEAKERS.wav MICROPHONE.wav OUT.f32
#include "audio/WavFile.h"
#include "speech/echo/EchoCancellation.h"
#include "speech/echo/SpeexEchoCanceller.h"

#include <fstream>
#include <iostream>

using namespace ambrel;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: echo_replay SPEAKERS.wav MICROPHONE.wav OUT.f32\n";
        return 2;
    }
    try {
        WavFile speakers(argv[1]);
        WavFile microphone(argv[2]);
        std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
        if (!out) {
            std::cerr << argv[3] << ": cannot be written\n";
            return 1;
        }
        double now = 0;
        EchoCancellation echo(
            std::make_unique<SpeexEchoCanceller>(), [&now] { return now; }, true);
        const auto played = static_cast<std::size_t>(speakers.sampleRate() / 50);
        const auto heard = static_cast<std::size_t>(microphone.sampleRate() / 50);
        for (;;) {
            auto speakersPiece = speakers.read(played);
            auto microphonePiece = microphone.read(heard);
            if (speakersPiece.empty() && microphonePiece.empty()) {
                break;
            }
            now += 0.02;
            if (!speakersPiece.empty()) {
                echo.reference(AudioBuffer{speakers.sampleRate(), speakers.channels(),
                                           std::move(speakersPiece)});
            }
            if (microphonePiece.empty()) {
                continue;
            }
            const auto cleaned = echo.microphone(AudioBuffer{
                microphone.sampleRate(), microphone.channels(), std::move(microphonePiece)});
            if (cleaned) {
                out.write(reinterpret_cast<const char*>(cleaned->samples.data()),
                          static_cast<std::streamsize>(cleaned->samples.size() * sizeof(float)));
            }
        }
        const auto figures = echo.figures();
        std::cerr << figures.cancelledFrames << " frames cancelled, " << figures.passedFrames
                  << " passed through, lag " << figures.lag * 1000 << " ms\n";
        return out.good() ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
}
