#include "synth.h"

#include <algorithm>
#include <cmath>

namespace synth {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double dt = 1.0 / sampleRate;
// Eighth notes at 100 beats a minute: the rate of the bass wobble.
constexpr double wobblePeriod = 0.3;

std::size_t frameAt(double time) { return std::size_t(std::lround(std::max(0.0, time) * sampleRate)); }
std::size_t frameCount(double seconds) { return std::size_t(std::lround(seconds * sampleRate)); }

// Equal-power pan gains.
void panGains(float pan, float& l, float& r) {
    const double angle = (double(pan) + 1.0) * pi / 4.0;
    l = float(std::cos(angle));
    r = float(std::sin(angle));
}

// Zero-delay-feedback state-variable filter: stable while its cutoff moves
// every sample, which the swept bass and pluck need.
struct Svf {
    double ic1 = 0.0, ic2 = 0.0;
    double low = 0.0, band = 0.0, high = 0.0;
    void run(double x, double cutoff, double resonance) {
        const double g = std::tan(pi * std::min(cutoff, 0.45 * sampleRate) / sampleRate);
        const double k = 2.0 - 2.0 * resonance;
        const double a1 = 1.0 / (1.0 + g * (g + k));
        const double v3 = x - ic2;
        const double v1 = a1 * ic1 + g * a1 * v3;
        const double v2 = ic2 + g * v1;
        ic1 = 2.0 * v1 - ic1;
        ic2 = 2.0 * v2 - ic2;
        low = v2;
        band = v1;
        high = x - k * v1 - v2;
    }
};

// Band-limited sawtooth (polynomial step correction), phase in [0, 1).
struct Saw {
    double phase = 0.0;
    double next(double hz) {
        const double inc = hz * dt;
        double out = 2.0 * phase - 1.0;
        if (phase < inc) {
            const double t = phase / inc;
            out -= t + t - t * t - 1.0;
        } else if (phase > 1.0 - inc) {
            const double t = (phase - 1.0) / inc;
            out -= t * t + t + t + 1.0;
        }
        phase += inc;
        if (phase >= 1.0) phase -= 1.0;
        return out;
    }
};

// Linear attack, flat sustain, linear release after `length`.
double gate(double t, double length, double attack, double release) {
    if (t < attack) return t / attack;
    if (t < length) return 1.0;
    return std::max(0.0, 1.0 - (t - length) / release);
}

} // namespace

Mix::Mix(double seconds) : left(frameCount(seconds), 0.0f), right(frameCount(seconds), 0.0f) {}

double frequency(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

void kick(Mix& mix, double time, float velocity) {
    const std::size_t start = frameAt(time);
    double phase = 0.0;
    for (std::size_t i = 0; i < frameCount(0.45); ++i) {
        const double t = i * dt;
        const double hz = 46.0 + 110.0 * std::exp(-t * 28.0);
        phase += hz * dt;
        const double body = std::sin(2.0 * pi * phase) * std::exp(-t * 7.0);
        const double click = t < 0.004 ? (1.0 - t / 0.004) * 0.4 : 0.0;
        const float s = float(std::tanh(1.6 * (body + click)) * velocity);
        mix.add(start + i, s, s);
    }
}

void snare(Mix& mix, double time, float velocity) {
    const std::size_t start = frameAt(time);
    Noise noise{std::uint32_t(start)};
    Svf filter;
    for (std::size_t i = 0; i < frameCount(0.3); ++i) {
        const double t = i * dt;
        filter.run(noise.next(), 5000.0, 0.2);
        const double tone = std::sin(2.0 * pi * 185.0 * t) * std::exp(-t * 30.0);
        const double rattle = (filter.band + 0.4 * filter.high) * std::exp(-t * 16.0);
        const float s = float((0.6 * tone + 0.8 * rattle) * velocity);
        mix.add(start + i, s, s);
    }
}

void hat(Mix& mix, double time, float velocity) {
    const std::size_t start = frameAt(time);
    Noise noise(std::uint32_t(start) ^ 0x5a5a5a5au);
    Svf filter;
    float l, r;
    panGains(0.3f, l, r);
    for (std::size_t i = 0; i < frameCount(0.12); ++i) {
        const double t = i * dt;
        filter.run(noise.next(), 8000.0, 0.1);
        const float s = float(filter.high * std::exp(-t * 45.0) * velocity);
        mix.add(start + i, s * l, s * r);
    }
}

void crash(Mix& mix, double time, float velocity) {
    const std::size_t start = frameAt(time);
    // Two independent noises make the cymbal wide rather than centred.
    Noise noiseL(std::uint32_t(start) ^ 0x1234567u), noiseR(std::uint32_t(start) ^ 0x7654321u);
    Svf filterL, filterR;
    for (std::size_t i = 0; i < frameCount(2.4); ++i) {
        const double t = i * dt;
        filterL.run(noiseL.next(), 4500.0, 0.3);
        filterR.run(noiseR.next(), 4700.0, 0.3);
        const double env = std::exp(-t * 2.2) * (t < 0.002 ? t / 0.002 : 1.0);
        mix.add(start + i, float(filterL.high * env * velocity), float(filterR.high * env * velocity));
    }
}

void riser(Mix& mix, double time, double length, float velocity) {
    const std::size_t start = frameAt(time);
    Noise noiseL(std::uint32_t(start) ^ 0x2468aceu), noiseR(std::uint32_t(start) ^ 0x13579bdu);
    Svf filterL, filterR;
    for (std::size_t i = 0; i < frameCount(length); ++i) {
        const double x = i * dt / length;
        const double cutoff = 300.0 * std::pow(30.0, x);
        filterL.run(noiseL.next(), cutoff, 0.7);
        filterR.run(noiseR.next(), cutoff * 1.05, 0.7);
        const double env = x * x * velocity;
        mix.add(start + i, float(filterL.band * env), float(filterR.band * env));
    }
}

void bass(Mix& mix, double time, double length, int midi, float velocity, float wobble) {
    const std::size_t start = frameAt(time);
    const double hz = frequency(midi);
    Saw saw;
    double subPhase = 0.0;
    Svf filter;
    for (std::size_t i = 0; i < frameCount(length + 0.03); ++i) {
        const double t = i * dt;
        subPhase += hz * dt;
        const double sub = std::sin(2.0 * pi * subPhase);
        const double lfo = 0.5 - 0.5 * std::cos(2.0 * pi * (time + t) / wobblePeriod);
        const double cutoff = 180.0 + 900.0 * std::exp(-t * 12.0) + wobble * 2200.0 * lfo;
        filter.run(saw.next(hz), cutoff, 0.55);
        const double amp = gate(t, length, 0.004, 0.03) * velocity;
        const float s = float((0.7 * filter.low + 0.6 * sub) * amp);
        mix.add(start + i, s, s);
    }
}

void pad(Mix& mix, double time, double length, int midi, float velocity) {
    const std::size_t start = frameAt(time);
    const double hz = frequency(midi);
    // Each side has its own pair of slightly detuned saws: a wide, slow beat.
    Saw l1, l2, r1, r2;
    l2.phase = 0.31;
    r1.phase = 0.57;
    r2.phase = 0.83;
    Svf filterL, filterR;
    const double release = 0.5;
    for (std::size_t i = 0; i < frameCount(length + release); ++i) {
        const double t = i * dt;
        const double left = l1.next(hz * 0.9965) + l2.next(hz * 1.0023);
        const double right = r1.next(hz * 1.0041) + r2.next(hz * 0.9981);
        filterL.run(left, 1600.0, 0.1);
        filterR.run(right, 1600.0, 0.1);
        const double amp = gate(t, length, 0.35, release) * velocity;
        mix.add(start + i, float(filterL.low * amp), float(filterR.low * amp));
    }
}

void pluck(Mix& mix, double time, double length, int midi, float velocity, float pan) {
    const std::size_t start = frameAt(time);
    const double hz = frequency(midi);
    Saw a, b;
    b.phase = 0.5;
    Svf filter;
    float l, r;
    panGains(pan, l, r);
    for (std::size_t i = 0; i < frameCount(length + 0.2); ++i) {
        const double t = i * dt;
        // Difference of two saws half a cycle apart: a square wave.
        const double square = a.next(hz) - b.next(hz);
        filter.run(square, 400.0 + 4200.0 * std::exp(-t * 18.0), 0.3);
        const float s = float(filter.low * std::exp(-t * 9.0) * gate(t, length, 0.002, 0.2) * velocity);
        mix.add(start + i, s * l, s * r);
    }
}

void lead(Mix& mix, double time, double length, int midi, float velocity) {
    const std::size_t start = frameAt(time);
    const double hz = frequency(midi);
    Saw a, b;
    b.phase = 0.4;
    Svf filter;
    for (std::size_t i = 0; i < frameCount(length + 0.08); ++i) {
        const double t = i * dt;
        // Vibrato fades in after the attack, as a player's would.
        const double depth = 0.004 * std::min(1.0, std::max(0.0, (t - 0.15) / 0.3));
        const double f = hz * (1.0 + depth * std::sin(2.0 * pi * 5.5 * t));
        filter.run(a.next(f * 0.997) + b.next(f * 1.003), 3200.0, 0.25);
        const float s = float(filter.low * gate(t, length, 0.01, 0.08) * velocity);
        mix.add(start + i, s, s);
    }
}

void echo(const Mix& send, Mix& out, double delay, float feedback) {
    const std::size_t d = frameCount(delay);
    std::vector<float> tapL(send.frames(), 0.0f), tapR(send.frames(), 0.0f);
    // The first repeat is on the left; each one after crosses to the other
    // side, so left feeds right and right feeds left.
    for (std::size_t i = d; i < send.frames(); ++i) {
        const float in = 0.5f * (send.left[i - d] + send.right[i - d]);
        tapL[i] = in + feedback * tapR[i - d];
        tapR[i] = feedback * tapL[i - d];
        out.add(i, tapL[i], tapR[i]);
    }
}

} // namespace synth
