#pragma once

#include "synth.h"

// Plays the whole score into a mastered stereo buffer at 44.1 kHz.
namespace soundtrack {

constexpr double fadeStart = 86.4;  // seconds; the fade ends in silence at
constexpr double fadeEnd = 96.0;    // the demo's last frame
constexpr double length = 96.5;     // and a short silent tail follows
constexpr double peakDbfs = -2.0;   // after mastering; encoding adds a little

synth::Mix render();

} // namespace soundtrack
