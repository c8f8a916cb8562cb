#pragma once
// Time spent per render pass: GL timestamp queries at every pass boundary,
// read back a few frames later so that the GPU is never waited for, plus the
// CPU time of the choreography, the model update and the frame's submission.

#include "pass_clock.h"
#include "gl.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace capture {

class Profiler : public demo::PassClock {
public:
    // Every query object and sample list is made here, never in the loop.
    explicit Profiler(std::uint64_t frames);
    ~Profiler() override;
    Profiler(const Profiler&) = delete;
    Profiler& operator=(const Profiler&) = delete;

    // Around one frame: beginFrame before the choreography, posed after it,
    // endFrame after renderFrame.
    void beginFrame();
    void posed();
    void mark(Pass pass) override;
    void endFrame();
    // Collects the frames still in flight.
    void finish();

    // The table: mean and 95th percentile per pass and per frame, in ms.
    void print(std::FILE* out) const;

private:
    using Clock = std::chrono::steady_clock;
    static constexpr unsigned slots = 4; // frames in flight
    void collect(unsigned slot);

    GLuint queries[slots][marks] = {};
    bool pending[slots] = {};
    unsigned frame = 0;
    Clock::time_point frameStart, poseDone, shadowStart;
    std::vector<double> gpu[marks]; // per pass (index of its start mark); [end]: whole frame
    std::vector<double> choreography, update, submit, wall;
};

} // namespace capture
