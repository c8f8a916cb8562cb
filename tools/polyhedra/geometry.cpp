#include "geometry.h"

namespace poly {
namespace {

Mat multiply(const Mat& a, const Mat& b) {
    Mat r;
    const Vec c0{b[0].x, b[1].x, b[2].x}, c1{b[0].y, b[1].y, b[2].y}, c2{b[0].z, b[1].z, b[2].z};
    for (int i = 0; i < 3; ++i) r[i] = {dot(a[i], c0), dot(a[i], c1), dot(a[i], c2)};
    return r;
}

bool same(const Mat& a, const Mat& b) {
    return near(a[0], b[0]) && near(a[1], b[1]) && near(a[2], b[2]);
}

// Rodrigues' rotation by angle a about the unit axis k.
Mat rotation(const Vec& k, real a) {
    const real c = std::cos(a), s = std::sin(a), t = 1 - c;
    return {Vec{t * k.x * k.x + c, t * k.x * k.y - s * k.z, t * k.x * k.z + s * k.y},
            Vec{t * k.x * k.y + s * k.z, t * k.y * k.y + c, t * k.y * k.z - s * k.x},
            Vec{t * k.x * k.z - s * k.y, t * k.y * k.z + s * k.x, t * k.z * k.z + c}};
}

std::vector<Mat> closure(const std::vector<Mat>& generators) {
    std::vector<Mat> elements{Mat{Vec{1, 0, 0}, Vec{0, 1, 0}, Vec{0, 0, 1}}};
    for (std::size_t i = 0; i < elements.size(); ++i) {
        for (const Mat& g : generators) {
            const Mat m = multiply(g, elements[i]);
            bool known = false;
            for (const Mat& e : elements) known = known || same(e, m);
            if (!known) elements.push_back(m);
        }
    }
    return elements;
}

} // namespace

std::vector<Mat> groupElements(Group group) {
    const Mat cycle{Vec{0, 1, 0}, Vec{0, 0, 1}, Vec{1, 0, 0}};
    const Mat flipX{Vec{-1, 0, 0}, Vec{0, 1, 0}, Vec{0, 0, 1}};
    const Mat halfTurnZ{Vec{-1, 0, 0}, Vec{0, -1, 0}, Vec{0, 0, 1}};
    const Mat swapXY{Vec{0, 1, 0}, Vec{1, 0, 0}, Vec{0, 0, 1}};
    const Mat fiveFold = rotation(unit(Vec{0, 1, phi}), 2 * M_PIl / 5); // about an icosahedron vertex
    switch (group) {
    case Group::Icosahedral: return closure({cycle, flipX, fiveFold});
    case Group::IcosahedralRotations: return closure({cycle, halfTurnZ, fiveFold});
    case Group::Pyritohedral: return closure({cycle, flipX});
    case Group::TetrahedralRotations: return closure({cycle, halfTurnZ});
    case Group::Octahedral: return closure({cycle, flipX, swapXY});
    }
    return {};
}

std::vector<Vec> orbit(const std::vector<Mat>& group, const Vec& v) {
    std::vector<Vec> out;
    for (const Mat& g : group) {
        const Vec w = unit(transform(g, v));
        bool known = false;
        for (const Vec& o : out) known = known || near(o, w);
        if (!known) out.push_back(w);
    }
    return out;
}

} // namespace poly
