// Hollerquast's logic through its own functions: start state, flight model, shot, ghosts,
// collisions, crash and the vector helpers. Collisions with trees and the house use the
// generated meshes and the runtime's collision test, so the runtime's window is opened once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#define GLM_FORCE_RADIANS
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "Hollerquast.h"

namespace {

using namespace __TAVELOR__;
using TAVELOR::DGIntArray;

DGIntArray Vec(double x, double y, double z) {
  DGIntArray v;
  TAVELOR::DIM(v, 3);
  vecSet(v, x, y, z);
  return v;
}

void ExpectVec(DGIntArray& v, double x, double y, double z, double eps = 1e-9) {
  EXPECT_NEAR(v(0), x, eps);
  EXPECT_NEAR(v(1), y, eps);
  EXPECT_NEAR(v(2), z, eps);
}

void PlaceGhost(int k, double x, double y, double z) {
  ghost_pos(k, 0) = x;
  ghost_pos(k, 1) = y;
  ghost_pos(k, 2) = z;
}

// Every ghost far away from everything, so only the ones a test places count.
void GhostsAway() {
  for (int k = 0; k < 5; ++k) PlaceGhost(k, 1000 + 100 * k, -500, 1000);
}

class Game : public testing::Test {
 protected:
  void SetUp() override {
    static bool started = false;
    if (!started) {
      started = true;
      TAVELOR::__DG_RESX = 640;
      TAVELOR::__DG_RESY = 480;
      char cmdline[4] = {0};
      TAVELOR::__GlobalInit(nullptr, nullptr, cmdline, 1, "Hollerquast");
      ASSERT_EQ(chdir(TAVELOR_BINARY_DIR "/game"), 0);  // the game reads its media from there
    }
    __TAVELOR__::SetUp();
    dtime = 16;
  }
};

TEST_F(Game, StartStateAndFlightLimits) {
  ExpectVec(hag_pos, 5, 15, 5);
  EXPECT_EQ(hag_magic, 100);
  ASSERT_EQ(TAVELOR::BOUNDS(ghost_pos, 0), 5);
  for (int i = 0; i < 15; ++i) {  // whole numbers, below the ground and inside the forest
    const double v = ghost_pos(i / 3, i % 3);
    EXPECT_TRUE(v == std::floor(v) && v >= (i % 3 == 1 ? -8 : 0) && v <= (i % 3 == 1 ? -3 : 150)) << i << ": " << v;
  }
  DGIntArray centre = Vec(5, 15.5, 5);  // she starts clear of the trees and the house
  PlaceCamera();
  EXPECT_EQ(WorldCollision(centre, 1.2), 0);

  // Mouse (x, y, wheel) each frame, then speed, turn rate, climb rate and roll after it: the
  // turn rate grows by at most 2 a frame up to 15, banking her by 3 degrees per unit; the wheel
  // climbs at -1, the climb rate then decays by a tenth a frame; +1 sinks.
  const std::vector<std::vector<double>> frames = {
      {0, 1e6, 0, -0.3, 0, 0, 0},  {0, -1e6, 0, 1, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0},   {-1e6, 0, 0, 1, 2, 0, 6},
      {-1e6, 0, 0, 1, 4, 0, 12},   {0, 0, -1, 1, 4, 0.2, 12}, {0, 0, 0, 1, 4, 0.18, 12}};
  for (const auto& f : frames) {
    Controls(f[0], f[1], f[2], 0);
    EXPECT_DOUBLE_EQ(hag_spd(0), f[3]);
    EXPECT_DOUBLE_EQ(hag_spd(1), f[4]);
    EXPECT_DOUBLE_EQ(hag_spd(2), f[5]);
    EXPECT_DOUBLE_EQ(hag_roll, f[6]);
  }
  for (int k = 0; k < 10; ++k) Controls(-1e6, 0, 1, 0);
  EXPECT_DOUBLE_EQ(hag_spd(1), 15);
  EXPECT_DOUBLE_EQ(hag_roll, 45);
  EXPECT_NEAR(hag_dir(1), 0, 1e-12);
  EXPECT_NEAR(vecLength(hag_dir), 1, 1e-9);
  for (int k = 0; k < 10; ++k) Controls(0, 0, 1, 0);
  EXPECT_DOUBLE_EQ(hag_spd(2), -1);
}

TEST_F(Game, ShotGhostsAndStrictDistances) {
  GhostsAway();
  PlaceCamera();  // 15 behind her: the view runs along +x
  hag_spd(2) = 0.25;
  Controls(0, 0, 0, 1);
  EXPECT_EQ(shot_time, 50);
  ExpectVec(shot_pos, 5, 15, 5);
  ExpectVec(shot_dir, 2, 0.25, 0);
  vecSet(hag_dir, 0, 0, 1);
  PlaceCamera();
  MoveShot(16);
  Controls(0, 0, 0, 1);  // a second click is ignored while a shot flies
  EXPECT_EQ(shot_time, 66);
  ExpectVec(shot_dir, 2, 0.25, 0);
  MoveShot(1000);  // flown out
  EXPECT_EQ(shot_time, 0);
  Controls(0, 0, 0, 1);
  EXPECT_EQ(shot_time, 50);
  EXPECT_NEAR(shot_dir(2), 2, 1e-9);

  // Two ghosts close to the shot: only the lower index is hit and sent below the ground.
  GhostsAway();
  DGIntArray at = Vec(0, 10, 0);
  for (int k : {1, 3}) PlaceGhost(k, 0.2 * k, 10, 0);
  EXPECT_EQ(ShootGhosts(at), 1);
  EXPECT_EQ(ghost_pos(1, 1) * 100 + ghost_pos(3, 1), -300 + 10);
  GhostsAway();
  PlaceGhost(2, 1.2, 10, 0);
  EXPECT_EQ(ShootGhosts(at), 0);  // exactly 1.2 away
  ghost_pos(2, 0) = 2.4;
  EXPECT_EQ(GhostCollision(at), 0);  // exactly 2.4 away
  ghost_pos(2, 0) = 2.39;
  EXPECT_EQ(GhostCollision(at), 1);
  EXPECT_EQ(ghost_pos(2, 1), -3);

  // Ghosts fly five units a second whatever the frame rate.
  for (double frame : {10.0, 40.0, 250.0}) {
    GhostsAway();
    vecSet(hag_pos, 0, 10, 0);
    PlaceGhost(0, 100, 10, 0);
    for (double t = 0; t < 1000; t += frame) MoveGhosts(frame);
    EXPECT_NEAR(ghost_pos(0, 0), 95, 1e-9) << frame;
  }
}

TEST_F(Game, GroundTreesHouseAndTheTwentyFirstTouch) {
  PlaceCamera();
  DGIntArray centre = Vec(300, -0.1, 300);
  vecSet(hag_pos, 300, -0.1, 300);  // the ground test reads her own height
  EXPECT_EQ(WorldCollision(centre, 1.2), 1);
  vecSet(hag_pos, 300, 0, 300);
  EXPECT_EQ(WorldCollision(centre, 1.2), 0);
  vecSet(hag_pos, 0, 5, 0);
  // Centres at trees 0, 37, 99 and 100 of the forest (their trunks, beside their tops) and at
  // the house's door wall and above its roof, with whether they collide.
  const double probes[][4] = {{0, 2, 0, 1},     {5, 12, 0, 0},    {45, 2, 73, 1}, {50, 12, 73, 0},
                              {135, 2, 99, 1},  {140, 12, 99, 0}, {150, 2, 10, 1}, {155, 12, 10, 0},
                              {0, 2, 2.5, 1},   {-3.5, 10, 2.5, 0}};
  for (const auto& p : probes) {
    vecSet(centre, p[0], p[1], p[2]);
    EXPECT_EQ(WorldCollision(centre, 1.2), p[3]) << p[0] << "," << p[1] << "," << p[2];
  }

  vecSet(hag_pos, 60, 30, 60);  // high above the forest
  PlaceCamera();
  vecSet(tmp, 60, 30.5, 60);
  for (int touch = 1; touch <= 21; ++touch) {
    GhostsAway();
    PlaceGhost(0, 60, 31, 60);
    EXPECT_EQ(Collisions(), 0) << touch;  // never the crash sound
    EXPECT_EQ(hag_mode, touch < 21 ? 0 : 1) << touch;
    EXPECT_EQ(hag_magic, touch < 21 ? 100 - 5 * touch : 0) << touch;
  }
}

TEST_F(Game, CrashEndsAtHeight15WithTheHeadingKept) {
  vecSet(hag_dir, 0.6, 0, 0.8);
  vecSet(hag_spd, 0.5, 4, 0.3);
  hag_magic = 35;
  hag_mode = 1;
  dtime = 125;
  int frames = 0;
  for (; hag_mode != 0 && frames < 100; ++frames) {
    MoveWitch();
    CrashClock();
  }
  EXPECT_EQ(frames, 16);  // two seconds
  ExpectVec(hag_pos, 5 + 16 * 0.6 * 0.5 * 125 / 20, 15, 5 + 16 * 0.8 * 0.5 * 125 / 20);  // drifted on
  ExpectVec(hag_dir, 0.6, 0, 0.8);
  ExpectVec(hag_spd, 0, 0, 0);
  EXPECT_EQ(hag_magic, 100);
  hag_mode = 2.9;  // a long last frame that carries the clock past 4 still ends the crash
  dtime = 1500;
  CrashClock();
  EXPECT_EQ(hag_mode, 0);
}

TEST_F(Game, VectorHelpersAgreeWithTheTextbook) {
  // Rotation against GLM's: positive angles turn counter-clockwise seen from the axis' tip.
  const double cases[][7] = {{1, 0, 0, 0, 1, 0, 90}, {0.3, -2, 5, 1, 1, 0, 33}, {4, 1, -1, -2, 0.5, 3, -170},
                             {1, 2, 3, 0, 0, 7, 400}};
  for (const auto& c : cases) {
    DGIntArray v = Vec(c[0], c[1], c[2]), axis = Vec(c[3], c[4], c[5]), b = Vec(c[3], c[4], c[5]);
    vecRotate(v, axis, c[6]);
    const glm::dvec4 r = glm::rotate(glm::dmat4(1), glm::radians(c[6]), glm::dvec3(c[3], c[4], c[5])) *
                         glm::dvec4(c[0], c[1], c[2], 1);
    ExpectVec(v, r.x, r.y, r.z, 1e-6);
    ExpectVec(axis, c[3], c[4], c[5]);  // the caller's axis is left alone
    v = Vec(c[0], c[1], c[2]);
    vecCross(v, b);
    const glm::dvec3 cross = glm::cross(glm::dvec3(c[0], c[1], c[2]), glm::dvec3(c[3], c[4], c[5]));
    ExpectVec(v, cross.x, cross.y, cross.z);
  }
  DGIntArray v = Vec(2, 4, 6), zero = Vec(0, 0, 0), tiny = Vec(0, 0, 5e-8), a = Vec(3, 0, 4), b = Vec(1, 1, 0);
  vecRotate(v, zero, 60);  // no axis: only the cosine term is left
  ExpectVec(v, 1, 2, 3, 1e-7);
  vecUnify(tiny);
  ExpectVec(tiny, 0, 0, 0);
  vecUnify(a);
  ExpectVec(a, 0.6, 0, 0.8);
  a = Vec(1, 0, 0);
  EXPECT_NEAR(vecAngleOf(a, b), 45, 1e-5);
  EXPECT_EQ(vecAngleOf(a, zero), 0);
  EXPECT_EQ(Limit(-5, 2), -2);
  EXPECT_EQ(Limit(0.5, 2), 0.5);
}

}  // namespace
