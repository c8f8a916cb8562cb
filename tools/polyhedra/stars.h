#pragma once
#include "catalogue.h"

namespace poly {
SolidTable greatIcosidodecahedron();
SolidTable dodecadodecahedron();
SolidTable hexagonStellation();
} // namespace poly
