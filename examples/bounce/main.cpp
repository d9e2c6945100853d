// Bouncing balls. Six balls fly around the window and bounce off its edges and off each
// other; every new contact between two balls scores a point. The ball pictures are made at
// run time: painted on the transparent colour, grabbed, saved as BMP files and loaded back,
// so that the corners around each ball are transparent and SPRCOLL tests only the ball.
//
// Command line: --frames N ends the program after N frames; --shot FILE saves the last
// frame as a BMP file first. Without them it runs until Escape.
#include <tavelor/tavelor.h>

#include <cstdio>

namespace __TAVELOR__ {
using namespace TAVELOR;

constexpr int kBalls = 6;
constexpr int kRadius = 24;
constexpr int kTop = 32;  // the score bar above the playing field
constexpr double kKey = 0x8000FF;
constexpr double kBackground = 0x402010;
const double kColours[kBalls] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00};

DGIntArray ball;      // (k, 0..3): x, y of the top-left corner, dx, dy per frame
DGIntArray touching;  // (i, j): 1 while balls i and j touch
double score = 0;

// Paints a disc on the transparent colour, keeps it as sprite n and reloads it from a BMP
// file, which turns the transparent colour into real transparency.
void MakeBallSprite(double n, double colour) {
  const int size = 2 * kRadius;
  FILLRECT(0, 0, size - 1, size - 1, kKey);
  for (int row = 0; row < size; ++row) {
    const double dy = row + 0.5 - kRadius;
    const double half = SQR(kRadius * kRadius - dy * dy);
    FILLRECT(kRadius - half + 0.5, row, kRadius + half - 0.5, row, colour);
  }
  GRABSPRITE(n, 0, 0, size, size);
  const DGStr file = DGStr("ball") + n + ".bmp";
  SAVESPRITE(n, file);
  LOADSPRITE(file, n);
}

void Setup() {
  for (int k = 0; k < kBalls; ++k) MakeBallSprite(k, kColours[k]);
  DIM(ball, kBalls, 4);
  DIM(touching, kBalls, kBalls);
  // Fixed starting places and speeds: every run is the same.
  const double start[kBalls][4] = {{40, 60, 4, 3},   {300, 80, -3, 4},  {560, 100, -4, -3},
                                   {100, 380, 3, -4}, {320, 300, 5, 2}, {520, 400, -2, -5}};
  for (int k = 0; k < kBalls; ++k)
    for (int c = 0; c < 4; ++c) ball(k, c) = start[k][c];
}

void Move() {
  double w, h;
  GETSCREENSIZE(w, h);
  for (int k = 0; k < kBalls; ++k) {
    ball(k, 0) = ball(k, 0) + ball(k, 2);
    ball(k, 1) = ball(k, 1) + ball(k, 3);
    if (ball(k, 0) < 0 || ball(k, 0) > w - 2 * kRadius) ball(k, 2) = -ball(k, 2);
    if (ball(k, 1) < kTop || ball(k, 1) > h - 2 * kRadius) ball(k, 3) = -ball(k, 3);
  }
}

// A pair scores when it starts to touch; it swaps speeds while the balls approach.
void Collide() {
  for (int i = 0; i < kBalls; ++i) {
    for (int j = i + 1; j < kBalls; ++j) {
      if (!SPRCOLL(i, ball(i, 0), ball(i, 1), j, ball(j, 0), ball(j, 1))) {
        touching(i, j) = 0;
        continue;
      }
      if (touching(i, j) == 0) {
        score = score + 1;
        std::printf("hit %d %d %g %g %g %g\n", i, j, ball(i, 0), ball(i, 1), ball(j, 0), ball(j, 1));
      }
      touching(i, j) = 1;
      const double rx = ball(j, 0) - ball(i, 0), ry = ball(j, 1) - ball(i, 1);
      const double vx = ball(j, 2) - ball(i, 2), vy = ball(j, 3) - ball(i, 3);
      if (rx * vx + ry * vy < 0) {
        for (int c = 2; c < 4; ++c) {
          const double t = ball(i, c);
          ball(i, c) = ball(j, c);
          ball(j, c) = t;
        }
      }
    }
  }
}

void Draw() {
  double w, h;
  GETSCREENSIZE(w, h);
  FILLRECT(0, 0, w - 1, h - 1, kBackground);
  FILLRECT(0, 0, w - 1, kTop - 1, 0x000000);
  for (int k = 0; k < kBalls; ++k) SPRITE(k, ball(k, 0), ball(k, 1));
  PRINT(DGStr("Score: ") + score, 8, 8);
}

void __MainGameSub_() {
  // The command line: "--frames N" and "--shot FILE", in any order.
  DGStrArray args;
  const double n = SPLITSTR(GETCOMMANDLINE_Str(), args, " ");
  double frames = -1;
  DGStr shot = "";
  for (int i = 0; i + 1 < n; ++i) {
    if (args(i) == "--frames") frames = args(i + 1).Number();
    if (args(i) == "--shot") shot = args(i + 1);
  }

  LIMITFPS(60);
  Setup();
  for (int frame = 1;; ++frame) {
    Move();
    Collide();
    Draw();
    if (frame == frames) {
      if (LEN(shot) > 0) SAVEBMP(shot);
      std::printf("score %g\n", score);
      std::fflush(stdout);
      END();
    }
    SHOWSCREEN();
  }
}
}  // namespace __TAVELOR__

int main(int argc, char** argv) {
  TAVELOR::RunGame(argc, argv, {.caption = "Bounce"}, __TAVELOR__::__MainGameSub_);
}
