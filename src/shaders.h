#pragma once
#include "shader.h"

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
