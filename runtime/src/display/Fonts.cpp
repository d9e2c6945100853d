#include <tavelor/graphics2d.h>

namespace TAVELOR {

// Bitmap reading arrives with the 2D graphics commands; until then font slots stay empty,
// exactly as when the font file is missing.
void LOADFONT(DGStr, double) {}

}  // namespace TAVELOR
