// Tests of the ground programs. The terrain stage is read back through
// transform feedback on a relinked copy of the ground depth program (camera
// and projection the identity, so the captured clip position is the world
// position); its hashed noise is not recomputed here, only what can be pinned
// around it: placement, floor, crater and wave. The shading of the ground
// program is compared per pixel on one triangle seen from straight above,
// using the corner positions the terrain stage produced.
#include "assets.h"
#include "shader_checks.h"
#include "shaders.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <cmath>

namespace {

using shadertest::pixel;

const glm::vec3 lightDir = glm::normalize(glm::vec3(0.0f, 5.0f, 2.0f));
constexpr float terrainBound = 16.0f * (1.0f - 1.0f / 256.0f);

float smoothstep(float edge0, float edge1, float x) {
    const float t = glm::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

float crater(const glm::vec2& mesh) { return 20.0f * std::exp(-glm::dot(mesh, mesh) * 0.005f); }

float wave(const glm::vec2& mesh, float time) {
    const float r2 = glm::dot(mesh, mesh), r = std::sqrt(r2);
    const float gt = (time - 38.4f) * 50.0f - r * 6.0f;
    return std::sin(r * 1.2f + time * 4.0f) * smoothstep(240.0f, 270.0f, gt) *
           smoothstep(-360.0f, -330.0f, -gt) * (8.0f / (r2 * 0.02f + 1.0f));
}

// The ground depth program relinked to capture gl_Position of every vertex.
class TerrainProbe {
public:
    TerrainProbe() {
        const char* varyings[] = {"gl_Position"};
        glTransformFeedbackVaryings(program.id, 1, varyings, GL_INTERLEAVED_ATTRIBS);
        glLinkProgram(program.id);
    }

    std::vector<glm::vec4> place(const std::vector<glm::vec2>& points, const glm::mat4& transform,
                                 float time) {
        program.use();
        shadertest::setUniform(program.id, "transform", transform);
        shadertest::setUniform(program.id, "camera", glm::mat4(1.0f));
        shadertest::setUniform(program.id, "projection", glm::mat4(1.0f));
        shadertest::setUniform(program.id, "time", time);
        std::vector<glm::vec4> placed(points.size());
        const GLsizeiptr bytes = GLsizeiptr(placed.size() * sizeof(glm::vec4));
        GLuint buffer = 0;
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, buffer);
        glBufferData(GL_TRANSFORM_FEEDBACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
        glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, buffer);
        glEnable(GL_RASTERIZER_DISCARD);
        glBeginTransformFeedback(GL_POINTS);
        std::vector<float> flat;
        for (const glm::vec2& p : points) flat.insert(flat.end(), {p.x, p.y});
        testgl::drawArrays(GL_POINTS, flat, {2});
        glEndTransformFeedback();
        glDisable(GL_RASTERIZER_DISCARD);
        glGetBufferSubData(GL_TRANSFORM_FEEDBACK_BUFFER, 0, bytes, placed.data());
        glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, 0);
        glDeleteBuffers(1, &buffer);
        return placed;
    }

private:
    Tovik::ShaderProgram program = createGroundDepthShader();
};

class GroundPrograms : public testgl::GlTest {
protected:
    void SetUp() override {
        testgl::GlTest::SetUp();
        shadertest::resetState();
    }
};

// Every grid point lands at (4x, 4y) in x-z (through the instance transform),
// its height is the terrain within the noise's bound less the crater, never
// below the floor at -10, and the transform's own y does not count.
TEST_F(GroundPrograms, GridPointsLandInTheWorldAboveTheFloor) {
    const assets::GroundMesh mesh = assets::buildGroundMesh();
    TerrainProbe probe;
    const glm::mat4 moved = glm::rotate(glm::translate(glm::mat4(1.0f), glm::vec3(10, 3, -7)), 0.5f,
                                        glm::vec3(0, 1, 0));
    for (const glm::mat4& transform : {glm::mat4(1.0f), moved}) {
        const std::vector<glm::vec4> placed = probe.place(mesh.vertices, transform, 0.0f);
        int onFloor = 0;
        for (std::size_t i = 0; i < placed.size(); ++i) {
            const glm::vec2 p = mesh.vertices[i];
            const glm::vec4 expected = transform * glm::vec4(4.0f * p.x, 0.0f, 4.0f * p.y, 1.0f);
            ASSERT_NEAR(placed[i].x, expected.x, 1e-4f) << i;
            ASSERT_NEAR(placed[i].z, expected.z, 1e-4f) << i;
            ASSERT_EQ(placed[i].w, 1.0f);
            const float c = crater(p);
            ASSERT_GE(placed[i].y, std::max(-terrainBound - c, -10.0f) - 1e-4f) << i;
            ASSERT_LE(placed[i].y, std::max(terrainBound - c, -10.0f) + 1e-4f) << i;
            if (placed[i].y == -10.0f) ++onFloor;
        }
        EXPECT_GT(onFloor, 10);
    }
}

// The crater is measured in mesh units from the mesh's centre while the
// terrain is sampled at the world position: a point near the centre and a far
// point moved by its instance onto the same world spot differ by the crater
// alone (the far point's crater is below 1e-5), down to the floor.
TEST_F(GroundPrograms, CraterDeepensTheTerrainTowardsTheCentre) {
    const glm::vec2 near[] = {{0, 0},  {1.5f, -2.25f}, {3, 4},    {-6.5f, 2},
                              {8, -8}, {10, 5},        {-12, -3}, {0.25f, 14}};
    const glm::vec2 away(48.0f, 36.0f);
    TerrainProbe probe;
    int unclamped = 0;
    for (const glm::vec2& p : near) {
        const glm::vec2 q = p + away;
        const glm::mat4 shift =
            glm::translate(glm::mat4(1.0f), glm::vec3(4.0f * (p.x - q.x), 0, 4.0f * (p.y - q.y)));
        const float centre = probe.place({p}, glm::mat4(1.0f), 0.0f)[0].y;
        const float far = probe.place({q}, shift, 0.0f)[0].y;
        // 2e-3: the two world positions agree to float rounding, and the
        // terrain's slope is at most about 15 per world unit.
        EXPECT_NEAR(centre, std::max(far - crater(p), -10.0f), 2e-3f) << p.x << "," << p.y;
        if (far - crater(p) > -10.0f) ++unclamped;
    }
    EXPECT_GT(unclamped, 0);
}

// The wave adds to the height of a point the same term whatever the terrain:
// zero before 43.2 s and after 45.6 + 0.12 r s, a ring running outwards at
// 50/6 mesh units per second, amplitude 8 / (0.02 r^2 + 1). Tolerance 2e-4:
// the sine of arguments up to about 200 on the GPU.
TEST_F(GroundPrograms, WaveRingRunsOutwardsInItsWindow) {
    std::vector<glm::vec2> points;
    for (const float r : {0.0f, 3.0f, 10.0f, 20.0f, 40.0f})
        points.push_back(r * glm::normalize(glm::vec2(0.6f, -0.8f)));
    TerrainProbe probe;
    const std::vector<glm::vec4> still = probe.place(points, glm::mat4(1.0f), 1.0f);
    for (const float time :
         {43.1f, 43.3f, 43.5f, 43.8f, 44.4f, 45.0f, 45.3f, 45.7f, 46.0f, 48.0f, 50.0f, 51.0f}) {
        const std::vector<glm::vec4> placed = probe.place(points, glm::mat4(1.0f), time);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const float r = glm::length(points[i]);
            const float rise = placed[i].y - still[i].y;
            EXPECT_NEAR(rise, wave(points[i], time), 2e-4f) << "r " << r << " t " << time;
            if (time < 43.2f || time > 45.6f + 0.12f * r) {
                EXPECT_EQ(rise, 0.0f);
            }
        }
    }
    EXPECT_NEAR(std::abs(wave({0, 0}, 44.4f)) / std::abs(std::sin(4.0f * 44.4f)), 8.0f, 1e-4);
    EXPECT_NEAR(8.0f / (100.0f * 0.02f + 1.0f), 8.0f / 3.0f, 1e-6);
}

// ---------------------------------------------------------------------------
// Shading of one triangle.

struct ShadeCase {
    const char* name;
    float time;
    float depth; // the fragments' depth in the shadow map
    glm::mat4 transform;
    bool corner; // a close view of the first corner, where the edge lines lie
};

struct Corners {
    glm::vec3 world[3];
};

// The ground fragment formula at barycentric weights `w` of the corners.
glm::vec4 groundColour(const Corners& c, const glm::vec3& w, const glm::vec3& eye, float lit,
                       float time) {
    const glm::vec3 normal =
        glm::normalize(glm::cross(c.world[1] - c.world[0], c.world[2] - c.world[0]));
    const glm::vec2 centre = glm::vec2(c.world[0].x + c.world[1].x + c.world[2].x,
                                       c.world[0].z + c.world[1].z + c.world[2].z);
    const float front = (time - 28.8f) * 50.0f - glm::length(centre);
    const glm::vec3 dcol =
        glm::mix(glm::vec3(0.34f, 0.5f, 0.35f), glm::vec3(0.2f), smoothstep(0.0f, 10.0f, front));
    const glm::vec3 world = w.x * c.world[0] + w.y * c.world[1] + w.z * c.world[2];
    const glm::vec3 reflected = glm::reflect(glm::normalize(world - eye), normal);
    const float specular = std::pow(std::max(glm::dot(lightDir, reflected), 0.0f), 20.0f);
    const float diffuse = std::max(0.0f, glm::dot(normal, lightDir));
    const float grid = 1.0f - smoothstep(0.0f, 0.02f, std::min(w.x, std::min(w.y, w.z)));
    const glm::vec2 gPos(world.x, world.z);
    const float gt = (time - 48.0f) * 16.0f - glm::length(gPos) * 4.0f;
    const float pulse = glm::length(0.02f * gPos) - time;
    glm::vec3 gridCol =
        glm::mix(glm::vec3(7.0f, 0.0f, 0.0f),
                 glm::sin(glm::vec3(gt * 0.1f) + glm::vec3(0.0f, 2.1f, 4.2f)) * 8.0f,
                 smoothstep(0.0f, 1.0f, (gt - 307.2f) * 0.1f));
    gridCol = smoothstep(0.0f, 1.0f, gt) *
              (gridCol + 5.0f * smoothstep(0.99f, 1.0f, pulse - std::floor(pulse)));
    glm::vec3 col = dcol * diffuse + specular;
    col *= lit * 0.8f;
    col += dcol * 0.2f + gridCol * grid;
    return glm::vec4(col, 0.0f);
}

// Barycentric weights of point p in the 2D triangle (a, b, c).
glm::vec3 barycentric(const glm::vec2& p, const glm::vec2& a, const glm::vec2& b,
                      const glm::vec2& c) {
    auto cross = [](const glm::vec2& u, const glm::vec2& v) { return u.x * v.y - u.y * v.x; };
    const float area = cross(b - a, c - a);
    const float wb = cross(p - a, c - a) / area, wc = cross(b - a, p - a) / area;
    return {1.0f - wb - wc, wb, wc};
}

// A view from straight above onto the triangle, or close onto its first
// corner, through an orthographic projection.
struct TopView {
    glm::vec3 eye;
    glm::mat4 camera, projection;

    TopView(const Corners& corners, bool closeUp) {
        const glm::vec3 middle = (corners.world[0] + corners.world[1] + corners.world[2]) / 3.0f;
        const glm::vec3 centre = closeUp ? glm::mix(corners.world[0], middle, 0.06f) : middle;
        const float half = closeUp ? 0.4f : 5.2f;
        eye = centre + glm::vec3(0, 60, 0);
        camera = glm::lookAt(eye, centre, glm::vec3(0, 0, -1));
        projection = glm::ortho(-half, half, -half, half, 1.0f, 200.0f);
    }
};

// Draws the mesh triangle through the ground program into the bound target,
// cleared to -1 so that untouched pixels show.
void drawGround(Tovik::ShaderProgram& ground, const ShadeCase& c, const TopView& view,
                const shadertest::ShadowMap& shadow, const std::vector<glm::vec2>& mesh) {
    glClearColor(-1, -1, -1, -1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    ground.use();
    glUniformMatrix4fv(ground.transformLocation, 1, GL_FALSE, &c.transform[0][0]);
    glUniformMatrix4fv(ground.cameraLocation, 1, GL_FALSE, &view.camera[0][0]);
    glUniformMatrix4fv(ground.projectionLocation, 1, GL_FALSE, &view.projection[0][0]);
    glUniform1f(ground.timeLocation, c.time);
    shadertest::setUniform(ground.id, "shadowMatrix",
                           shadertest::shadowMatrixAtDepth(c.depth, view.projection * view.camera));
    shadertest::setUniformInt(ground.id, "shadowMap", 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, shadow.texture.id);
    testgl::drawArrays(GL_TRIANGLES,
                       {mesh[0].x, mesh[0].y, mesh[1].x, mesh[1].y, mesh[2].x, mesh[2].y}, {2});
}

// Flat normal, ground colour front, edge lines (timing, colours, rings),
// shadow and alpha 0, per pixel, for one grid-shaped triangle seen from
// straight above through an orthographic projection, so that every input of
// the fragment stage is linear in the pixel. Tolerance 5e-4 plus 2e-4
// relative: the driver's sin/pow and the steep edge-line and ring ramps
// (slopes of 75 and 150) on interpolated inputs; the largest difference seen
// on llvmpipe is below 1e-4, and a misplaced term moves pixels by 0.05 or
// more.
TEST_F(GroundPrograms, ShadingMatchesTheGroundFormulaPerPixel) {
    constexpr int size = 32;
    const std::vector<glm::vec2> mesh = {{2.0f, 1.0f}, {4.0f, 1.0f}, {3.0f, 1.0f - 1.7320508f}};
    const glm::mat4 id(1.0f);
    const glm::mat4 moved =
        glm::rotate(glm::translate(id, glm::vec3(-3, 2, 5)), 0.3f, glm::vec3(0, 1, 0));
    // The first corner lies about 8.94 world units from the centre; at
    // 54.184 s a bright ring passes it.
    const ShadeCase cases[] = {
        {"before the front", 10.0f, 0.5f, id, false},
        {"in the front", 29.627f, 0.5f, id, false},
        {"lines not yet lit", 48.5f, 0.5f, id, true},
        {"red lines", 54.0f, 0.5f, id, true},
        {"ring on the lines", 54.184f, 0.5f, id, true},
        {"cycling starts", 72.0f, 0.5f, id, true},
        {"cycling", 75.0f, 0.5f, id, true},
        {"cycling, whole triangle", 75.0f, 0.5f, id, false},
        {"shadowed", 54.0f, 1.2f, id, false},
        {"moved instance", 60.0f, 0.5f, moved, false},
        {"moved instance, lines", 60.0f, 0.5f, moved, true},
    };
    Tovik::ShaderProgram ground = createGroundShader();
    TerrainProbe probe;
    const shadertest::ShadowMap shadow(size);
    for (const ShadeCase& c : cases) {
        Corners corners;
        const std::vector<glm::vec4> placed = probe.place(mesh, c.transform, c.time);
        for (int i = 0; i < 3; ++i) corners.world[i] = glm::vec3(placed[i]);
        const TopView view(corners, c.corner);
        const glm::mat4 toClip = view.projection * view.camera;
        testgl::FloatTarget target(size, size);
        drawGround(ground, c, view, shadow, mesh);
        const std::vector<float> out = target.read();

        glm::vec2 screen[3];
        for (int i = 0; i < 3; ++i)
            screen[i] = glm::vec2(toClip * glm::vec4(corners.world[i], 1.0f));
        int inside = 0, onLines = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const glm::vec2 p((float(x) + 0.5f) / size * 2.0f - 1.0f,
                                  (float(y) + 0.5f) / size * 2.0f - 1.0f);
                const glm::vec3 w = barycentric(p, screen[0], screen[1], screen[2]);
                const float least = std::min(w.x, std::min(w.y, w.z));
                const glm::vec4 got = pixel(out, size, x, y);
                if (least < -1e-3f) {
                    ASSERT_EQ(got, glm::vec4(-1.0f)) << c.name << " outside " << x << "," << y;
                    continue;
                }
                if (least < 1e-3f) continue; // on the rim: coverage is the rasteriser's call
                ++inside;
                if (least < 0.02f) ++onLines;
                const glm::vec4 expected =
                    groundColour(corners, w, view.eye, shadow.lit(x, y, c.depth), c.time);
                for (int i = 0; i < 4; ++i) {
                    ASSERT_NEAR(got[i], expected[i], 5e-4f + 2e-4f * std::abs(expected[i]))
                        << c.name << " pixel " << x << "," << y << " channel " << i;
                }
            }
        }
        EXPECT_GT(inside, size * size / 5) << c.name;
        if (c.corner) {
            EXPECT_GT(onLines, size * 4) << c.name;
        }
    }
}

// Both programs lift the grid the same way, so the shadow map sees the ground
// that is drawn, wave included.
TEST_F(GroundPrograms, DepthProgramWritesTheGroundProgramsDepth) {
    Tovik::ShaderProgram ground = createGroundShader();
    Tovik::ShaderProgram depthProgram = createGroundDepthShader();
    Tovik::Part part(ground, &depthProgram);
    createGround(part);
    const glm::mat4 projection = glm::perspective(glm::radians(50.0f), 1.0f, 1.0f, 600.0f);
    const glm::mat4 camera =
        glm::lookAt(glm::vec3(60, 120, 200), glm::vec3(0, -10, 0), glm::vec3(0, 1, 0));
    testgl::FloatTarget target(32, 32);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    for (const float time : {10.0f, 44.0f}) {
        std::vector<float> depths[2];
        for (int pass = 0; pass < 2; ++pass) {
            Tovik::ShaderProgram& program = pass == 0 ? ground : depthProgram;
            program.use();
            glUniformMatrix4fv(program.cameraLocation, 1, GL_FALSE, &camera[0][0]);
            glUniformMatrix4fv(program.projectionLocation, 1, GL_FALSE, &projection[0][0]);
            glUniform1f(program.timeLocation, time);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            if (pass == 0)
                part.drawImpl(glm::mat4(1.0f), nullptr);
            else
                part.drawDepthImpl(glm::mat4(1.0f));
            depths[pass] = shadertest::readDepth(target);
        }
        int covered = 0;
        for (std::size_t i = 0; i < depths[0].size(); ++i) {
            ASSERT_NEAR(depths[1][i], depths[0][i], 2.0 / (1 << 24)) << i;
            if (depths[0][i] < 1.0f) ++covered;
        }
        EXPECT_GT(covered, 500) << time;
    }
    shadertest::resetState();
}

} // namespace
