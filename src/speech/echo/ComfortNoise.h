#pragma once

#include <optional>
#include <random>
#include <span>

namespace ambrel {

// Steady noise under the cancelled microphone, at the level of the room's own. What the
// canceller leaves of an echo lies far below any voice, but over digital silence a recogniser
// hears words in it, and where the residue is muted, a room's hiss that comes and goes sounds to
// it like speech starting. So a faint floor is always there, and where the residue is muted the
// floor the microphone had before takes its place.
class ComfortNoise {
public:
    static constexpr double defaultLevel = -70; // dBFS, root mean square
    // The floor comes in this slowly at the start: hiss that starts at once out of digital
    // silence sounds to a recogniser like a word beginning.
    static constexpr double fadeInSeconds = 2.0;

    explicit ComfortNoise(int sampleRate, double levelDecibels = defaultLevel);

    // The microphone as heard, before cancelling: its quietest frames are the room's floor.
    void track(std::span<const float> heard);
    // `muted`: how much of the frame has been muted by its end, from 0 to 1, ramped from the
    // previous frame's.
    void addTo(std::span<float> frame, double muted);
    void reset();

private:
    float base_;
    double fadeStep_;
    double fade_ = 0;
    std::optional<double> floor_; // root mean square of the room's floor
    double muted_ = 0;
    std::minstd_rand generator_;
    std::uniform_real_distribution<float> distribution_{-1.0F, 1.0F};
};

} // namespace ambrel
