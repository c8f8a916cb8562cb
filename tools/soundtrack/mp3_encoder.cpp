#include "mp3_encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

std::vector<unsigned char> encodeMp3(const float* left, const float* right, std::size_t frames,
                                     int sampleRate, int kbps, std::string& error) {
    lame_global_flags* lame = lame_init();
    if (lame == nullptr) {
        error = "LAME could not start";
        return {};
    }
    const bool stereo = right != nullptr;
    lame_set_in_samplerate(lame, sampleRate);
    // Without this LAME may pick a lower output rate for low bit rates.
    lame_set_out_samplerate(lame, sampleRate);
    lame_set_num_channels(lame, stereo ? 2 : 1);
    lame_set_mode(lame, stereo ? JOINT_STEREO : MONO);
    lame_set_brate(lame, kbps);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 1);
    std::vector<unsigned char> out;
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        error = "LAME refused " + std::to_string(sampleRate) + " Hz at " + std::to_string(kbps) + " kbps";
        return out;
    }
    auto failed = [&](int code, std::size_t at) {
        lame_close(lame);
        error = "LAME failed with error " + std::to_string(code) + " at sample " + std::to_string(at) +
                " of " + std::to_string(frames);
        return std::vector<unsigned char>();
    };

    constexpr std::size_t chunk = 8192;
    // LAME's documented worst case for one call: 1.25 x samples + 7200 bytes.
    std::vector<unsigned char> buffer(chunk * 5 / 4 + 7200);
    for (std::size_t done = 0; done < frames; done += chunk) {
        const int n = int(std::min(chunk, frames - done));
        const int written = lame_encode_buffer_ieee_float(
            lame, left + done, stereo ? right + done : left + done, n, buffer.data(), int(buffer.size()));
        if (written < 0) return failed(written, done);
        out.insert(out.end(), buffer.begin(), buffer.begin() + written);
    }
    const int flushed = lame_encode_flush(lame, buffer.data(), int(buffer.size()));
    if (flushed < 0) return failed(flushed, frames);
    out.insert(out.end(), buffer.begin(), buffer.begin() + flushed);

    // The first frame was left empty for the info tag, which is only known now.
    const std::size_t tag = lame_get_lametag_frame(lame, buffer.data(), buffer.size());
    if (tag > 0 && tag <= buffer.size() && tag <= out.size()) std::memcpy(out.data(), buffer.data(), tag);
    lame_close(lame);
    return out;
}

bool writeMp3(const std::string& path, const float* left, const float* right, std::size_t frames,
              int sampleRate, int kbps, std::string& error) {
    const std::vector<unsigned char> mp3 = encodeMp3(left, right, frames, sampleRate, kbps, error);
    if (mp3.empty()) return false;
    // A build stopped half-way must not leave a file newer than its inputs,
    // which the next build would take as done.
    const std::string partial = path + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write " + partial + ": " + std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(mp3.data(), 1, mp3.size(), file) == mp3.size();
    written = std::fclose(file) == 0 && written;
    if (written && std::rename(partial.c_str(), path.c_str()) == 0) return true;
    error = (written ? "cannot rename " + partial + " to " + path : "cannot write " + partial) + ": " +
            std::strerror(errno);
    std::remove(partial.c_str());
    return false;
}
