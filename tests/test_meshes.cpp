#include "assets.h"

#include <gtest/gtest.h>

namespace {
TEST(Ground, Counts) {
    const assets::GroundMesh mesh = assets::buildGroundMesh();
    EXPECT_EQ(mesh.vertices.size(), 12675u);
    EXPECT_EQ(mesh.indices.size(), 73728u);
}
} // namespace
