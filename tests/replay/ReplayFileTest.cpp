// Session recordings: every kind of record survives the file (split into many blocks), and
// damaged, truncated or foreign files are refused with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/replay_file.h"

using namespace TAVELOR::platform;
using namespace TAVELOR::platform::replay;

namespace {

// The readings a short session might make, one of each kind and the awkward values: a clock
// that goes back, a counter near its end, a centred hat, every joystick button, a long name.
std::vector<Record> Session() {
  std::vector<Record> v;
  auto add = [&v](Kind k, auto fill) {
    Record r;
    r.kind = k;
    fill(r);
    v.push_back(r);
  };
  add(Kind::kFrequency, [](Record& r) { r.number = 1000000000; });
  add(Kind::kClock, [](Record& r) { r.number = 0xFFFFFFFFFFFF0000ull; });
  add(Kind::kClock, [](Record& r) { r.number = 5; });  // wrapped
  add(Kind::kClock, [](Record& r) { r.number = 3; });  // backwards
  add(Kind::kTicks, [](Record& r) { r.number = 4000000000u; });
  add(Kind::kTicks, [](Record& r) { r.number = 7; });
  add(Kind::kKeyboard, [](Record& r) { r.keys[1] = 0x80, r.keys[255] = 0x80, r.keys[0] = 1; });
  add(Kind::kKeyboard, [](Record& r) { r.keys[1] = 0x80; });
  add(Kind::kKeyboard, [](Record& r) { r.keys[1] = 0x80; });  // unchanged
  add(Kind::kMouse, [](Record& r) { r.flag = true, r.mouse = {-70000, 3, -2, 639, -5, {true, false, true}}; });
  add(Kind::kMouse, [](Record& r) { r.mouse = {0, 0, 0, 639, -5, {false, true, false}}; });  // no numbers
  add(Kind::kMouse, [](Record& r) { r.flag = true, r.mouse = {0, 0, 0, -2147483647 - 1, 2147483647, {}}; });
  add(Kind::kJoystick, [](Record& r) {
    r.value = 9, r.flag = true, r.joystick.pov = 0xFFFFFFFFu;
    int axes[6] = {-32768, 32767, 0, 1, -1, 12345};
    for (int a = 0; a < 6; ++a) r.joystick.axes[a] = axes[a];
    for (bool& b : r.joystick.buttons) b = true;
  });
  add(Kind::kJoystick, [](Record& r) { r.value = 0, r.flag = true, r.joystick.pov = 27000, r.joystick.buttons[31] = true; });
  add(Kind::kJoystick, [](Record& r) { r.value = 3, r.flag = false; });
  add(Kind::kMessage, [](Record& r) { r.message = 0x0006, r.wParam = 0, r.lParam = -(1L << 40); });
  add(Kind::kValue, [](Record& r) { r.what = Value::kKeyChar, r.value = -1; });
  add(Kind::kValue, [](Record& r) { r.what = Value::kHasPointer, r.value = 1; });
  add(Kind::kName, [](Record& r) { r.value = 2, r.name = std::string(kMaxName, 'j'); });
  add(Kind::kName, [](Record& r) { r.value = 1, r.name = ""; });
  add(Kind::kFrameEnd, [](Record& r) { r.flag = true, r.number = 0x0123456789ABCDEFull; });
  add(Kind::kFrameEnd, [](Record& r) { r.flag = false; });
  add(Kind::kEnd, [](Record& r) { r.flag = true, r.number = 42; });
  return v;
}

Header TestHeader() {
  Header h;
  h.width = 640, h.height = 480, h.checkEvery = 30, h.runtimeVersion = "9.8.7", h.renderer = "llvmpipe";
  return h;
}

void Put32(std::vector<unsigned char>& f, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t Get32(const std::vector<unsigned char>& f, std::size_t at) {
  return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<std::uint32_t>(f[at + 3]) << 24);
}

}  // namespace

TEST(ReplayFile, EveryRecordSurvivesTheFile) {
  const std::vector<Record> want = Session();
  const std::vector<unsigned char> file = EncodeRecording(TestHeader(), want, 4);
  Recording rec;
  std::string error;
  ASSERT_TRUE(ParseRecording(file.data(), file.size(), &rec, &error)) << error;
  EXPECT_EQ(rec.header.width, 640);
  EXPECT_EQ(rec.header.height, 480);
  EXPECT_EQ(rec.header.checkEvery, 30u);
  EXPECT_EQ(rec.header.runtimeVersion, "9.8.7");
  EXPECT_EQ(rec.header.renderer, "llvmpipe");
  EXPECT_EQ(rec.frames, 2u);
  EXPECT_TRUE(rec.ended);

  RecordDecoder d = rec.Decoder();
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    const Record& w = want[i];
    Record r;
    ASSERT_TRUE(d.Next(&r)) << d.Error();
    EXPECT_EQ(r.kind, w.kind);
    switch (w.kind) {
      case Kind::kKeyboard: EXPECT_EQ(r.keys, w.keys); break;
      case Kind::kMouse:
        EXPECT_EQ(r.flag, w.flag);
        EXPECT_EQ(std::vector<int>({r.mouse.dx, r.mouse.dy, r.mouse.wheel, r.mouse.x, r.mouse.y, r.mouse.buttons[0],
                                    r.mouse.buttons[1], r.mouse.buttons[2]}),
                  std::vector<int>({w.mouse.dx, w.mouse.dy, w.mouse.wheel, w.mouse.x, w.mouse.y, w.mouse.buttons[0],
                                    w.mouse.buttons[1], w.mouse.buttons[2]}));
        break;
      case Kind::kJoystick:
        EXPECT_EQ(r.value, w.value);
        EXPECT_EQ(r.flag, w.flag);
        EXPECT_EQ(0, std::memcmp(&r.joystick, &w.joystick, sizeof w.joystick));
        break;
      case Kind::kMessage:
        EXPECT_EQ(r.message, w.message);
        EXPECT_EQ(r.wParam, w.wParam);
        EXPECT_EQ(r.lParam, w.lParam);
        break;
      case Kind::kValue:
        EXPECT_EQ(r.what, w.what);
        EXPECT_EQ(r.value, w.value);
        break;
      case Kind::kName:
        EXPECT_EQ(r.value, w.value);
        EXPECT_EQ(r.name, w.name);
        break;
      default:
        EXPECT_EQ(r.flag, w.flag);
        EXPECT_EQ(r.number, w.number);
    }
  }
  Record extra;
  EXPECT_FALSE(d.Next(&extra));
  EXPECT_EQ(d.Error(), "");
}

TEST(ReplayFile, DamagedFilesAreRefusedWithAReason) {
  const std::vector<unsigned char> good = EncodeRecording(TestHeader(), Session(), 3);
  const std::size_t firstBlock = 8 + 2 + 2 + 12 + 1 + 5 + 1 + 8;
  ASSERT_GT(good.size(), firstBlock + 20);
  // A file of these uncompressed blocks.
  auto blocks = [](std::vector<std::vector<unsigned char>> raws) {
    std::vector<unsigned char> f = EncodeHeader(TestHeader());
    for (const auto& raw : raws) {
      const std::vector<unsigned char> block = EncodeBlock(raw);
      f.insert(f.end(), block.begin(), block.end());
    }
    return f;
  };
  // A file of one block holding these kinds and contents.
  auto records = [&](std::vector<unsigned char> tags, std::vector<unsigned char> data) {
    std::vector<unsigned char> raw = {static_cast<unsigned char>(tags.size()), 0, 0, 0};
    raw.insert(raw.end(), tags.begin(), tags.end());
    raw.insert(raw.end(), data.begin(), data.end());
    return blocks({raw});
  };
  constexpr auto K = [](Kind k) { return static_cast<unsigned char>(k); };
  struct Case {
    const char* name;
    std::function<std::vector<unsigned char>()> file;
    const char* reason;
  };
  const Case cases[] = {
      {"empty", [] { return std::vector<unsigned char>(); }, "not a session recording"},
      {"a picture", [] { return std::vector<unsigned char>{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; },
       "not a session recording"},
      {"newer version", [&] { auto f = good; f[8] = 2; return f; }, "format version 2"},
      {"header cut", [&] { return std::vector<unsigned char>(good.begin(), good.begin() + 20); }, "truncated in its header"},
      {"no screen", [&] { auto f = good; Put32(f, 12, 0); return f; }, "screen size"},
      {"block cut", [&] { return std::vector<unsigned char>(good.begin(), good.end() - 1); }, "truncated"},
      {"huge block", [&] { auto f = good; Put32(f, firstBlock, 0x7FFFFFFF); return f; }, "damaged block length"},
      {"hash", [&] { auto f = good; f[firstBlock + 4] ^= 1; return f; }, "do not match their checksum"},
      {"packed bytes", [&] { auto f = good; f[firstBlock + 14] ^= 0x55; return f; }, "block 1"},
      {"unknown kind", [&] { return records({0x7F}, {}); }, "unknown kind"},
      {"record cut", [&] { return records({K(Kind::kClock)}, {0x80}); }, "cut short"},
      {"contents left", [&] { return records({K(Kind::kClock)}, {1, 2}); }, "do not fill it exactly"},
      {"long varint", [&] { return records({K(Kind::kClock)}, std::vector<unsigned char>(12, 0xFF)); }, "too long"},
      {"count", [&] { return blocks({{9, 0, 0, 0, 4}}); }, "damaged record count"},
      {"across blocks", [&] { return blocks({{1, 0, 0, 0, K(Kind::kClock), 0x80}, {0, 0, 0, 0, 1}}); }, "do not fill it exactly"},
      {"mouse flags", [&] { return records({K(Kind::kMouse)}, {0x20}); }, "unknown flags"},
      {"value kind", [&] { return records({K(Kind::kValue)}, {99, 0}); }, "unknown value"},
      {"name length", [&] { return records({K(Kind::kName)}, {0, 0xFF, 0x7F}); }, "too long"},
      {"keys", [&] { return records({K(Kind::kKeyboard)}, {0x81, 0x02}); }, "more than 256"},
      {"after the end", [&] { return records({K(Kind::kEnd), K(Kind::kFrameEnd)}, {0, 0}); }, "follow the program's end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<unsigned char> f = c.file();
    Recording rec;
    std::string error;
    EXPECT_FALSE(ParseRecording(f.data(), f.size(), &rec, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }

  // Cut anywhere, a file reads only where a whole number of blocks remains.
  std::vector<std::size_t> ends = {firstBlock};
  while (ends.back() < good.size()) ends.push_back(ends.back() + 8 + Get32(good, ends.back()));
  ASSERT_EQ(ends.back(), good.size());
  for (std::size_t n = 0; n <= good.size(); ++n) {
    Recording rec;
    std::string error;
    const bool whole = std::find(ends.begin(), ends.end(), n) != ends.end();
    EXPECT_EQ(ParseRecording(good.data(), n, &rec, &error), whole) << n << ": " << error;
  }
}

TEST(ReplayFile, BlockHashIsFnv1a) {
  // Published FNV-1a 64-bit test vectors.
  const std::pair<std::string, std::uint64_t> vectors[] = {
      {"", 0xcbf29ce484222325ull}, {"a", 0xaf63dc4c8601ec8cull}, {"foobar", 0x85944171f73967e8ull}};
  for (const auto& [text, hash] : vectors)
    EXPECT_EQ(Fnv1a(reinterpret_cast<const unsigned char*>(text.data()), text.size()), hash) << text;
}
