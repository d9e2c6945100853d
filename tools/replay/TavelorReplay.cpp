// tavelor-replay: session recordings (TAVELOR_RECORD) on the command line.
//
//   tavelor-replay info FILE               header, frames, records of each kind, readings
//                                          with input, sizes
//   tavelor-replay mouse FILE OUT FRAME DX  copy FILE to OUT with DX added to the motion of the
//                                          first mouse reading that takes motion in FRAME
//   tavelor-replay script OUT               write a scripted recording from the lines on
//                                          standard input (a session without a player):
//       size W H          the program's screen (default 640 480)
//       frame-ms MS       each frame's length on the replayed clock (default 1000/60)
//       N INPUT...        N frames with this input (start-up reads the first); INPUT is any of
//                           mouse DX DY   motion in each frame     wheel N   notches each frame
//                           button B      button 1-3 held          at X Y    pointer position
//                           key CODE      key code held (repeat for more keys)
//                           close         the close request, in the first of the N frames
//                           focus 0|1     focus lost or gained, in the first of the N frames
//                                         (a game held by a lost focus shows no further frame:
//                                         give "focus 0 focus 1" together to pass a pause)
//       # ...             a comment
//
// Exit codes: 0 done, 1 no such mouse reading, 2 a file that cannot be read or written or a
// wrong command line or script.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <tavelor/wintypes.h>

#include "platform/replay_file.h"

using namespace TAVELOR::platform;
using namespace TAVELOR::platform::replay;

namespace {

bool Load(const char* path, Recording* rec, std::size_t* size) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "tavelor-replay: cannot read %s\n", path);
    return false;
  }
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  *size = bytes.size();
  std::string error;
  if (!ParseRecording(bytes.data(), bytes.size(), rec, &error)) {
    std::fprintf(stderr, "tavelor-replay: %s: %s\n", path, error.c_str());
    return false;
  }
  return true;
}

bool Write(const char* path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  return !bytes.empty() && out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int Info(const char* path) {
  Recording rec;
  std::size_t size = 0;
  if (!Load(path, &rec, &size)) return 2;
  std::map<int, long> counts;
  long checksums = 0, moved = 0, wheel = 0, buttons = 0, keys = 0;
  RecordDecoder decoder = rec.Decoder();
  Record r;
  while (decoder.Next(&r)) {
    ++counts[static_cast<int>(r.kind)];
    checksums += (r.kind == Kind::kFrameEnd || r.kind == Kind::kEnd) && r.flag;
    if (r.kind == Kind::kMouse) {
      moved += r.mouse.dx != 0 || r.mouse.dy != 0;
      wheel += r.mouse.wheel != 0;
      buttons += r.mouse.buttons[0] || r.mouse.buttons[1] || r.mouse.buttons[2];
    }
    if (r.kind == Kind::kKeyboard) keys += std::any_of(r.keys.begin(), r.keys.end(), [](unsigned char k) { return k != 0; });
  }
  const Header& h = rec.header;
  std::printf("format %u, runtime %s, %d x %d, renderer \"%s\"\n", h.version, h.runtimeVersion.c_str(), h.width,
              h.height, h.renderer.c_str());
  std::printf("%u frames, %s, a checksum every %u frames (%ld stored)\n", rec.frames,
              rec.ended ? "ends with the program" : "cut short", h.checkEvery, checksums);
  static const char* const kNames[] = {"", "keyboard", "mouse", "joystick", "clock", "frequency", "ticks",
                                       "message", "value", "name", "frame", "end"};
  for (const auto& [kind, n] : counts) std::printf("  %-10s %ld\n", kNames[kind], n);
  std::printf("input: mouse moved %ld, wheel %ld, buttons %ld, keys down %ld\n", moved, wheel, buttons, keys);
  std::printf("%zu bytes in the file, %zu bytes of records\n", size, rec.tags.size() + rec.data.size());
  return 0;
}

int Mouse(const char* path, const char* outPath, long frame, long dx) {
  Recording rec;
  std::size_t size = 0;
  if (!Load(path, &rec, &size)) return 2;
  RecordDecoder decoder = rec.Decoder();
  std::vector<Record> records;
  Record r;
  long current = 1;
  bool changed = false;
  while (decoder.Next(&r)) {
    if (!changed && current == frame && r.kind == Kind::kMouse && r.flag) {
      r.mouse.dx += static_cast<int>(dx);
      changed = true;
    }
    if (r.kind == Kind::kFrameEnd) ++current;
    records.push_back(r);
  }
  if (!changed) {
    std::fprintf(stderr, "tavelor-replay: frame %ld reads no mouse motion\n", frame);
    return 1;
  }
  if (!Write(outPath, EncodeRecording(rec.header, records))) {
    std::fprintf(stderr, "tavelor-replay: cannot write %s\n", outPath);
    return 2;
  }
  return 0;
}

int Script(const char* outPath) {
  Header h;
  h.flags = kScripted;
  h.width = 640, h.height = 480;
  double frameMs = 1000.0 / 60;
  std::vector<Record> records;
  long frame = 0;
  MouseSample pointer;  // the held position
  auto add = [&](Kind k, auto fill) {
    Record r;
    r.kind = k;
    fill(r);
    records.push_back(r);
  };
  auto frameRecords = [&](const std::array<unsigned char, 256>& keys, const MouseSample& m,
                          const std::vector<Message>& messages) {
    add(Kind::kClock, [&](Record& r) { r.number = 1000000000ull + static_cast<std::uint64_t>(frame * frameMs * 1e6 + 0.5); });
    add(Kind::kKeyboard, [&](Record& r) { r.keys = keys; });
    add(Kind::kMouse, [&](Record& r) { r.flag = true, r.mouse = m; });
    for (const Message& msg : messages)
      add(Kind::kMessage, [&](Record& r) { r.message = msg.message, r.wParam = msg.wParam, r.lParam = msg.lParam; });
    add(Kind::kFrameEnd, [](Record&) {});
    ++frame;
  };
  std::string line;
  int lineNo = 0;
  auto bad = [&](const std::string& why) {
    std::fprintf(stderr, "tavelor-replay: script line %d: %s\n", lineNo, why.c_str());
    return 2;
  };
  while (std::getline(std::cin, line)) {
    ++lineNo;
    std::istringstream in(line.substr(0, line.find('#')));
    std::string word;
    if (!(in >> word)) continue;
    if (word == "size") {
      if (!(in >> h.width >> h.height) || h.width <= 0 || h.height <= 0) return bad("size wants a width and a height");
      continue;
    }
    if (word == "frame-ms") {
      if (!(in >> frameMs) || !(frameMs > 0)) return bad("frame-ms wants a length");
      continue;
    }
    char* end = nullptr;
    const long count = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || count < 1 || count > 10000000) return bad("a line starts with a frame count");
    std::array<unsigned char, 256> keys{};
    MouseSample m;
    std::vector<Message> messages;
    while (in >> word) {
      int a = 0, b = 0;
      if (word == "mouse" && in >> a >> b) m.dx = a, m.dy = b;
      else if (word == "wheel" && in >> a) m.wheel = a;
      else if (word == "button" && in >> a && a >= 1 && a <= 3) m.buttons[a - 1] = true;
      else if (word == "at" && in >> a >> b) pointer.x = a, pointer.y = b;
      else if (word == "key" && in >> a && a > 0 && a < 256) keys[static_cast<std::size_t>(a)] = 0x80;
      else if (word == "close") messages.push_back(Message{TAVELOR::WM_CLOSE, 0, 0});
      else if (word == "focus" && in >> a)
        messages.push_back(Message{TAVELOR::WM_ACTIVATE, a ? unsigned{TAVELOR::WA_ACTIVE} : unsigned{TAVELOR::WA_INACTIVE}, 0});
      else return bad("unknown input \"" + word + "\"");
    }
    m.x = pointer.x, m.y = pointer.y;
    for (long i = 0; i < count; ++i) frameRecords(keys, m, i == 0 ? messages : std::vector<Message>());
  }
  if (frame == 0) return bad("no frames");
  if (!Write(outPath, EncodeRecording(h, records))) {
    std::fprintf(stderr, "tavelor-replay: cannot write %s\n", outPath);
    return 2;
  }
  return 0;
}

bool Number(const char* text, long* out) {
  char* end = nullptr;
  *out = std::strtol(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  long frame = 0, dx = 0;
  if (command == "info" && argc == 3) return Info(argv[2]);
  if (command == "script" && argc == 3) return Script(argv[2]);
  if (command == "mouse" && argc == 6 && Number(argv[4], &frame) && Number(argv[5], &dx))
    return Mouse(argv[2], argv[3], frame, dx);
  std::fprintf(stderr,
               "usage: tavelor-replay info FILE\n       tavelor-replay mouse FILE OUT FRAME DX\n"
               "       tavelor-replay script OUT < SCRIPT\n");
  return 2;
}
