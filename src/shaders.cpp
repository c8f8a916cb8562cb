#include "shaders.h"

#include <array>
#include <cstddef>
#include <optional>

namespace {

// Joins string literals at compile time, so that GLSL helpers shared by
// several stages are written once and every stage is still one constant,
// NUL-terminated string.
template <std::size_t... N>
constexpr std::array<char, (N + ...) - sizeof...(N) + 1> join(const char (&... parts)[N]) {
    std::array<char, (N + ...) - sizeof...(N) + 1> out{};
    std::size_t at = 0;
    auto append = [&out, &at](const char* part, std::size_t size) {
        for (std::size_t i = 0; i + 1 < size; ++i) out[at++] = part[i];
    };
    (append(parts, N), ...);
    return out;
}

// ---------------------------------------------------------------------------
// Screen quads: the blur and the tone-mapping composite.

// The quad's corners come in the unit square; they double as texture
// coordinates.
constexpr char screenQuadVertex[] = R"glsl(
#version 330
layout(location = 0) in vec2 position;
out vec2 TexCoords;

void main() {
    TexCoords = position;
    gl_Position = vec4(position * 2.0 - 1.0, 0.0, 1.0);
}
)glsl";

// Nine-tap separable Gaussian. The tap step is fixed against a 1280 x 720
// frame whatever the texture's size; taps past the edge read the texture's
// transparent-black border.
constexpr char blurFragment[] = R"glsl(
#version 330 core
in vec2 TexCoords;
out vec4 FragColor;

uniform sampler2D image;
uniform float scale;
uniform bool horizontal;
uniform float weight[5] = float[](0.227027, 0.1945946, 0.1216216, 0.054054, 0.016216);

void main() {
    vec2 texOffset = scale / vec2(1280.0, 720.0);
    vec3 result = texture(image, TexCoords).rgb * weight[0];
    if (!horizontal) {
        for (int i = 1; i < 5; ++i) {
            vec2 offset = vec2(texOffset.x * i, 0.0);
            result += (texture(image, TexCoords + offset).rgb +
                       texture(image, TexCoords - offset).rgb) * weight[i];
        }
    } else {
        for (int i = 1; i < 5; ++i) {
            vec2 offset = vec2(0.0, texOffset.y * i);
            result += (texture(image, TexCoords + offset).rgb +
                       texture(image, TexCoords - offset).rgb) * weight[i];
        }
    }
    FragColor = vec4(result, 1.0);
}
)glsl";

// Scene plus bloom, exposure, fitted filmic curve, vignette and dither. The
// matrices are written column by column and applied to row vectors, so each
// column holds the coefficients of one output channel. The curve is fed the
// negated exposed colour.
constexpr char hdrFragment[] = R"glsl(
#version 330 core
in vec2 TexCoords;
out vec4 outColour;

uniform sampler2D hdrBuffer;
uniform sampler2D bloomBuffer;
uniform float exposure;
uniform float time;

const mat3 ACESInputMat = mat3(
    0.59719, 0.35458, 0.04823,
    0.07600, 0.90834, 0.01566,
    0.02840, 0.13383, 0.83777);

const mat3 ACESOutputMat = mat3(
     1.60475, -0.53108, -0.07367,
    -0.10208,  1.10813, -0.00605,
    -0.00327, -0.07276,  1.07602);

vec3 RRTAndODTFit(vec3 v) {
    vec3 a = v * (v + 0.0245786) - 0.000090537;
    vec3 b = v * (0.983729 * v + 0.4329510) + 0.238081;
    return a / b;
}

vec3 ACESFitted(vec3 color) {
    color = color * ACESInputMat;
    color = RRTAndODTFit(color);
    color = color * ACESOutputMat;
    return min(color, vec3(1.0));
}

float speckle(vec3 co) {
    return fract(sin(dot(co, vec3(12.9898, 78.233, 146.413))) * 43758.5453);
}

void main() {
    vec3 hdr = texture(hdrBuffer, TexCoords).rgb * 0.9;
    vec3 bloom = texture(bloomBuffer, TexCoords).rgb * 0.1;
    hdr += (bloom + exp(-bloom) - 1.0) * 0.5;
    vec3 mapped = ACESFitted(-hdr * exposure);
    vec2 c = (TexCoords - 0.5) * vec2(1.0, 9.0 / 16.0);
    mapped *= exp(-2.0 * dot(c, c));
    outColour = vec4(mapped + speckle(vec3(TexCoords.x, TexCoords.y, time)) * (1.0 / 256.0), 1.0);
}
)glsl";

// ---------------------------------------------------------------------------
// Helpers shared by several stages.

// Value-noise set-up on the integer lattice with quintic fade: the fade u of
// the position x within its cell and the corner differences k1..k7 of the
// cell's eight hashed corners (a is the lowest corner). Needs hash1(float).
constexpr char latticeCorners[] = R"glsl(
    vec3 p = floor(x);
    vec3 w = fract(x);
    vec3 u = w * w * w * (w * (w * 6.0 - 15.0) + 10.0);
    float n = p.x + 317.0 * p.y + 157.0 * p.z;
    float a = hash1(n + 0.0);
    float b = hash1(n + 1.0);
    float c = hash1(n + 317.0);
    float d = hash1(n + 318.0);
    float e = hash1(n + 157.0);
    float f = hash1(n + 158.0);
    float g = hash1(n + 474.0);
    float h = hash1(n + 475.0);
    float k1 = b - a;
    float k2 = c - a;
    float k3 = e - a;
    float k4 = a - b - c + d;
    float k5 = a - c - e + g;
    float k6 = a - b - e + f;
    float k7 = -a + b + c - d + e - f - g + h;
)glsl";

// Direction towards the scene's one light, in world axes.
constexpr char lightDirection[] = R"glsl(
const vec3 lightPos1 = normalize(vec3(0.0, 5.0, 2.0));
)glsl";

// Lit fraction of a fragment from a 3 x 3 percentage-closer lookup of the
// shadow depth map (plain filtered reads of the depth, no comparison mode).
constexpr char shadowLookup[] = R"glsl(
uniform sampler2D shadowMap;

float ShadowCalculation(vec4 fragPosLightSpace) {
    vec3 p = fragPosLightSpace.xyz / fragPosLightSpace.w;
    p = p * 0.5 + 0.5;
    float currentDepth = p.z;
    vec2 texel = 1.0 / vec2(textureSize(shadowMap, 0));
    float lit = 0.0;
    for (int x = -1; x <= 1; ++x) {
        for (int y = -1; y <= 1; ++y) {
            float closest = texture(shadowMap, p.xy + vec2(x, y) * texel).r;
            lit += currentDepth > closest ? 0.0 : 1.0;
        }
    }
    return lit / 9.0;
}
)glsl";

// ---------------------------------------------------------------------------
// Sky.

// The ray is built from the row vector times the view's rotation, i.e. the
// inverse rotation for a rigid view: it points from the scene to the eye.
constexpr char skyVertex[] = R"glsl(
#version 330
layout(location = 0) in vec2 position;
uniform mat4 transform;
out vec3 Ray;

void main() {
    vec2 scaled = position * vec2(16. / 9., 1.0);
    Ray = vec3(-scaled.x, -scaled.y, 2.1445) * mat3(transform);
    gl_Position = vec4(position, 0.0, 1.0);
}
)glsl";

constexpr char skyFragmentHead[] = R"glsl(
#version 330
in vec3 Ray;
out vec4 outColour;
uniform float time;

const vec3 lightPos1 = -normalize(vec3(0.0, 5.0, 2.0));

float hash1(float n) {
    return fract(n * 19.17 * fract(n * 0.3183099));
}

float noise(vec3 x) {
)glsl";

constexpr char skyFragmentTail[] = R"glsl(
    return 2.0 * (a + k1 * u.x + k2 * u.y + k3 * u.z + k4 * u.x * u.y + k5 * u.y * u.z +
                  k6 * u.z * u.x + k7 * u.x * u.y * u.z) - 1.0;
}

const mat3 m3 = mat3(0.00, 0.80, 0.60,
                    -0.80, 0.36, -0.48,
                    -0.60, -0.48, 0.64);

float fbmd(vec3 x) {
    float sum = 0.0;
    float b = 0.35;
    for (int i = 0; i < 5; ++i) {
        sum += b * noise(x);
        b *= 0.35;
        x = 1.92 * (m3 * x);
    }
    return sum;
}

void main() {
    vec3 sun = lightPos1;
    vec3 ray = normalize(Ray);
    float stars = fbmd(120.0 * ray);
    float nebula = fbmd(5.0 * ray) + 0.5;
    vec3 colour = vec3(0.6, 0.8, 1.0) * max(0.0, stars * 11.0 - 4.0) * 1000.0;
    float k = smoothstep(28.8, 38.4, time - ray.y * 10.0) *
              smoothstep(-72.0, -67.2, ray.y * 10.0 - time);
    vec3 skyCol = mix(vec3(0.4, 1.0, 2.0), vec3(1.0, 0.3, 0.1), k);
    colour += skyCol * max(0.0, nebula) + 20.0 * pow(max(0.0, dot(sun, ray)), 10.0);
    outColour = vec4(colour, 1.0);
}
)glsl";

constexpr auto skyFragment = join(skyFragmentHead, latticeCorners, skyFragmentTail);

// ---------------------------------------------------------------------------
// Polyhedra.

// Members of the interface block from the lit vertex stage to the lit
// fragment stages.
#define VS_OUT_MEMBERS \
    "VS_OUT {\n" \
    "    vec3 Normal;\n" \
    "    vec4 Colour;\n" \
    "    vec3 LPos;\n" \
    "    vec3 VPos;\n" \
    "    vec4 FragPosLightSpace;\n" \
    "}"

// The three attributes every polyhedron stage declares, at the locations the
// vertex arrays are set up with.
constexpr char polyhedronAttributes[] = R"glsl(
#version 330
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec4 colour;
uniform mat4 transform;
uniform mat4 camera;
uniform mat4 projection;
)glsl";

// The normal goes through the model's 3 x 3 unchanged (no inverse transpose,
// no renormalising). camera[3].xyz times the view rotation is minus the eye
// position for a rigid view, so VPos runs from the eye to the vertex.
constexpr char litPolyhedronBody[] = "uniform mat4 shadowMatrix;\nout " VS_OUT_MEMBERS
                                     " vs_out;\n" R"glsl(
void main() {
    vs_out.Normal = mat3(transform) * normal;
    vec4 world = transform * vec4(position, 1.0);
    vs_out.LPos = position;
    vs_out.VPos = world.xyz + camera[3].xyz * mat3(camera);
    vs_out.Colour = colour;
    vs_out.FragPosLightSpace = shadowMatrix * world;
    gl_Position = projection * camera * world;
}
)glsl";

constexpr auto litPolyhedronVertex = join(polyhedronAttributes, litPolyhedronBody);

constexpr char litFragmentHead[] = "#version 330\nin " VS_OUT_MEMBERS R"glsl( fs_in;
out vec4 outColour;
uniform float time;
const vec3 lightCol1 = vec3(0.7, 0.7, 0.7);
const vec3 ambient = vec3(0.2, 0.2, 0.2);
)glsl";

constexpr char glitterNoise[] = R"glsl(
float hash1(float n) {
    return fract(n * 17.135 * fract(n * 0.3183099));
}

// Analytic gradient of a quintic value noise.
vec3 noised(vec3 x) {
)glsl";

constexpr char glitterMain[] = R"glsl(
    vec3 du = 30.0 * w * w * (w * (w - 2.0) + 1.0);
    return 2.0 * du * vec3(k1 + k4 * u.y + k6 * u.z + k7 * u.y * u.z,
                           k2 + k5 * u.z + k4 * u.x + k7 * u.z * u.x,
                           k3 + k6 * u.x + k5 * u.y + k7 * u.x * u.y);
}

void main() {
    vec3 glitter = normalize(fs_in.Normal + fs_in.Colour.a * noised(fs_in.LPos * 32.0) * 0.1);
    vec3 Ld = lightCol1 * max(0.0, dot(glitter, lightPos1));
    vec3 specular = reflect(normalize(fs_in.VPos), glitter);
    vec3 sparkle = Ld * pow(max(0.0, dot(specular, lightPos1)), 16.0);
    float s = ShadowCalculation(fs_in.FragPosLightSpace);
    float t = time - 67.2;
    vec3 glow = t >= 0.0 ? vec3(100.0, 90.0, 10.0) * exp(-9.6 * t) : vec3(0.0);
    vec3 shade = (s * Ld + ambient) * fs_in.Colour.rgb + s * sparkle + glow;
    outColour = vec4(shade, 1.0);
}
)glsl";

constexpr auto glitterFragment =
    join(litFragmentHead, lightDirection, shadowLookup, glitterNoise, latticeCorners, glitterMain);

// Veins of a warped sine noise glow in the part of the colour that alpha
// selects. _rot is applied to row vectors: (q1, q2) turns into
// (q1 cos a - q2 sin a, q1 sin a + q2 cos a). The normal is used as
// interpolated.
constexpr char obsidianMain[] = R"glsl(
mat2 _rot(float a) {
    return mat2(cos(a), -sin(a), sin(a), cos(a));
}

float cyclicNoise(vec4 p) {
    float sum = 0.0;
    float amp = 0.5;
    float warp = 1.1;
    p.xw *= _rot(1.5);
    p.wy *= _rot(0.9);
    for (int i = 0; i < 5; ++i) {
        p += sin(p.wzxy * warp);
        sum += sin(dot(cos(p), sin(p.yzwx))) * amp;
        amp *= 0.5;
        warp *= 1.3;
        p.xz *= _rot(0.9);
        p.xy *= _rot(4.9);
    }
    return sum;
}

void main() {
    vec3 Ld = lightCol1 * max(0.0, dot(fs_in.Normal, lightPos1));
    vec3 specular = reflect(normalize(fs_in.VPos), fs_in.Normal);
    vec3 sparkle = Ld * pow(max(0.0, dot(specular, lightPos1)), 16.0);
    float s = ShadowCalculation(fs_in.FragPosLightSpace);
    vec3 glowColour = fs_in.Colour.rgb * fs_in.Colour.a;
    vec3 diffColour = fs_in.Colour.rgb - glowColour;
    vec3 glow = glowColour * max(0.0, cyclicNoise(vec4(fs_in.LPos * 5.0, time)));
    float t = time - 67.2;
    if (t >= 0.0) glow += vec3(100.0, 10.0, 0.0) * exp(-9.6 * t);
    vec3 shade = (s * Ld + ambient) * diffColour + s * sparkle + glow;
    outColour = vec4(shade, 1.0);
}
)glsl";

constexpr auto obsidianFragment =
    join(litFragmentHead, lightDirection, shadowLookup, obsidianMain);

constexpr auto polyhedronDepthVertex = join(polyhedronAttributes, R"glsl(
void main() {
    gl_Position = projection * camera * transform * vec4(position, 1.0);
}
)glsl");

// Only the depth of a shadow-pass fragment is kept; time is declared for the
// uniform set every program gets, and not read.
constexpr char depthFragment[] = R"glsl(
#version 330
out vec4 outColour;
uniform float time;

void main() {
    outColour = vec4(0.0, 0.0, 0.0, 0.0);
}
)glsl";

// ---------------------------------------------------------------------------
// Ground.

// Lifts a 2D grid point (mesh units) into the world at the height of an
// eight-octave value-noise terrain sampled at its world x-z, with a crater
// around the mesh's centre, a floor at -10 and, for a few seconds, a ring
// wave running outwards. The crater and the wave are measured in mesh units.
constexpr char terrainHead[] = R"glsl(
#version 330
layout(location = 0) in vec2 position;
uniform mat4 transform;
uniform mat4 camera;
uniform mat4 projection;
uniform float time;
)glsl";

constexpr char terrainCommon[] = R"glsl(
float hash1(vec2 p) {
    vec2 q = 50.0 * fract(p * 0.3183099);
    return fract(q.x * q.y * (q.x + q.y));
}

float noised(vec2 x) {
    vec2 p = floor(x);
    vec2 w = x - p;
    float a = hash1(p + vec2(0.0, 0.0));
    float b = hash1(p + vec2(1.0, 0.0));
    float c = hash1(p + vec2(0.0, 1.0));
    float d = hash1(p + vec2(1.0, 1.0));
    vec2 u = w * w * w * (w * (w * 6.0 - 15.0) + 10.0);
    float k0 = a;
    float k1 = b - a;
    float k2 = c - a;
    float k4 = a - b - c + d;
    return 2.0 * (k0 + k1 * u.x + k2 * u.y + k4 * u.x * u.y) - 1.0;
}

float fbmd(vec2 x) {
    float sum = 0.0;
    float amplitude = 0.5;
    for (int i = 0; i < 8; ++i) {
        sum += amplitude * noised(x);
        amplitude *= 0.5;
        x = 2.0 * x;
    }
    return sum;
}

float terrain(vec2 p) {
    return fbmd(p * (1.0 / 16.0) + vec2(21.0, 21.0)) * 16.0;
}

vec4 displacedWorld() {
    float r2 = dot(position, position);
    float r = sqrt(r2);
    float gt = (time - 38.4) * 50.0 - r * 6.0;
    float wave = sin(r * 1.2 + time * 4.0) * smoothstep(240.0, 270.0, gt) *
                 smoothstep(-360.0, -330.0, -gt);
    vec4 world = transform * vec4(4.0 * position.x, 0.0, 4.0 * position.y, 1.0);
    float h = terrain(world.xz) - 20.0 * exp(-r2 * 0.005);
    world.y = max(h, -10.0) + wave * (8.0 / (r2 * 0.02 + 1.0));
    return world;
}
)glsl";

constexpr auto terrainVertex = join(terrainHead, terrainCommon, R"glsl(
void main() {
    gl_Position = projection * camera * displacedWorld();
}
)glsl");

constexpr auto terrainVertexWithPosition = join(terrainHead, "out vec3 wPos;\n", terrainCommon,
                                                R"glsl(
void main() {
    vec4 world = displacedWorld();
    wPos = world.xyz;
    gl_Position = projection * camera * world;
}
)glsl");

#define GS_OUT_MEMBERS \
    "GS_OUT {\n" \
    "    vec3 vPos;\n" \
    "    vec2 gPos;\n" \
    "    vec3 uv;\n" \
    "    vec3 normal;\n" \
    "    vec3 dcol;\n" \
    "    vec4 FragPosLightSpace;\n" \
    "}"

// Flat shading per triangle: one face normal, one ground colour from a front
// spreading out from the centre (the corner sum is three times the centroid),
// and barycentric markers for the edge lines.
constexpr char groundGeometry[] = "#version 330 core\n" R"glsl(
layout(triangles) in;
layout(triangle_strip, max_vertices = 3) out;
in vec3 wPos[];
uniform mat4 camera;
uniform mat4 shadowMatrix;
uniform float time;
out )glsl" GS_OUT_MEMBERS R"glsl( gs_out;

void main() {
    vec3 normal = normalize(cross(wPos[1] - wPos[0], wPos[2] - wPos[0]));
    vec3 camPos = camera[3].xyz * mat3(camera);
    vec2 centre = wPos[0].xz + wPos[1].xz + wPos[2].xz;
    float gt = (time - 28.8) * 50.0 - length(centre);
    vec3 col = mix(vec3(0.34, 0.5, 0.35), vec3(0.2, 0.2, 0.2), smoothstep(0.0, 10.0, gt));
    vec3 uv = vec3(1.0, 0.0, 0.0);
    for (int i = 0; i < 3; ++i) {
        gl_Position = gl_in[i].gl_Position;
        gs_out.vPos = wPos[i] + camPos;
        gs_out.gPos = wPos[i].xz;
        gs_out.uv = uv;
        gs_out.normal = normal;
        gs_out.dcol = col;
        gs_out.FragPosLightSpace = shadowMatrix * vec4(wPos[i], 1.0);
        EmitVertex();
        uv = uv.yzx;
    }
    EndPrimitive();
}
)glsl";

// Lit, shadowed ground with glowing edge lines: red from 48 s, cycling
// through the spectrum from 67.2 s, with bright rings running outwards. The
// cycling colour may go negative; it is left unclamped. Alpha is 0.
constexpr char groundFragmentMain[] = R"glsl(
void main() {
    vec3 viewRay = normalize(fs_in.vPos);
    vec3 reflectRay = reflect(viewRay, fs_in.normal);
    float specular = pow(max(dot(lightPos1, reflectRay), 0.0), 20.0);
    float diffuse = max(0.0, dot(fs_in.normal, lightPos1));
    float grid = 1.0 - smoothstep(0.0, 0.02, min(fs_in.uv.x, min(fs_in.uv.y, fs_in.uv.z)));
    float r = length(fs_in.gPos);
    float gt = (time - 48.0) * 16.0 - r * 4.0;
    float pulse = length(0.02 * fs_in.gPos) - time * 1.0;
    vec3 gridCol = mix(vec3(7.0, 0.0, 0.0),
                       sin(vec3(gt * 0.1, gt * 0.1, gt * 0.1) + vec3(0.0, 2.1, 4.2)) * 8.0,
                       smoothstep(0.0, 1.0, (gt - 307.2) * 0.1));
    gridCol = smoothstep(0.0, 1.0, gt) * (gridCol + 5.0 * smoothstep(0.99, 1.0, fract(pulse)));
    vec3 col = fs_in.dcol * diffuse + specular;
    col *= ShadowCalculation(fs_in.FragPosLightSpace) * 0.8;
    col += fs_in.dcol * 0.2;
    col += gridCol * grid;
    outColour = vec4(col, 0.0);
}
)glsl";

constexpr auto groundFragment =
    join("#version 330\nin " GS_OUT_MEMBERS " fs_in;\nout vec4 outColour;\nuniform float time;\n",
         lightDirection, shadowLookup, groundFragmentMain);

// ---------------------------------------------------------------------------
// Program assembly.

// Which of the four cached uniform locations a factory fills.
enum Cached : unsigned {
    cacheNone = 0,
    cacheTransform = 1,
    cacheTime = 2,
    cacheAll = 4,
};

struct Stage {
    GLenum type;
    const char* source;
};

// Compiles the stages in order, attaches them in that order, binds the
// single fragment output to colour number 0, links and caches the locations
// asked for. The shaders are destroyed last-first when the array goes out of
// scope; GL keeps them alive while they stay attached to the program.
template <std::size_t N>
Tovik::ShaderProgram buildProgram(const Stage (&stages)[N], const char* output, unsigned cached) {
    std::optional<Tovik::Shader> shaders[N];
    for (std::size_t i = 0; i < N; ++i) shaders[i].emplace(stages[i].type, stages[i].source);
    Tovik::ShaderProgram program;
    for (const std::optional<Tovik::Shader>& shader : shaders) program.attachShader(*shader);
    program.bindFragDataLocation(0, output).link();
    const GLuint id = program.id;
    if (cached & (cacheAll | cacheTransform))
        program.transformLocation = glGetUniformLocation(id, "transform");
    if (cached & cacheAll) {
        program.cameraLocation = glGetUniformLocation(id, "camera");
        program.projectionLocation = glGetUniformLocation(id, "projection");
    }
    if (cached & (cacheAll | cacheTime)) program.timeLocation = glGetUniformLocation(id, "time");
    return program;
}

} // namespace

const std::array<ShaderSource, 15> shaderSources = {{
    {"screen_quad", GL_VERTEX_SHADER, screenQuadVertex},
    {"hdr", GL_FRAGMENT_SHADER, hdrFragment},
    {"blur", GL_FRAGMENT_SHADER, blurFragment},
    {"sky", GL_VERTEX_SHADER, skyVertex},
    {"sky", GL_FRAGMENT_SHADER, skyFragment.data()},
    {"lit_polyhedron", GL_VERTEX_SHADER, litPolyhedronVertex.data()},
    {"glitter", GL_FRAGMENT_SHADER, glitterFragment.data()},
    {"obsidian", GL_FRAGMENT_SHADER, obsidianFragment.data()},
    {"polyhedron_depth", GL_VERTEX_SHADER, polyhedronDepthVertex.data()},
    {"depth", GL_FRAGMENT_SHADER, depthFragment},
    {"terrain", GL_VERTEX_SHADER, terrainVertex.data()},
    {"terrain_position", GL_VERTEX_SHADER, terrainVertexWithPosition.data()},
    {"ground", GL_GEOMETRY_SHADER, groundGeometry},
    {"ground", GL_FRAGMENT_SHADER, groundFragment.data()},
    {"ground_depth", GL_FRAGMENT_SHADER, depthFragment},
}};

Tovik::ShaderProgram createSkyShader() {
    const Stage stages[] = {{GL_VERTEX_SHADER, skyVertex},
                            {GL_FRAGMENT_SHADER, skyFragment.data()}};
    return buildProgram(stages, "outColour", cacheTransform | cacheTime);
}

Tovik::ShaderProgram createHdrShader() {
    const Stage stages[] = {{GL_VERTEX_SHADER, screenQuadVertex},
                            {GL_FRAGMENT_SHADER, hdrFragment}};
    return buildProgram(stages, "outColour", cacheTime);
}

Tovik::ShaderProgram createGlitterShader() {
    const Stage stages[] = {{GL_VERTEX_SHADER, litPolyhedronVertex.data()},
                            {GL_FRAGMENT_SHADER, glitterFragment.data()}};
    return buildProgram(stages, "outColour", cacheAll);
}

Tovik::ShaderProgram createObsidianShader() {
    const Stage stages[] = {{GL_VERTEX_SHADER, litPolyhedronVertex.data()},
                            {GL_FRAGMENT_SHADER, obsidianFragment.data()}};
    return buildProgram(stages, "outColour", cacheAll);
}

Tovik::ShaderProgram createBlurShader() {
    const Stage stages[] = {{GL_VERTEX_SHADER, screenQuadVertex},
                            {GL_FRAGMENT_SHADER, blurFragment}};
    return buildProgram(stages, "FragColor", cacheNone);
}

Tovik::ShaderProgram createGroundShader() {
    const Stage stages[] = {{GL_VERTEX_SHADER, terrainVertexWithPosition.data()},
                            {GL_GEOMETRY_SHADER, groundGeometry},
                            {GL_FRAGMENT_SHADER, groundFragment.data()}};
    return buildProgram(stages, "outColour", cacheAll);
}

Tovik::ShaderProgram createGroundDepthShader() {
    const Stage stages[] = {{GL_VERTEX_SHADER, terrainVertex.data()},
                            {GL_FRAGMENT_SHADER, depthFragment}};
    return buildProgram(stages, "outColour", cacheAll);
}

Tovik::ShaderProgram createPolyhedronDepthShader() {
    const Stage stages[] = {{GL_VERTEX_SHADER, polyhedronDepthVertex.data()},
                            {GL_FRAGMENT_SHADER, depthFragment}};
    return buildProgram(stages, "outColour", cacheAll);
}
