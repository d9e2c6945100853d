// Hollerquast: a witch flown by mouse over a night landscape, chased by ghosts. The game's
// globals and functions, in the namespace the compiled game uses. Vectors are 3-element
// arrays (0 = x, 1 = y, the height, 2 = z); every function returns a number.
#pragma once

#include <tavelor/tavelor.h>

namespace __TAVELOR__ {

using TAVELOR::DGIntArray;

// ---- State --------------------------------------------------------------------------------
extern double shot_time;  // 0: no shot; else milliseconds flown plus 50
extern double hag_mode;   // 0 flying; 1 up to 3 crashing (counts seconds)
extern double hag_roll;   // bank angle in degrees
extern double hag_magic;  // magic points shown on screen
extern double camdist;    // camera distance behind the witch
extern double i;          // counter of the start-up ghost loop
extern double dtime;      // milliseconds of this frame
extern double dtime2;     // control sensitivity
extern double acc;        // change of one speed component this frame
extern double z2;         // depth of the cloud slab being built

extern DGIntArray hag_pos, hag_dir, hag_spd;  // speed: 0 forward, 1 turn rate, 2 climb rate
extern DGIntArray cam_pos, shot_pos, shot_dir;
extern DGIntArray ghost_pos;  // 5 x 3
extern DGIntArray tmp, up;

// ---- Start-up and the main loop -------------------------------------------------------------
// Loads the media and sets the start state.
double SetUp();
// One frame: controls, movement, camera, shot, ghosts, collisions, drawing, SHOWSCREEN.
double GameFrame();
// The same frame with the mouse given: motion right and towards the player, wheel, button.
double PlayFrame(double dx, double dy, double wheel, double button);
// When set, called after the 3D world (stage 1) and after the 2D text (stage 2) of a frame.
extern void (*frame_stage_hook)(int stage);
// Above 0: every frame counts as this many milliseconds of game time, whatever it took (for
// checks that fly a long way in a few seconds). FrameTime gives the time of this frame.
extern double fixed_frame_ms;
double FrameTime();
// The steps of a frame, in their order. Controls reads the mouse motion (right, towards the
// player), the wheel (-1, 0, 1) and the left button; it runs only while flying.
double Controls(double dx, double dy, double wheel, double button);
double MoveWitch();
double PlaceCamera();
double MoveShot(double elapsed);
// Ghost touches, running out of magic, the ground, trees and the house; 1 when the crash sound
// was played, else 0.
double Collisions();
// Advances a crash and, when it is over, puts the witch back at height 15.
double CrashClock();

// ---- World and clouds -------------------------------------------------------------------------
double DrawWorld();
// The witch at her place and heading, as her flight or crash shows her.
double DrawWitch();
// Moves the object transform to tree k (0..100) of the forest: rows of ten trees 10 apart along
// z, the rows 15 apart along x, row t shifted t along z.
double PlaceTree(double k);
// Where the ground is drawn along one axis for a camera at x: the nearest whole period of its
// pattern.
double GroundStep(double x);
double MakeCloudObject(double id);
double Cloud(DGIntArray& pos);

// ---- Ghosts, shots and collisions ---------------------------------------------------------------
double MoveGhosts(double dt);
double ShootGhosts(DGIntArray& pos);
double GhostCollision(DGIntArray& pos);
double KillGhost(double k);
double WorldCollision(DGIntArray& pos, double radius);

// ---- Vector helpers -----------------------------------------------------------------------------
double vecSet(DGIntArray& v, double x, double y, double z);
double vecNull(DGIntArray& v);
double vecAdd(DGIntArray& a, DGIntArray& b);
double vecSub(DGIntArray& a, DGIntArray& b);
double vecScale(DGIntArray& v, double f);
double vecLength(DGIntArray& v);
double vecDot(DGIntArray& a, DGIntArray& b);
double vecCross(DGIntArray& a, DGIntArray& b);  // a = a x b
double vecUnify(DGIntArray& v);
double vecRotate(DGIntArray& v, DGIntArray& axis, double angle);
double vecAngleOf(DGIntArray& a, DGIntArray& b);
double Limit(double value, double m);

}  // namespace __TAVELOR__
