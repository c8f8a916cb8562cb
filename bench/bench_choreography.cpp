// Prints the CPU cost of one choreograph() call, the per-frame work of the
// animation, averaged over the whole 96-second timeline. Not a test.
#include "choreography.h"

#include <chrono>
#include <cstdio>

int main() {
    constexpr int frames = 9600; // one every 10 ms of the timeline
    constexpr int rounds = 20;
    float sink = 0.0f;
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i) {
            const demo::Pose pose = demo::choreograph(0.01f * float(i));
            sink += pose.local[demo::instance::ring1First][3][0] + pose.camera[3][2];
        }
        const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
        if (spent.count() < best) best = spent.count();
    }
    // The sink keeps the calls from being optimised away.
    std::printf("choreograph: %.0f ns per call (best of %d rounds of %d calls; checksum %g)\n",
                best / frames, rounds, frames, double(sink));
    return 0;
}
