#include "model.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

namespace {
// The Model only touches GL when it draws; these tests never draw a Part, so
// they run without a context (the Part list stays empty).
using Tovik::Model;

glm::mat4 T(float x, float y, float z) { return glm::translate(glm::mat4(1.0f), {x, y, z}); }

TEST(Model, AddPartReturnsIndicesAndComputesWorldAtOnce) {
    std::vector<Tovik::Part> parts;
    Model model(parts);
    EXPECT_EQ(model.addPart(Model::none, T(1, 0, 0), Model::none), 0u);
    EXPECT_EQ(model.addPart(Model::none, T(0, 2, 0), 0), 1u);
    EXPECT_EQ(model.addPart(5, T(0, 0, 3), 1), 2u);
    // A static hierarchy is complete without update().
    EXPECT_EQ(model.instances[2].world, T(1, 2, 3));
    EXPECT_EQ(model.instances[2].local, T(0, 0, 3));
    EXPECT_EQ(model.instances[2].part, 5u);
    EXPECT_EQ(model.instances[2].parent, 1u);
    EXPECT_TRUE(model.instances[2].visible);
    EXPECT_EQ(Model::none, std::uint64_t(-1));
}

TEST(Model, ChildrenFollowParentsOnlyAtUpdateAndOnePassSuffices) {
    std::vector<Tovik::Part> parts;
    Model model(parts);
    model.addPart(Model::none, glm::mat4(1.0f), Model::none);
    for (int i = 1; i < 6; ++i) model.addPart(Model::none, T(1, 0, 0), std::uint64_t(i - 1));
    model.setTransform(0, T(0, 10, 0));
    EXPECT_EQ(model.instances[5].world, T(5, 0, 0)) << "world changed before update";
    model.update();
    EXPECT_EQ(model.instances[0].world, T(0, 10, 0));
    EXPECT_EQ(model.instances[5].world, T(5, 10, 0));
}

TEST(Model, ALaterParentLagsOneUpdate) {
    std::vector<Tovik::Part> parts;
    Model model(parts);
    model.addPart(Model::none, T(0, 0, 1), Model::none);                  // 0: child
    model.addPart(Model::none, T(7, 0, 0), Model::none);                  // 1: later parent
    model.setParent(0, 1);
    model.update();
    // Instance 0 saw instance 1's world as it stood before this pass.
    EXPECT_EQ(model.instances[0].world, T(7, 0, 1));
    model.setTransform(1, T(9, 0, 0));
    model.update();
    EXPECT_EQ(model.instances[0].world, T(7, 0, 1));
    model.update();
    EXPECT_EQ(model.instances[0].world, T(9, 0, 1));
}

TEST(Model, EmptyModelAndOutOfRangePartsDrawNothing) {
    std::vector<Tovik::Part> parts;
    Model model(parts);
    model.update().draw(glm::mat4(1.0f)).drawDepth(glm::mat4(1.0f));
    EXPECT_TRUE(model.instances.empty());
    // With no Parts, every instance's index is out of range: drawing makes no
    // GL call, which is why this runs without a context.
    model.addPart(0, glm::mat4(1.0f), Model::none);
    model.addPart(Model::none, glm::mat4(1.0f), Model::none);
    model.setPart(1, 3);
    model.draw(glm::mat4(1.0f)).drawDepth(glm::mat4(1.0f));
    EXPECT_EQ(model.instances[1].part, 3u);
}

} // namespace
