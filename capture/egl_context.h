#pragma once
// A GL context with no window system at all, for machines without an X
// server: a render box, a container, a GPU node. Made through EGL, which is
// loaded at run time, so that capture starts (and renders through X) where
// EGL is not installed.

#include <string>

namespace capture {

class EglContext {
public:
    EglContext() = default;
    ~EglContext();
    EglContext(const EglContext&) = delete;
    EglContext& operator=(const EglContext&) = delete;

    // Makes a desktop OpenGL context current with no surface: version 3.0 or
    // later with the compatibility profile, whose matrix stack the frame
    // code's projection uses. Tries a GPU's device first, then Mesa's
    // surfaceless platform, then any other device (a software renderer). On
    // failure says in `error` what is missing and what to install.
    bool open(std::string& error);

    // Where the context was made, for the log ("Mesa's surfaceless platform").
    const std::string& origin() const { return where; }

private:
    void* display = nullptr; // EGLDisplay
    void* context = nullptr; // EGLContext
    std::string where;
};

} // namespace capture
