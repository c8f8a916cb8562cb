#include "gl_context.h"
#include "part.h"

namespace {
class CoreGl : public testgl::GlTest {};

TEST_F(CoreGl, ContextIsCompatibilityFourFive) {
    GLint major = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    EXPECT_GE(major, 3);
}
} // namespace
