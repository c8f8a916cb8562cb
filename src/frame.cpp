#include "frame.h"

#include "assets.h"
#include "choreography.h"
#include "gl.h"
#include "shaders.h"

#include <GL/glu.h>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/mat4x4.hpp>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace demo {

namespace {

// The light looks from (0, 500, 200) at (0, 0, 20) with an orthographic box
// wide enough for the rings; its direction matches the lit programs' light.
const glm::mat4 lightProjection = glm::ortho(-48.0f, 48.0f, -60.0f, 60.0f, 10.0f, 1000.0f);
const glm::mat4 lightView =
    glm::lookAt(glm::vec3(0.0f, 500.0f, 200.0f), glm::vec3(0.0f, 0.0f, 20.0f), glm::vec3(0.0f, 1.0f, 0.0f));

using Builder = Tovik::Part& (*)(Tovik::Part&);

Tovik::Part standalone(Tovik::ShaderProgram& program, Builder build) {
    Tovik::Part part(program, nullptr);
    build(part);
    return part;
}

Tovik::RenderTarget shadowTargetOfSize(unsigned size) {
    return Tovik::RenderTarget(0, 0, size, size);
}

// An image-sized target with its own framebuffer, bound to GL_FRAMEBUFFER
// so that createHdrBuffer attaches to it; the scene's also gets a depth buffer.
Tovik::RenderTarget offscreenTarget(const Viewport& image, bool withDepth) {
    Tovik::RenderTarget target(0, 0, image.width, image.height);
    glGenFramebuffers(1, &target.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    if (withDepth) {
        glGenRenderbuffers(1, &target.depthRenderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, target.depthRenderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT, GLsizei(image.width),
                              GLsizei(image.height));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                  target.depthRenderbuffer);
    }
    return target;
}

void setMatrix(GLint location, const glm::mat4& matrix) {
    glUniformMatrix4fv(location, 1, GL_FALSE, &matrix[0][0]);
}

// The per-frame uniforms of a program that draws from a viewpoint.
void setView(Tovik::ShaderProgram& program, const glm::mat4& projection, const glm::mat4& camera,
             float t) {
    program.use();
    setMatrix(program.projectionLocation, projection);
    program.use();
    setMatrix(program.cameraLocation, camera);
    glUniform1f(program.timeLocation, t);
}

void shadowPass(World& world, float t) {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, world.shadowTarget.framebuffer);
    glViewport(0, 0, GLsizei(world.shadowTarget.width), GLsizei(world.shadowTarget.height));
    glClear(GL_DEPTH_BUFFER_BIT);
    setView(world.groundDepthProgram, lightProjection, lightView, t);
    setView(world.polyhedronDepthProgram, lightProjection, lightView, t);
    glEnable(GL_DEPTH_TEST);
    glCullFace(GL_BACK);
    // Pushes the stored depths back a little against shadow acne; the lit
    // programs compare without a bias of their own.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(4.0f, 1.0f);
    world.model.drawDepth(glm::mat4(1.0f));
    glDisable(GL_POLYGON_OFFSET_FILL);
}

void mark(PassClock* clock, PassClock::Pass pass) {
    if (clock) clock->mark(pass);
}

void scenePass(World& world, FrameTargets& targets, const glm::mat4& projection,
               const glm::mat4& camera, float t, PassClock* clock) {
    mark(clock, PassClock::sky);
    targets.sceneTarget.bindForDrawing();
    // The sky covers every pixel without a depth test, so the colour buffer
    // is never cleared; the geometry then draws in front of it.
    glDisable(GL_DEPTH_TEST);
    glCullFace(GL_BACK);
    world.skyProgram.use();
    glUniform1f(world.skyProgram.timeLocation, t);
    world.sky.drawImpl(camera, nullptr);
    mark(clock, PassClock::scene);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, world.shadowTexture.id);
    const glm::mat4 shadowMatrix = lightProjection * lightView;
    for (Tovik::ShaderProgram* program :
         {&world.groundProgram, &world.glitterProgram, &world.obsidianProgram}) {
        program->use();
        glUniform1i(glGetUniformLocation(program->id, "shadowMap"), 0);
        setMatrix(glGetUniformLocation(program->id, "shadowMatrix"), shadowMatrix);
        setView(*program, projection, camera, t);
    }
    world.model.draw(glm::mat4(1.0f));
    glDisable(GL_DEPTH_TEST);
}

// Six separable passes, alternating axis, the tap spacing doubling after
// every vertical pass: the bloom widens without down-sampling.
void bloomPasses(World& world, FrameTargets& targets, PassClock* clock) {
    Tovik::ShaderProgram& blur = world.blurProgram;
    blur.use();
    const GLint horizontal = glGetUniformLocation(blur.id, "horizontal");
    const GLint scale = glGetUniformLocation(blur.id, "scale");
    const Tovik::Texture::Binding* source = &targets.sceneImage;
    float step = 1.0f;
    for (int pass = 0; pass < 3; ++pass) {
        mark(clock, PassClock::Pass(PassClock::blur1 + 2 * pass));
        targets.blurTargetA.bindForDrawing();
        glUniform1ui(horizontal, 0);
        glUniform1f(scale, step);
        world.bloomfield.drawImpl(source);
        mark(clock, PassClock::Pass(PassClock::blur2 + 2 * pass));
        targets.blurTargetB.bindForDrawing();
        glUniform1ui(horizontal, 1);
        glUniform1f(scale, step);
        world.bloomfield.drawImpl(&targets.imageA);
        source = &targets.imageB;
        step *= 2.0f;
    }
}

void compositePass(World& world, FrameTargets& targets, float exposure, float t) {
    const Tovik::RenderTarget& screen = targets.screenTarget;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, targets.output);
    // Only the letterbox is drawn; the bars would show whatever the buffer
    // last held (a window's back buffer is anyone's after a swap).
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(screen.x, screen.y, GLsizei(screen.width), GLsizei(screen.height));
    world.hdrProgram.use();
    glUniform1f(world.hdrProgram.timeLocation, t);
    glUniform1f(targets.exposureLocation, exposure);
    world.viewfield.drawImpl(targets.composite);
}

} // namespace

World::World(unsigned shadowSize)
    : skyProgram(createSkyShader()), hdrProgram(createHdrShader()),
      glitterProgram(createGlitterShader()), obsidianProgram(createObsidianShader()),
      blurProgram(createBlurShader()), groundProgram(createGroundShader()),
      groundDepthProgram(createGroundDepthShader()),
      polyhedronDepthProgram(createPolyhedronDepthShader()), parts(buildParts()),
      sky(standalone(skyProgram, createSky)), viewfield(standalone(hdrProgram, createViewfield)),
      bloomfield(standalone(blurProgram, createBloomfield)), model(parts),
      shadowTarget(shadowTargetOfSize(shadowSize)),
      shadowTexture(shadowTarget.createShadowBuffer()) {
    addInstances(model);
}

std::vector<Tovik::Part> World::buildParts() {
    struct Entry {
        Builder build;
        Tovik::ShaderProgram* program;
        Tovik::ShaderProgram* depth;
    };
    Tovik::ShaderProgram* const glitter = &glitterProgram;
    Tovik::ShaderProgram* const obsidian = &obsidianProgram;
    Tovik::ShaderProgram* const depth = &polyhedronDepthProgram;
    const Entry entries[mesh::count] = {
        {createGround, &groundProgram, &groundDepthProgram},
        {createHub, glitter, depth},           {createGTicosidodeca, glitter, depth},
        {createDodecadodeca, glitter, depth},  {createTSI22, glitter, depth},
        {createSCO2, glitter, depth},          {createSRTC15, glitter, depth},
        {createSRTC35, glitter, depth},        {createTSI28, glitter, depth},
        {createRivalHub, obsidian, depth},     {createSRTC3, obsidian, depth},
        {createSRTC31, obsidian, depth},       {createTSI2, obsidian, depth},
        {createTSD12, obsidian, depth},        {createSCO6, obsidian, depth},
        {createMIH, obsidian, depth},          {createGTI, obsidian, depth},
    };
    std::vector<Tovik::Part> list;
    // Each Part is filled in place before the next is added; growing the list
    // moves the earlier ones, which keeps their GL objects.
    for (const Entry& entry : entries) {
        list.emplace_back(*entry.program, entry.depth);
        entry.build(list.back());
    }
    return list;
}

namespace {
Viewport imageSize(const Viewport& view, float scale) {
    const auto side = [scale](std::uint32_t n) { return std::max(1u, std::uint32_t(float(n) * scale)); };
    return {0, 0, side(view.width), side(view.height)};
}
} // namespace

FrameTargets::FrameTargets(const World& world, const Viewport& view, GLuint outputFramebuffer, float scale)
    : image(imageSize(view, scale)), sceneTarget(offscreenTarget(image, true)),
      sceneTexture(sceneTarget.createHdrBuffer(image.width, image.height, 0)),
      blurTargetA(offscreenTarget(image, false)),
      blurTextureA(blurTargetA.createHdrBuffer(image.width, image.height, 0)),
      blurTargetB(offscreenTarget(image, false)),
      blurTextureB(blurTargetB.createHdrBuffer(image.width, image.height, 0)),
      screenTarget(int(view.x), int(view.y), view.width, view.height), output(outputFramebuffer) {
    complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (!complete) {
        std::printf("Framebuffer not complete!\n");
        std::fflush(stdout);
    }
    const GLuint blur = world.blurProgram.id;
    const GLuint hdr = world.hdrProgram.id;
    sceneImage = {glGetUniformLocation(blur, "image"), &sceneTexture};
    imageA = {glGetUniformLocation(blur, "image"), &blurTextureA};
    imageB = {glGetUniformLocation(blur, "image"), &blurTextureB};
    composite[0] = {glGetUniformLocation(hdr, "hdrBuffer"), &sceneTexture};
    composite[1] = {glGetUniformLocation(hdr, "bloomBuffer"), &blurTextureB};
    exposureLocation = glGetUniformLocation(hdr, "exposure");
}

unsigned shadowMapSizeFor(float scale) {
    unsigned size = shadowMapSize;
    // Halve while the scale is nearer the next power of two down (below
    // 1/sqrt 2 of the current one).
    for (float step = 1.0f; size > 1024 && scale * scale < 0.5f * step * step; step *= 0.5f) size /= 2;
    return size;
}

namespace {
const char* framebufferStatusName(GLenum status) {
    switch (status) {
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT: return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT: return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER: return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER: return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER";
    case GL_FRAMEBUFFER_UNSUPPORTED: return "GL_FRAMEBUFFER_UNSUPPORTED";
    case GL_FRAMEBUFFER_UNDEFINED: return "GL_FRAMEBUFFER_UNDEFINED";
    default: return "an unknown status";
    }
}
} // namespace

bool framebufferComplete(GLuint name, const char* what, std::string& fault) {
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glBindFramebuffer(GL_FRAMEBUFFER, name);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(bound));
    if (status == GL_FRAMEBUFFER_COMPLETE) return true;
    fault = std::string("the GL driver cannot draw into the ") + what + " (" + framebufferStatusName(status) + ")";
    return false;
}

std::string checkWorld(const World& world) {
    const std::pair<const Tovik::ShaderProgram*, const char*> programs[] = {
        {&world.skyProgram, "sky"},         {&world.hdrProgram, "tone mapping"},
        {&world.glitterProgram, "glitter"}, {&world.obsidianProgram, "obsidian"},
        {&world.blurProgram, "blur"},       {&world.groundProgram, "ground"},
        {&world.groundDepthProgram, "ground depth"},
        {&world.polyhedronDepthProgram, "polyhedron depth"},
    };
    for (const auto& [program, name] : programs) {
        GLint linked = GL_FALSE;
        glGetProgramiv(program->id, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE)
            return std::string("the GL driver refused the ") + name +
                   " program (its compiler's and linker's words, if any, are on standard output)";
    }
    std::string fault;
    framebufferComplete(world.shadowTarget.framebuffer, "shadow map", fault);
    return fault;
}

std::string checkTargets(const FrameTargets& targets) {
    const std::pair<const Tovik::RenderTarget*, const char*> images[] = {
        {&targets.sceneTarget, "scene image"},
        {&targets.blurTargetA, "first bloom image"},
        {&targets.blurTargetB, "second bloom image"},
    };
    std::string fault;
    for (const auto& [target, name] : images)
        if (!framebufferComplete(target->framebuffer, name, fault)) break;
    return fault;
}

glm::mat4 cameraProjection() {
    glm::mat4 projection(1.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The aspect and near plane are single-precision constants widened to
    // double, so the matrix matches the one the scene was tuned with.
    gluPerspective(50.0, double(16.0f / 9.0f), double(0.1f), 1000.0);
    glGetFloatv(GL_PROJECTION_MATRIX, &projection[0][0]);
    return projection;
}

void setGlobalState() {
    glEnable(GL_TEXTURE_2D);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepthf(1.0f);
    glDepthRangef(0.0f, 1.0f);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
}

void renderFrame(World& world, FrameTargets& targets, const glm::mat4& projection,
                 const Pose& pose, float t, PassClock* clock) {
    applyPose(pose, world.model);
    world.model.update();
    mark(clock, PassClock::shadow);
    shadowPass(world, t);
    scenePass(world, targets, projection, pose.camera, t, clock);
    bloomPasses(world, targets, clock);
    mark(clock, PassClock::composite);
    compositePass(world, targets, pose.exposure, t);
    mark(clock, PassClock::end);
}

namespace {

void reportContext(const char* program, const char* problem) {
    // GL 1.1 calls, linked directly: they work without the loader.
    const GLubyte* version = glGetString(GL_VERSION);
    const GLubyte* renderer = glGetString(GL_RENDERER);
    std::fprintf(stderr,
                 "%s: %sOpenGL 3.3 or later is required (GLSL 3.30 with geometry shaders), "
                 "but this context offers OpenGL %s on %s\n",
                 program, problem, version ? reinterpret_cast<const char*>(version) : "(unknown)",
                 renderer ? reinterpret_cast<const char*>(renderer) : "(unknown renderer)");
}

// SFML may quietly hand out an older context than the one asked for, so the
// version is read back from the context itself.
bool contextUsable(const char* program) {
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (glGetError() != GL_NO_ERROR) {
        // Contexts before 3.0 know neither query.
        major = 0;
        minor = 0;
    }
    if (major > 3 || (major == 3 && minor >= 3)) return true;
    reportContext(program, "");
    return false;
}

} // namespace

bool prepareContext(const char* program, bool glx) {
    glewExperimental = GL_TRUE;
    // Without its entry points every GL call below would go through null.
    const GLenum status = glewInit();
    if (status != GLEW_OK && (glx || status != GLEW_ERROR_NO_GLX_DISPLAY)) {
        const std::string problem = std::string("the GL entry points could not be loaded (") +
                                    reinterpret_cast<const char*>(glewGetErrorString(status)) + "). ";
        reportContext(program, problem.c_str());
        return false;
    }
    if (!contextUsable(program)) return false;
    // glNamedBufferData is a null pointer without GL 4.5 or the extension.
    Tovik::Part::directStateAccess = GLEW_VERSION_4_5 || GLEW_ARB_direct_state_access;
    return true;
}

} // namespace demo
