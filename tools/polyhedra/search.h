#pragma once
// Search over unions of cell orbits for those whose surface has exactly the
// wanted point radii, pruned point by point: once every cell round a point
// is decided, whether the point is a corner of the surface is known.
#include "stellation.h"

namespace poly {

struct SearchResult {
    std::vector<std::vector<int>> matches; // orbit sets with the wanted radii and faces
    long long visited = 0; // partial assignments looked at
    // Without an exact match: the orbit sets nearest the wanted radii, and
    // their distance (points too many, too few or at unwanted radii).
    std::vector<std::vector<int>> nearest;
    int nearestDistance = 1 << 30;
};

// Orbit sets whose surface corners have the wanted radii (within `slack`
// points of them) and whose faces have the wanted sizes.
SearchResult searchOrbitSets(const Arrangement& arr, const Census& want, std::size_t maxMatches, int slack = 0);

} // namespace poly
