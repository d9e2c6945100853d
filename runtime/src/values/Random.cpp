#include "frame/Runtime.h"

namespace TAVELOR {

// The generator arrives with the maths commands.
void SeedRandomFromClock(std::uint32_t) {}

}  // namespace TAVELOR
