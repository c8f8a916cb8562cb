#pragma once
#include "part.h"

#include <glm/mat4x4.hpp>

#include <cstdint>
#include <vector>

namespace Tovik {

// A flat, append-only hierarchy of part instances. Instances refer to their
// Part and their parent by index, so the Part list may grow (and move its
// elements) and the hierarchy is walked in one linear pass.
class Model {
public:
    static constexpr std::uint64_t none = ~std::uint64_t(0);

    struct part_instance {
        glm::mat4 world;
        glm::mat4 local;
        std::uint64_t part;
        std::uint64_t parent;
        bool visible;
    };

    std::vector<part_instance> instances;
    std::vector<Texture::Binding> bindings;
    std::vector<Part>& parts;

    explicit Model(std::vector<Part>& partList) : parts(partList) {}

    // Appends an instance; its world matrix is complete at once (the parent's
    // stored world × transform), so a static hierarchy needs no update.
    std::uint64_t addPart(std::uint64_t partIndex, const glm::mat4& transform,
                          std::uint64_t parentIndex);
    Model& setTransform(std::uint64_t instance, const glm::mat4& transform);
    Model& setParent(std::uint64_t instance, std::uint64_t parent);
    Model& setPart(std::uint64_t instance, std::uint64_t part);
    // One pass in index order; parents precede children, so one pass suffices.
    Model& update();
    Model& draw(const glm::mat4& matrix);
    Model& drawDepth(const glm::mat4& matrix);
};

} // namespace Tovik
