#pragma once
#include "catalogue.h"
#include "surface.h"

namespace poly {
SolidTable srtc3();
SolidTable srtc31();
SolidTable srtc15();
SolidTable srtc35();
SolidTable tsd12();
SolidTable sco2();
std::vector<Plane> cuboctahedron();

// The convex hull of pts within their common plane, oriented like `like`.
std::vector<int> convexHullInPlane(const Surface& s, const std::vector<int>& pts, const std::vector<int>& like);
} // namespace poly
