// The demo exactly as shipped, with the same options, watched from inside:
// GL errors that KHR_debug reports, frames drawn per bar, what the frame loop
// allocates or creates, whether the tear-down deletes every GL object once
// with its context current, and where the picture stands against the music
// as the sound server reports it heard. Prints a summary on standard error;
// fails (status 3) on a GL error. (demo --benchmark gives the frame times.)
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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

extern "C" {
void* __real_malloc(std::size_t);
void* __real_calloc(std::size_t, std::size_t);
void* __real_realloc(void*, std::size_t);
void __real_glGenTextures(GLsizei, GLuint*);
void __real_glDeleteTextures(GLsizei, const GLuint*);
}

namespace {

// SFML allocates for some window events (focus, keys) inside pollEvent; that
// is its own business and is counted apart from the demo's.
std::atomic<bool> inFrameLoop{false}, inEvents{false};
std::atomic<long> allocations{0}, eventAllocations{0};
void countAllocation() {
    if (inFrameLoop.load(std::memory_order_relaxed)) (inEvents ? eventAllocations : allocations).fetch_add(1);
}

// Live GL names by kind, and the faults seen: objects made inside the frame
// loop, names deleted that were not live (twice, or never made), deletes
// without a current context (which do nothing at all).
struct Ledger {
    std::map<std::string, std::set<GLuint>> live;
    long madeInLoop = 0, badDeletes = 0, contextlessDeletes = 0;

    void made(const char* kind, GLsizei n, const GLuint* ids) {
        if (inFrameLoop) madeInLoop += n;
        for (GLsizei i = 0; i < n; ++i) live[kind].insert(ids[i]);
    }
    void deleted(const char* kind, GLsizei n, const GLuint* ids) {
        if (glXGetCurrentContext() == nullptr) contextlessDeletes += n;
        for (GLsizei i = 0; i < n; ++i) badDeletes += ids[i] != 0 && live[kind].erase(ids[i]) == 0;
    }
    std::size_t left() const {
        std::size_t n = 0;
        for (const auto& entry : live) n += entry.second.size();
        return n;
    }
} ledger;

// Counting wrappers around the pointers GLEW loaded, for a kind's entry
// points that make and delete.
#define TRACK(gen, del, kind)                                                                       \
    decltype(gen) real_##gen;                                                                       \
    decltype(del) real_##del;                                                                       \
    void GLAPIENTRY track_##gen(GLsizei n, GLuint* ids) { real_##gen(n, ids), ledger.made(kind, n, ids); } \
    void GLAPIENTRY track_##del(GLsizei n, const GLuint* ids) { ledger.deleted(kind, n, ids), real_##del(n, ids); }
TRACK(glGenBuffers, glDeleteBuffers, "buffer")
TRACK(glGenVertexArrays, glDeleteVertexArrays, "vertex array")
TRACK(glGenFramebuffers, glDeleteFramebuffers, "framebuffer")
TRACK(glGenRenderbuffers, glDeleteRenderbuffers, "renderbuffer")
PFNGLCREATEPROGRAMPROC real_glCreateProgram;
PFNGLCREATESHADERPROC real_glCreateShader;
PFNGLDELETEPROGRAMPROC real_glDeleteProgram;
PFNGLDELETESHADERPROC real_glDeleteShader;
GLuint GLAPIENTRY track_glCreateProgram() { GLuint id = real_glCreateProgram(); return ledger.made("program", 1, &id), id; }
GLuint GLAPIENTRY track_glCreateShader(GLenum type) { GLuint id = real_glCreateShader(type); return ledger.made("shader", 1, &id), id; }
void GLAPIENTRY track_glDeleteProgram(GLuint id) { ledger.deleted("program", 1, &id), real_glDeleteProgram(id); }
void GLAPIENTRY track_glDeleteShader(GLuint id) { ledger.deleted("shader", 1, &id), real_glDeleteShader(id); }
#define HOOK(fn) (real_##fn = fn, fn = track_##fn)

class Checker : public demo::Observer {
public:
    void contextReady() override {
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        glDebugMessageCallback(onMessage, this);
        // The window's own context is made before this and outlives the
        // tear-down; only what the demo makes is followed.
        HOOK(glGenBuffers), HOOK(glDeleteBuffers), HOOK(glGenVertexArrays), HOOK(glDeleteVertexArrays);
        HOOK(glGenFramebuffers), HOOK(glDeleteFramebuffers), HOOK(glGenRenderbuffers);
        HOOK(glDeleteRenderbuffers), HOOK(glCreateProgram), HOOK(glDeleteProgram);
        HOOK(glCreateShader), HOOK(glDeleteShader);
    }
    void started() override { madeAtStartUp = ledger.left(); }
    void handlingEvents(bool handling) override { inEvents = handling; }
    void frameDrawn(float t, double heard) override {
        if (demo::barIndex(previous) == demo::lastBar && demo::barIndex(t) == 0) wrapped();
        if (frames > 0 && t == previous) ++redrawn; // only a paused picture is drawn twice
        previous = t;
        if (heard >= 0.0) lead = float(1000.0 * (double(t) - heard));
        if (heard >= 0.0 && offsets < offset.size()) offset[offsets++] = lead;
        ++frames;
        if (demo::barIndex(t) <= demo::lastBar) ++framesPerBar[demo::barIndex(t)];
        // The first frame may still settle lazily made driver state; count
        // from the second on.
        inFrameLoop = true;
    }
    void stopped() override { inFrameLoop = false; }

    // A line at each wrap of a loop (a frame in the first bar after one in
    // the last: a slow machine may draw only one a second), for a watcher of
    // a long run: what is alive then, and how far the picture led the music
    // just before. Written in the frame loop, so without allocating.
    void wrapped() {
        std::fprintf(stderr, "wrap %zu: live gl objects %zu, frame loop allocations %ld", ++wraps, ledger.left(),
                     allocations.load());
        if (!std::isnan(lead)) std::fprintf(stderr, ", picture minus music %.1f ms", double(lead));
        std::fputc('\n', stderr);
    }

    void report() const {
        std::fprintf(stderr,
                     "frames: %zu (%zu of them a paused picture again)\ngl errors: %d\nframe loop allocations: %ld (and %ld in SFML's event handling)\n"
                     "frame loop gl objects: %ld\n"
                     "gl objects made at start-up: %zu\ngl objects left after tear-down: %zu\n"
                     "gl deletes of dead names: %ld\ngl deletes without a context: %ld\nframes per bar:",
                     frames, redrawn, errors, allocations.load(), eventAllocations.load(), ledger.madeInLoop, madeAtStartUp, ledger.left(),
                     ledger.badDeletes, ledger.contextlessDeletes);
        for (unsigned n : framesPerBar) std::fprintf(stderr, " %u", n);
        // The picture's time minus the music's as heard: at the first and
        // the last frame that had a report, and the median over the run.
        if (offsets > 0) {
            std::vector<float> sorted(offset.begin(), offset.begin() + long(offsets));
            std::nth_element(sorted.begin(), sorted.begin() + long(offsets / 2), sorted.end());
            std::fprintf(stderr, "\npicture minus music (ms): first %.1f, median %.1f, last %.1f", double(offset[0]),
                         double(sorted[offsets / 2]), double(offset[offsets - 1]));
        }
        std::fprintf(stderr, "\n");
    }

    std::size_t frames = 0, redrawn = 0, madeAtStartUp = 0, offsets = 0, wraps = 0;
    float previous = 0.0f, lead = NAN; // the picture's lead on the music in the last frame that had one
    // Filled in the frame loop, so made beforehand.
    std::array<float, 1 << 16> offset{};
    std::array<unsigned, demo::lastBar + 1> framesPerBar{};
    int errors = 0;

private:
    static void GLAPIENTRY onMessage(GLenum, GLenum type, GLuint, GLenum severity, GLsizei, const GLchar* message,
                                     const void* self) {
        if (type != GL_DEBUG_TYPE_ERROR && severity != GL_DEBUG_SEVERITY_HIGH) return;
        auto* checker = const_cast<Checker*>(static_cast<const Checker*>(self));
        if (checker->errors++ < 10) std::fprintf(stderr, "gl error: %s\n", message);
    }
};

} // namespace

extern "C" {
void* __wrap_malloc(std::size_t n) { return countAllocation(), __real_malloc(n); }
void* __wrap_calloc(std::size_t n, std::size_t m) { return countAllocation(), __real_calloc(n, m); }
void* __wrap_realloc(void* p, std::size_t n) { return countAllocation(), __real_realloc(p, n); }
void GLAPIENTRY __wrap_glGenTextures(GLsizei n, GLuint* ids) {
    __real_glGenTextures(n, ids);
    ledger.made("texture", n, ids);
}
void GLAPIENTRY __wrap_glDeleteTextures(GLsizei n, const GLuint* ids) {
    ledger.deleted("texture", n, ids);
    __real_glDeleteTextures(n, ids);
}
}

// Every form is replaced: a sanitizer build would otherwise serve the array
// forms itself, uncounted, and free through a mismatched pair.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return countAllocation(), __real_malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void* operator new(std::size_t n) {
    if (void* p = operator new(n, std::nothrow)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
// The replaced operator new takes its memory from malloc, so free is the
// matching release; GCC cannot see that through the replacement.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
#pragma GCC diagnostic pop
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

int main(int argc, char** argv) {
    const demo::ParsedOptions parsed = demo::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    Checker checker;
    const int status = demo::run(parsed.options, &checker);
    checker.report();
    return status != 0 ? status : (checker.errors != 0 ? 3 : 0);
}
