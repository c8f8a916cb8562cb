// The demo exactly as shipped, watched from inside: GL errors that KHR_debug
// reports, frames drawn per bar, and what the frame loop allocates or
// creates. Prints a summary on standard error; fails (status 3) on a GL error.
//
// Heap use is counted through a replaced operator new and, for our own
// objects, malloc and friends wrapped at link time (-Wl,--wrap); GL objects
// through the entry points that make them.
#include "demo.h"
#include "gl.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> glObjects{0};

void countAllocation() {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
}
void countObjects(GLsizei n) {
    if (counting.load(std::memory_order_relaxed)) glObjects.fetch_add(n);
}

// Counting wrappers around the GLEW-loaded entry points that create objects.
PFNGLGENBUFFERSPROC realGenBuffers;
PFNGLGENVERTEXARRAYSPROC realGenVertexArrays;
PFNGLGENFRAMEBUFFERSPROC realGenFramebuffers;
PFNGLGENRENDERBUFFERSPROC realGenRenderbuffers;
PFNGLCREATEPROGRAMPROC realCreateProgram;
PFNGLCREATESHADERPROC realCreateShader;
void GLAPIENTRY genBuffers(GLsizei n, GLuint* ids) { countObjects(n); realGenBuffers(n, ids); }
void GLAPIENTRY genVertexArrays(GLsizei n, GLuint* ids) { countObjects(n); realGenVertexArrays(n, ids); }
void GLAPIENTRY genFramebuffers(GLsizei n, GLuint* ids) { countObjects(n); realGenFramebuffers(n, ids); }
void GLAPIENTRY genRenderbuffers(GLsizei n, GLuint* ids) { countObjects(n); realGenRenderbuffers(n, ids); }
GLuint GLAPIENTRY createProgram() { countObjects(1); return realCreateProgram(); }
GLuint GLAPIENTRY createShader(GLenum type) { countObjects(1); return realCreateShader(type); }

class Checker : public demo::Observer {
public:
    void started() override {
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        glDebugMessageCallback(onMessage, this);
        realGenBuffers = glGenBuffers;
        glGenBuffers = genBuffers;
        realGenVertexArrays = glGenVertexArrays;
        glGenVertexArrays = genVertexArrays;
        realGenFramebuffers = glGenFramebuffers;
        glGenFramebuffers = genFramebuffers;
        realGenRenderbuffers = glGenRenderbuffers;
        glGenRenderbuffers = genRenderbuffers;
        realCreateProgram = glCreateProgram;
        glCreateProgram = createProgram;
        realCreateShader = glCreateShader;
        glCreateShader = createShader;
    }
    void frameDrawn(float t) override {
        const std::uint32_t bar = demo::barIndex(t);
        if (bar < framesPerBar.size()) ++framesPerBar[bar];
        // The first frame may still settle lazily made driver state; count
        // from the second on.
        counting = true;
    }
    void stopped() override { counting = false; }

    void report() const {
        unsigned frames = 0;
        for (unsigned n : framesPerBar) frames += n;
        std::fprintf(stderr, "frames: %u\ngl errors: %d\nframe loop allocations: %ld\n"
                             "frame loop gl objects: %ld\nframes per bar:",
                     frames, errors, allocations.load(), glObjects.load());
        for (unsigned n : framesPerBar) std::fprintf(stderr, " %u", n);
        std::fprintf(stderr, "\n");
    }

    int errors = 0;
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
void* __real_malloc(std::size_t);
void* __real_calloc(std::size_t, std::size_t);
void* __real_realloc(void*, std::size_t);
void* __wrap_malloc(std::size_t n) { countAllocation(); return __real_malloc(n); }
void* __wrap_calloc(std::size_t n, std::size_t m) { countAllocation(); return __real_calloc(n, m); }
void* __wrap_realloc(void* p, std::size_t n) { countAllocation(); return __real_realloc(p, n); }
void __real_glGenTextures(GLsizei, GLuint*);
void GLAPIENTRY __wrap_glGenTextures(GLsizei n, GLuint* ids) { countObjects(n); __real_glGenTextures(n, ids); }
}

void* operator new(std::size_t n) {
    countAllocation();
    if (void* p = __real_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// Pairs with the allocation above; free itself is not wrapped.
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main() {
    Checker checker;
    const int status = demo::run(&checker);
    checker.report();
    return status != 0 ? status : (checker.errors != 0 ? 3 : 0);
}
