// Path finding. A grid of 20 x 14 cells with walls and mud; FINDPATH finds the cheapest way
// from the green start to the red goal, and the path is drawn as yellow dots. Entering a
// plain cell costs 1, a mud cell 5, walls cannot be entered.
//
// Command line: --weight W sets the search weight (0, the default, is uniform-cost search and
// always finds the cheapest path; 0.5 is A*, exact here only without mud; 1 is greedy);
// --frames N ends the program after N frames; --shot FILE saves the last frame first.
#include <tavelor/tavelor.h>

#include <cstdio>

namespace __TAVELOR__ {
using namespace TAVELOR;

constexpr int kCols = 20;
constexpr int kRows = 14;
constexpr int kCell = 32;
constexpr int kTop = 32;  // the text bar above the grid
constexpr double kMudCost = 5;

// '#' wall, '~' mud, '.' plain ground, 'S' start, 'G' goal.
const char* const kLevel[kRows] = {
    "S.....#.............",
    ".####.#.#####.~~~~..",
    ".#....#.....#.~~~~..",
    ".#.####.###.#.~~~~..",
    ".#......#...#.......",
    ".######.#.#########.",
    "........#.#.......#.",
    ".~~~~~~~#.#.#####.#.",
    ".~~~~~~~#...#...#.#.",
    ".~~~~~~~#####.#.#.#.",
    "..............#.#...",
    "#########.#####.###.",
    "..........#.......~G",
    ".##########.#####.~~",
};

const double kPlain = 0xC8C8C8, kMud = 0x2A5A8C, kWall = 0x303030;
const double kStart = 0x00C000, kGoal = 0x0000E0, kDot = 0x00E0FF, kGridLine = 0x808080;

DGIntArray map;   // (x, y): cost of entering the cell, 0 for a wall
DGIntArray path;  // (i, 0..1): x and y of the i-th cell of the path
double startX = 0, startY = 0, goalX = 0, goalY = 0, cells = 0, cost = 0;

void BuildMap() {
  DIM(map, kCols, kRows);
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kCols; ++x) {
      const char c = kLevel[y][x];
      map(x, y) = c == '#' ? 0 : c == '~' ? kMudCost : 1;
      if (c == 'S') startX = x, startY = y;
      if (c == 'G') goalX = x, goalY = y;
    }
  }
}

void FindPath(double weight) {
  cells = FINDPATH(map, path, weight, startX, startY, goalX, goalY);
  cost = 0;
  for (int i = 1; i < cells; ++i) cost = cost + map(path(i, 0), path(i, 1));
}

void FillCell(double x, double y, double inset, double colour) {
  const double left = x * kCell, top = kTop + y * kCell;
  FILLRECT(left + inset, top + inset, left + kCell - 1 - inset, top + kCell - 1 - inset, colour);
}

void Draw() {
  double w, h;
  GETSCREENSIZE(w, h);
  FILLRECT(0, 0, w - 1, h - 1, 0x000000);
  FILLRECT(0, kTop, kCols * kCell - 1, kTop + kRows * kCell - 1, kGridLine);
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kCols; ++x) {
      const double v = map(x, y);
      FillCell(x, y, 1, v <= 0 ? kWall : v > 1 ? kMud : kPlain);
    }
  }
  for (int i = 0; i < cells; ++i) FillCell(path(i, 0), path(i, 1), 10, kDot);
  FillCell(startX, startY, 6, kStart);
  FillCell(goalX, goalY, 6, kGoal);
  if (cells > 0) {
    PRINT(DGStr("FINDPATH: ") + cells + " cells, cost " + cost, 8, 8);
  } else {
    PRINT("FINDPATH: no path", 8, 8);
  }
}

void __MainGameSub_() {
  DGStrArray args;
  const double n = SPLITSTR(GETCOMMANDLINE_Str(), args, " ");
  double frames = -1, weight = 0;
  DGStr shot = "";
  for (int i = 0; i + 1 < n; ++i) {
    if (args(i) == "--frames") frames = args(i + 1).Number();
    if (args(i) == "--shot") shot = args(i + 1);
    if (args(i) == "--weight") weight = args(i + 1).Number();
  }

  LIMITFPS(30);
  BuildMap();
  FindPath(weight);
  std::printf("path %g cells, cost %g\n", cells, cost);
  for (int frame = 1;; ++frame) {
    Draw();
    if (frame == frames) {
      if (LEN(shot) > 0) SAVEBMP(shot);
      std::fflush(stdout);
      END();
    }
    SHOWSCREEN();
  }
}
}  // namespace __TAVELOR__

int main(int argc, char** argv) {
  TAVELOR::RunGame(argc, argv, {.caption = "Path finding"}, __TAVELOR__::__MainGameSub_);
}
