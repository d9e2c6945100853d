// Hollerquast's logic through its own functions: start state, flight model, shot, ghosts,
// collisions, crash and the vector helpers. Collisions with trees and the house use the
// generated meshes and the runtime's collision test, so the runtime's window is opened once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <string>
#include <utility>

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
      // The game reads its media from its own directory.
      ASSERT_EQ(chdir(TAVELOR_BINARY_DIR "/game"), 0);
    }
    __TAVELOR__::SetUp();
    dtime = 16;
  }
  static void PlaceGhost(int k, double x, double y, double z) {
    ghost_pos(k, 0) = x;
    ghost_pos(k, 1) = y;
    ghost_pos(k, 2) = z;
  }
  // Every ghost far away from everything, so only the ones a test places count.
  static void GhostsAway() {
    for (int k = 0; k < 5; ++k) PlaceGhost(k, 1000 + 100 * k, -500, 1000);
  }
};

TEST_F(Game, SetUpLeavesTheStartState) {
  ExpectVec(hag_pos, 5, 15, 5);
  EXPECT_EQ(hag_magic, 100);
  ASSERT_EQ(TAVELOR::BOUNDS(ghost_pos, 0), 5);
  for (int k = 0; k < 5; ++k)
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(ghost_pos(k, c), std::floor(ghost_pos(k, c)));
      EXPECT_GE(ghost_pos(k, c), c == 1 ? -8 : 0);
      EXPECT_LE(ghost_pos(k, c), c == 1 ? -3 : 150);
    }
  // She starts clear of the trees and the house.
  DGIntArray centre = Vec(5, 15.5, 5);
  PlaceCamera();
  EXPECT_EQ(WorldCollision(centre, 1.2), 0);
}

TEST_F(Game, FlightModelStaysInItsLimits) {
  Controls(0, 1e6, 0, 0);  // pulled back hard
  EXPECT_DOUBLE_EQ(hag_spd(0), -0.3);
  Controls(0, -1e6, 0, 0);
  EXPECT_DOUBLE_EQ(hag_spd(0), 1);
  Controls(0, 0, 0, 0);  // a still mouse keeps the speed
  EXPECT_DOUBLE_EQ(hag_spd(0), 1);

  // The turn rate grows by at most 2 a frame up to 15, banking her by 3 degrees per unit.
  Controls(-1e6, 0, 0, 0);
  EXPECT_DOUBLE_EQ(hag_spd(1), 2);
  for (int k = 0; k < 10; ++k) Controls(-1e6, 0, 0, 0);
  EXPECT_DOUBLE_EQ(hag_spd(1), 15);
  EXPECT_DOUBLE_EQ(hag_roll, 45);
  EXPECT_NEAR(hag_dir(1), 0, 1e-12);
  EXPECT_NEAR(vecLength(hag_dir), 1, 1e-9);

  // The wheel: -1 climbs, the climb rate then decays by a tenth each frame; +1 sinks.
  Controls(0, 0, -1, 0);
  EXPECT_DOUBLE_EQ(hag_spd(2), 0.2);
  Controls(0, 0, 0, 0);
  EXPECT_DOUBLE_EQ(hag_spd(2), 0.18);
  for (int k = 0; k < 20; ++k) Controls(0, 0, 1, 0);
  EXPECT_DOUBLE_EQ(hag_spd(2), -1);
}

TEST_F(Game, SecondClickIsIgnoredWhileAShotFlies) {
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
  Controls(0, 0, 0, 1);
  EXPECT_EQ(shot_time, 66);
  ExpectVec(shot_dir, 2, 0.25, 0);

  MoveShot(1000);  // flown out
  EXPECT_EQ(shot_time, 0);
  Controls(0, 0, 0, 1);
  EXPECT_EQ(shot_time, 50);
  EXPECT_NEAR(shot_dir(2), 2, 1e-9);
}

TEST_F(Game, GhostsFlyFiveUnitsASecondWhateverTheFrameRate) {
  for (double frame : {10.0, 40.0, 250.0}) {
    GhostsAway();
    vecSet(hag_pos, 0, 10, 0);
    PlaceGhost(0, 100, 10, 0);
    for (double t = 0; t < 1000; t += frame) MoveGhosts(frame);
    EXPECT_NEAR(ghost_pos(0, 0), 95, 1e-9) << frame;
  }
}

TEST_F(Game, ShotAndTouchesUseStrictDistances) {
  GhostsAway();
  DGIntArray at = Vec(0, 10, 0);
  // Two ghosts close to the shot: only the lower index is hit and sent below the ground.
  for (int k : {1, 3}) PlaceGhost(k, 0.2 * k, 10, 0);
  EXPECT_EQ(ShootGhosts(at), 1);
  EXPECT_EQ(ghost_pos(1, 1), -3);
  EXPECT_EQ(ghost_pos(3, 1), 10);

  GhostsAway();
  PlaceGhost(2, 1.2, 10, 0);
  EXPECT_EQ(ShootGhosts(at), 0);  // exactly 1.2 away
  ghost_pos(2, 0) = 2.4;
  EXPECT_EQ(GhostCollision(at), 0);  // exactly 2.4 away
  ghost_pos(2, 0) = 2.39;
  EXPECT_EQ(GhostCollision(at), 1);
  EXPECT_EQ(ghost_pos(2, 1), -3);
}

TEST_F(Game, TwentyFirstTouchCrashesWithoutSound) {
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

TEST_F(Game, GroundTreesAndHouseCollide) {
  PlaceCamera();
  DGIntArray centre = Vec(300, -0.1, 300);
  vecSet(hag_pos, 300, -0.1, 300);  // the ground test reads her own height
  EXPECT_EQ(WorldCollision(centre, 1.2), 1);
  vecSet(hag_pos, 300, 0, 300);
  EXPECT_EQ(WorldCollision(centre, 1.2), 0);

  vecSet(hag_pos, 0, 5, 0);
  // Trees 0, 37, 99 and 100 of the forest, where their trunks stand (x, z).
  const std::pair<int, int> trunks[] = {{0, 0}, {45, 73}, {135, 99}, {150, 10}};
  for (auto [x, z] : trunks) {
    vecSet(centre, x, 2, z);  // the trunk
    EXPECT_EQ(WorldCollision(centre, 1.2), 1) << x << "," << z;
    vecSet(centre, x + 5, 12, z);  // beside the top
    EXPECT_EQ(WorldCollision(centre, 1.2), 0) << x << "," << z;
  }
  vecSet(centre, -3.5 + 3.5, 2, 2.5);  // at the door's wall
  EXPECT_EQ(WorldCollision(centre, 1.2), 1);
  vecSet(centre, -3.5, 10, 2.5);  // above the roof
  EXPECT_EQ(WorldCollision(centre, 1.2), 0);
}

TEST_F(Game, CrashEndsAtHeight15WithTheHeadingKept) {
  vecSet(hag_dir, 0.6, 0, 0.8);
  vecSet(hag_spd, 0.5, 4, 0.3);
  hag_magic = 35;
  hag_mode = 1;
  dtime = 125;
  int frames = 0;
  while (hag_mode != 0 && frames < 100) {
    MoveWitch();
    CrashClock();
    ++frames;
  }
  EXPECT_EQ(frames, 16);  // two seconds
  EXPECT_EQ(hag_pos(1), 15);
  EXPECT_NEAR(hag_pos(0), 5 + 16 * 0.6 * 0.5 * 125 / 20, 1e-9);  // drifted on at her last speed
  EXPECT_NEAR(hag_pos(2), 5 + 16 * 0.8 * 0.5 * 125 / 20, 1e-9);
  ExpectVec(hag_dir, 0.6, 0, 0.8);
  ExpectVec(hag_spd, 0, 0, 0);
  EXPECT_EQ(hag_magic, 100);

  // A long last frame that carries the clock past 4 still ends the crash.
  hag_mode = 2.9;
  dtime = 1500;
  CrashClock();
  EXPECT_EQ(hag_mode, 0);
}

TEST(GameVectors, HelpersAgreeWithTheTextbook) {
  // Rotation against GLM's rotation matrix: positive angles turn counter-clockwise seen from
  // the axis' tip.
  const double cases[][7] = {{1, 0, 0, 0, 1, 0, 90},    {0.3, -2, 5, 1, 1, 0, 33},
                             {4, 1, -1, -2, 0.5, 3, -170}, {1, 2, 3, 0, 0, 7, 400}};
  for (const auto& c : cases) {
    DGIntArray v = Vec(c[0], c[1], c[2]), axis = Vec(c[3], c[4], c[5]);
    vecRotate(v, axis, c[6]);
    const glm::dmat4 m = glm::rotate(glm::dmat4(1), glm::radians(c[6]), glm::dvec3(c[3], c[4], c[5]));
    const glm::dvec4 r = m * glm::dvec4(c[0], c[1], c[2], 1);
    ExpectVec(v, r.x, r.y, r.z, 1e-6);
    ExpectVec(axis, c[3], c[4], c[5]);  // the caller's axis is left alone
  }
  DGIntArray v = Vec(2, 4, 6), zero = Vec(0, 0, 0);
  vecRotate(v, zero, 60);  // no axis: only the cosine term is left
  ExpectVec(v, 1, 2, 3, 1e-7);

  v = Vec(0, 0, 5e-8);
  vecUnify(v);
  ExpectVec(v, 0, 0, 0);
  v = Vec(3, 0, 4);
  vecUnify(v);
  ExpectVec(v, 0.6, 0, 0.8);

  DGIntArray a = Vec(1, 2, 3), b = Vec(-2, 0.5, 4);
  vecCross(a, b);
  const glm::dvec3 cross = glm::cross(glm::dvec3(1, 2, 3), glm::dvec3(-2, 0.5, 4));
  ExpectVec(a, cross.x, cross.y, cross.z);

  a = Vec(1, 0, 0);
  b = Vec(1, 1, 0);
  EXPECT_NEAR(vecAngleOf(a, b), 45, 1e-5);
  EXPECT_EQ(vecAngleOf(a, zero), 0);
  EXPECT_EQ(Limit(-5, 2), -2);
  EXPECT_EQ(Limit(0.5, 2), 0.5);
}

}  // namespace
