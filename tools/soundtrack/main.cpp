// Renders the demo's soundtrack and writes it as an MP3:
//   soundtrack OUTPUT.mp3
#include "mp3_encoder.h"
#include "render.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.mp3\n", argv[0]);
        return 2;
    }
    const synth::Mix mix = soundtrack::render();
    const std::vector<unsigned char> mp3 =
        encodeMp3(mix.left.data(), mix.right.data(), mix.frames(), synth::sampleRate, 192);
    std::FILE* file = std::fopen(argv[1], "wb");
    if (mp3.empty() || file == nullptr) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        if (file != nullptr) std::fclose(file);
        return 1;
    }
    const bool written = std::fwrite(mp3.data(), 1, mp3.size(), file) == mp3.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
