// The demo rendered off-screen, frame n at n / fps seconds, into an MP4 with
// its soundtrack, a PNG sequence or one PNG, or timed pass by pass.
#include "capture_options.h"
#include "capture_output.h"
#include "capture_profile.h"
#include "choreography.h"
#include "egl_context.h"
#include "frame.h"
#include "gl.h"

#include <SFML/Window/Context.hpp>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point processStart = Clock::now();

// Once interrupted, whatever fails is the interruption's doing (ffmpeg has
// been ended): main says so alone.
int fail(const std::string& message) {
    if (!capture::interruption) std::fprintf(stderr, "capture: %s\n", message.c_str());
    return 1;
}

const char* glText(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "(unknown)";
}

// The picture's destination: an RGBA8 image of the output size, black
// outside the letterbox because the passes never draw there, read back
// through a ring of pixel-pack buffers so that reading frame n waits only for
// frame n - slots + 1 while the later ones are still being drawn.
class Output {
public:
    static constexpr unsigned slots = 3;

    Output(std::uint32_t width, std::uint32_t height) : bytes(std::size_t(width) * height * 4) {
        image.width = width;
        image.height = height;
        image.rgb.reserve(std::size_t(width) * height * 3);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(width), GLsizei(height));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glViewport(0, 0, GLsizei(width), GLsizei(height));
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glGenBuffers(slots, buffers);
        for (GLuint buffer : buffers) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            glBufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr(bytes), nullptr, GL_STREAM_READ);
        }
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }
    ~Output() {
        glDeleteBuffers(slots, buffers);
        glDeleteRenderbuffers(1, &colour);
        glDeleteFramebuffers(1, &framebuffer);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Queues the read-back of the frame just drawn.
    void issue(std::uint64_t n) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers[n % slots]);
        glReadPixels(0, 0, GLsizei(image.width), GLsizei(image.height), GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }
    // The pixels of frame n, issued earlier, top-down RGB.
    const capture::Image* collect(std::uint64_t n) {
        glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers[n % slots]);
        const void* data = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, GLsizeiptr(bytes), GL_MAP_READ_BIT);
        if (data) capture::flipToRgb(static_cast<const unsigned char*>(data), image);
        glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        return data ? &image : nullptr;
    }

    GLuint framebuffer = 0;

private:
    std::size_t bytes;
    GLuint colour = 0;
    GLuint buffers[slots] = {};
    capture::Image image;
};

std::unique_ptr<capture::Sink> makeSink(const capture::Options& o, const capture::FrameRange& r,
                                        std::string& error) {
    std::unique_ptr<capture::Sink> sink;
    bool opened = false;
    if (o.mode == capture::Mode::video) {
        auto video = std::make_unique<capture::VideoSink>(o, r);
        opened = video->open();
        sink = std::move(video);
    } else if (o.mode == capture::Mode::sequence) {
        auto sequence = std::make_unique<capture::SequenceSink>(o);
        opened = sequence->open();
        sink = std::move(sequence);
    } else {
        auto still = std::make_unique<capture::StillSink>(o);
        opened = still->open();
        sink = std::move(still);
    }
    if (!opened) error = sink->error();
    return opened ? std::move(sink) : nullptr;
}

struct Scene {
    demo::World world;
    demo::FrameTargets targets;
    glm::mat4 projection;
    Scene(const demo::Viewport& view, GLuint output, float scale)
        : world(demo::shadowMapSizeFor(scale)), targets(world, view, output, scale),
          projection(demo::cameraProjection()) {
        demo::setGlobalState();
    }
};

// Renders every frame of the range, hands finished ones to the sink (or only
// times them), and reports the time to the first frame.
int render(const capture::Options& o, const capture::FrameRange& range, Scene& scene,
           Output& output, capture::Sink* sink, capture::Profiler* profiler) {
    capture::Progress progress(range.count, !o.quiet);
    double firstFrame = 0.0;
    std::uint64_t delivered = 0;
    auto deliver = [&](std::uint64_t n) {
        const capture::Image* image = output.collect(n);
        if (!image) return fail("reading frame " + std::to_string(n) + " back failed");
        if (!sink->frame(n, *image)) return fail(sink->error());
        progress.update(++delivered);
        return 0;
    };
    for (std::uint64_t i = 0; i < range.count; ++i) {
        if (capture::interruption) {
            progress.end(); // main's message takes a line of its own
            return 1;
        }
        const std::uint64_t n = range.first + i;
        const float t = o.mode == capture::Mode::still ? float(o.at) : capture::frameTime(n, o.fps);
        if (profiler) profiler->beginFrame();
        const demo::Pose pose = demo::choreograph(t);
        if (profiler) profiler->posed();
        demo::renderFrame(scene.world, scene.targets, scene.projection, pose, t, profiler);
        if (profiler) profiler->endFrame();
        if (i == 0) {
            glFinish();
            firstFrame = std::chrono::duration<double>(Clock::now() - processStart).count();
        }
        if (!sink) {
            progress.update(i + 1);
            continue;
        }
        output.issue(n);
        if (i + 1 >= Output::slots)
            if (int status = deliver(n + 1 - Output::slots)) return status;
    }
    for (std::uint64_t n = range.first + delivered; sink && n < range.first + range.count; ++n)
        if (int status = deliver(n)) return status;
    progress.end();
    if (sink && !sink->finish()) return fail(sink->error());
    if (profiler) {
        profiler->finish();
        profiler->print(stdout);
        std::printf("%-28s %9.3f s\n", "process start to first frame", firstFrame);
    }
    return 0;
}

// With a current context (`glx` false: made through EGL): checks it, opens
// the output, builds the scene and renders the range.
int captureWithContext(const capture::Options& o, bool glx) {
    if (!demo::prepareContext("capture", glx)) return 1;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (o.width > std::uint32_t(largest) || o.height > std::uint32_t(largest))
        return fail("this GL draws at most " + std::to_string(largest) + " pixels a side");
    std::fprintf(stderr, "capture: OpenGL %s on %s\n", glText(GL_VERSION), glText(GL_RENDERER));
    const capture::FrameRange range = capture::frames(o);
    std::unique_ptr<capture::Sink> sink;
    if (o.mode != capture::Mode::profile) {
        std::string error;
        sink = makeSink(o, range, error);
        if (!sink) return fail(error);
    }
    Output output(o.width, o.height);
    Scene scene(demo::letterbox(o.width, o.height), output.framebuffer, o.scale);
    // What the driver refused ends the capture before a frame is rendered;
    // the sink, dropped unfinished, takes what it began with it.
    std::string fault = demo::checkWorld(scene.world);
    if (fault.empty()) fault = demo::checkTargets(scene.targets);
    if (fault.empty()) demo::framebufferComplete(output.framebuffer, "output image", fault);
    if (!fault.empty()) return fail(fault);
    std::unique_ptr<capture::Profiler> profiler;
    if (o.mode == capture::Mode::profile) {
        profiler = std::make_unique<capture::Profiler>(range.count);
        std::printf("%llu frames at %ux%u from %g s at %u fps, OpenGL %s on %s\n",
                    static_cast<unsigned long long>(range.count), o.width, o.height, o.from, o.fps,
                    glText(GL_VERSION), glText(GL_RENDERER));
        std::printf("scene and bloom images %ux%u, shadow map %ux%u\n", scene.targets.image.width,
                    scene.targets.image.height, scene.world.shadowTarget.width, scene.world.shadowTarget.height);
    }
    const int status = render(o, range, scene, output, sink.get(), profiler.get());
    if (status == 0 && sink)
        std::fprintf(stderr, "capture: wrote %s (%llu frames)\n", o.output.c_str(),
                     static_cast<unsigned long long>(range.count));
    return status;
}

int captureOnX(const capture::Options& o) {
    // The demo's own context request: version 3.0 with the default
    // attributes keeps the fixed-function matrix stack it needs.
    const sf::ContextSettings settings(24, 8, 0, 3, 0, sf::ContextSettings::Default, false);
    sf::Context context(settings, 1, 1);
    context.setActive(true);
    return captureWithContext(o, true);
}

// Without an X server (or with --headless), through EGL. Where EGL fails and
// the user did not ask for it, a virtual X server is the other way.
int captureHeadless(const capture::Options& o, int argc, char** argv) {
    capture::EglContext context;
    std::string error;
    if (!context.open(error)) {
        if (o.headless) return fail(error);
        std::string again = "xvfb-run";
        for (int i = 0; i < argc; ++i) again += std::string(" ") + argv[i];
        return fail("no X display, and " + error + "; or run it under a virtual X server: " + again);
    }
    std::fprintf(stderr, "capture: rendering through EGL, on %s\n", context.origin().c_str());
    return captureWithContext(o, false);
}

} // namespace

int main(int argc, char** argv) {
    const capture::Parsed parsed = capture::parse(std::vector<std::string>(argv + 1, argv + argc));
    const capture::Options& o = parsed.options;
    if (!parsed.ok()) {
        std::fprintf(stderr, "capture: %s (%s --help shows the options)\n", parsed.error.c_str(), argv[0]);
        return 2;
    }
    if (o.mode == capture::Mode::help) {
        std::printf("%s", capture::usage(argv[0]).c_str());
        return 0;
    }
    // Held to the end: a bare X server resets when its last client leaves.
    Display* display = o.headless ? nullptr : XOpenDisplay(nullptr);
    capture::catchInterrupts();
    const int status = display ? captureOnX(o) : captureHeadless(o, argc, argv);
    if (display) XCloseDisplay(display);
    // By now the sink has stopped ffmpeg and removed what it wrote.
    if (status != 0 && capture::interruption) {
        std::fprintf(stderr, "capture: interrupted; the partial output is removed\n");
        return 128 + capture::interruption;
    }
    return status;
}
