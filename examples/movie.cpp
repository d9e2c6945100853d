// A movie player: plays the file named on the command line in a 640 x 480 window until its
// end, a key or a mouse button, then prints PLAYMOVIE's result and how long it took.
#include <cstdio>

#include <tavelor/tavelor.h>

namespace {
const char* g_movie = nullptr;  // the file named on the command line

void PlayIt() {
  using namespace TAVELOR;
  const double start = GETTIMERALL();
  const double result = g_movie ? PLAYMOVIE(g_movie) : 3;
  std::printf("PLAYMOVIE %g after %.0f ms\n", result, GETTIMERALL() - start);
  std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_movie = argv[1];
  TAVELOR::RunGame(argc, argv, {.caption = "Movie"}, PlayIt);
}
