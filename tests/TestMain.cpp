// Entry point of every test program: a headless, private environment, then GoogleTest.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

extern "C" {
// Leaks inside the system's graphics, sound and windowing libraries are not ours.
const char* __lsan_default_suppressions() {
  return "leak:libGLX\nleak:libGL.so\nleak:libEGL\nleak:libgallium\nleak:swrast_dri\nleak:libLLVM\n"
         "leak:libSDL2\nleak:libX11\nleak:libxcb\nleak:libdbus\nleak:libasound\nleak:libpulse\n"
         "leak:libfontconfig\n";
}
}

int main(int argc, char** argv) {
  // Rendering through SDL's offscreen driver needs no X server; sound goes nowhere. A
  // message box then fails at once instead of waiting for a click.
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  // Each program gets its own temporary directory, so error logs never mix.
  std::filesystem::create_directories(TAVELOR_TEST_TMPDIR);
  setenv("TMPDIR", TAVELOR_TEST_TMPDIR, 0);
  testing::InitGoogleTest(&argc, argv);
  // A runtime error ends the program at once with code 0. Inside a test that would pass the
  // whole program silently, so it fails instead; a death test's child is judged by its exit.
  std::atexit([] {
    if (testing::UnitTest::GetInstance()->current_test_info() && !testing::internal::InDeathTestChild())
      std::_Exit(1);
  });
  return RUN_ALL_TESTS();
}
