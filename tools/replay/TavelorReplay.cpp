// tavelor-replay: session recordings (TAVELOR_RECORD) on the command line.
//
//   tavelor-replay info FILE               header, frames, records of each kind, readings
//                                          with input, sizes
//   tavelor-replay mouse FILE OUT FRAME DX  copy FILE to OUT with DX added to the motion of the
//                                          first mouse reading that takes motion in FRAME
//
// Exit codes: 0 done, 1 no such mouse reading, 2 a file that cannot be read or written or a
// wrong command line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/replay_file.h"

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
  const std::vector<unsigned char> bytes = EncodeRecording(rec.header, records);
  std::ofstream out(outPath, std::ios::binary);
  if (bytes.empty() || !out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
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
  if (command == "mouse" && argc == 6 && Number(argv[4], &frame) && Number(argv[5], &dx))
    return Mouse(argv[2], argv[3], frame, dx);
  std::fprintf(stderr, "usage: tavelor-replay info FILE\n       tavelor-replay mouse FILE OUT FRAME DX\n");
  return 2;
}
