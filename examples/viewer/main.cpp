// 3D viewer. Shows a .ddd mesh lit by an ambient and a directional light; moving the mouse
// turns it, the wheel moves it nearer or farther. Without a file name on the command line it
// shows "torus.ddd", which it first makes with the object builder when it is missing.
//
//   viewer [FILE.ddd] [--turn YAW PITCH] [--frames N] [--shot FILE]
//
// --turn gives the starting angles in degrees; --frames N ends the program after N frames;
// --shot FILE saves the last frame first. Escape ends it.
#include <tavelor/tavelor.h>

#include <cstdio>

namespace __TAVELOR__ {
using namespace TAVELOR;

constexpr double kObject = 0;
constexpr double kBuilt = 1;

// A golden torus of 32 x 16 quads as 32 triangle strips, written to a .ddd file.
void MakeTorus(DGStr file) {
  constexpr int kRings = 32, kSides = 16;
  constexpr double kMajor = 1.5, kMinor = 0.6;
  X_AUTONORMALS(2);  // smooth normals across the seams
  X_OBJSTART(kBuilt);
  for (int i = 0; i < kRings; ++i) {
    if (i > 0) X_OBJNEWGROUP();
    for (int j = 0; j <= kSides; ++j) {
      for (int k = i + 1; k >= i; --k) {  // counter-clockwise seen from outside
        const double a = k * 360.0 / kRings, b = j * 360.0 / kSides;
        const double ring = kMajor + kMinor * COS(b);
        X_OBJADDVERTEX(ring * COS(a), kMinor * SIN(b), ring * SIN(a), double(k) / kRings,
                       double(j) / kSides, 0x2070A0);
      }
    }
  }
  X_OBJEND();
  X_SAVEOBJ(file, kBuilt);
}

void __MainGameSub_() {
  DGStrArray args;
  const double n = SPLITSTR(GETCOMMANDLINE_Str(), args, " ");
  DGStr file = "torus.ddd", shot = "";
  double frames = -1, yaw = 30, pitch = 60, distance = 6;
  for (int i = 0; i < n; ++i) {
    if (args(i) == "--frames" && i + 1 < n) frames = args(++i).Number();
    else if (args(i) == "--shot" && i + 1 < n) shot = args(++i);
    else if (args(i) == "--turn" && i + 2 < n) yaw = args(++i).Number(), pitch = args(++i).Number();
    else file = args(i);
  }

  if (!DOESFILEEXIST(file) && file == "torus.ddd") MakeTorus(file);
  X_LOADOBJ(file, kObject);

  LIMITFPS(60);
  for (int frame = 1;; ++frame) {
    yaw = yaw + MOUSEAXIS(0) * 0.5;
    pitch = pitch + MOUSEAXIS(1) * 0.5;
    distance = distance - MOUSEAXIS(2) * 0.5;
    if (distance < 2) distance = 2;

    X_MAKE3D(0.5, 100, 45);
    X_CAMERA(0, 0, -distance, 0, 0, 0);
    X_AMBIENT_LT(0, 0x202020);
    // A point light at the left, outside the view, so that its marker dot is not seen.
    X_SPOT_LT(1, 0xB0B0B0, -8, 3, -4, 0, 0, 0, 120);
    X_MOVEMENT(0, 0, 0);
    X_ROTATION(yaw, 0, 1, 0);
    X_ROTATION(pitch, 1, 0, 0);
    X_DRAWOBJ(kObject, 0);

    X_MAKE2D();
    PRINT(file + ": move the mouse to turn, wheel to zoom", 8, 8);
    if (frame == frames) {
      if (LEN(shot) > 0) SAVEBMP(shot);
      END();
    }
    SHOWSCREEN();
  }
}
}  // namespace __TAVELOR__

int main(int argc, char** argv) {
  TAVELOR::RunGame(argc, argv, {.caption = "Viewer"}, __TAVELOR__::__MainGameSub_);
}
