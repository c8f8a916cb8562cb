#include "shader_checks.h"
#include "shaders.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <unistd.h>

namespace {

using Factory = Tovik::ShaderProgram (*)();

struct ProgramCase {
    const char* name;
    Factory factory;
    // Uniforms whose locations the factory must cache; the rest stay 0.
    bool transform, camera, projection, time;
    // Attributes declared and read by the program's vertex stage.
    std::vector<const char*> attributes;
};

const std::vector<ProgramCase>& programCases() {
    const std::vector<const char*> allThree = {"position", "normal", "colour"};
    static const std::vector<ProgramCase> cases = {
        {"sky", createSkyShader, true, false, false, true, {"position"}},
        {"hdr", createHdrShader, false, false, false, true, {"position"}},
        {"glitter", createGlitterShader, true, true, true, true, allThree},
        {"obsidian", createObsidianShader, true, true, true, true, allThree},
        {"blur", createBlurShader, false, false, false, false, {"position"}},
        {"ground", createGroundShader, true, true, true, true, {"position"}},
        {"ground depth", createGroundDepthShader, true, true, true, true, {"position"}},
        {"polyhedron depth", createPolyhedronDepthShader, true, true, true, true, {"position"}},
    };
    return cases;
}

class ShaderBuild : public testgl::GlTest {};

TEST_F(ShaderBuild, EveryProgramLinksWithoutAnyLog) {
    for (const ProgramCase& c : programCases()) {
        GLint linked = GL_FALSE;
        const std::string printed = shadertest::stdoutOf([&] {
            Tovik::ShaderProgram program = c.factory();
            glGetProgramiv(program.id, GL_LINK_STATUS, &linked);
        });
        EXPECT_EQ(linked, GL_TRUE) << c.name;
        EXPECT_EQ(printed, "") << c.name;
    }
}

TEST_F(ShaderBuild, CachesExactlyTheLocationsOfItsUniforms) {
    for (const ProgramCase& c : programCases()) {
        Tovik::ShaderProgram program = c.factory();
        const struct {
            const char* uniform;
            bool cached;
            GLint stored;
        } slots[] = {{"transform", c.transform, program.transformLocation},
                     {"camera", c.camera, program.cameraLocation},
                     {"projection", c.projection, program.projectionLocation},
                     {"time", c.time, program.timeLocation}};
        std::set<GLint> distinct;
        int active = 0;
        for (const auto& slot : slots) {
            if (!slot.cached) {
                EXPECT_EQ(slot.stored, 0) << c.name << " " << slot.uniform;
                continue;
            }
            EXPECT_EQ(slot.stored, glGetUniformLocation(program.id, slot.uniform))
                << c.name << " " << slot.uniform;
            if (slot.stored >= 0) {
                distinct.insert(slot.stored);
                ++active;
            }
        }
        // Locations taken from the wrong name would repeat one another.
        EXPECT_EQ(int(distinct.size()), active) << c.name;
    }
}

// The programs that draw one mesh in the colour and the shadow pass read the
// same vertex array, so an attribute must have one location in all of them.
TEST_F(ShaderBuild, AttributesSitAtTheSharedLocations) {
    const std::map<std::string, GLint> expected = {{"position", GLint(positionAttribute)},
                                                   {"normal", GLint(normalAttribute)},
                                                   {"colour", GLint(colourAttribute)}};
    for (const ProgramCase& c : programCases()) {
        Tovik::ShaderProgram program = c.factory();
        for (const char* attribute : c.attributes)
            EXPECT_EQ(glGetAttribLocation(program.id, attribute), expected.at(attribute))
                << c.name << " " << attribute;
    }
    EXPECT_NE(positionAttribute, normalAttribute);
    EXPECT_NE(normalAttribute, colourAttribute);
}

std::string firstNonBlankLine(const char* text) {
    const char* p = text;
    while (*p == '\n' || *p == ' ') ++p;
    return std::string(p, std::strcspn(p, "\n"));
}

// Each source must stand on its own for the version it declares, checked by
// the reference compiler rather than only by the driver at hand.
TEST(ShaderSources, ValidForTheirVersionLine) {
    const std::map<std::string, std::string> versions = {{"hdr", "#version 330 core"},
                                                         {"blur", "#version 330 core"}};
    const std::map<std::string, std::string> geometryVersion = {{"ground", "#version 330 core"}};
    char directory[] = "/tmp/shadersXXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    int index = 0;
    for (const ShaderSource& source : shaderSources) {
        const bool geometry = source.stage == GL_GEOMETRY_SHADER;
        const bool fragment = source.stage == GL_FRAGMENT_SHADER;
        std::string version = "#version 330";
        if (geometry)
            version = geometryVersion.at(source.name);
        else if (fragment && versions.count(source.name))
            version = versions.at(source.name);
        EXPECT_EQ(firstNonBlankLine(source.text), version) << source.name;

        const char* extension = geometry ? ".geom" : fragment ? ".frag" : ".vert";
        const std::string path =
            std::string(directory) + "/" + std::to_string(index++) + "_" + source.name + extension;
        std::ofstream(path) << source.text;
        int status = -1;
        const std::string out = testgl::capture("glslangValidator " + path + " 2>&1", &status);
        EXPECT_EQ(status, 0) << path << "\n" << out;
        EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
        std::remove(path.c_str());
    }
    rmdir(directory);
}

} // namespace
