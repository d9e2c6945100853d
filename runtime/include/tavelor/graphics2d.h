// 2D graphics: bitmaps, sprites, fonts, primitives, capture and transitions.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Loads a bitmap font into font slot n (0 to 15).
void LOADFONT(DGStr file, double n);

}  // namespace TAVELOR
