// A movie player: plays the file named on the command line in a 640 x 480 window until its
// end, a key or a mouse button, then prints PLAYMOVIE's result and how long it took.
#include <cstdio>

#include <tavelor/tavelor.h>

int main(int argc, char** argv) {
  using namespace TAVELOR;
  __g_cmdline = JoinCommandLine(argc, argv);
  __GlobalInit(nullptr, nullptr, __g_cmdline.c_str(), 1, "Movie");
  const double start = GETTIMERALL();
  const double result = argc > 1 ? PLAYMOVIE(argv[1]) : 3;
  std::printf("PLAYMOVIE %g after %.0f ms\n", result, GETTIMERALL() - start);
  std::fflush(stdout);
  END();
}
