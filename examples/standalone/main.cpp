// The smallest complete game: a window that runs for half a second, then ends.
#include <tavelor/tavelor.h>

namespace __TAVELOR__ {
void __MainGameSub_() {
  using namespace TAVELOR;
  LIMITFPS(30);
  while (GETTIMERALL() < 500) SHOWSCREEN();
  END();
}
}  // namespace __TAVELOR__

int main(int argc, char** argv) {
  using namespace TAVELOR;
  __DG_RESX = 320;
  __DG_RESY = 240;
  __g_cmdline = JoinCommandLine(argc, argv);
  __GlobalInit(nullptr, nullptr, __g_cmdline.c_str(), 1, "My Game");
  __TAVELOR__::__MainGameSub_();
  __EndProgram();
}
