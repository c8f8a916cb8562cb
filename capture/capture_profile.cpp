#include "capture_profile.h"

#include "capture_output.h"

namespace capture {

namespace {

double ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

const char* const passNames[demo::PassClock::marks] = {
    "shadow", "sky", "scene geometry", "blur 1", "blur 2", "blur 3", "blur 4",
    "blur 5", "blur 6", "composite", "whole frame (GPU)",
};

} // namespace

Profiler::Profiler(std::uint64_t frames) {
    for (auto& slot : queries) glGenQueries(marks, slot);
    for (auto& list : gpu) list.reserve(frames);
    for (auto* list : {&choreography, &update, &submit, &wall}) list->reserve(frames);
}

Profiler::~Profiler() {
    for (auto& slot : queries) glDeleteQueries(marks, slot);
}

void Profiler::beginFrame() {
    const unsigned slot = frame % slots;
    // The slot's previous frame was issued `slots` frames ago: its results
    // are long done on any GPU that keeps up.
    if (pending[slot]) collect(slot);
    frameStart = Clock::now();
}

void Profiler::posed() { poseDone = Clock::now(); }

void Profiler::mark(Pass pass) {
    if (pass == shadow) shadowStart = Clock::now();
    glQueryCounter(queries[frame % slots][pass], GL_TIMESTAMP);
}

void Profiler::endFrame() {
    const Clock::time_point now = Clock::now();
    choreography.push_back(ms(poseDone - frameStart));
    update.push_back(ms(shadowStart - poseDone));
    submit.push_back(ms(now - shadowStart));
    wall.push_back(ms(now - frameStart));
    pending[frame % slots] = true;
    ++frame;
}

void Profiler::collect(unsigned slot) {
    GLuint64 stamp[marks];
    for (int m = 0; m < marks; ++m) glGetQueryObjectui64v(queries[slot][m], GL_QUERY_RESULT, &stamp[m]);
    for (int m = 0; m < end; ++m) gpu[m].push_back(double(stamp[m + 1] - stamp[m]) * 1e-6);
    gpu[end].push_back(double(stamp[end] - stamp[shadow]) * 1e-6);
    pending[slot] = false;
}

void Profiler::finish() {
    // Oldest first, though the order does not change the statistics.
    for (unsigned i = 0; i < slots; ++i) {
        const unsigned slot = (frame + i) % slots;
        if (pending[slot]) collect(slot);
    }
}

void Profiler::print(std::FILE* out) const {
    auto row = [out](const char* name, const std::vector<double>& values) {
        const Summary s = summarize(values);
        std::fprintf(out, "%-28s %9.3f %9.3f\n", name, s.mean, s.p95);
    };
    std::fprintf(out, "%-28s %9s %9s\n", "pass", "mean ms", "p95 ms");
    for (int m = 0; m <= end; ++m) row(passNames[m], gpu[m]);
    row("CPU: choreography", choreography);
    row("CPU: pose + model update", update);
    row("CPU: passes submitted", submit);
    row("CPU: whole frame", wall);
}

} // namespace capture
