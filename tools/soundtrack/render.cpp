#include "render.h"

#include "score.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace soundtrack {

namespace {

using score::Bar;
using score::stepSeconds;
using synth::Mix;

// Mixing levels of the instruments.
constexpr float kickLevel = 0.9f;
constexpr float snareLevel = 0.45f;
constexpr float hatLevel = 0.12f;
constexpr float crashLevel = 0.22f;
constexpr float riserLevel = 0.25f;
constexpr float bassLevel = 0.36f;
constexpr float padLevel = 0.1f;
constexpr float arpLevel = 0.16f;
constexpr float leadLevel = 0.2f;
// Share of the arpeggio and lead sent to the dotted-eighth echo.
constexpr float echoSend = 0.4f;
constexpr double echoDelay = 3 * stepSeconds;
constexpr float echoFeedback = 0.35f;
// How far the kick pushes the bass, pad and arpeggio down, and how long
// they take to come back: the pumping that makes the beat breathe.
constexpr float duckDepth = 0.5f;
constexpr double duckRecovery = 0.3;
// Gain into the soft limiter: higher is louder and denser.
constexpr double drive = 0.7;

float velocityOf(char c) { return c == 'x' ? 1.0f : c == 'o' ? 0.5f : 0.0f; }

// The same pitch class moved into the octave starting at `low`.
int inOctave(int midi, int low) {
    return low + ((midi - low) % 12 + 12) % 12;
}

void playDrums(Mix& mix, const Bar& bar, double start) {
    for (int s = 0; s < score::stepsPerBar; ++s) {
        const double t = start + s * stepSeconds;
        if (float v = velocityOf(bar.kick[s])) synth::kick(mix, t, v * kickLevel);
        if (float v = velocityOf(bar.snare[s])) synth::snare(mix, t, v * snareLevel);
        if (float v = velocityOf(bar.hat[s])) synth::hat(mix, t, v * hatLevel);
    }
    if (bar.crash) synth::crash(mix, start, crashLevel);
    if (bar.riser > 0) synth::riser(mix, start, bar.riser * score::barSeconds, riserLevel);
}

void playBass(Mix& mix, const Bar& bar, const score::Triad& chord, double start) {
    const int root = inOctave(chord.notes[0], 33);  // A1 to G#2
    for (int s = 0; s < score::stepsPerBar; ++s) {
        const char c = bar.bass[s];
        if (c != 'r' && c != 'o' && c != 'f') continue;
        int held = 1;
        while (s + held < score::stepsPerBar && bar.bass[s + held] == '-') ++held;
        const int midi = root + (c == 'o' ? 12 : c == 'f' ? 7 : 0);
        synth::bass(mix, start + s * stepSeconds, held * stepSeconds - 0.02, midi, bassLevel, bar.wobble);
    }
}

void playPad(Mix& mix, const Bar& bar, const score::Triad& chord, double start) {
    if (bar.pad <= 0.0f) return;
    // Close voicing around middle C, so the chords move by small steps.
    for (int note : chord.notes)
        synth::pad(mix, start, score::barSeconds, inOctave(note, 55), bar.pad * padLevel);
}

void playArp(Mix& mix, Mix& send, const Bar& bar, const score::Triad& chord, double start) {
    int tones[4];
    for (int i = 0; i < 3; ++i) tones[i] = inOctave(chord.notes[i], 67);  // G4 and up
    std::sort(tones, tones + 3);
    tones[3] = tones[0] + 12;
    for (int s = 0; s < score::stepsPerBar; ++s) {
        const char c = bar.arp[s];
        if (c < '0' || c > '3') continue;
        const double t = start + s * stepSeconds;
        const float pan = s % 2 ? 0.4f : -0.4f;
        synth::pluck(mix, t, 0.12, tones[c - '0'], arpLevel, pan);
        synth::pluck(send, t, 0.12, tones[c - '0'], arpLevel * echoSend, pan);
    }
}

void playLead(Mix& mix, Mix& send, const Bar& bar, double start) {
    std::vector<score::Note> notes;
    if (bar.lead == nullptr || !score::parsePhrase(bar.lead, notes)) return;
    for (const score::Note& n : notes) {
        const double t = start + n.step * stepSeconds;
        const double length = n.length * stepSeconds - 0.03;
        synth::lead(mix, t, length, n.midi, leadLevel);
        synth::lead(send, t, length, n.midi, leadLevel * echoSend);
    }
}

// Gain of the ducked parts over the whole piece, from the kick pattern.
std::vector<float> kickDucking(std::size_t frames) {
    std::vector<float> gain(frames, 1.0f);
    const std::size_t recovery = std::size_t(duckRecovery * synth::sampleRate);
    for (int b = 0; b < score::barCount; ++b) {
        for (int s = 0; s < score::stepsPerBar; ++s) {
            const float v = velocityOf(score::bars[b].kick[s]);
            if (v == 0.0f) continue;
            const double t = b * score::barSeconds + s * stepSeconds;
            const std::size_t start = std::size_t(std::lround(t * synth::sampleRate));
            for (std::size_t i = 0; i < recovery && start + i < frames; ++i) {
                const float x = 1.0f - float(i) / float(recovery);
                gain[start + i] = std::min(gain[start + i], 1.0f - duckDepth * v * x * x);
            }
        }
    }
    return gain;
}

// The fade follows the picture's: 70 dB down over the last four bars, then
// nothing at all.
double fadeGain(double t) {
    if (t < fadeStart) return 1.0;
    if (t >= fadeEnd) return 0.0;
    return std::pow(10.0, -3.5 * (t - fadeStart) / (fadeEnd - fadeStart));
}

// Fade, soft limiter, then scale so the highest sample sits at `peakDbfs`.
void master(Mix& mix) {
    float peak = 0.0f;
    for (std::size_t i = 0; i < mix.frames(); ++i) {
        const double g = fadeGain(double(i) / synth::sampleRate);
        mix.left[i] = float(std::tanh(drive * mix.left[i]) * g);
        mix.right[i] = float(std::tanh(drive * mix.right[i]) * g);
        peak = std::max({peak, std::abs(mix.left[i]), std::abs(mix.right[i])});
    }
    if (peak <= 0.0f) return;
    const float scale = float(std::pow(10.0, peakDbfs / 20.0) / peak);
    for (std::size_t i = 0; i < mix.frames(); ++i) {
        mix.left[i] *= scale;
        mix.right[i] *= scale;
    }
}

} // namespace

Mix render() {
    // Drums and lead go straight to `mix`; the harmony to `ducked`, which
    // the kick pumps; the echo's share to `send`.
    Mix mix(length), ducked(length), send(length);
    for (int b = 0; b < score::barCount; ++b) {
        const Bar& bar = score::bars[b];
        const double start = b * score::barSeconds;
        score::Triad chord{};
        if (!score::parseChord(bar.chord, chord)) continue;
        playDrums(mix, bar, start);
        playBass(ducked, bar, chord, start);
        playPad(ducked, bar, chord, start);
        playArp(ducked, send, bar, chord, start);
        playLead(mix, send, bar, start);
    }
    const std::vector<float> duck = kickDucking(mix.frames());
    for (std::size_t i = 0; i < mix.frames(); ++i)
        mix.add(i, ducked.left[i] * duck[i], ducked.right[i] * duck[i]);
    synth::echo(send, mix, echoDelay, echoFeedback);
    master(mix);
    return mix;
}

} // namespace soundtrack
