// Process entry of Hollerquast: the project settings, start-up, then the game.
#include <tavelor/tavelor.h>

int main(int argc, char** argv) {
  using namespace TAVELOR;
  __DG_RESX = 640;
  __DG_RESY = 480;
  __g_cmdline = JoinCommandLine(argc, argv);
  __DG_FULLSCREEN = 0;
  __DG_FRAMERATE = 60;
  __DG_DEBUG = 0;
  __DG_WANTMOUSE = 1;
  __g_cmdline.Alloc(513);
  __GlobalInit(nullptr, nullptr, __g_cmdline.c_str(), 1, "Hollerquast");
  __g_errorline = 0;
  __g_error = 0;
  __g_debugline = 0;
  __TAVELOR__::__MainGameSub_();
  __EndProgram();
}
