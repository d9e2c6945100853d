// Process entry of Hollerquast: the project settings, start-up, then the game.
//
// Without options the game loads its media as loose files from its own directory. Options:
//   --archive FILE  load the media (the default font included) from the packed archive FILE
//                   wherever no loose file of the same name lies beside the game
//   --seed N        seed the random numbers with N instead of the clock (same ghost starts)
//   --frames N      end the game (exit code 0) after N frames
//   --shot FILE     with --frames: save the last frame as a BMP picture first
//   --version       print the runtime version and end
//   --frame-ms N    count every frame as N milliseconds of game time (1 to 60000), however
//                   long it took: a long flight in few frames, for checks
// Relative FILE names count from the directory the game is started in. A wrong command line
// prints a message and ends with exit code 2, an archive that cannot be read with exit code 1.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Hollerquast.h"

namespace {

struct Options {
  std::string archive;
  std::string shot;
  long frames = 0;  // 0: play until the player quits
  long frameMs = 0;  // 0: frames take their real time
  bool seeded = false;
  unsigned long seed = 0;
};

int g_framesLeft = 0;
std::string g_shot;

void EndAfterFrames(int stage) {
  if (stage != 2 || --g_framesLeft > 0) return;
  if (!g_shot.empty()) TAVELOR::SAVEBMP(g_shot.c_str());
  TAVELOR::__EndProgram();
}

bool ParseCount(const char* text, long max, long* out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > max) return false;
  *out = value;
  return true;
}

// The absolute form of a path given on the command line: start-up changes the working directory.
std::string Absolute(const char* path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  return ec ? std::string(path) : p.string();
}

// Reads the options into *o; false (with a message) for a wrong command line.
bool ParseOptions(int argc, char** argv, Options* o) {
  for (int k = 1; k < argc; ++k) {
    const std::string name = argv[k];
    if (name == "--version") {
      std::printf("hollerquast %s\n", TAVELOR_VERSION);
      std::exit(0);
    }
    if (name != "--archive" && name != "--seed" && name != "--frames" && name != "--shot" && name != "--frame-ms")
      continue;
    if (k + 1 >= argc || argv[k + 1][0] == '\0') {
      std::fprintf(stderr, "hollerquast: %s needs a value\n", name.c_str());
      return false;
    }
    const char* value = argv[++k];
    long number = 0;
    if (name == "--archive") {
      o->archive = Absolute(value);
    } else if (name == "--shot") {
      o->shot = Absolute(value);
    } else if (!ParseCount(value, name == "--seed" ? 0xFFFFFFFFL : name == "--frame-ms" ? 60000L : 1000000000L,
                           &number) ||
               (name != "--seed" && number == 0)) {
      std::fprintf(stderr, "hollerquast: %s wants a whole number, not \"%s\"\n", name.c_str(), value);
      return false;
    } else if (name == "--seed") {
      o->seeded = true;
      o->seed = static_cast<unsigned long>(number);
    } else if (name == "--frame-ms") {
      o->frameMs = number;
    } else {
      o->frames = number;
    }
  }
  if (!o->shot.empty() && o->frames == 0) {
    std::fprintf(stderr, "hollerquast: --shot needs --frames\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace TAVELOR;
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;
  std::error_code ec;
  if (!options.archive.empty() &&
      (!std::filesystem::is_regular_file(options.archive, ec) || !std::ifstream(options.archive, std::ios::binary))) {
    std::fprintf(stderr, "hollerquast: cannot read the archive \"%s\"\n", options.archive.c_str());
    return 1;
  }

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

  if (!options.archive.empty()) {
    SETSHOEBOX(options.archive.c_str(), options.archive.c_str());
    // Start-up looked for the default font before the archive was named.
    LOADFONT("smalfont.bmp", 0);
  }
  if (options.seeded) Zysrand(options.seed);
  __TAVELOR__::fixed_frame_ms = static_cast<double>(options.frameMs);
  if (options.frames > 0) {
    g_framesLeft = static_cast<int>(options.frames);
    g_shot = options.shot;
    __TAVELOR__::frame_stage_hook = EndAfterFrames;
  }

  __TAVELOR__::__MainGameSub_();
  __EndProgram();
}
