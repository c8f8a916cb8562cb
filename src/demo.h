#pragma once

#include "model.h"
#include "part.h"
#include "render_target.h"
#include "shader.h"

#include <glm/mat4x4.hpp>

#include <cstdint>
#include <vector>

namespace demo {

struct Pose;

// The largest centred 16:9 rectangle of a window, in window pixels with the
// origin at the bottom left.
struct Viewport {
    std::uint32_t x, y, width, height;
    bool operator==(const Viewport& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};
Viewport letterbox(std::uint32_t windowWidth, std::uint32_t windowHeight);

// The 2.4-second bar that time t falls in, taken on the single-precision
// quotient as the frame loop does. The demo ends once it passes 39 (96 s).
std::uint32_t barIndex(float t);
constexpr std::uint32_t lastBar = 39;

// Whether a context of this version can run the demo's programs (GLSL 3.30
// with a geometry stage needs OpenGL 3.3).
bool contextVersionSufficient(int major, int minor);

// The side of the square shadow map, in texels.
constexpr unsigned shadowMapSize = 4096;

// Everything drawn and the programs that draw it, built once at start-up:
// the eight programs, the seventeen scene meshes and three stand-alone quads,
// the instance hierarchy and the shadow map. Members are declared in
// creation order, so they are destroyed in the reverse order.
class World {
public:
    World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    Tovik::ShaderProgram skyProgram;
    Tovik::ShaderProgram hdrProgram;
    Tovik::ShaderProgram glitterProgram;
    Tovik::ShaderProgram obsidianProgram;
    Tovik::ShaderProgram blurProgram;
    Tovik::ShaderProgram groundProgram;
    Tovik::ShaderProgram groundDepthProgram;
    Tovik::ShaderProgram polyhedronDepthProgram;
    std::vector<Tovik::Part> parts;
    Tovik::Part sky;
    Tovik::Part viewfield;
    Tovik::Part bloomfield;
    Tovik::Model model;
    Tovik::RenderTarget shadowTarget;
    Tovik::Texture shadowTexture;

private:
    std::vector<Tovik::Part> buildParts();
};

// The off-screen images of one frame, all of the letterbox's size: the HDR
// scene with its depth buffer, the two bloom ping-pong images, and where the
// composite goes (the window, or any framebuffer a tool renders into).
class FrameTargets {
public:
    // `output` is the framebuffer the composite draws into (0: the window),
    // not owned; the view's offsets place the picture in it.
    FrameTargets(const World& world, const Viewport& view, GLuint output = 0);
    FrameTargets(const FrameTargets&) = delete;
    FrameTargets& operator=(const FrameTargets&) = delete;

    Tovik::RenderTarget sceneTarget;
    Tovik::Texture sceneTexture;
    Tovik::RenderTarget blurTargetA;
    Tovik::Texture blurTextureA;
    Tovik::RenderTarget blurTargetB;
    Tovik::Texture blurTextureB;
    Tovik::RenderTarget screenTarget;
    GLuint output;
    // Whether the last framebuffer made was complete (reported at start-up).
    bool complete = false;

    GLint exposureLocation = -1;
    Tovik::Texture::Binding sceneImage, imageA, imageB;
    Tovik::Texture::Binding composite[2];
};

// Builds the fixed camera projection (50° vertical field of view, 16:9,
// near 0.1, far 1000) through the fixed-function stack and reads it back.
glm::mat4 cameraProjection();

// The GL state every frame relies on.
void setGlobalState();

// Told where each pass of a frame begins, for tools that time them. The
// demo passes none.
class PassClock {
public:
    enum Pass {
        shadow, sky, scene, blur1, blur2, blur3, blur4, blur5, blur6, composite,
        end, // after the composite: the frame's last mark
        marks
    };
    virtual ~PassClock() = default;
    virtual void mark(Pass pass) = 0;
};

// Renders the frame for `pose` at time t: hands the pose to the model,
// updates it, and runs the shadow, scene, bloom and composite passes. The
// demo and every tool render through this one function.
void renderFrame(World& world, FrameTargets& targets, const glm::mat4& projection,
                 const Pose& pose, float t, PassClock* clock = nullptr);

// Loads the GL entry points of the current context and checks that it can
// run the demo's programs; if not, says why on standard error in the name of
// `program` and returns false.
bool prepareContext(const char* program);

// Lets a test build watch a run without changing it: called once the
// context's entry points are loaded, once start-up is done, after every frame
// drawn, and when the frame loop has ended (before the tear-down).
class Observer {
public:
    virtual ~Observer() = default;
    virtual void contextReady() {}
    virtual void started() {}
    virtual void frameDrawn(float t) { (void)t; }
    virtual void stopped() {}
};

// Plays the demo: window, start-up, frame loop, tear-down. Returns the
// process's exit status.
int run(Observer* observer = nullptr);

} // namespace demo
