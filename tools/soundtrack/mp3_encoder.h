#pragma once

#include <cstddef>
#include <vector>

// Encodes float samples (full scale +/-1) as a constant-bit-rate MP3 with
// LAME. `right` may be null for a mono file. The output starts with LAME's
// info frame, which tells decoders the exact length, so the decoded audio is
// as long as what went in. The same input gives the same bytes every time.
// Returns an empty vector if the encoder refuses the parameters.
std::vector<unsigned char> encodeMp3(const float* left, const float* right, std::size_t frames,
                                     int sampleRate, int kbps);
