// Drawing the world: sky box, moon, ground, trees, house, ghosts, the witch, the shot trail and
// the clouds; and the cloud mesh.
#include <cmath>

#include "Hollerquast.h"

namespace __TAVELOR__ {

using namespace TAVELOR;

double DrawWorld() {
  DGIntArray a, b;
  DIM(a, 3);
  DIM(b, 3);

  // Sky box and moon around the camera, then the depth cleared so they hide nothing.
  X_MOVEMENT(cam_pos(0), 0, cam_pos(2));
  X_SCALING(900, 900, 900);
  X_SETTEXTURE(100, -1);
  X_DRAWOBJ(100, 0);
  X_SCALING(1, 1, 1);
  X_SETTEXTURE(-1, -1);
  X_CLEAR_Z();
  X_SPRITE(10, cam_pos(0) + 300, 15, cam_pos(2), 1);
  X_CLEAR_Z();

  // The ground, unshaded (its colours carry the moonlight), kept under the camera in whole
  // periods of its pattern: it reaches the horizon wherever she flies, and the pattern stays
  // where it lies on the land.
  X_CULLMODE(1);
  X_SCALING(10, 10, 10);
  X_MOVEMENT(GroundStep(cam_pos(0)), 0, GroundStep(cam_pos(2)));
  X_SETTEXTURE(-1, -1);
  X_DRAWOBJ(3, 0);
  X_SCALING(1, 1, 1);

  // Cel shading for the rest of the world, lit from far away.
  X_SPOT_LT(-2, 0, -1000, 100, -1000, 1, 0.1, 1, 180);
  X_CULLMODE(1);

  for (double k = 0; k <= 100; k = k + 1) {
    PlaceTree(k);
    X_DRAWOBJ(2, 0);
  }

  X_MOVEMENT(-3.5, 0, 2.5);
  X_DRAWOBJ(1, 0);

  // Ghosts turn between +90 and -90 degrees every 200 ms, all together.
  const double flip = 1 - 2 * MOD(static_cast<int>(GETTIMERALL() / 200), 2);
  for (double k = 0; k <= BOUNDS(ghost_pos, 0) - 1; k = k + 1) {
    X_MOVEMENT(ghost_pos(k, 0), ghost_pos(k, 1), ghost_pos(k, 2));
    X_ROTATION(flip * 90, 0, 1, 0);
    X_DRAWOBJ(10, 0);
  }
  X_SCALING(1, 1, 1);

  DrawWitch();

  // The shot's trail: ten copies, the front one brightest.
  if (shot_time != 0) {
    a = shot_pos;
    b = shot_dir;
    vecUnify(b);
    vecScale(b, 0.15);
    X_SETTEXTURE(-1, -1);
    for (double j = 1; j <= 10; j = j + 1) {
      ALPHAMODE(j / 10);
      X_MOVEMENT(a(0), a(1), a(2));
      X_DRAWOBJ(102, 0);
      vecAdd(a, b);
    }
  }

  // Clouds unshaded.
  X_SPOT_LT(-2, 0, 0, 0, 0, 0, 0, 0, 0);
  X_CULLMODE(1);
  vecSet(a, 10, 25, 20);
  Cloud(a);
  vecSet(a, 120, 37, 10);
  Cloud(a);
  vecSet(a, 7, 33, 135);
  Cloud(a);
  return 0;
}

double DrawWitch() {
  // Pitched by her speed while flying, somersaulting, then growing and fading.
  X_MOVEMENT(hag_pos(0), hag_pos(1), hag_pos(2));
  if (hag_mode == 0) {
    X_ROTATION(hag_spd(0) * 25 - 25, -1, 0, 0);
  } else if (hag_mode >= 1 && hag_mode <= 2) {
    X_ROTATION(hag_mode * 3 * 360, -1, 0, 0);
  } else if (hag_mode > 2 && hag_mode <= 3) {
    const double size = hag_mode - 1;
    X_SCALING(size, size, size);
    X_ROTATION(3 * hag_mode * 360, -1, 0, 0);
    ALPHAMODE(2 - size + 0.000001);
  }
  X_ROTATION(hag_roll, 0, 0, 1);
  X_ROTATION(ATAN(hag_dir(0), hag_dir(2)) + 180 + hag_roll, 0, 1, 0);
  X_DRAWOBJ(0, 0);
  return 0;
}

double PlaceTree(double k) {
  const double t = static_cast<int>(k / 10), m = MOD(k, 10);
  X_MOVEMENT(15 * t, 7, 10 * m + t);
  return 0;
}

double GroundStep(double x) {
  constexpr double kPeriod = 320;  // the ground pattern's period in world units
  return kPeriod * std::floor(x / kPeriod + 0.5);
}

double MakeCloudObject(double id) {
  // 13 upright slabs stacked along z, each showing one cell of the 3 x 3 cloud picture. Of
  // each slab only the part under the cell's wisps is built: the picture is transparent
  // outside the middle 0.12..0.88 across and 0.25..0.75 up of every cell (tools/media), and
  // transparent texels cost the renderer as much as the others.
  constexpr double kU0 = 0.12, kU1 = 0.88, kV0 = 0.25, kV1 = 0.75;
  X_AUTONORMALS(0);
  X_OBJSTART(id);
  for (double k = 0; k <= 12; k = k + 1) {
    const double f = k / 12, s = SIN(f * 180);
    const double w = (3 * s + 0.7) * 10, h = (2 * s + 0.7) * 5;
    z2 = (0.5 - f) * 12 * 2.9166666666666665;
    const double u = MOD(k, 3) / 3, v = MOD(static_cast<int>(k / 3), 3) / 3;
    // The point at fractions (a, b) of the whole slab and of its picture cell.
    auto corner = [&](double a, double b) {
      X_OBJADDVERTEX(w * (2 * a - 1), h * (2 * b - 1), z2, u + 0.333 * a, v + 0.333 * b, 16777215);
    };
    corner(kU1, kV0);
    corner(kU1, kV1);
    corner(kU0, kV0);
    corner(kU0, kV1);
    X_OBJNEWGROUP();
  }
  X_OBJEND();
  return 0;
}

double Cloud(DGIntArray& pos) {
  // Turned with the view, and pitched towards the camera.
  DGIntArray d;
  DIM(d, 3);
  d = hag_pos;
  vecSub(d, cam_pos);
  const double yaw = ATAN(d(0), d(2));
  d = pos;
  vecSub(d, cam_pos);
  const double pitch = ASIN(d(1) / vecLength(d));
  X_MOVEMENT(pos(0), pos(1), pos(2));
  X_ROTATION(pitch, -1, 0, 0);
  X_ROTATION(yaw, 0, 1, 0);
  ALPHAMODE(-0.65);
  X_SETTEXTURE(101, -1);
  X_DRAWOBJ(101, 0);
  ALPHAMODE(0);
  return 0;
}

}  // namespace __TAVELOR__
