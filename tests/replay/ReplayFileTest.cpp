// Session recordings: every kind of record survives the file (split into many blocks), and
// damaged, truncated or foreign files are refused with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/replay_file.h"

using namespace TAVELOR::platform::replay;

namespace {

using Bytes = std::vector<unsigned char>;

// The readings a short session might make, one of each kind and the awkward values: a clock
// that goes back, a counter near its end, a centred hat, every joystick button, a long name.
std::vector<Record> Session() {
  std::vector<Record> v;
  auto add = [&v](Kind k, auto fill) {
    fill(v.emplace_back());
    v.back().kind = k;
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
    r.value = 9, r.flag = true, r.joystick = {{-32768, 32767, 0, 1, -1, 12345}, 0xFFFFFFFFu, {}};
    std::fill(std::begin(r.joystick.buttons), std::end(r.joystick.buttons), true);
  });
  add(Kind::kJoystick, [](Record& r) { r.flag = true, r.joystick.pov = 27000, r.joystick.buttons[31] = true; });
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

const Header kHeader{kFormatVersion, 0, 640, 480, 30, "9.8.7", "llvmpipe"};

}  // namespace

TEST(ReplayFile, EveryRecordSurvivesTheFileAndDamagedFilesAreRefusedWithAReason) {
  const Bytes good = EncodeRecording(kHeader, Session(), 3);
  Recording rec;
  std::string error;
  ASSERT_TRUE(ParseRecording(good.data(), good.size(), &rec, &error)) << error;
  const Header& h = rec.header;
  EXPECT_EQ(std::tuple(h.width, h.height, h.checkEvery, h.runtimeVersion, h.renderer, rec.frames, rec.ended),
            std::tuple(640, 480, 30u, "9.8.7", "llvmpipe", 2u, true));
  // Decoded records encode to the same file: every field the file holds came back.
  RecordDecoder d = rec.Decoder();
  std::vector<Record> got;
  for (Record r; d.Next(&r); r = Record{}) got.push_back(r);
  EXPECT_EQ(d.Error(), "");
  EXPECT_TRUE(EncodeRecording(kHeader, got, 3) == good);

  const std::size_t firstBlock = 8 + 2 + 2 + 12 + 1 + 5 + 1 + 8;
  auto get32 = [&](std::size_t at) { return good[at] | good[at + 1] << 8 | good[at + 2] << 16 | good[at + 3] << 24; };
  auto with = [&](std::size_t at, std::uint32_t v, int bytes = 4) {
    Bytes f = good;
    for (int i = 0; i < bytes; ++i) f[at + i] = static_cast<unsigned char>(v >> (8 * i));
    return f;
  };
  // A file of these uncompressed blocks; of one block holding these kinds and contents.
  auto blocks = [](std::vector<Bytes> raws) {
    Bytes f = EncodeHeader(kHeader);
    for (const Bytes& raw : raws) for (unsigned char c : EncodeBlock(raw)) f.push_back(c);
    return f;
  };
  auto records = [&](Bytes raw, const Bytes& data) {
    raw.insert(raw.begin(), {static_cast<unsigned char>(raw.size()), 0, 0, 0});
    raw.insert(raw.end(), data.begin(), data.end());
    return blocks({raw});
  };
  constexpr auto K = [](Kind k) { return static_cast<unsigned char>(k); };
  const std::pair<const char*, std::function<Bytes()>> cases[] = {
      {"not a session recording", [] { return Bytes(); }},
      {"format version 2", [&] { return with(8, 2, 1); }},
      {"screen size", [&] { return with(12, 0); }},
      {"damaged block length", [&] { return with(firstBlock, 0x7FFFFFFF); }},
      {"do not match their checksum", [&] { return with(firstBlock + 4, good[firstBlock + 4] ^ 1, 1); }},
      {"block 1", [&] { return with(firstBlock + 14, good[firstBlock + 14] ^ 0x55, 1); }},
      {"unknown kind", [&] { return records({0x7F}, {}); }},
      {"cut short", [&] { return records({K(Kind::kClock)}, {0x80}); }},
      {"do not fill it exactly", [&] { return records({K(Kind::kClock)}, {1, 2}); }},
      {"too long", [&] { return records({K(Kind::kClock)}, Bytes(12, 0xFF)); }},
      {"damaged record count", [&] { return blocks({{9, 0, 0, 0, 4}}); }},
      {"do not fill it exactly", [&] { return blocks({{1, 0, 0, 0, K(Kind::kClock), 0x80}, {0, 0, 0, 0, 1}}); }},
      {"unknown flags", [&] { return records({K(Kind::kMouse)}, {0x20}); }},
      {"unknown value", [&] { return records({K(Kind::kValue)}, {99, 0}); }},
      {"too long", [&] { return records({K(Kind::kName)}, {0, 0xFF, 0x7F}); }},
      {"more than 256", [&] { return records({K(Kind::kKeyboard)}, {0x81, 0x02}); }},
      {"follow the program's end", [&] { return records({K(Kind::kEnd), K(Kind::kFrameEnd)}, {0, 0}); }},
  };
  for (const auto& [reason, file] : cases) {
    const Bytes f = file();
    EXPECT_FALSE(ParseRecording(f.data(), f.size(), &rec, &error)) << reason;
    EXPECT_NE(error.find(reason), std::string::npos) << reason << ": " << error;
  }
  // Cut anywhere, a file reads only where a whole number of blocks remains.
  std::vector<std::size_t> ends = {firstBlock};
  while (ends.back() < good.size()) ends.push_back(ends.back() + 8 + get32(ends.back()));
  for (std::size_t n = 0; n <= good.size(); ++n)
    EXPECT_EQ(ParseRecording(good.data(), n, &rec, &error), std::count(ends.begin(), ends.end(), n) == 1) << n;
}
