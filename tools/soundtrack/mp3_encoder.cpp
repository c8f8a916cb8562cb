#include "mp3_encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstring>

std::vector<unsigned char> encodeMp3(const float* left, const float* right, std::size_t frames,
                                     int sampleRate, int kbps) {
    lame_global_flags* lame = lame_init();
    if (lame == nullptr) return {};
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
        return out;
    }

    constexpr std::size_t chunk = 8192;
    // LAME's documented worst case for one call: 1.25 x samples + 7200 bytes.
    std::vector<unsigned char> buffer(chunk * 5 / 4 + 7200);
    for (std::size_t done = 0; done < frames; done += chunk) {
        const int n = int(std::min(chunk, frames - done));
        const int written = lame_encode_buffer_ieee_float(
            lame, left + done, stereo ? right + done : left + done, n, buffer.data(), int(buffer.size()));
        if (written < 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + written);
    }
    const int flushed = lame_encode_flush(lame, buffer.data(), int(buffer.size()));
    if (flushed > 0) out.insert(out.end(), buffer.begin(), buffer.begin() + flushed);

    // The first frame was left empty for the info tag, which is only known now.
    const std::size_t tag = lame_get_lametag_frame(lame, buffer.data(), buffer.size());
    if (tag > 0 && tag <= buffer.size() && tag <= out.size()) std::memcpy(out.data(), buffer.data(), tag);
    lame_close(lame);
    return out;
}
