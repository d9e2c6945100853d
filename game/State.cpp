// The game's global state and its start-up: media, frame cap, arrays, witch and ghosts.
#include "Hollerquast.h"

namespace __TAVELOR__ {

using namespace TAVELOR;

double shot_time, hag_mode, hag_roll, hag_magic, camdist, i, dtime, dtime2, acc, z2;
DGIntArray hag_pos, hag_dir, hag_spd, cam_pos, shot_pos, shot_dir, ghost_pos, tmp, up;

double SetUp() {
  // Media, by id: objects, sprites and sounds are separate number spaces.
  X_LOADOBJ("hag.ddd", 0);
  X_LOADOBJ("house.ddd", 1);
  X_LOADOBJ("tree.ddd", 2);
  X_LOADOBJ("ground.ddd", 3);
  X_LOADOBJ("ghost.ddd", 10);
  LOADSPRITE("moon.bmp", 10);
  X_LOADOBJ("skybox.ddd", 100);
  LOADSPRITE("skybox.bmp", 100);
  MakeCloudObject(101);
  LOADSPRITE("cloud.bmp", 101);
  X_LOADOBJ("shoot.ddd", 102);
  LOADSOUND("salto.wav", 0, 1);

  LIMITFPS(75);

  DIM(hag_pos, 3);
  DIM(hag_dir, 3);
  DIM(hag_spd, 3);
  DIM(cam_pos, 3);
  DIM(shot_pos, 3);
  DIM(shot_dir, 3);
  shot_time = 0;
  DIM(ghost_pos, 5, 3);
  DIM(tmp, 3);
  DIM(up, 3);

  hag_mode = 0;
  hag_roll = 0;
  hag_magic = 100;

  vecSet(up, 0, 1, 0);
  vecSet(hag_pos, 5, 15, 5);
  vecSet(hag_dir, 1, 0, 0);
  camdist = 15;

  // The ghosts start below the ground somewhere in the world and rise as they chase her.
  for (i = 0; i <= BOUNDS(ghost_pos, 0) - 1; i = i + 1) {
    ghost_pos(i, 0) = RND(150);
    ghost_pos(i, 1) = -3 - RND(5);
    ghost_pos(i, 2) = RND(150);
  }
  return 0;
}

}  // namespace __TAVELOR__
