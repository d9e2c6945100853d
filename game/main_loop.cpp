// Hollerquast's main loop.
#include <tavelor/tavelor.h>

namespace __TAVELOR__ {

void __MainGameSub_() {
  using namespace TAVELOR;
  for (;;) SHOWSCREEN();
}

}  // namespace __TAVELOR__
