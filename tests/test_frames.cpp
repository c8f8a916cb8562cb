// Whole frames of the demo rendered offscreen through the demo's own frame
// code, at a small size, and checked for what a viewer would see.
#include "choreography.h"
#include "demo.h"
#include "gl_context.h"

#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/vec3.hpp>

#include <cmath>
#include <memory>

namespace {

// A 4:3 output so that the 16:9 picture leaves bars above and below.
constexpr int outputWidth = 192;
constexpr int outputHeight = 144;

struct Rendered {
    std::vector<float> scene;  // the HDR scene, RGBA
    std::vector<float> output; // the whole output framebuffer, RGBA
};

class Frames : public testgl::GlTest {
protected:
    static void SetUpTestSuite() {
        testgl::ensureContext();
        world = std::make_unique<demo::World>();
        output = std::make_unique<testgl::FloatTarget>(outputWidth, outputHeight);
        view = demo::letterbox(outputWidth, outputHeight);
        targets = std::make_unique<demo::FrameTargets>(*world, view, output->framebuffer);
        projection = demo::cameraProjection();
        demo::setGlobalState();
    }
    static void TearDownTestSuite() {
        targets.reset();
        output.reset();
        world.reset();
    }

    static Rendered render(float t) { return render(demo::choreograph(t), t); }

    static Rendered render(const demo::Pose& pose, float t) {
        glBindFramebuffer(GL_FRAMEBUFFER, output->framebuffer);
        glViewport(0, 0, outputWidth, outputHeight);
        // A colour no pass writes, so that untouched pixels can be told apart.
        glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        demo::renderFrame(*world, *targets, projection, pose, t);
        Rendered r;
        r.output = output->read();
        r.scene.resize(std::size_t(view.width) * view.height * 4);
        glGetTextureImage(targets->sceneTexture.id, 0, GL_RGBA, GL_FLOAT,
                          GLsizei(r.scene.size() * sizeof(float)), r.scene.data());
        return r;
    }

    // Mean colour of a block of the HDR scene, rows counted from the top.
    static glm::vec3 sceneMean(const Rendered& r, int x0, int y0, int x1, int y1) {
        glm::dvec3 sum(0.0);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const float* p = &r.scene[(std::size_t(view.height - 1 - y) * view.width + x) * 4];
                sum += glm::dvec3(p[0], p[1], p[2]);
            }
        return glm::vec3(sum / double((x1 - x0) * (y1 - y0)));
    }

    // How many pixels of a block of the HDR scene (rows from the top) pass.
    template <typename Test>
    static int sceneCount(const Rendered& r, int x0, int y0, int x1, int y1, Test test) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += test(scenePixel(r, x, y)) ? 1 : 0;
        return n;
    }

    static glm::vec3 scenePixel(const Rendered& r, int x, int y) {
        const float* p = &r.scene[(std::size_t(view.height - 1 - y) * view.width + x) * 4];
        return {p[0], p[1], p[2]};
    }

    // Mean of the final picture inside the letterbox.
    static glm::vec3 pictureMean(const Rendered& r) {
        glm::dvec3 sum(0.0);
        for (std::uint32_t y = view.y; y < view.y + view.height; ++y)
            for (std::uint32_t x = view.x; x < view.x + view.width; ++x) {
                const float* p = &r.output[(std::size_t(y) * outputWidth + x) * 4];
                sum += glm::dvec3(p[0], p[1], p[2]);
            }
        return glm::vec3(sum / double(view.width * view.height));
    }

    static inline std::unique_ptr<demo::World> world;
    static inline std::unique_ptr<testgl::FloatTarget> output;
    static inline std::unique_ptr<demo::FrameTargets> targets;
    static inline demo::Viewport view;
    static inline glm::mat4 projection;
};

TEST_F(Frames, TheLetterboxBarsAreNeverWrittenAndEveryValueIsFinite) {
    for (float t : {0.5f, 30.0f, 67.2f, 95.9f}) {
        const Rendered r = render(t);
        int touched = 0;
        for (int y = 0; y < outputHeight; ++y) {
            if (y >= int(view.y) && y < int(view.y + view.height)) continue;
            for (int x = 0; x < outputWidth; ++x) {
                const float* p = &r.output[(std::size_t(y) * outputWidth + x) * 4];
                touched += p[0] != 0.25f || p[1] != 0.5f || p[2] != 0.75f;
            }
        }
        EXPECT_EQ(touched, 0) << "t = " << t;
        int bad = 0;
        for (float v : r.scene) bad += !std::isfinite(v);
        EXPECT_EQ(bad, 0) << "non-finite HDR values at t = " << t;
    }
}

// Stars are up to a thousand times brighter than the nebula and bluish
// white (green 0.8 of blue, against 0.5 in the early sky): the sky tests look
// at the nebula only.
bool blueSky(const glm::vec3& c) { return c.b > 1.5f * c.r && c.g < 0.7f * c.b && c.b < 30.0f; }
bool redSky(const glm::vec3& c) { return c.r > 2.0f * c.b && c.r < 30.0f; }
bool green(const glm::vec3& c) { return c.g > 1.2f * c.r && c.g > 1.2f * c.b; }
bool grey(const glm::vec3& c) {
    const float high = std::fmax(c.r, std::fmax(c.g, c.b));
    const float low = std::fmin(c.r, std::fmin(c.g, c.b));
    return high > 0.0f && high - low < 0.1f * high;
}

// The scene at t with the hub and the three rings lifted far out of view,
// so that only the sky and the ground remain to be seen.
demo::Pose withoutPolyhedra(float t) {
    demo::Pose pose = demo::choreograph(t);
    const glm::mat4 away = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 1.0e5f, 0.0f));
    for (std::uint64_t i : {demo::instance::hub, demo::instance::ring1Pivot,
                            demo::instance::ring2Pivot, demo::instance::ring3Pivot})
        pose.local[i] = away;
    return pose;
}

// The upper fifth of the picture looks at the sky in these shots: blue
// before the colour change sweeps down (18.8 s), orange-red through its
// middle (48.4 to 57.2 s).
TEST_F(Frames, TheSkyTurnsFromBlueToOrangeRed) {
    const int w = int(view.width), top = int(view.height) / 5;
    const int all = w * top;
    const Rendered early = render(withoutPolyhedra(15.0f), 15.0f);
    EXPECT_GT(sceneCount(early, 0, 0, w, top, blueSky), all * 9 / 10);
    EXPECT_EQ(sceneCount(early, 0, 0, w, top, redSky), 0);
    for (float t : {45.0f, 55.0f}) {
        const Rendered late = render(withoutPolyhedra(t), t);
        EXPECT_GT(sceneCount(late, 0, 0, w, top, redSky), all * 9 / 10) << "t = " << t;
        EXPECT_EQ(sceneCount(late, 0, 0, w, top, blueSky), 0) << "t = " << t;
    }
}

// Seen from straight above at t = 3 the hub's grey top fills the middle of
// the picture with green ground around it; by 45 s the grey front has
// covered the ground in view.
TEST_F(Frames, TheHubSitsInTheMiddleOfTheTopDownShotAndTheGroundTurnsGrey) {
    const int w = int(view.width), h = int(view.height);
    const Rendered topDown = render(3.0f);
    const int cx = w / 2, cy = h / 2;
    EXPECT_EQ(sceneCount(topDown, cx - 3, cy - 3, cx + 3, cy + 3, grey), 36);
    // The left and right edges of that shot are ground.
    const int edge = h * 4;
    EXPECT_GT(sceneCount(topDown, 0, 0, 4, h, green) + sceneCount(topDown, w - 4, 0, w, h, green),
              edge * 8 / 10);
    const Rendered later = render(45.0f);
    const int band = w * (h / 5);
    EXPECT_GT(sceneCount(later, 0, h - h / 5, w, h, grey), band * 6 / 10);
    EXPECT_EQ(sceneCount(later, 0, h - h / 5, w, h, green), 0);
}

// Glowing red edge lines (red well above 1, no green or blue) appear on the
// ground from 48 s; none before.
TEST_F(Frames, RedEdgeLinesLightUpAfter48Seconds) {
    const int w = int(view.width), h = int(view.height);
    auto redLine = [](const glm::vec3& c) { return c.r > 1.5f && c.r > 4.0f * (c.g + c.b); };
    EXPECT_EQ(sceneCount(render(withoutPolyhedra(47.0f), 47.0f), 0, h / 2, w, h, redLine), 0);
    EXPECT_GT(sceneCount(render(withoutPolyhedra(60.0f), 60.0f), 0, h / 2, w, h, redLine), 50);
}

// At 67.2 s every polyhedron flashes: red far above anything lit (stars are
// bright too, but blue-white).
TEST_F(Frames, ThePolyhedraFlashAt67Point2Seconds) {
    const int w = int(view.width), h = int(view.height);
    auto flash = [](const glm::vec3& c) { return c.r > 50.0f && c.r > 5.0f * c.b; };
    EXPECT_EQ(sceneCount(render(67.1f), 0, 0, w, h, flash), 0);
    EXPECT_GT(sceneCount(render(67.2f), 0, 0, w, h, flash), w * h / 20);
}

// The last shot fades out: the picture is almost black by 96 s (what is left
// is the dither, under 1/256).
TEST_F(Frames, ThePictureFadesToBlackByTheEnd) {
    EXPECT_GT(pictureMean(render(86.0f)).g, 0.05f);
    const glm::vec3 last = pictureMean(render(95.99f));
    EXPECT_LT(std::fmax(last.r, std::fmax(last.g, last.b)), 1.0f / 256.0f);
}

// The rings cast shadows on the ground: moving ring 1 far out of the light's
// view brightens ground pixels that were in its shadow.
TEST_F(Frames, TheRingsCastShadowsOnTheGround) {
    const int w = int(view.width), h = int(view.height);
    const float t = 3.0f;
    demo::Pose pose = demo::choreograph(t);
    const Rendered withRing = render(pose, t);
    pose.local[demo::instance::ring1Pivot] =
        glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 5000.0f, 0.0f));
    const Rendered without = render(pose, t);
    int shadowed = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const glm::vec3 a = scenePixel(withRing, x, y), b = scenePixel(without, x, y);
            shadowed += green(a) && green(b) && a.g < 0.5f * b.g;
        }
    EXPECT_GT(shadowed, 30);
}

} // namespace
