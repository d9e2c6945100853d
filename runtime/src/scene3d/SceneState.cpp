#include <tavelor/scene3d.h>

#include "values/Numbers.h"

namespace TAVELOR {

int __mipmapping_state = 0;

void X_MIPMAPPING(double flag) { __mipmapping_state = TruncToInt(flag); }

}  // namespace TAVELOR
