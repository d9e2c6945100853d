// The ghosts: chasing the witch, hit by the shot, touching her; and the witch against the
// ground, the trees and the house.
#include "Hollerquast.h"

namespace __TAVELOR__ {

using namespace TAVELOR;

double MoveGhosts(double dt) {
  // Straight at her, 5 units per second whatever the frame rate.
  DGIntArray d;
  DIM(d, 3);
  for (double k = 0; k <= BOUNDS(ghost_pos, 0) - 1; k = k + 1) {
    vecSet(d, ghost_pos(k, 0), ghost_pos(k, 1), ghost_pos(k, 2));
    vecSub(d, hag_pos);
    vecUnify(d);
    vecScale(d, dt / 200);
    for (int c = 0; c < 3; ++c) ghost_pos(k, c) = ghost_pos(k, c) - d(c);
  }
  return 0;
}

double ShootGhosts(DGIntArray& pos) {
  DGIntArray d;
  DIM(d, 3);
  for (double k = 0; k <= BOUNDS(ghost_pos, 0) - 1; k = k + 1) {
    vecSet(d, ghost_pos(k, 0), ghost_pos(k, 1), ghost_pos(k, 2));
    vecSub(d, pos);
    if (vecLength(d) < 1.2) {
      KillGhost(k);
      return 1;
    }
  }
  return 0;
}

double GhostCollision(DGIntArray& pos) {
  DGIntArray d;
  DIM(d, 3);
  for (double k = 0; k <= BOUNDS(ghost_pos, 0) - 1; k = k + 1) {
    vecSet(d, ghost_pos(k, 0), ghost_pos(k, 1), ghost_pos(k, 2));
    vecSub(d, pos);
    if (vecLength(d) < 2.4) {
      KillGhost(k);
      return 1;
    }
  }
  return 0;
}

double KillGhost(double k) {
  // Back to a random place below the ground.
  ghost_pos(k, 0) = RND(150);
  ghost_pos(k, 1) = -3;
  ghost_pos(k, 2) = RND(150);
  return 0;
}

double WorldCollision(DGIntArray& pos, double radius) {
  if (hag_pos(1) < 0) return 1;  // the ground: her own height, not pos
  for (double k = 0; k <= 100; k = k + 1) {
    PlaceTree(k);
    if (X_COLLISION(2, 0, radius, pos(0), pos(1), pos(2)) != 0) return 1;
  }
  X_MOVEMENT(-3.5, 0, 2.5);
  if (X_COLLISION(1, 0, radius, pos(0), pos(1), pos(2)) != 0) return 1;
  return 0;
}

}  // namespace __TAVELOR__
