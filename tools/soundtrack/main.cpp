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
    std::string error;
    if (!writeMp3(argv[1], mix.left.data(), mix.right.data(), mix.frames(), synth::sampleRate, 192, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return 1;
    }
    return 0;
}
