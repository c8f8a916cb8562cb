#include "shaders.h"

// Placeholder factories: each returns an empty, unlinked program until the
// GLSL sources land.
Tovik::ShaderProgram createSkyShader() { return {}; }
Tovik::ShaderProgram createHdrShader() { return {}; }
Tovik::ShaderProgram createGlitterShader() { return {}; }
Tovik::ShaderProgram createObsidianShader() { return {}; }
Tovik::ShaderProgram createBlurShader() { return {}; }
Tovik::ShaderProgram createGroundShader() { return {}; }
Tovik::ShaderProgram createGroundDepthShader() { return {}; }
Tovik::ShaderProgram createPolyhedronDepthShader() { return {}; }
