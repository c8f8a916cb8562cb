// The demo exactly as shipped, watched from inside: GL errors that KHR_debug
// reports, frames drawn per bar, what the frame loop allocates or creates,
// and whether the tear-down deletes every GL object exactly once. Prints a
// summary on standard error; fails (status 3) on a GL error.
//
// Heap use is counted through a replaced operator new and, for our own
// objects, malloc and friends wrapped at link time (-Wl,--wrap). GL objects
// are followed through the GLEW entry points that make and delete them, and
// glGenTextures/glDeleteTextures (GL 1.1, linked directly) through --wrap.
#include "choreography.h"
#include "demo.h"
#include "gl.h"

#include <GL/glx.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <set>
#include <vector>

extern "C" {
void* __real_malloc(std::size_t);
void* __real_calloc(std::size_t, std::size_t);
void* __real_realloc(void*, std::size_t);
void __real_glGenTextures(GLsizei, GLuint*);
void __real_glDeleteTextures(GLsizei, const GLuint*);
}

namespace {

std::atomic<bool> inFrameLoop{false};
std::atomic<long> allocations{0};

void countAllocation() {
    if (inFrameLoop.load(std::memory_order_relaxed)) allocations.fetch_add(1);
}

// Live GL names by kind, and the faults seen: objects made inside the frame
// loop, names deleted that were not live (twice, or never made).
struct Ledger {
    std::map<const char*, std::set<GLuint>> live;
    long madeInLoop = 0;
    long badDeletes = 0;
    long contextlessDeletes = 0;

    void made(const char* kind, GLsizei n, const GLuint* ids) {
        if (inFrameLoop) madeInLoop += n;
        for (GLsizei i = 0; i < n; ++i) live[kind].insert(ids[i]);
    }
    void deleted(const char* kind, GLsizei n, const GLuint* ids) {
        // Without a current context a delete does nothing at all.
        if (glXGetCurrentContext() == nullptr) contextlessDeletes += n;
        for (GLsizei i = 0; i < n; ++i) {
            if (ids[i] == 0) continue; // GL ignores the name 0
            if (live[kind].erase(ids[i]) == 0) ++badDeletes;
        }
    }
    std::size_t left() const {
        std::size_t n = 0;
        for (const auto& entry : live) n += entry.second.size();
        return n;
    }
} ledger;

// One counting wrapper per entry point, around the pointer GLEW loaded.
#define TRACK_GEN(fn, type, kind)                                                                   \
    type real_##fn;                                                                                 \
    void GLAPIENTRY track_##fn(GLsizei n, GLuint* ids) {                                            \
        real_##fn(n, ids);                                                                          \
        ledger.made(kind, n, ids);                                                                  \
    }
#define TRACK_DELETE(fn, type, kind)                                                                \
    type real_##fn;                                                                                 \
    void GLAPIENTRY track_##fn(GLsizei n, const GLuint* ids) {                                      \
        ledger.deleted(kind, n, ids);                                                               \
        real_##fn(n, ids);                                                                          \
    }
TRACK_GEN(glGenBuffers, PFNGLGENBUFFERSPROC, "buffer")
TRACK_DELETE(glDeleteBuffers, PFNGLDELETEBUFFERSPROC, "buffer")
TRACK_GEN(glGenVertexArrays, PFNGLGENVERTEXARRAYSPROC, "vertex array")
TRACK_DELETE(glDeleteVertexArrays, PFNGLDELETEVERTEXARRAYSPROC, "vertex array")
TRACK_GEN(glGenFramebuffers, PFNGLGENFRAMEBUFFERSPROC, "framebuffer")
TRACK_DELETE(glDeleteFramebuffers, PFNGLDELETEFRAMEBUFFERSPROC, "framebuffer")
TRACK_GEN(glGenRenderbuffers, PFNGLGENRENDERBUFFERSPROC, "renderbuffer")
TRACK_DELETE(glDeleteRenderbuffers, PFNGLDELETERENDERBUFFERSPROC, "renderbuffer")

PFNGLCREATEPROGRAMPROC real_glCreateProgram;
PFNGLDELETEPROGRAMPROC real_glDeleteProgram;
PFNGLCREATESHADERPROC real_glCreateShader;
PFNGLDELETESHADERPROC real_glDeleteShader;
GLuint GLAPIENTRY track_glCreateProgram() {
    const GLuint id = real_glCreateProgram();
    ledger.made("program", 1, &id);
    return id;
}
void GLAPIENTRY track_glDeleteProgram(GLuint id) {
    ledger.deleted("program", 1, &id);
    real_glDeleteProgram(id);
}
GLuint GLAPIENTRY track_glCreateShader(GLenum type) {
    const GLuint id = real_glCreateShader(type);
    ledger.made("shader", 1, &id);
    return id;
}
void GLAPIENTRY track_glDeleteShader(GLuint id) {
    ledger.deleted("shader", 1, &id);
    real_glDeleteShader(id);
}

#define HOOK(fn)                                                                                    \
    real_##fn = fn;                                                                                 \
    fn = track_##fn

class Checker : public demo::Observer {
public:
    void contextReady() override {
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        glDebugMessageCallback(onMessage, this);
        HOOK(glGenBuffers);
        HOOK(glDeleteBuffers);
        HOOK(glGenVertexArrays);
        HOOK(glDeleteVertexArrays);
        HOOK(glGenFramebuffers);
        HOOK(glDeleteFramebuffers);
        HOOK(glGenRenderbuffers);
        HOOK(glDeleteRenderbuffers);
        HOOK(glCreateProgram);
        HOOK(glDeleteProgram);
        HOOK(glCreateShader);
        HOOK(glDeleteShader);
        // The window's own context is made before this and outlives the
        // tear-down; only what the demo makes is followed.
    }
    void started() override { madeAtStartUp = ledger.left(); }
    void frameDrawn(float t) override {
        if (frameCount == 0) firstFrame = std::chrono::steady_clock::now();
        if (frameCount < frameTimes.size()) frameTimes[frameCount] = t;
        ++frameCount;
        const std::uint32_t bar = demo::barIndex(t);
        if (bar < framesPerBar.size()) ++framesPerBar[bar];
        // The first frame may still settle lazily made driver state; count
        // from the second on.
        inFrameLoop = true;
    }
    void stopped() override { inFrameLoop = false; }

    void report() const {
        unsigned frames = 0;
        for (unsigned n : framesPerBar) frames += n;
        std::fprintf(stderr,
                     "frames: %u\ngl errors: %d\nframe loop allocations: %ld\n"
                     "frame loop gl objects: %ld\ngl objects made at start-up: %zu\n"
                     "gl objects left after tear-down: %zu\ngl deletes of dead names: %ld\n"
                     "gl deletes without a context: %ld\nframes per bar:",
                     frames, errors, allocations.load(), ledger.madeInLoop, madeAtStartUp,
                     ledger.left(), ledger.badDeletes, ledger.contextlessDeletes);
        for (unsigned n : framesPerBar) std::fprintf(stderr, " %u", n);
        std::fprintf(stderr, "\n");
        reportTimes();
    }

    // Start-up time and the distribution of frame-to-frame intervals.
    void reportTimes() const {
        const double startUp =
            std::chrono::duration<double, std::milli>(firstFrame - processStart).count();
        const std::size_t n = std::min<std::size_t>(frameCount, frameTimes.size());
        std::vector<float> intervals;
        for (std::size_t i = 1; i < n; ++i) intervals.push_back(frameTimes[i] - frameTimes[i - 1]);
        std::sort(intervals.begin(), intervals.end());
        double sum = 0;
        for (float v : intervals) sum += v;
        const auto at = [&](double q) {
            return intervals.empty() ? 0.0 : 1000.0 * intervals[std::size_t(q * (intervals.size() - 1))];
        };
        std::fprintf(stderr,
                     "start to first frame: %.0f ms\nframe time: mean %.1f ms, median %.1f ms, "
                     "p95 %.1f ms, max %.1f ms\n",
                     startUp, intervals.empty() ? 0.0 : 1000.0 * sum / double(intervals.size()),
                     at(0.5), at(0.95), at(1.0));
    }

    std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point firstFrame;
    std::size_t frameCount = 0;
    // Filled in the frame loop, so made beforehand.
    std::array<float, 1 << 16> frameTimes{};

    int errors = 0;
    std::size_t madeAtStartUp = 0;
    std::array<unsigned, demo::lastBar + 1> framesPerBar{};

private:
    static void GLAPIENTRY onMessage(GLenum, GLenum type, GLuint, GLenum severity, GLsizei,
                                     const GLchar* message, const void* self) {
        if (type != GL_DEBUG_TYPE_ERROR && severity != GL_DEBUG_SEVERITY_HIGH) return;
        auto* checker = const_cast<Checker*>(static_cast<const Checker*>(self));
        if (checker->errors++ < 10) std::fprintf(stderr, "gl error: %s\n", message);
    }
};

} // namespace

extern "C" {
void* __wrap_malloc(std::size_t n) { countAllocation(); return __real_malloc(n); }
void* __wrap_calloc(std::size_t n, std::size_t m) { countAllocation(); return __real_calloc(n, m); }
void* __wrap_realloc(void* p, std::size_t n) { countAllocation(); return __real_realloc(p, n); }
void GLAPIENTRY __wrap_glGenTextures(GLsizei n, GLuint* ids) {
    __real_glGenTextures(n, ids);
    ledger.made("texture", n, ids);
}
void GLAPIENTRY __wrap_glDeleteTextures(GLsizei n, const GLuint* ids) {
    ledger.deleted("texture", n, ids);
    __real_glDeleteTextures(n, ids);
}
}

void* operator new(std::size_t n) {
    countAllocation();
    if (void* p = __real_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    countAllocation();
    return __real_malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
// Pair with the allocations above (free itself is not wrapped). Every form is
// replaced, so that a sanitizer build never frees through a mismatched pair.
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

int main() {
    Checker checker;
    const int status = demo::run(&checker);
    checker.report();
    return status != 0 ? status : (checker.errors != 0 ? 3 : 0);
}
