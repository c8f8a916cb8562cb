// The demo exactly as shipped, watched from inside: every GL error that
// KHR_debug reports during the run, and how many frames each bar got. It
// prints a summary on standard error and fails if GL reported an error.
#include "demo.h"
#include "gl.h"

#include <array>
#include <cstdio>

namespace {

class Checker : public demo::Observer {
public:
    void started() override {
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        glDebugMessageCallback(onMessage, this);
    }
    void frameDrawn(float t) override {
        const std::uint32_t bar = demo::barIndex(t);
        if (bar < framesPerBar.size()) ++framesPerBar[bar];
    }

    void report() const {
        std::fprintf(stderr, "gl errors: %d\nframes per bar:", errors);
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

int main() {
    Checker checker;
    const int status = demo::run(&checker);
    checker.report();
    return status != 0 ? status : (checker.errors != 0 ? 3 : 0);
}
