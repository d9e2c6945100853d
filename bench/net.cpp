// Message relay through a host: one host and 8 clients on loopback, each client's player
// writing to the next client's player. Measures delivered messages per second (with 8
// messages in flight per client) and the latency p50/p99 of single messages, for our session
// layer and, in the same run, for the same relay shape built on ENet (unreliable packets, a
// relay thread forwarding by destination). Both relays are set up once and measured in
// alternating rounds; every delivered message is checked to have come from the right sender,
// and neither side may lose more than 1%. The session layer's trace goes to a file, as a
// game's standard output would. ENet is loaded at run time so the benchmark needs no extra
// link step; without it only our figures are printed. Then a game's load (NetGame.h): one
// host process and 8, 16 and 32 client processes at 60 updates a second.
// Usage: bench_net [saturation rounds, 0 skips them]; BENCH_NET_GAME="rounds:seconds:sizes"
// shapes the game run ("0" skips it), e.g. BENCH_NET_GAME=1:2:8 for a quick look.
#include <dlfcn.h>
#include <enet/enet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "Compare.h"
#include "net/ZyHawkNetwork.h"

using TAVELOR::ZyHawkNetwork;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClients = 8;
constexpr int kPayload = 32;  // sender index, sequence number, send time

struct Figures {
  double perSecond = 0;
  double p50us = 0;
  double p99us = 0;
  long sent = 0;
  long lost = 0;
};

// What the measurement needs from a relay.
class Relay {
 public:
  virtual ~Relay() = default;
  virtual bool Send(int from, int to, const char* payload) = 0;
  // Calls got(receiver, payload) for every message that has arrived.
  virtual void Poll(const std::function<void(int, const char*)>& got) = 0;
};

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Keeps up to window messages in flight per client for the given time, then waits briefly
// for stragglers. Latency is measured from send to take-out at the receiver.
Figures Measure(Relay& relay, int window, std::chrono::milliseconds duration) {
  std::vector<int> inflight(kClients, 0);
  std::vector<Clock::time_point> lastProgress(kClients, Clock::now());
  std::vector<double> latencies;
  latencies.reserve(1 << 20);
  long sent = 0, delivered = 0;
  auto got = [&](int, const char* payload) {
    int from;
    long long t;
    std::memcpy(&from, payload, 4);
    std::memcpy(&t, payload + 8, 8);
    latencies.push_back(static_cast<double>(NowNs() - t) / 1000.0);
    if (from >= 0 && from < kClients && inflight[from] > 0) --inflight[from];
    lastProgress[from] = Clock::now();
    ++delivered;
  };
  const auto start = Clock::now();
  const auto end = start + duration;
  long seq = 0;
  while (Clock::now() < end) {
    for (int i = 0; i < kClients; ++i) {
      // A message that never arrives must not stall its sender.
      if (inflight[i] > 0 && Clock::now() - lastProgress[i] > std::chrono::milliseconds(200)) {
        inflight[i] = 0;
        lastProgress[i] = Clock::now();
      }
      while (inflight[i] < window) {
        char payload[kPayload] = {};
        std::memcpy(payload, &i, 4);
        std::memcpy(payload + 4, &seq, 4);
        const long long t = NowNs();
        std::memcpy(payload + 8, &t, 8);
        ++seq;
        if (!relay.Send(i, (i + 1) % kClients, payload)) break;
        ++inflight[i];
        ++sent;
      }
    }
    relay.Poll(got);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long deliveredInTime = delivered;
  const auto drainEnd = Clock::now() + std::chrono::milliseconds(300);
  while (delivered < sent && Clock::now() < drainEnd) relay.Poll(got);
  Figures f;
  f.perSecond = static_cast<double>(deliveredInTime) / seconds;
  f.sent = sent;
  f.lost = sent - delivered;
  if (!latencies.empty()) {
    std::sort(latencies.begin(), latencies.end());
    f.p50us = latencies[latencies.size() / 2];
    f.p99us = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
  }
  return f;
}

int FreePort() {
  NLsocket s = nlOpen(0, NL_UNRELIABLE);
  NLaddress a;
  nlGetLocalAddr(s, &a);
  const int port = nlGetPortFromAddr(&a);
  nlClose(s);
  return port;
}

// ---- Ours ---------------------------------------------------------------------------------

class SessionRelay : public Relay {
 public:
  bool Start() {
    host_ = std::make_unique<ZyHawkNetwork>();
    host_->StartNetwork();
    const int port = FreePort();
    if (!host_->HostGame(port)) return false;
    for (int i = 0; i < kClients; ++i) {
      clients_.push_back(std::make_unique<ZyHawkNetwork>());
      if (!clients_[i]->JoinGame("127.0.0.1", port)) return false;
      ids_.push_back(clients_[i]->CreatePlayer(("c" + std::to_string(i)).c_str()));
      if (ids_.back() < 0) return false;
    }
    return true;
  }
  ~SessionRelay() override {
    for (auto& c : clients_) c->Stop();
    if (host_) host_->Stop();
  }
  bool Send(int from, int to, const char* payload) override {
    return clients_[from]->SendText(ids_[from], ids_[to], payload, kPayload);
  }
  void Poll(const std::function<void(int, const char*)>& got) override {
    std::string text;
    for (int j = 0; j < kClients; ++j) {
      while (clients_[j]->TakeMessage(ids_[j], &text)) {
        if (text.size() == kPayload) got(j, text.data());
      }
    }
  }

 private:
  std::unique_ptr<ZyHawkNetwork> host_;
  std::vector<std::unique_ptr<ZyHawkNetwork>> clients_;
  std::vector<int> ids_;
};

// ---- ENet, the reference ----------------------------------------------------------------

struct EnetApi {
  decltype(&enet_initialize) initialize = nullptr;
  decltype(&enet_deinitialize) deinitialize = nullptr;
  decltype(&enet_address_set_host_ip) setHostIp = nullptr;
  decltype(&enet_host_create) hostCreate = nullptr;
  decltype(&enet_host_destroy) hostDestroy = nullptr;
  decltype(&enet_host_connect) hostConnect = nullptr;
  decltype(&enet_host_service) hostService = nullptr;
  decltype(&enet_host_flush) hostFlush = nullptr;
  decltype(&enet_packet_create) packetCreate = nullptr;
  decltype(&enet_packet_destroy) packetDestroy = nullptr;
  decltype(&enet_peer_send) peerSend = nullptr;

  bool Load() {
    void* lib = dlopen("libenet.so.7", RTLD_NOW);
    if (!lib) lib = dlopen("libenet.so", RTLD_NOW);
    if (!lib) return false;
    auto get = [lib](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
      return fn != nullptr;
    };
    return get(initialize, "enet_initialize") && get(deinitialize, "enet_deinitialize") &&
           get(setHostIp, "enet_address_set_host_ip") && get(hostCreate, "enet_host_create") &&
           get(hostDestroy, "enet_host_destroy") && get(hostConnect, "enet_host_connect") &&
           get(hostService, "enet_host_service") && get(hostFlush, "enet_host_flush") &&
           get(packetCreate, "enet_packet_create") && get(packetDestroy, "enet_packet_destroy") &&
           get(peerSend, "enet_peer_send");
  }

  // The reference relay loop: serves server until stop, remembering each client's peer from
  // its "H" greeting (then greeted(index)) and forwarding each "M" packet to the client its
  // second byte names; any other packet goes to other(packet), which destroys it.
  template <class Greeted, class Other>
  void Relay(ENetHost* server, int clients, const std::atomic<bool>& stop, Greeted greeted, Other other) {
    std::vector<ENetPeer*> byClient(static_cast<std::size_t>(clients), nullptr);
    ENetEvent ev;
    while (!stop) {
      if (hostService(server, &ev, 1) <= 0) continue;
      do {
        if (ev.type != ENET_EVENT_TYPE_RECEIVE) continue;
        const auto* d = ev.packet->data;
        const int target = ev.packet->dataLength >= 2 ? d[1] : -1;
        ENetPeer* to = target >= 0 && target < clients ? byClient[static_cast<std::size_t>(target)] : nullptr;
        if (d[0] == 'H' && target >= 0 && target < clients) {
          byClient[static_cast<std::size_t>(target)] = ev.peer;
          greeted(target);
          packetDestroy(ev.packet);
        } else if (d[0] == 'M' && to) {
          if (peerSend(to, 0, ev.packet) != 0) packetDestroy(ev.packet);
        } else {
          other(ev.packet);
        }
      } while (hostService(server, &ev, 0) > 0);
    }
  }

  // Connects a client host to the relay at address and tells it which client this is (a
  // reliable "H" and the index); the peer, or null when no connection came within giveUp.
  ENetPeer* ConnectAs(ENetHost* client, const ENetAddress& address, int index, std::chrono::seconds giveUp) {
    ENetPeer* peer = hostConnect(client, &address, 1, 0);
    if (!peer) return nullptr;
    ENetEvent ev;
    bool connected = false;
    const auto deadline = Clock::now() + giveUp;
    while (!connected && Clock::now() < deadline) {
      if (hostService(client, &ev, 5) > 0 && ev.type == ENET_EVENT_TYPE_CONNECT) connected = true;
    }
    if (!connected) return nullptr;
    char hello[2] = {'H', static_cast<char>(index)};
    peerSend(peer, 0, packetCreate(hello, 2, ENET_PACKET_FLAG_RELIABLE));
    hostFlush(client);
    return peer;
  }
};

class EnetRelay : public Relay {
 public:
  explicit EnetRelay(EnetApi& api) : e_(api) {}

  bool Start() {
    if (e_.initialize() != 0) return false;
    started_ = true;
    ENetAddress address{};
    e_.setHostIp(&address, "127.0.0.1");
    address.port = static_cast<enet_uint16>(FreePort());
    server_ = e_.hostCreate(&address, kClients + 2, 1, 0, 0);
    if (!server_) return false;
    relay_ = std::thread([this] { RunServer(); });
    for (int i = 0; i < kClients; ++i) {
      ENetHost* c = e_.hostCreate(nullptr, 1, 1, 0, 0);
      if (!c) return false;
      clients_.push_back(c);
      ENetPeer* p = e_.ConnectAs(c, address, i, std::chrono::seconds(3));
      if (!p) return false;
      peers_.push_back(p);
    }
    // Wait until the relay knows every client.
    const auto giveUp = Clock::now() + std::chrono::seconds(3);
    while (known_.load() < kClients && Clock::now() < giveUp) Poll([](int, const char*) {});
    return known_.load() == kClients;
  }

  ~EnetRelay() override {
    stop_ = true;
    if (relay_.joinable()) relay_.join();
    for (ENetHost* c : clients_) e_.hostDestroy(c);
    if (server_) e_.hostDestroy(server_);
    if (started_) e_.deinitialize();
  }

  bool Send(int from, int to, const char* payload) override {
    char buf[2 + kPayload];
    buf[0] = 'M';
    buf[1] = static_cast<char>(to);
    std::memcpy(buf + 2, payload, kPayload);
    if (e_.peerSend(peers_[from], 0, e_.packetCreate(buf, sizeof(buf), 0)) != 0) return false;
    e_.hostFlush(clients_[from]);
    return true;
  }

  void Poll(const std::function<void(int, const char*)>& got) override {
    ENetEvent ev;
    for (int j = 0; j < kClients; ++j) {
      while (e_.hostService(clients_[j], &ev, 0) > 0) {
        if (ev.type != ENET_EVENT_TYPE_RECEIVE) continue;
        if (ev.packet->dataLength == 2 + kPayload) got(j, reinterpret_cast<const char*>(ev.packet->data) + 2);
        e_.packetDestroy(ev.packet);
      }
    }
  }

 private:
  void RunServer() {
    e_.Relay(server_, kClients, stop_, [this](int) { ++known_; }, [this](ENetPacket* p) { e_.packetDestroy(p); });
  }

  EnetApi& e_;
  bool started_ = false;
  ENetHost* server_ = nullptr;
  std::vector<ENetHost*> clients_;
  std::vector<ENetPeer*> peers_;
  std::thread relay_;
  std::atomic<bool> stop_{false};
  std::atomic<int> known_{0};
};

// ---- Runs ---------------------------------------------------------------------------------

// Measures one round and checks where each message came from.
Figures Round(Relay& relay, int window, std::chrono::milliseconds duration, long* misrouted) {
  struct Checked : Relay {
    Relay& inner;
    long* bad;
    Checked(Relay& r, long* b) : inner(r), bad(b) {}
    bool Send(int from, int to, const char* payload) override { return inner.Send(from, to, payload); }
    void Poll(const std::function<void(int, const char*)>& got) override {
      inner.Poll([&](int receiver, const char* payload) {
        int from;
        std::memcpy(&from, payload, 4);
        if ((from + 1) % kClients != receiver) ++*bad;
        got(receiver, payload);
      });
    }
  } checked(relay, misrouted);
  return Measure(checked, window, duration);
}

struct Side {
  std::vector<double> perSecond, p50, p99;
  long sent = 0, lost = 0, misrouted = 0;
};

}  // namespace

#include "NetGame.h"

// The saturation run: 8 messages in flight per client, then single messages for latency.
int Saturation(int rounds, EnetApi& api, bool haveEnet, const std::string& trace) {
  const std::string load = game::LoadAverage();
  Side ours, enet;
  {
    SessionRelay session;
    if (!session.Start()) {
      std::fprintf(stderr, "session set-up failed\n");
      return 1;
    }
    std::unique_ptr<EnetRelay> other;
    if (haveEnet) {
      other = std::make_unique<EnetRelay>(api);
      if (!other->Start()) other.reset();
    }
    auto run = [](Relay& relay, Side& side) {
      const Figures t = Round(relay, 8, std::chrono::milliseconds(500), &side.misrouted);
      const Figures l = Round(relay, 1, std::chrono::milliseconds(300), &side.misrouted);
      side.perSecond.push_back(t.perSecond);
      side.p50.push_back(l.p50us);
      side.p99.push_back(l.p99us);
      side.sent += t.sent + l.sent;
      side.lost += t.lost + l.lost;
    };
    for (int i = 0; i < rounds; ++i) {
      if (i % 2 == 0 || !other) {
        run(session, ours);
        if (other) run(*other, enet);
      } else {
        run(*other, enet);
        run(session, ours);
      }
    }
  }
  std::fflush(stdout);
  const auto traceBytes = std::filesystem::file_size(trace);
  auto line = [&](const char* who, const Side& s) {
    std::fprintf(stderr, "%-6s %s msg/s  p50 %s us  p99 %s us  lost %ld of %ld\n", who,
                 bench::Format(bench::Summarise(s.perSecond), 1, "%.0f").c_str(),
                 bench::Format(bench::Summarise(s.p50), 1, "%.1f").c_str(),
                 bench::Format(bench::Summarise(s.p99), 1, "%.1f").c_str(), s.lost, s.sent);
  };
  std::fprintf(stderr, "relay through a host, %d alternating rounds per side, median (quartiles); trace %ju bytes\n",
               rounds, static_cast<std::uintmax_t>(traceBytes));
  line("ours", ours);
  auto sound = [](const Side& s) { return s.misrouted == 0 && s.lost * 100 <= s.sent; };
  if (!sound(ours)) {
    std::fprintf(stderr, "MISMATCH: our relay lost or misrouted messages (%ld misrouted)\n", ours.misrouted);
    return 1;
  }
  if (enet.perSecond.empty()) return 0;
  line("enet", enet);
  if (!sound(enet)) {
    std::fprintf(stderr, "MISMATCH: the ENet relay lost or misrouted messages (%ld misrouted)\n", enet.misrouted);
    return 1;
  }
  std::vector<double> ratio;
  for (std::size_t i = 0; i < ours.perSecond.size() && i < enet.perSecond.size(); ++i)
    ratio.push_back(ours.perSecond[i] / enet.perSecond[i]);
  const bench::Spread r = bench::Summarise(ratio);
  std::fprintf(stderr, "throughput ratio ours/enet: %s (target >= 1.0)\n", bench::Format(r, 1).c_str());
  std::fprintf(stderr, "| `bench_net`: 1 host, 8 clients on loopback (load %s) | %s msg/s | ENet relay %s msg/s | %s (throughput) |\n",
               load.c_str(), bench::Format(bench::Summarise(ours.perSecond), 1, "%.0f").c_str(),
               bench::Format(bench::Summarise(enet.perSecond), 1, "%.0f").c_str(), bench::Format(r, 1).c_str());
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--game-client") == 0) return game::ClientMain(argc, argv);
  // Rounds of the saturation run (0 skips it); BENCH_NET_GAME shapes the game run.
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 8;
  // The session layer traces every message on standard output; like a game's, it goes to a file.
  const std::string trace = (std::filesystem::temp_directory_path() / "bench-net-trace.txt").string();
  if (!std::freopen(trace.c_str(), "w", stdout)) return 1;
  nlInit();
  nlSelectNetwork(NL_IP);
  EnetApi api;
  const bool haveEnet = api.Load();
  int rc = rounds > 0 ? Saturation(rounds, api, haveEnet, trace) : 0;
  if (!game::Run(api, haveEnet)) {
    std::fprintf(stderr, "MISMATCH: a game round failed, lost more than 1%% or misrouted\n");
    rc = 1;
  }
  nlShutdown();
  std::fflush(stdout);
  std::filesystem::remove(trace);
  return rc;
}
