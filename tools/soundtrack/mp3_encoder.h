#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Encodes float samples (full scale +/-1) as a constant-bit-rate MP3 with
// LAME. `right` may be null for a mono file. The output starts with LAME's
// info frame, which tells decoders the exact length, so the decoded audio is
// as long as what went in. The same input gives the same bytes every time.
// Returns an empty vector, with the reason in `error`, if the encoder refuses
// the parameters or fails part-way: a file cut short would still play.
std::vector<unsigned char> encodeMp3(const float* left, const float* right, std::size_t frames,
                                     int sampleRate, int kbps, std::string& error);

// Encodes and writes `path` whole or not at all: the bytes go to a temporary
// file beside it that takes the name only once written and closed. On
// failure neither is left, a file already at `path` is untouched, and
// `error` says why.
bool writeMp3(const std::string& path, const float* left, const float* right, std::size_t frames,
              int sampleRate, int kbps, std::string& error);
