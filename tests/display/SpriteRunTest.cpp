// Consecutive sprites keep their texture state, so whatever else uses OpenGL in between must
// not leave a sprite drawn with another texture or none.
#include "DisplaySupport.h"

namespace display_test {
namespace {

class SpriteRunTest : public DisplayTest {};

TEST_F(SpriteRunTest, ASpriteAfterOtherDrawingLooksAsItDoesAlone) {
  const std::string a = SaveBmp("run-a.bmp", 16, 16, 24, [](int x, int y) -> std::uint32_t {
    return x < 8 ? 0x3264C8u : (y < 8 ? 0x20A040u : 0x101080u);
  });
  const std::string b = SaveBmp("run-b.bmp", 16, 16, 24, [](int, int) -> std::uint32_t { return 0x4080F0u; });
  LOADSPRITE(a.c_str(), 1);
  LOADSPRITE(b.c_str(), 2);
  auto spriteArea = [] { return ReadBack(300, kHeight - 316, 16, 16); };
  Drawn([] { SPRITE(1, 300, 300); });
  const std::vector<unsigned char> alone = spriteArea();

  const std::vector<std::pair<const char*, std::function<void()>>> between = {
      {"a rectangle", [] { Lumbo.DrawRect(10, 10, 40, 40, 0xFFFFFF); }},
      {"a 3D texture selection", [] { Lumbo.ApplyTextureSelection(2, 2, 0); }},
      {"another sprite's upload", [&] { LOADSPRITE(b.c_str(), 3); }},
      {"text", [] { PRINT("run", 10, 100); }},
      {"another sprite", [] { SPRITE(2, 100, 100); }},
  };
  for (const auto& [what, draw] : between) {
    Drawn([&] {
      SPRITE(1, 200, 200);
      draw();
      SPRITE(1, 300, 300);
    });
    EXPECT_EQ(spriteArea(), alone) << "after " << what;
  }
}

}  // namespace
}  // namespace display_test
