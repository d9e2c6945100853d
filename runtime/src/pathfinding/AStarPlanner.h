// Weighted A* over the planner's grid: f = W * h + (1 - W) * g, with h the 4-neighbour
// distance to the goal. W = 0.5 is plain A*, W = 1 greedy best-first, W = 0 uniform cost.
#pragma once

#include "pathfinding/Planner.h"

namespace TAVELOR::pathfinding {

class AStarPlanner : public Planner {
 public:
  // Called with each node as it is expanded (taken from the open list), when set.
  using ExpandHook = void (*)(void* context, const Node& node);

  AStarPlanner() = default;
  ~AStarPlanner() override;

  // Starts a search with the start node on the open list. Without a map the planner stays done.
  void initialize() override;
  // Runs the search to its end: true once the goal is found or the open list is empty.
  bool run() override;

  void setExpandHook(ExpandHook hook, void* context) {
    hook_ = hook;
    hookContext_ = context;
  }

 private:
  ExpandHook hook_ = nullptr;
  void* hookContext_ = nullptr;
};

}  // namespace TAVELOR::pathfinding
