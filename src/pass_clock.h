#pragma once

namespace demo {

// Told where each pass of a frame begins, for tools that time them. The
// demo passes none.
class PassClock {
public:
    enum Pass {
        shadow, sky, scene, blur1, blur2, blur3, blur4, blur5, blur6, composite,
        end, // after the composite: the frame's last mark
        marks
    };
    virtual ~PassClock() = default;
    virtual void mark(Pass pass) = 0;
};

} // namespace demo
