// The main loop: one pass per frame.
#include "Hollerquast.h"

namespace __TAVELOR__ {

using namespace TAVELOR;

void __MainGameSub_() {
  SetUp();
  for (;;) GameFrame();
}

void (*frame_stage_hook)(int stage) = nullptr;
double fixed_frame_ms = 0;

double FrameTime() { return fixed_frame_ms > 0 ? fixed_frame_ms : GETTIMER(); }

double GameFrame() {
  // The mouse is read only while she flies, button first, as the controls use it.
  double dx = 0, dy = 0, wheel = 0, button = 0;
  if (hag_mode == 0) {
    button = MOUSEAXIS(3);
    dy = MOUSEAXIS(1);
    dx = MOUSEAXIS(0);
    wheel = MOUSEAXIS(2);
  }
  return PlayFrame(dx, dy, wheel, button);
}

double PlayFrame(double dx, double dy, double wheel, double button) {
  dtime = FrameTime();
  FILLRECT(0, 0, 5000, 5000, 3083019);  // the night sky: red 11, green 11, blue 47
  X_MAKE3D(2, 1500, 45);
  if (hag_mode == 0) Controls(dx, dy, wheel, button);
  MoveWitch();
  PlaceCamera();
  MoveShot(FrameTime());
  MoveGhosts(FrameTime());
  vecSet(tmp, hag_pos(0), hag_pos(1) + 0.5, hag_pos(2));  // her body centre
  if (hag_mode == 0) Collisions();
  CrashClock();
  DrawWorld();
  if (frame_stage_hook) frame_stage_hook(1);
  X_MAKE2D();
  PRINT(DGStr("Magic:") + FORMAT_Str(3, 0, hag_magic), 0, 0);
  if (frame_stage_hook) frame_stage_hook(2);
  SHOWSCREEN();
  return 0;
}

double Controls(double dx, double dy, double wheel, double button) {
  // Fire along last frame's view, level, climbing with her.
  if (button != 0 && shot_time == 0) {
    shot_time = 50;
    shot_pos = hag_pos;
    shot_dir = hag_pos;
    vecSub(shot_dir, cam_pos);
    shot_dir(1) = 0;
    vecUnify(shot_dir);
    vecScale(shot_dir, 2);
    shot_dir(1) = hag_spd(2);
  }
  dtime2 = 20;
  // Mouse away from the player: faster; the speed stays where it was put.
  acc = -dy * dtime2 / 5000;
  hag_spd(0) = Limit(hag_spd(0) + acc, 1);
  if (hag_spd(0) < -0.3) hag_spd(0) = -0.3;
  // Left and right set the turn rate, which also banks her.
  acc = Limit(-dx * dtime2 / 250, 2);
  hag_spd(1) = Limit(hag_spd(1) + acc, 15);
  vecRotate(hag_dir, up, hag_spd(1) * dtime / 100);
  hag_roll = hag_spd(1) * 3;
  // The wheel climbs or sinks; the climb rate decays by a tenth each frame.
  acc = -wheel * dtime2 / 100;
  acc = Limit(acc - hag_spd(2) / 10, 2);
  hag_spd(2) = Limit(hag_spd(2) + acc, 1);
  return 0;
}

double MoveWitch() {
  tmp = hag_dir;
  vecScale(tmp, hag_spd(0) * dtime / 20);
  vecAdd(hag_pos, tmp);
  tmp = up;
  vecScale(tmp, hag_spd(2) * dtime / 20);
  vecAdd(hag_pos, tmp);
  return 0;
}

double PlaceCamera() {
  // 15 units behind her and 5 above, looking at her.
  tmp = hag_dir;
  vecScale(tmp, camdist);
  cam_pos = hag_pos;
  vecSub(cam_pos, tmp);
  cam_pos(1) = cam_pos(1) + 5;
  X_CAMERA(cam_pos(0), cam_pos(1), cam_pos(2), hag_pos(0), hag_pos(1), hag_pos(2));
  return 0;
}

double MoveShot(double elapsed) {
  if (shot_time > 0) {
    shot_time = shot_time + elapsed;
    if (shot_time > 1000) shot_time = 0;
    vecAdd(shot_pos, shot_dir);
    if (ShootGhosts(shot_pos) != 0) shot_time = 0;
  }
  return 0;
}

double Collisions() {
  if (GhostCollision(tmp) != 0) hag_magic = hag_magic - 5;
  if (hag_magic < 0) {
    hag_magic = 0;
    hag_mode = 1;
  }
  if (WorldCollision(tmp, 1.2) != 0) {
    hag_mode = 1;
    PLAYSOUND(0, 0, 1);
    return 1;
  }
  return 0;
}

double CrashClock() {
  if (hag_mode >= 1 && hag_mode < 3) hag_mode = hag_mode + dtime / 1000;
  // Any value from 3 up ends the crash, so a long last frame cannot leave her stuck.
  if (hag_mode >= 3) {
    vecSet(hag_spd, 0, 0, 0);
    hag_pos(1) = 15;
    hag_mode = 0;
    hag_magic = 100;
  }
  return 0;
}

}  // namespace __TAVELOR__
