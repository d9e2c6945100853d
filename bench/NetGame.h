// The relay at a game's load: this process hosts, n client processes join on loopback, and
// each client's player sends a 64-byte update 60 times a second to the host's player and to
// the next client's player. The host's game thread takes its player's messages once a frame.
// Measured: the host process's CPU seconds per second of play (every thread), the clients'
// delivery latency (send to arrival in the receiving process, on the shared monotonic clock)
// and lost messages. The same shape runs on ENet (one relay thread, unreliable packets); the
// two alternate round by round. Included by net.cpp, which provides EnetApi and FreePort.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {
namespace game {

constexpr int kUpdate = 64;       // bytes per update: sender index, sequence, send time, filler
constexpr int kRate = 60;         // updates per second and player, to each of two players
constexpr int kHost = -1;         // target index of the host's player
constexpr auto kDrain = std::chrono::milliseconds(500);

struct Plan {
  int rounds = 3;  // per side and size
  double seconds = 10;
  std::vector<int> sizes{8, 16, 32};
};

// BENCH_NET_GAME="rounds:seconds:8,16,32" shortens the run; "0" skips it.
inline Plan ReadPlan() {
  Plan p;
  const char* env = std::getenv("BENCH_NET_GAME");
  if (!env) return p;
  std::string s = env;
  if (s == "0") {
    p.rounds = 0;
    return p;
  }
  std::replace(s.begin(), s.end(), ':', ' ');
  std::istringstream in(s);
  std::string sizes;
  in >> p.rounds >> p.seconds >> sizes;
  if (!sizes.empty()) {
    p.sizes.clear();
    std::replace(sizes.begin(), sizes.end(), ',', ' ');
    std::istringstream list(sizes);
    for (int n; list >> n;) {
      if (n >= 2 && n <= 64) p.sizes.push_back(n);
    }
  }
  return p;
}

inline void WriteFile(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary);
    out << text;
  }
  std::rename(tmp.c_str(), path.c_str());
}

inline bool ReadWhenThere(const std::string& path, std::string* text, Clock::time_point giveUp) {
  while (Clock::now() < giveUp) {
    std::ifstream in(path, std::ios::binary);
    if (in) {
      std::ostringstream all;
      all << in.rdbuf();
      *text = all.str();
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

inline std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  in >> one;
  return one;
}

inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// ---- A client process ----------------------------------------------------------------------

// What a client needs from its side's network.
struct Link {
  virtual ~Link() = default;
  virtual bool Send(int target, const char* update) = 0;  // target: a client index or kHost
  // Waits until until for messages, handing each to got.
  virtual void Wait(Clock::time_point until, const std::function<void(const char*)>& got) = 0;
};

// Plays one client's part from the go signal on; writes sent, received, misrouted and the
// latencies in microseconds to dir/result.<index>.
inline void Play(Link& link, int index, int n, const std::string& dir, double seconds) {
  std::string go;
  if (!ReadWhenThere(dir + "/go", &go, Clock::now() + std::chrono::seconds(60))) return;
  long long startNs = 0;
  std::istringstream(go) >> startNs;
  const auto start = Clock::time_point(std::chrono::nanoseconds(startNs));
  const auto period = std::chrono::nanoseconds(1000000000LL / kRate);
  const auto end = start + std::chrono::nanoseconds(static_cast<long long>(seconds * 1e9));
  const int from = (index + n - 1) % n;
  long sent = 0, received = 0, misrouted = 0;
  std::vector<float> latencies;
  auto got = [&](const char* update) {
    int sender;
    long long t;
    std::memcpy(&sender, update, 4);
    std::memcpy(&t, update + 8, 8);
    ++received;
    if (sender != from) ++misrouted;
    latencies.push_back(static_cast<float>(static_cast<double>(NowNs() - t) / 1000.0));
  };
  // Clients spread over the frame, as independent machines would be.
  auto next = start + period * index / n;
  for (int seq = 0; next < end; ++seq, next += period) {
    while (Clock::now() < next) link.Wait(next, got);
    char update[kUpdate];
    std::memset(update, 'u', sizeof update);
    std::memcpy(update, &index, 4);
    std::memcpy(update + 4, &seq, 4);
    const long long t = NowNs();
    std::memcpy(update + 8, &t, 8);
    sent += link.Send(kHost, update) ? 1 : 0;
    sent += link.Send((index + 1) % n, update) ? 1 : 0;
  }
  while (Clock::now() < end + kDrain) link.Wait(end + kDrain, got);
  std::ostringstream out;
  out << sent << ' ' << received << ' ' << misrouted;
  for (float l : latencies) out << ' ' << l;
  WriteFile(dir + "/result." + std::to_string(index), out.str());
}

class OurLink : public Link {
 public:
  bool Start(int port, int index) {
    net_.StartNetwork();
    if (!net_.JoinGame("127.0.0.1", port)) return false;
    id_ = net_.CreatePlayer(("c" + std::to_string(index)).c_str());
    return id_ >= 0;
  }
  int Id() const { return id_; }
  void SetIds(int host, std::vector<int> clients) {
    hostId_ = host;
    ids_ = std::move(clients);
  }
  bool Send(int target, const char* update) override {
    return net_.SendText(id_, target == kHost ? hostId_ : ids_[target], update, kUpdate);
  }
  void Wait(Clock::time_point until, const std::function<void(const char*)>& got) override {
    net_.WaitMessage(id_, until);
    std::string text;
    while (net_.TakeMessage(id_, &text)) {
      if (text.size() == kUpdate) got(text.data());
    }
  }

 private:
  ZyHawkNetwork net_;
  int id_ = -1, hostId_ = -1;
  std::vector<int> ids_;
};

class EnetLink : public Link {
 public:
  explicit EnetLink(EnetApi& api) : e_(api) {}
  ~EnetLink() override {
    if (host_) e_.hostDestroy(host_);
    if (started_) e_.deinitialize();
  }
  bool Start(int port, int index) {
    if (e_.initialize() != 0) return false;
    started_ = true;
    ENetAddress address{};
    e_.setHostIp(&address, "127.0.0.1");
    address.port = static_cast<enet_uint16>(port);
    host_ = e_.hostCreate(nullptr, 1, 1, 0, 0);
    if (!host_) return false;
    peer_ = e_.ConnectAs(host_, address, index, std::chrono::seconds(10));
    return peer_ != nullptr;
  }
  bool Send(int target, const char* update) override {
    char buf[2 + kUpdate];
    buf[0] = 'M';
    buf[1] = static_cast<char>(target == kHost ? 255 : target);
    std::memcpy(buf + 2, update, kUpdate);
    if (e_.peerSend(peer_, 0, e_.packetCreate(buf, sizeof buf, 0)) != 0) return false;
    e_.hostFlush(host_);
    return true;
  }
  void Wait(Clock::time_point until, const std::function<void(const char*)>& got) override {
    const auto left = until - Clock::now();
    const auto ms = std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count());
    ENetEvent ev;
    for (int r = e_.hostService(host_, &ev, static_cast<enet_uint32>(ms)); r > 0; r = e_.hostService(host_, &ev, 0)) {
      if (ev.type != ENET_EVENT_TYPE_RECEIVE) continue;
      if (ev.packet->dataLength == 2 + kUpdate) got(reinterpret_cast<const char*>(ev.packet->data) + 2);
      e_.packetDestroy(ev.packet);
    }
  }

 private:
  EnetApi& e_;
  bool started_ = false;
  ENetHost* host_ = nullptr;
  ENetPeer* peer_ = nullptr;
};

// The body of a client process: bench_net --game-client ours|enet port index n dir seconds.
inline int ClientMain(int argc, char** argv) {
  if (argc < 8) return 2;
  if (!std::freopen("/dev/null", "w", stdout)) return 2;
  const std::string side = argv[2];
  const int port = std::atoi(argv[3]), index = std::atoi(argv[4]), n = std::atoi(argv[5]);
  const std::string dir = argv[6];
  const double seconds = std::atof(argv[7]);
  const std::string ready = dir + "/ready." + std::to_string(index);
  if (side == "ours") {
    OurLink link;
    if (!link.Start(port, index)) return 3;
    WriteFile(ready, std::to_string(link.Id()));
    std::string ids;
    if (!ReadWhenThere(dir + "/ids", &ids, Clock::now() + std::chrono::seconds(60))) return 3;
    std::istringstream in(ids);
    int host = -1;
    in >> host;
    std::vector<int> clients(static_cast<std::size_t>(n), -1);
    for (int& id : clients) in >> id;
    link.SetIds(host, clients);
    Play(link, index, n, dir, seconds);
    return 0;
  }
  EnetApi api;
  if (!api.Load()) return 3;
  EnetLink link(api);
  if (!link.Start(port, index)) return 3;
  WriteFile(ready, "0");
  Play(link, index, n, dir, seconds);
  return 0;
}

// ---- The host ------------------------------------------------------------------------------

struct Round {
  double cpu = 0, p50us = 0, p99us = 0;
  long sent = 0, lost = 0, misrouted = 0;
  bool ok = false;
};

// One side's host: started before the clients, asked once a frame for its player's updates.
struct HostSide {
  virtual ~HostSide() = default;
  virtual bool Start(int port) = 0;
  // Called once the clients are ready, with what they wrote into their ready files.
  virtual void Ready(const std::vector<std::string>&, const std::string&) {}
  // Takes the updates that reached the host's player; returns how many, counting those
  // from unknown senders into *misrouted.
  virtual long Take(int n, long* misrouted) = 0;
};

class OurHost : public HostSide {
 public:
  bool Start(int port) override {
    net_.StartNetwork();
    if (!net_.HostGame(port)) return false;
    id_ = net_.CreatePlayer("host");
    return id_ >= 0;
  }
  void Ready(const std::vector<std::string>& ids, const std::string& dir) override {
    std::string text = std::to_string(id_);
    for (const std::string& id : ids) text += " " + id;
    WriteFile(dir + "/ids", text);
  }
  long Take(int n, long* misrouted) override {
    long count = 0;
    std::string text;
    while (net_.TakeMessage(id_, &text)) {
      int sender = -1;
      if (text.size() == kUpdate) std::memcpy(&sender, text.data(), 4);
      if (sender < 0 || sender >= n) ++*misrouted;
      ++count;
    }
    return count;
  }

 private:
  ZyHawkNetwork net_;
  int id_ = -1;
};

class EnetHost : public HostSide {
 public:
  EnetHost(EnetApi& api, int n) : e_(api), n_(n) {}
  ~EnetHost() override {
    stop_ = true;
    if (relay_.joinable()) relay_.join();
    if (server_) e_.hostDestroy(server_);
    if (started_) e_.deinitialize();
  }
  bool Start(int port) override {
    if (e_.initialize() != 0) return false;
    started_ = true;
    ENetAddress address{};
    e_.setHostIp(&address, "127.0.0.1");
    address.port = static_cast<enet_uint16>(port);
    server_ = e_.hostCreate(&address, static_cast<size_t>(n_ + 2), 1, 0, 0);
    if (!server_) return false;
    relay_ = std::thread([this] { Run(); });
    return true;
  }
  long Take(int n, long* misrouted) override {
    std::vector<int> got;
    {
      std::lock_guard<std::mutex> guard(lock_);
      got.swap(forHost_);
    }
    for (int sender : got) {
      if (sender < 0 || sender >= n) ++*misrouted;
    }
    return static_cast<long>(got.size());
  }

 private:
  // The relay thread: forwards each update to its target's connection; the host's player's
  // updates go to the game thread.
  void Run() {
    e_.Relay(server_, n_, stop_, [](int) {}, [this](ENetPacket* p) {
      int sender = -1;
      const bool forHost = p->dataLength == 2 + kUpdate && p->data[0] == 'M' && p->data[1] == 255;
      if (forHost) std::memcpy(&sender, p->data + 2, 4);
      e_.packetDestroy(p);
      if (!forHost) return;
      std::lock_guard<std::mutex> guard(lock_);
      forHost_.push_back(sender);
    });
  }

  EnetApi& e_;
  int n_;
  bool started_ = false;
  ENetHost* server_ = nullptr;
  std::thread relay_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<int> forHost_;
};

// Runs one round: hosts, starts n client processes, plays, gathers their results.
inline Round RunRound(bool ours, EnetApi& api, int n, double seconds) {
  Round r;
  static int serial = 0;
  const std::string dir = (std::filesystem::temp_directory_path() /
                           ("bench-net-game-" + std::to_string(getpid()) + "-" + std::to_string(++serial)))
                              .string();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const int port = FreePort();
  std::unique_ptr<HostSide> host;
  if (ours) {
    host = std::make_unique<OurHost>();
  } else {
    host = std::make_unique<EnetHost>(api, n);
  }
  std::vector<pid_t> children;
  auto finish = [&]() {
    // Children still running after their results were due are stopped.
    const auto giveUp = Clock::now() + std::chrono::seconds(10);
    for (pid_t pid : children) {
      int status = 0;
      while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > giveUp) {
          kill(pid, SIGKILL);
          waitpid(pid, &status, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    std::filesystem::remove_all(dir);
  };
  if (!host->Start(port)) {
    std::fprintf(stderr, "game round: host set-up failed\n");
    return r;
  }
  const std::string seconds_text = std::to_string(seconds);
  for (int i = 0; i < n; ++i) {
    std::vector<std::string> args = {"bench_net", "--game-client", ours ? "ours" : "enet", std::to_string(port),
                                     std::to_string(i), std::to_string(n), dir, seconds_text};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) == 0) children.push_back(pid);
  }
  std::vector<std::string> ids;
  for (int i = 0; i < n; ++i) {
    std::string id;
    if (!ReadWhenThere(dir + "/ready." + std::to_string(i), &id, Clock::now() + std::chrono::seconds(60))) {
      std::fprintf(stderr, "game round: client %d did not start\n", i);
      WriteFile(dir + "/ids", "");
      WriteFile(dir + "/go", "0");
      finish();
      return r;
    }
    ids.push_back(id);
  }
  host->Ready(ids, dir);
  const auto start = Clock::now() + std::chrono::milliseconds(300);
  const auto end = start + std::chrono::nanoseconds(static_cast<long long>(seconds * 1e9));
  WriteFile(dir + "/go", std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count()));
  long hostGot = 0;
  // The host's game: one frame every 1/60 s, taking its player's updates.
  const auto frame = std::chrono::nanoseconds(1000000000LL / kRate);
  std::this_thread::sleep_until(start);
  const double cpu0 = CpuSeconds();
  auto next = start;
  while (next < end) {
    next += frame;
    std::this_thread::sleep_until(next);
    hostGot += host->Take(n, &r.misrouted);
  }
  r.cpu = (CpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - start).count();
  while (Clock::now() < end + kDrain + std::chrono::milliseconds(200)) {
    next += frame;
    std::this_thread::sleep_until(next);
    hostGot += host->Take(n, &r.misrouted);
  }
  std::vector<float> latencies;
  long received = hostGot;
  bool all = true;
  for (int i = 0; i < n; ++i) {
    std::string text;
    if (!ReadWhenThere(dir + "/result." + std::to_string(i), &text, Clock::now() + std::chrono::seconds(10))) {
      std::fprintf(stderr, "game round: client %d gave no result\n", i);
      all = false;
      continue;
    }
    std::istringstream in(text);
    long sent = 0, got = 0, bad = 0;
    in >> sent >> got >> bad;
    r.sent += sent;
    received += got;
    r.misrouted += bad;
    for (float l; in >> l;) latencies.push_back(l);
  }
  finish();
  host.reset();
  r.lost = r.sent - received;
  if (!latencies.empty()) {
    std::sort(latencies.begin(), latencies.end());
    r.p50us = latencies[latencies.size() / 2];
    r.p99us = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
  }
  r.ok = all && r.sent > 0;
  return r;
}

struct SideRounds {
  std::vector<double> cpu, p50, p99;
  long sent = 0, lost = 0, misrouted = 0;
  void Add(const Round& r) {
    cpu.push_back(r.cpu);
    p50.push_back(r.p50us);
    p99.push_back(r.p99us);
    sent += r.sent;
    lost += r.lost;
    misrouted += r.misrouted;
  }
};

inline std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> r;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) r.push_back(b[i] > 0 ? a[i] / b[i] : 0);
  return r;
}

// Runs the plan; false when a side lost or misrouted messages or a round failed.
inline bool Run(EnetApi& api, bool haveEnet) {
  const Plan plan = ReadPlan();
  if (plan.rounds <= 0) return true;
  bool sound = true;
  for (int n : plan.sizes) {
    SideRounds ours, enet;
    for (int i = 0; i < plan.rounds; ++i) {
      // Alternating which side goes first, as the other comparisons do.
      for (int k = 0; k < 2; ++k) {
        const bool oursNow = (k == 0) == (i % 2 == 0);
        if (!oursNow && !haveEnet) continue;
        const Round r = RunRound(oursNow, api, n, plan.seconds);
        if (!r.ok) sound = false;
        (oursNow ? ours : enet).Add(r);
      }
    }
    auto line = [&](const char* who, const SideRounds& s) {
      std::fprintf(stderr, "  %-5s host CPU %s s/s  p50 %s us  p99 %s us  lost %ld of %ld (%.3f%%), misrouted %ld\n",
                   who, bench::Format(bench::Summarise(s.cpu), 1, "%.4f").c_str(),
                   bench::Format(bench::Summarise(s.p50), 1, "%.0f").c_str(),
                   bench::Format(bench::Summarise(s.p99), 1, "%.0f").c_str(), s.lost, s.sent,
                   s.sent ? 100.0 * static_cast<double>(s.lost) / static_cast<double>(s.sent) : 0.0, s.misrouted);
    };
    const std::string load = LoadAverage();
    std::fprintf(stderr, "game: 1 host + %d client processes, updates at %d Hz, %d rounds of %.0f s per side, median (quartiles); load %s\n",
                 n, kRate, plan.rounds, plan.seconds, load.c_str());
    line("ours", ours);
    auto bad = [](const SideRounds& s) { return s.misrouted > 0 || s.lost * 100 > s.sent; };
    if (bad(ours)) sound = false;
    if (!haveEnet) continue;
    line("enet", enet);
    if (bad(enet)) sound = false;
    const bench::Spread cpu = bench::Summarise(Ratios(ours.cpu, enet.cpu));
    const bench::Spread p50 = bench::Summarise(Ratios(ours.p50, enet.p50));
    const bench::Spread p99 = bench::Summarise(Ratios(ours.p99, enet.p99));
    std::fprintf(stderr, "  ours/enet: host CPU %s (target <= 1.0), p50 %s, p99 %s (target <= 1.5 or +0.1 ms)\n",
                 bench::Format(cpu, 1).c_str(), bench::Format(p50, 1).c_str(), bench::Format(p99, 1).c_str());
    char row[512];
    std::snprintf(row, sizeof row,
                  "| `bench_net`: game, 1 host + %d clients, 64 B at 60 Hz to 2 players; host CPU s/s, p50/p99 us (load %s) | "
                  "%.4f; %.0f / %.0f us | ENet relay thread %.4f; %.0f / %.0f us | CPU %.2f, p50 %.2f, p99 %.2f |",
                  n, load.c_str(), bench::Summarise(ours.cpu).median, bench::Summarise(ours.p50).median,
                  bench::Summarise(ours.p99).median, bench::Summarise(enet.cpu).median,
                  bench::Summarise(enet.p50).median, bench::Summarise(enet.p99).median, cpu.median, p50.median,
                  p99.median);
    std::fprintf(stderr, "%s\n", row);
  }
  return sound;
}

}  // namespace game
}  // namespace
