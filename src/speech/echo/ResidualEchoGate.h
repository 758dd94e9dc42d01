#pragma once

#include <span>

namespace ambrel {

// Mutes what a linear echo filter leaves of the echo. Where the filter took most of the
// microphone's energy away, the microphone heard mostly the speakers, and what remains is
// residue that a recogniser would still turn into words; where it took little, someone is
// talking, or nothing plays. The smoothed figure makes it open more slowly than it closes, so
// that the end of an echo does not slip through, and it ramps its gain within a frame, so that
// it never clicks.
class ResidualEchoGate {
public:
    struct Settings {
        double closeAbove = 10.0; // dB removed by the filter, smoothed
        double openBelow = 3.0;
        double smoothing = 0.3; // weight of the newest frame
        // Frames below `openBelow` before it opens: fewer let residue through while the
        // filter's figure still wavers after learning, more cut the start of each word the user
        // says over the speakers.
        int openAfter = 3;
        // Not silence: the user's voice under a loud echo stays in, faint, which a recogniser still
        // follows, while the residue drops under the comfort noise.
        double closedGain = 0.05; // -26 dB
        // Together with what the filter removed, closed, at least this much (dB): while the
        // filter still learns, it removes little, and the gate takes the rest.
        double leastSuppression = 50;
        // dBFS. Fainter frames tell nothing of who speaks: the tail of an echo's reverberation,
        // which the filter hardly models, would otherwise open the gate on residue.
        double quietBelow = -50;
    };

    ResidualEchoGate() : ResidualEchoGate(Settings{}) {}
    explicit ResidualEchoGate(Settings settings) : settings_(settings) {}

    // `removedDecibels`: how much of the microphone frame's energy the filter took away;
    // `heardLevel`: the frame's level before it, in dBFS; `left`: what the filter left, scaled
    // in place. Where the filter added rather than removed, it has not learnt this sound, which
    // tells nothing of who speaks, and the gate stays as it is.
    void apply(double removedDecibels, double heardLevel, std::span<float> left);
    void reset();
    bool isClosed() const { return closed_; }
    double gain() const { return gain_; }

private:
    Settings settings_;
    double removed_ = 0;
    bool closed_ = false;
    int framesBelow_ = 0;
    double gain_ = 1;
};

} // namespace ambrel
