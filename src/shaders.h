#pragma once
#include "shader.h"

#include <array>

// The eight GPU programs of the demo. Vertex attributes sit at fixed
// locations in every program, so a mesh's main and depth programs can draw
// through the same vertex array.
constexpr GLuint positionAttribute = 0;
constexpr GLuint normalAttribute = 1;
constexpr GLuint colourAttribute = 2;

Tovik::ShaderProgram createSkyShader();
Tovik::ShaderProgram createHdrShader();
Tovik::ShaderProgram createGlitterShader();
Tovik::ShaderProgram createObsidianShader();
Tovik::ShaderProgram createBlurShader();
Tovik::ShaderProgram createGroundShader();
Tovik::ShaderProgram createGroundDepthShader();
Tovik::ShaderProgram createPolyhedronDepthShader();

// Every GLSL stage the factories compile, for tools and tests that check the
// sources outside a GL context.
struct ShaderSource {
    const char* name;
    GLenum stage;
    const char* text;
};
extern const std::array<ShaderSource, 15> shaderSources;
