#pragma once

#include "choreography.h"
#include "model.h"
#include "part.h"
#include "pass_clock.h"
#include "render_target.h"
#include "shader.h"

#include <glm/mat4x4.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace demo {

// The side of the square shadow map, in texels.
constexpr unsigned shadowMapSize = 4096;
// The side for a picture rendered at `scale` of its size (0.25 to 1): the
// full map at 1, halved for each halving of the scale (to the nearest power
// of two), never below 1024. Softer shadows for a softer picture: on a
// machine without a GPU the full map alone costs more than the rest of a
// scaled frame.
unsigned shadowMapSizeFor(float scale);

// Everything drawn and the programs that draw it, built once at start-up:
// the eight programs, the seventeen scene meshes and three stand-alone quads,
// the instance hierarchy and the shadow map. Members are declared in
// creation order, so they are destroyed in the reverse order.
class World {
public:
    explicit World(unsigned shadowSize = shadowMapSize);
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

// The off-screen images of one frame, of the letterbox's size unless scaled
// down: the HDR scene with its depth buffer, the two bloom ping-pong images,
// and where the composite goes (the window, or any framebuffer a tool
// renders into).
class FrameTargets {
public:
    // `output` is the framebuffer the composite draws into (0: the window),
    // not owned; the view's offsets place the picture in it.
    // `scale` (at most 1) sizes the scene and bloom images against the
    // letterbox, rounded down to whole pixels; the composite stretches them
    // over the whole letterbox.
    FrameTargets(const World& world, const Viewport& view, GLuint output = 0, float scale = 1.0f);
    FrameTargets(const FrameTargets&) = delete;
    FrameTargets& operator=(const FrameTargets&) = delete;

    Viewport image; // the size of the off-screen images, at the origin
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

// What the driver refused, as one line naming the program or the target
// ("the GL driver refused the sky program ..."), or empty when everything
// was made. The programs' own logs are printed as they are built.
std::string checkWorld(const World& world);
std::string checkTargets(const FrameTargets& targets);
// Whether the framebuffer `name` is complete; if not, says why in `fault`,
// calling it `what`.
bool framebufferComplete(GLuint name, const char* what, std::string& fault);

// Builds the fixed camera projection (50° vertical field of view, 16:9,
// near 0.1, far 1000) through the fixed-function stack and reads it back.
glm::mat4 cameraProjection();

// The GL state every frame relies on.
void setGlobalState();

// Renders the frame for `pose` at time t: hands the pose to the model,
// updates it, and runs the shadow, scene, bloom and composite passes. The
// composite first clears the whole output to the clear colour, so that the
// bars around the letterbox are black whatever the buffer held. The demo
// and every tool render through this one function.
void renderFrame(World& world, FrameTargets& targets, const glm::mat4& projection,
                 const Pose& pose, float t, PassClock* clock = nullptr);

// Loads the GL entry points of the current context and checks that it can
// run the demo's programs; if not, says why on standard error in the name of
// `program` and returns false. A context made without GLX (through EGL)
// passes `glx` false: GLEW's last step, which looks for a GLX display, then
// finds none, after it has loaded every GL entry point.
bool prepareContext(const char* program, bool glx = true);

} // namespace demo
