#pragma once
#include "catalogue.h"

namespace poly {
SolidTable tsi2();
SolidTable tsi22();
SolidTable tsi28();
SolidTable sco6();
SolidTable mih();
} // namespace poly
