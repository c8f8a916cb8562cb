#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A handful of instruments that render notes into a stereo buffer. Times are
// in seconds, pitches MIDI note numbers (69 = A4 = 440 Hz), velocities and
// levels linear gains, pans from -1 (left) to +1 (right).
namespace synth {

constexpr int sampleRate = 44100;

// Two channels of float samples; adding past the end is ignored.
struct Mix {
    explicit Mix(double seconds);
    std::size_t frames() const { return left.size(); }
    void add(std::size_t frame, float l, float r) {
        if (frame < left.size()) {
            left[frame] += l;
            right[frame] += r;
        }
    }
    std::vector<float> left, right;
};

// Deterministic white noise in [-1, 1): the same sequence on every run.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state(seed * 2654435761u + 1u) {}
    float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(state) * (2.0f / 4294967296.0f) - 1.0f;
    }

private:
    std::uint32_t state;
};

double frequency(int midi);

// Drums and effects.
void kick(Mix& mix, double time, float velocity);
void snare(Mix& mix, double time, float velocity);
void hat(Mix& mix, double time, float velocity);
void crash(Mix& mix, double time, float velocity);
void riser(Mix& mix, double time, double length, float velocity);

// Pitched voices. `wobble` (0 to 1) sweeps the bass filter eight times a bar.
void bass(Mix& mix, double time, double length, int midi, float velocity, float wobble);
void pad(Mix& mix, double time, double length, int midi, float velocity);
void pluck(Mix& mix, double time, double length, int midi, float velocity, float pan);
void lead(Mix& mix, double time, double length, int midi, float velocity);

// Adds `send` to `out` as a ping-pong echo: the repeats alternate sides and
// fall by `feedback` each time.
void echo(const Mix& send, Mix& out, double delay, float feedback);

} // namespace synth
