#include "model.h"

namespace Tovik {

std::uint64_t Model::addPart(std::uint64_t partIndex, const glm::mat4& transform,
                             std::uint64_t parentIndex) {
    const glm::mat4 world =
        parentIndex == none ? transform : instances[parentIndex].world * transform;
    instances.push_back({world, transform, partIndex, parentIndex, true});
    return instances.size() - 1;
}

Model& Model::setTransform(std::uint64_t instance, const glm::mat4& transform) {
    instances[instance].local = transform;
    return *this;
}

Model& Model::setParent(std::uint64_t instance, std::uint64_t parent) {
    instances[instance].parent = parent;
    return *this;
}

Model& Model::setPart(std::uint64_t instance, std::uint64_t part) {
    instances[instance].part = part;
    return *this;
}

Model& Model::update() {
    for (part_instance& instance : instances) {
        instance.world = instance.parent == none ? instance.local
                                                 : instances[instance.parent].world * instance.local;
    }
    return *this;
}

Model& Model::draw(const glm::mat4& matrix) {
    const Texture::Binding* cursor = bindings.empty() ? nullptr : bindings.data();
    for (const part_instance& instance : instances) {
        if (instance.part >= parts.size()) continue;
        const Part& part = parts[instance.part];
        if (instance.visible) part.drawImpl(matrix * instance.world, cursor);
        // The cursor moves past this Part's bindings even when it is hidden.
        if (cursor != nullptr) cursor += part.textureCount;
    }
    return *this;
}

Model& Model::drawDepth(const glm::mat4& matrix) {
    for (const part_instance& instance : instances) {
        if (instance.part >= parts.size() || !instance.visible) continue;
        parts[instance.part].drawDepthImpl(matrix * instance.world);
    }
    return *this;
}

} // namespace Tovik
