#include "egl_context.h"

// Only the types and constants: every entry point is looked up at run time,
// so that nothing links libEGL.
#define EGL_EGL_PROTOTYPES 0
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace capture {

namespace {

const char* const installEgl =
    "install libegl1 and an EGL driver: libegl-mesa0 for Mesa's drivers, or the GPU vendor's";
const char* const installDriver =
    "install an EGL driver: libegl-mesa0 and libgl1-mesa-dri for Mesa's drivers, or the GPU vendor's";

#define EGL_CORE_FUNCTIONS(X)                                                                      \
    X(eglGetProcAddress, PFNEGLGETPROCADDRESSPROC) X(eglGetError, PFNEGLGETERRORPROC)                \
    X(eglQueryString, PFNEGLQUERYSTRINGPROC) X(eglInitialize, PFNEGLINITIALIZEPROC)                \
    X(eglTerminate, PFNEGLTERMINATEPROC) X(eglBindAPI, PFNEGLBINDAPIPROC)                          \
    X(eglChooseConfig, PFNEGLCHOOSECONFIGPROC) X(eglCreateContext, PFNEGLCREATECONTEXTPROC)        \
    X(eglDestroyContext, PFNEGLDESTROYCONTEXTPROC) X(eglMakeCurrent, PFNEGLMAKECURRENTPROC)        \
    X(eglReleaseThread, PFNEGLRELEASETHREADPROC)
// Extensions: looked up through eglGetProcAddress, called only where the
// client extensions name them.
#define EGL_EXTENSION_FUNCTIONS(X)                                                                 \
    X(eglGetPlatformDisplayEXT, PFNEGLGETPLATFORMDISPLAYEXTPROC)                                   \
    X(eglQueryDevicesEXT, PFNEGLQUERYDEVICESEXTPROC)                                               \
    X(eglQueryDeviceStringEXT, PFNEGLQUERYDEVICESTRINGEXTPROC)

struct Egl {
#define DECLARE(name, type) type name = nullptr;
    EGL_CORE_FUNCTIONS(DECLARE)
    EGL_EXTENSION_FUNCTIONS(DECLARE)
#undef DECLARE
    std::string missing; // why it could not be loaded; empty once loaded
};

// Loaded once and kept: the driver it loads may keep threads of its own.
const Egl& egl() {
    static const Egl library = [] {
        Egl lib;
        void* handle = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            lib.missing = dlerror();
            return lib;
        }
#define LOAD(name, type)                                                                           \
    lib.name = reinterpret_cast<type>(dlsym(handle, #name));                                       \
    if (!lib.name && lib.missing.empty()) lib.missing = "libEGL.so.1 has no " #name;
        EGL_CORE_FUNCTIONS(LOAD)
#undef LOAD
#define LOOK_UP(name, type)                                                                        \
    if (lib.missing.empty()) lib.name = reinterpret_cast<type>(lib.eglGetProcAddress(#name));
        EGL_EXTENSION_FUNCTIONS(LOOK_UP)
#undef LOOK_UP
        return lib;
    }();
    return library;
}

// Whether the space-separated `list` (null: none) holds `name`.
bool offers(const char* list, const std::string& name) {
    return list && (" " + std::string(list) + " ").find(" " + name + " ") != std::string::npos;
}

std::string lastError() {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", unsigned(egl().eglGetError()));
    return std::string("EGL error ") + code;
}

struct Candidate {
    EGLenum platform;
    void* native;
    std::string name;
};

// Where a context may be made, best first: a GPU's device, then Mesa's
// surfaceless platform (which uses the GPU where Mesa drives one), then
// software devices. Mesa offers its surfaceless platform beside another
// vendor's GPU, where it could only render in software.
std::vector<Candidate> candidates() {
    const Egl& e = egl();
    const char* client = e.eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    std::vector<Candidate> gpus, software;
    if (!offers(client, "EGL_EXT_platform_base") || !e.eglGetPlatformDisplayEXT) return gpus;
    if (offers(client, "EGL_EXT_platform_device") && offers(client, "EGL_EXT_device_enumeration")) {
        EGLint count = 0;
        e.eglQueryDevicesEXT(0, nullptr, &count);
        std::vector<EGLDeviceEXT> devices(std::size_t(std::max(count, 0)));
        if (count > 0 && !e.eglQueryDevicesEXT(count, devices.data(), &count)) count = 0;
        for (EGLint i = 0; i < count; ++i) {
            const char* extensions = offers(client, "EGL_EXT_device_query")
                                         ? e.eglQueryDeviceStringEXT(devices[i], EGL_EXTENSIONS)
                                         : nullptr;
            const bool soft = offers(extensions, "EGL_MESA_device_software");
            (soft ? software : gpus)
                .push_back({EGL_PLATFORM_DEVICE_EXT, devices[i],
                            "EGL device " + std::to_string(i) + (soft ? " (software)" : "")});
        }
    }
    if (offers(client, "EGL_MESA_platform_surfaceless"))
        gpus.push_back({EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, "Mesa's surfaceless platform"});
    gpus.insert(gpus.end(), software.begin(), software.end());
    return gpus;
}

enum class Outcome { made, noDisplay, noContext };

// Opens the candidate's display and makes a context current on it; what
// fails is undone and said in `why`.
Outcome attempt(const Candidate& c, EGLDisplay& display, EGLContext& context, std::string& why) {
    const Egl& e = egl();
    display = e.eglGetPlatformDisplayEXT(c.platform, c.native, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !e.eglInitialize(display, &major, &minor)) {
        why = c.name + " did not open (" + lastError() + ")";
        display = EGL_NO_DISPLAY;
        return Outcome::noDisplay;
    }
    // Any surface type: the context draws into framebuffers of its own.
    const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
    // Below 3.2 the profile is not asked for but implied: drivers then give
    // their newest version that keeps the compatibility profile.
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    const char* failed = nullptr;
    if (!e.eglBindAPI(EGL_OPENGL_API))
        failed = "offers no desktop OpenGL";
    else if (!e.eglChooseConfig(display, wanted, &config, 1, &configs) || configs < 1)
        failed = "has no configuration for desktop OpenGL";
    else if ((context = e.eglCreateContext(display, config, EGL_NO_CONTEXT, attributes)) == EGL_NO_CONTEXT)
        failed = "made no context";
    else if (!e.eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
        failed = "cannot make a context current without a surface";
    if (!failed) return Outcome::made;
    why = c.name + " " + failed + " (" + lastError() + ")";
    if (context != EGL_NO_CONTEXT) e.eglDestroyContext(display, context);
    e.eglTerminate(display);
    display = EGL_NO_DISPLAY;
    context = EGL_NO_CONTEXT;
    return Outcome::noContext;
}

} // namespace

bool EglContext::open(std::string& error) {
    if (!egl().missing.empty()) {
        error = "EGL is missing: " + egl().missing + "; " + installEgl;
        return false;
    }
    const std::vector<Candidate> list = candidates();
    if (list.empty()) {
        error = std::string("EGL offers no platform without a display: neither Mesa's surfaceless platform "
                            "(EGL_MESA_platform_surfaceless) nor a device (EGL_EXT_platform_device); ") +
                installDriver;
        return false;
    }
    std::string unopened, contextless;
    for (const Candidate& c : list) {
        std::string why;
        const Outcome outcome = attempt(c, display, context, why);
        if (outcome == Outcome::made) {
            where = c.name;
            return true;
        }
        std::string& reasons = outcome == Outcome::noDisplay ? unopened : contextless;
        reasons += (reasons.empty() ? "" : "; ") + why;
    }
    if (contextless.empty())
        error = "EGL opened no platform without a display: " + unopened + "; " + installDriver;
    else
        error = "EGL made no OpenGL context (3.0 or later, compatibility profile): " + contextless +
                "; install a driver with desktop OpenGL: libgl1-mesa-dri for Mesa's drivers, or the GPU "
                "vendor's";
    return false;
}

EglContext::~EglContext() {
    if (!display) return;
    const Egl& e = egl();
    e.eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    e.eglDestroyContext(display, context);
    e.eglTerminate(display);
    e.eglReleaseThread();
}

} // namespace capture
