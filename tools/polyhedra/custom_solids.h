#pragma once
// The five solids the plain cell-union builder cannot make (see custom_solids.cpp).
#include "catalogue.h"

namespace poly {
SolidTable tsi2();
SolidTable tsi22();
SolidTable tsi28();
SolidTable sco6();
SolidTable mih();

// Searches the chiral icosahedron stellations for the three TSI solids and
// reports the orbit sets chosen.
std::string searchTsi(int only = -1);
} // namespace poly
