#pragma once
#include "gl.h"

#include <type_traits>

namespace Tovik {

// One GL texture, owned. Made only by the RenderTarget operations below.
class Texture {
public:
    // A sampler uniform's location and the texture to bind for it. A draw that
    // consumes n bindings puts binding i on texture unit i.
    struct Binding {
        GLint location = -1;
        const Texture* texture = nullptr;
    };

    GLuint id = 0;
    GLenum target = GL_TEXTURE_2D;

    Texture() = default;
    ~Texture() {
        if (id != 0) glDeleteTextures(1, &id);
    }
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    Texture(Texture&& other) noexcept : id(other.id), target(other.target) { other.id = 0; }
    Texture& operator=(Texture&&) = delete;
};

// A drawing destination: a viewport rectangle and the framebuffer (0 is the
// window) with an optional depth renderbuffer. Owns both names when not 0.
class RenderTarget {
public:
    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
    GLuint framebuffer = 0;
    GLuint depthRenderbuffer = 0;

    RenderTarget() = default;
    RenderTarget(int x_, int y_, unsigned width_, unsigned height_)
        : x(x_), y(y_), width(width_), height(height_) {}
    ~RenderTarget() {
        if (depthRenderbuffer != 0) glDeleteRenderbuffers(1, &depthRenderbuffer);
        if (framebuffer != 0) glDeleteFramebuffers(1, &framebuffer);
    }
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;
    RenderTarget(RenderTarget&& o) noexcept
        : x(o.x), y(o.y), width(o.width), height(o.height), framebuffer(o.framebuffer),
          depthRenderbuffer(o.depthRenderbuffer) {
        o.framebuffer = 0;
        o.depthRenderbuffer = 0;
    }
    RenderTarget& operator=(RenderTarget&&) = delete;

    // Makes this target's framebuffer with a depth texture of the target's
    // size and no colour buffer. The white border makes every lookup outside
    // the map read depth 1.0, so whatever the light cannot see counts as lit.
    Texture createShadowBuffer() {
        Texture texture;
        glGenTextures(1, &texture.id);
        glBindTexture(GL_TEXTURE_2D, texture.id);
        glGenFramebuffers(1, &framebuffer);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GLsizei(width), GLsizei(height), 0,
                     GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
        const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, white);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, texture.id, 0);
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
        return texture;
    }

    // A half-float RGBA texture attached as colour attachment `attachment` of
    // the framebuffer bound to GL_FRAMEBUFFER (the caller binds it). The
    // default transparent-black border makes blur taps past the edge add
    // nothing, so bloom fades out towards the frame's edges.
    Texture createHdrBuffer(unsigned w, unsigned h, unsigned attachment) {
        Texture texture;
        glGenTextures(1, &texture.id);
        glBindTexture(GL_TEXTURE_2D, texture.id);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, GLsizei(w), GLsizei(h), 0, GL_RGBA, GL_FLOAT,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + attachment, GL_TEXTURE_2D,
                               texture.id, 0);
        return texture;
    }

    // Binds the framebuffer for drawing and sets the viewport to the rectangle.
    void bindForDrawing() const {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
        glViewport(x, y, GLsizei(width), GLsizei(height));
    }
};

static_assert(!std::is_copy_constructible_v<Texture> && std::is_nothrow_move_constructible_v<Texture>);
static_assert(!std::is_copy_constructible_v<RenderTarget> &&
              std::is_nothrow_move_constructible_v<RenderTarget>);

} // namespace Tovik
