// The session source: the platform readers of platform.h, live, recorded or replayed.
#include "platform/replay.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/live.h"
#include "platform/input.h"
#include "platform/platform.h"
#include "platform/replay_file.h"

#ifndef TAVELOR_VERSION
#define TAVELOR_VERSION "unknown"
#endif

namespace TAVELOR::platform {

namespace replay {
namespace {

// Records are written out in blocks of about this size, and at least this often, so a
// session that ends abruptly loses little.
constexpr std::size_t kBlockBytes = 32 * 1024;
constexpr std::uint32_t kBlockFrames = 600;
constexpr std::uint32_t kDefaultCheckEvery = 30;

struct Recorder {
  std::FILE* file = nullptr;
  std::string path;
  RecordEncoder encoder;
  std::uint32_t checkEvery = kDefaultCheckEvery;
  std::uint32_t framesInBlock = 0;
  bool netNoted = false;
};

// The state a scripted recording gives every reading of the frame in progress.
struct ScriptFrame {
  std::uint64_t clock = 0;
  std::array<unsigned char, 256> keys{};
  MouseSample mouse;
  bool motionTaken = false;
  std::vector<Message> messages;
  std::size_t nextMessage = 0;
};

struct Player {
  std::string path;
  bool scripted = false;
  ScriptFrame frame;
  std::uint64_t nextClock = 0;  // the next frame's clock, once the frame pump takes its stamp
  bool haveNextClock = false;
  Recording recording;
  std::unique_ptr<RecordDecoder> decoder;
  Record next;
  bool haveNext = false;
  bool compare = true;      // the renderer is the recorded one
  bool realTime = false;    // TAVELOR_REPLAY_SPEED=1
  bool thenLive = false;    // TAVELOR_REPLAY_END=live
  std::uint64_t frequency = 0, firstClock = 0, lastClock = 0;
  bool clockSeen = false;
  double startMs = 0;
  std::uint32_t checked = 0;  // checksums compared
};

Mode g_mode = Mode::kLive;
std::uint32_t g_frame = 1;  // the frame in progress, counted from 1
Recorder* g_rec = nullptr;
Player* g_play = nullptr;

const char* KindName(Kind k) {
  switch (k) {
    case Kind::kKeyboard: return "keyboard";
    case Kind::kMouse: return "mouse";
    case Kind::kJoystick: return "joystick";
    case Kind::kClock: case Kind::kFrequency: case Kind::kTicks: return "clock";
    case Kind::kMessage: return "window message";
    case Kind::kValue: return "device value";
    case Kind::kName: return "joystick name";
    case Kind::kFrameEnd: return "end of frame";
    case Kind::kEnd: return "end of the program";
  }
  return "record";
}

[[noreturn]] void Stop(int code, const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  std::exit(code);
}

[[noreturn]] void Diverged(const std::string& why) {
  Stop(kExitDiverged, "replay diverged at frame " + std::to_string(g_frame) + " (" + why + ")");
}

// ---- Recording ----------------------------------------------------------------------------

// Writes the records so far as a block. A failed write ends the program (exit code 2) unless
// it is already ending, when the message alone is given.
void FlushBlock(bool ending = false) {
  g_rec->framesInBlock = 0;
  if (g_rec->encoder.Size() == 0 || !g_rec->file) return;
  const std::vector<unsigned char> block = EncodeBlock(g_rec->encoder.Block());
  g_rec->encoder.Clear();
  if (block.empty() || std::fwrite(block.data(), 1, block.size(), g_rec->file) != block.size() ||
      std::fflush(g_rec->file) != 0) {
    std::fclose(g_rec->file);
    g_rec->file = nullptr;
    const std::string text = "record: cannot write " + g_rec->path;
    if (!ending) Stop(kExitBadFile, text);
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

void CloseRecording() {
  if (!g_rec || !g_rec->file) return;
  FlushBlock(true);
  if (g_rec->file) std::fclose(g_rec->file);
  g_rec->file = nullptr;
}

void StartRecording(const char* path, const Header& header) {
  g_rec = new Recorder;
  g_rec->path = path;
  if (const char* every = std::getenv("TAVELOR_RECORD_CHECK")) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(every, &end, 10);
    if (end == every || *end != '\0' || n > 1000000) Stop(kExitBadFile, "record: TAVELOR_RECORD_CHECK wants a frame count");
    g_rec->checkEvery = static_cast<std::uint32_t>(n);
  }
  Header h = header;
  h.checkEvery = g_rec->checkEvery;
  g_rec->file = std::fopen(path, "wb");
  const std::vector<unsigned char> bytes = EncodeHeader(h);
  if (!g_rec->file || std::fwrite(bytes.data(), 1, bytes.size(), g_rec->file) != bytes.size())
    Stop(kExitBadFile, std::string("record: cannot write ") + path);
  static const bool closeAtExit = std::atexit(CloseRecording) == 0;  // leaving by another way keeps it
  (void)closeAtExit;
  g_mode = Mode::kRecording;
}

// ---- Replay -------------------------------------------------------------------------------

double WallMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Reads the next frame of a scripted recording; false when none is left.
bool LoadScriptFrame() {
  Player& p = *g_play;
  ScriptFrame& f = p.frame;
  f.messages.clear();
  f.nextMessage = 0;
  f.motionTaken = false;
  Record r;
  bool any = false;
  while (p.decoder->Next(&r)) {
    any = true;
    switch (r.kind) {
      case Kind::kClock: f.clock = r.number; break;
      case Kind::kKeyboard: f.keys = r.keys; break;
      case Kind::kMouse: f.mouse = r.mouse; break;
      case Kind::kMessage: f.messages.push_back(Message{r.message, r.wParam, r.lParam}); break;
      case Kind::kFrameEnd: case Kind::kEnd: return true;
      default: break;  // a scripted program has no joysticks and every device it asks for
    }
  }
  return any;
}

// The next frame's clock, for the frame pump's stamp as a frame ends.
void PeekScriptClock() {
  Player& p = *g_play;
  RecordDecoder ahead = *p.decoder;
  Record r;
  p.haveNextClock = false;
  while (ahead.Next(&r) && r.kind != Kind::kFrameEnd && r.kind != Kind::kEnd) {
    if (r.kind == Kind::kClock) {
      p.nextClock = r.number;
      p.haveNextClock = true;
    }
  }
}

// The player of a scripted recording; null otherwise.
Player* Scripted() { return g_mode == Mode::kReplaying && g_play->scripted ? g_play : nullptr; }

void StartReplay(const char* path, const Header& live) {
  g_play = new Player;
  Player& p = *g_play;
  p.path = path;
  std::ifstream in(path, std::ios::binary);
  if (!in) Stop(kExitBadFile, std::string("replay: cannot read ") + path);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  if (!ParseRecording(bytes.data(), bytes.size(), &p.recording, &error))
    Stop(kExitBadFile, std::string("replay: ") + path + ": " + error);
  const Header& h = p.recording.header;
  if (h.width != live.width || h.height != live.height)
    Stop(kExitDiverged, "replay diverged at frame 0 (recorded at " + std::to_string(h.width) + " x " +
                            std::to_string(h.height) + ", this program opens " + std::to_string(live.width) + " x " +
                            std::to_string(live.height) + ")");
  const bool scripted = (h.flags & kScripted) != 0;
  if (h.runtimeVersion != live.runtimeVersion && !scripted)
    std::fprintf(stderr, "replay: recorded with runtime %s, this is %s\n", h.runtimeVersion.c_str(),
                 live.runtimeVersion.c_str());
  p.compare = h.renderer == live.renderer;
  if (!p.compare && !scripted)
    std::fprintf(stderr, "replay: frames recorded with the renderer \"%s\", drawn now by \"%s\": checksums not compared\n",
                 h.renderer.c_str(), live.renderer.c_str());
  const char* speed = std::getenv("TAVELOR_REPLAY_SPEED");
  p.realTime = speed && std::strcmp(speed, "1") == 0;
  const char* end = std::getenv("TAVELOR_REPLAY_END");
  p.thenLive = end && std::strcmp(end, "live") == 0;
  p.decoder = std::make_unique<RecordDecoder>(p.recording.Decoder());
  p.startMs = WallMs();
  p.scripted = (h.flags & kScripted) != 0;
  if (p.scripted) {
    p.compare = false;
    p.frequency = 1000000000;
    LoadScriptFrame();
    p.firstClock = p.lastClock = p.frame.clock;
    p.clockSeen = true;
  }
  g_mode = Mode::kReplaying;
}

// The end of a recording that stops without the program's end: leave (exit code 0) or go on
// with the live devices.
void RecordingOver() {
  if (g_play->thenLive) {
    std::fprintf(stderr, "replay: the recording ends at frame %u; going on live\n", g_frame);
    g_mode = Mode::kLive;
    return;
  }
  Stop(0, "replay: the recording ends at frame " + std::to_string(g_frame) + " (" +
              std::to_string(g_play->checked) + " frame checksums matched)");
}

// The next record without taking it; null at the end of the stream.
const Record* Peek() {
  Player& p = *g_play;
  if (!p.haveNext) {
    if (!p.decoder->Next(&p.next)) return nullptr;  // the stream was checked when it was read
    p.haveNext = true;
  }
  return &p.next;
}

// Takes the next record, which must be of kind k. Null when the recording is over and the
// program goes on live.
const Record* Take(Kind k) {
  const Record* r = Peek();
  if (!r) {
    if (g_play->recording.ended) Diverged(std::string("the program reads the ") + KindName(k) + " after its recorded end");
    RecordingOver();
    return nullptr;
  }
  if (r->kind != k)
    Diverged(std::string("the program reads the ") + KindName(k) + " where the recording holds the " + KindName(r->kind));
  g_play->haveNext = false;
  return r;
}

const Record* TakeValue(Value what) {
  const Record* r = Take(Kind::kValue);
  if (r && r->what != what) Diverged("the program reads another device value than the recorded one");
  return r;
}

// Replays wait until the recorded time has passed when asked to run in real time.
void KeepRecordedPace() {
  Player& p = *g_play;
  if (!p.realTime || !p.clockSeen || p.frequency == 0) return;
  const double due = static_cast<double>(p.lastClock - p.firstClock) * 1000.0 / static_cast<double>(p.frequency);
  const double ahead = due - (WallMs() - p.startMs);
  if (ahead > 0) live::SleepMs(ahead);
}

}  // namespace

Mode CurrentMode() { return g_mode; }

void Begin(int width, int height, const char* renderer) {
  if (g_mode != Mode::kLive || g_rec || g_play) return;
  const char* record = std::getenv("TAVELOR_RECORD");
  const char* replay = std::getenv("TAVELOR_REPLAY");
  record = record && *record ? record : nullptr;
  replay = replay && *replay ? replay : nullptr;
  if (!record && !replay) return;
  if (record && replay) Stop(kExitBadFile, "set only one of TAVELOR_RECORD and TAVELOR_REPLAY");
  Header h;
  h.width = width;
  h.height = height;
  h.runtimeVersion = TAVELOR_VERSION;
  h.renderer = renderer ? renderer : "";
  if (record) StartRecording(record, h);
  else StartReplay(replay, h);
}

void RecordTo(const char* path, int width, int height, const char* renderer) {
  StopRecording();
  if (g_mode != Mode::kLive || g_play) return;
  delete g_rec;  // an earlier recording, already closed
  g_rec = nullptr;
  Header h;
  h.width = width;
  h.height = height;
  h.runtimeVersion = TAVELOR_VERSION;
  h.renderer = renderer ? renderer : "";
  StartRecording(path, h);
}

void StopRecording() {
  if (g_mode != Mode::kRecording) return;
  g_rec->encoder.End(false, 0);
  CloseRecording();
  delete g_rec;
  g_rec = nullptr;
  g_mode = Mode::kLive;
}

bool FrameChecksumWanted() {
  if (g_mode == Mode::kRecording) return g_rec->checkEvery > 0 && g_frame % g_rec->checkEvery == 0;
  if (g_mode != Mode::kReplaying || !g_play->compare) return false;
  const Record* r = Peek();
  return r && r->kind == Kind::kFrameEnd && r->flag;
}

void FrameEnding() {
  if (g_mode != Mode::kReplaying || !g_play->scripted) return;
  PeekScriptClock();
  if (g_play->haveNextClock) g_play->frame.clock = g_play->nextClock;
}

void FrameShown(std::uint64_t checksum) {
  if (g_mode == Mode::kRecording) {
    const bool has = g_rec->checkEvery > 0 && g_frame % g_rec->checkEvery == 0;
    g_rec->encoder.FrameEnd(has, checksum);
    if (g_rec->encoder.Size() >= kBlockBytes || ++g_rec->framesInBlock >= kBlockFrames) FlushBlock();
  } else if (Scripted()) {
    ++g_frame;
    if (!LoadScriptFrame()) {
      RecordingOver();
      return;
    }
    g_play->lastClock = g_play->frame.clock;
    KeepRecordedPace();
    return;
  } else if (g_mode == Mode::kReplaying) {
    const Record* r = Take(Kind::kFrameEnd);
    if (!r) return;
    if (r->flag && g_play->compare) {
      if (r->number != checksum) Diverged("the picture differs from the recorded one");
      ++g_play->checked;
    }
    KeepRecordedPace();
  }
  ++g_frame;
}

bool EndChecksumWanted() {
  if (g_mode == Mode::kRecording) return true;
  if (g_mode != Mode::kReplaying || !g_play->compare) return false;
  const Record* r = Peek();
  return r && r->kind == Kind::kEnd && r->flag;
}

void ProgramEnds(std::uint64_t checksum) {
  if (g_mode == Mode::kRecording) {
    g_rec->encoder.End(true, checksum);
    CloseRecording();
  } else if (g_mode == Mode::kReplaying) {
    if (g_play->scripted) {
      std::fprintf(stderr, "replay: the program ends at frame %u%s\n", g_frame,
                   g_play->decoder->Left() == 0 ? ", the script's last" : ", before the script's end");
      g_mode = Mode::kLive;
      return;
    }
    const Record* r = Peek();
    if (!r || r->kind != Kind::kEnd) {
      std::fprintf(stderr, "replay: the program ends at frame %u, before the recording does\n", g_frame);
      return;
    }
    if (r->flag && g_play->compare) {
      if (r->number != checksum) Diverged("the last picture differs from the recorded one");
      ++g_play->checked;
    }
    std::fprintf(stderr, "replay: the program ends at frame %u as recorded (%u frame checksums matched)\n", g_frame,
                 g_play->checked);
  }
  g_mode = Mode::kLive;
}

void NetworkCommand(const char* command) {
  if (g_mode == Mode::kReplaying)
    Stop(kExitDiverged, std::string("replay stops at frame ") + std::to_string(g_frame) + ": " + command +
                            " needs the network, whose traffic is not recorded");
  if (g_mode == Mode::kRecording && !g_rec->netNoted) {
    g_rec->netNoted = true;
    std::fprintf(stderr, "record: network traffic is not recorded; a replay stops at %s (frame %u)\n", command, g_frame);
  }
}

double PacingMilliseconds() {
  const std::uint64_t f = live::PerformanceFrequency();
  if (f == 0) return static_cast<double>(live::TickCount());
  return static_cast<double>(static_cast<long double>(live::PerformanceCounter()) * 1000.0L / f);
}

bool PacingSkipped() { return g_mode == Mode::kReplaying; }

}  // namespace replay

// ---- The readers of platform.h ------------------------------------------------------------

using replay::g_mode;
using replay::Kind;
using replay::Mode;
using replay::Value;

namespace {
replay::RecordEncoder& Rec() { return replay::g_rec->encoder; }

// A single value: live, recorded, or the recorded one.
template <class F>
std::int64_t Single(Value what, F live) {
  if (replay::Scripted()) return what == Value::kKeyChar ? live() : (what == Value::kJoystickCount ? 0 : 1);
  if (g_mode == Mode::kReplaying) {
    if (const replay::Record* r = replay::TakeValue(what)) return r->value;
  }
  const std::int64_t v = live();
  if (g_mode == Mode::kRecording) Rec().Val(what, v);
  return v;
}
}  // namespace

bool PeekMessage(Message* out) {
  if (replay::Player* p = replay::Scripted()) {
    if (p->frame.nextMessage >= p->frame.messages.size()) return false;
    *out = p->frame.messages[p->frame.nextMessage++];
    return true;
  }
  if (g_mode == Mode::kReplaying) {
    const replay::Record* r = replay::Peek();
    if (!r) {
      replay::RecordingOver();
      return g_mode == Mode::kLive && live::PeekMessage(out);
    }
    if (r->kind != Kind::kMessage) return false;
    *out = Message{r->message, r->wParam, r->lParam};
    replay::g_play->haveNext = false;
    return true;
  }
  const bool got = live::PeekMessage(out);
  if (got && g_mode == Mode::kRecording) Rec().Msg(*out);
  return got;
}

void GetKeyboardState(unsigned char state[256]) {
  if (replay::Player* p = replay::Scripted()) {
    std::memcpy(state, p->frame.keys.data(), 256);
    return;
  }
  if (g_mode == Mode::kReplaying) {
    if (const replay::Record* r = replay::Take(Kind::kKeyboard)) {
      std::memcpy(state, r->keys.data(), 256);
      return;
    }
  }
  live::GetKeyboardState(state);
  if (g_mode == Mode::kRecording) Rec().Keyboard(state);
}

bool KeyboardAvailable() { return Single(Value::kKeyboardAvailable, [] { return live::KeyboardAvailable() ? 1 : 0; }) != 0; }

int KeyCodeChar(int keyCode) {
  return static_cast<int>(Single(Value::kKeyChar, [keyCode] { return live::KeyCodeChar(keyCode); }));
}

bool HasPointer() { return Single(Value::kHasPointer, [] { return live::HasPointer() ? 1 : 0; }) != 0; }

bool SetRelativeMouse(bool on) {
  return Single(Value::kRelativeMouse, [on] { return live::SetRelativeMouse(on) ? 1 : 0; }) != 0;
}

void ReadMouse(WindowHandle window, bool takeMotion, MouseSample* out) {
  if (replay::Player* p = replay::Scripted()) {
    *out = p->frame.mouse;
    if (!takeMotion || p->frame.motionTaken) out->dx = out->dy = out->wheel = 0;
    p->frame.motionTaken = p->frame.motionTaken || takeMotion;
    return;
  }
  if (g_mode == Mode::kReplaying) {
    if (const replay::Record* r = replay::Take(Kind::kMouse)) {
      if (r->flag != takeMotion) replay::Diverged("the program reads the mouse otherwise than recorded");
      *out = r->mouse;
      return;
    }
  }
  live::ReadMouse(window, takeMotion, out);
  if (g_mode == Mode::kRecording) Rec().Mouse(takeMotion, *out);
}

bool JoystickInit() { return Single(Value::kJoystickInit, [] { return live::JoystickInit() ? 1 : 0; }) != 0; }

int JoystickSync() { return static_cast<int>(Single(Value::kJoystickCount, [] { return live::JoystickSync(); })); }

std::string JoystickName(int index) {
  if (replay::Scripted()) return std::string();
  if (g_mode == Mode::kReplaying) {
    if (const replay::Record* r = replay::Take(Kind::kName)) {
      if (r->value != index) replay::Diverged("the program asks for another joystick's name");
      return r->name;
    }
  }
  std::string name = live::JoystickName(index);
  if (g_mode == Mode::kRecording) Rec().Name(index, name);
  return name;
}

bool ReadJoystick(int index, JoystickSample* out) {
  if (replay::Scripted()) {
    *out = JoystickSample{};
    return false;
  }
  if (g_mode == Mode::kReplaying) {
    if (const replay::Record* r = replay::Take(Kind::kJoystick)) {
      if (r->value != index) replay::Diverged("the program reads another joystick");
      *out = r->joystick;
      return r->flag;
    }
  }
  const bool ok = live::ReadJoystick(index, out);
  if (g_mode == Mode::kRecording) Rec().Joystick(index, ok, *out);
  return ok;
}

std::uint64_t PerformanceCounter() {
  if (replay::Player* p = replay::Scripted()) return p->frame.clock;
  if (g_mode == Mode::kReplaying) {
    if (const replay::Record* r = replay::Take(Kind::kClock)) {
      replay::Player& p = *replay::g_play;
      if (!p.clockSeen) p.firstClock = r->number;
      p.clockSeen = true;
      p.lastClock = r->number;
      return r->number;
    }
  }
  const std::uint64_t v = live::PerformanceCounter();
  if (g_mode == Mode::kRecording) Rec().Clock(v);
  return v;
}

std::uint64_t PerformanceFrequency() {
  if (replay::Scripted()) return 1000000000;
  if (g_mode == Mode::kReplaying) {
    if (const replay::Record* r = replay::Take(Kind::kFrequency)) return replay::g_play->frequency = r->number;
  }
  const std::uint64_t v = live::PerformanceFrequency();
  if (g_mode == Mode::kRecording) Rec().Frequency(v);
  return v;
}

std::uint32_t TickCount() {
  if (replay::Player* p = replay::Scripted()) return static_cast<std::uint32_t>(p->frame.clock / 1000000);
  if (g_mode == Mode::kReplaying) {
    if (const replay::Record* r = replay::Take(Kind::kTicks)) return static_cast<std::uint32_t>(r->number);
  }
  const std::uint32_t v = live::TickCount();
  if (g_mode == Mode::kRecording) Rec().Ticks(v);
  return v;
}

void SleepMs(double milliseconds) {
  if (g_mode == Mode::kReplaying) return;  // a replay runs as fast as it can draw
  live::SleepMs(milliseconds);
}

}  // namespace TAVELOR::platform
