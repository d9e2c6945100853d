// PNG, JPEG, TGA and GIF pictures written by ImageMagick, loaded as sprites and compared
// texel by texel with the source pixels; opaque pictures against the same BMP.
#include <filesystem>

#include "DisplaySupport.h"
#include "display/Picture.h"
#include "frame/Runtime.h"
#include "storage/ZyShoeBox.h"

namespace display_test {
namespace {

namespace fs = std::filesystem;

constexpr int kW = 12, kH = 7;
// Alpha by column: transparent, faint, just below and at the collision threshold, opaque.
constexpr unsigned char kAlpha[kW] = {0, 40, 127, 128, 200, 255, 255, 255, 255, 255, 255, 0};

// Source pixel (x, y), y from the top, as RGBA: colours that survive a palette (< 256 of them).
std::array<unsigned char, 4> Source(int x, int y, bool withAlpha) {
  return {static_cast<unsigned char>(20 * x), static_cast<unsigned char>(30 * y), static_cast<unsigned char>(255 - 9 * x),
          withAlpha ? kAlpha[x] : static_cast<unsigned char>(255)};
}

// Writes the source through ImageMagick into `name` and returns its path.
std::string Write(const std::string& name, bool withAlpha) {
  std::vector<unsigned char> raw;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      for (unsigned char c : Source(x, y, withAlpha)) raw.push_back(c);
  const std::string rawPath = TempPath("source.rgba"), out = TempPath(name);
  WriteFile(rawPath, raw);
  const std::string cmd = "convert -size " + std::to_string(kW) + "x" + std::to_string(kH) + " -depth 8 'rgba:" +
                          rawPath + "' " + (withAlpha ? "" : "-alpha off ") +
                          // ImageMagick marks TGA rows as bottom-up unless told the orientation
                          (name.ends_with(".tga") ? "-orient TopLeft " : "") + "'" + out + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return out;
}

std::vector<unsigned char> SlotTexels(int n) {
  return TexImage(Lumbo.textureNames[n][0], 0, Lumbo.textureWidth[n], Lumbo.textureHeight[n]);
}

class PictureTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    if (std::system("convert -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick not installed";
  }
};

TEST_F(PictureTest, EveryFormatLoadsItsPixelsAndAlpha) {
  struct Case {
    const char* file;
    bool alpha;      // the format keeps partial alpha
    bool keyOnly;    // alpha is on or off (GIF)
    int tolerance;   // per channel (JPEG)
  };
  const Case cases[] = {{"a.png", true, false, 0}, {"a.tga", true, false, 0}, {"a.gif", true, true, 0},
                        {"a.jpg", false, false, 40}, {"o.png", false, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = Write(c.file, c.alpha);
    // Content decides, not the name.
    const std::string renamed = path + ".bmp";
    fs::copy_file(path, renamed, fs::copy_options::overwrite_existing);
    LOADSPRITE(renamed.c_str(), 20);
    ASSERT_NE(Lumbo.textureNames[20][0], 0u);
    EXPECT_EQ(Lumbo.imageWidth[20], kW);
    EXPECT_EQ(Lumbo.imageHeight[20], kH);
    EXPECT_EQ(Lumbo.textureWidth[20], 16);
    const std::vector<unsigned char> t = SlotTexels(20);
    int worst = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        auto want = Source(x, y, c.alpha);
        if (c.keyOnly) want[3] = want[3] >= 128 ? 255 : 0;  // ImageMagick's GIF threshold
        const unsigned char* got = &t[(static_cast<std::size_t>(kH - 1 - y) * 16 + x) * 4];
        ASSERT_EQ(got[3], want[3]) << x << "," << y;
        if (want[3] == 0) continue;  // colour of transparent texels: edge colouring
        for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(got[k] - want[k]));
      }
    }
    EXPECT_LE(worst, c.tolerance);
  }
}

TEST_F(PictureTest, OpaquePictureBehavesLikeTheSameBmp) {
  // Key-coloured pixels in a diagonal band and a frame of them round the picture.
  auto colour = [](int x, int y) -> std::uint32_t {
    return (x + y) % 5 == 0 || x == 0 || y == 0 ? 0x8000FFu : 0x102030u * (1 + (x * 7 + y) % 5);
  };
  const std::string bmp = SaveBmp("same.bmp", 20, 13, 24, colour);
  ASSERT_EQ(std::system(("convert '" + bmp + "' '" + TempPath("same.png") + "'").c_str()), 0);
  LOADSPRITE(bmp.c_str(), 21);
  LOADSPRITE(TempPath("same.png").c_str(), 22);
  ASSERT_NE(Lumbo.textureNames[22][0], 0u);
  EXPECT_EQ(SlotTexels(21), SlotTexels(22));
  for (int dx = -20; dx <= 20; dx += 3)
    for (int dy = -13; dy <= 13; dy += 4) EXPECT_EQ(SPRCOLL(21, 0, 0, 21, dx, dy), SPRCOLL(22, 0, 0, 21, dx, dy));
  EXPECT_EQ(Drawn([] { SPRITE(21, 5, 5); }), Drawn([] { SPRITE(22, 5, 5); }));
}

TEST_F(PictureTest, CollisionIsSolidFromAlphaHalfUp) {
  LOADSPRITE(Write("c.png", true).c_str(), 23);
  LOADSPRITE(SaveBmp("dot.bmp", 1, 1, 24, [](int, int) { return 0xFFFFFFu; }).c_str(), 24);
  for (int x = 0; x < kW; ++x) {
    EXPECT_EQ(SPRCOLL(23, 0, 0, 24, x, 3), kAlpha[x] >= 128 ? 1 : 0) << x;
    EXPECT_EQ(SPRCOLL(24, x, 3, 23, 0, 0), kAlpha[x] >= 128 ? 1 : 0) << x;
  }
}

TEST_F(PictureTest, DamagedFilesLoadNothingAndArchivesWork) {
  const std::vector<unsigned char> png = ReadFile(Write("d.png", true));
  const std::vector<std::vector<unsigned char>> damaged = {
      {png.begin(), png.begin() + static_cast<long>(png.size() / 2)},  // cut short
      {png.begin(), png.begin() + 30},
      {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B},  // no frame
      {0xFF, 0xD8, 0xFF, 0xD9},                                   // no frame
  };
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    WriteFile(TempPath("damaged.png"), damaged[i]);
    LOADSPRITE(TempPath("damaged.png").c_str(), 25);
    EXPECT_EQ(Lumbo.textureNames[25][0], 0u) << i;
    EXPECT_EQ(Lumbo.textureWidth[25], -1) << i;
  }
  // A member of the data archive, asked for by a Windows name.
  const std::string dir = TempPath("picture-archive");
  fs::create_directories(dir);
  fs::copy_file(TempPath("d.png"), dir + "/hero.png", fs::copy_options::overwrite_existing);
  const std::string box = dir + "/data.box";
  ASSERT_EQ(std::system((std::string(TAVELOR_BINARY_DIR) + "/tools/pack/tavelor-pack create '" + box + "' '" + dir +
                         "/hero.png' > /dev/null").c_str()),
            0);
  fs::remove(dir + "/hero.png");
  ZyShoeBox* saved = __g_ShoeBox_Data;
  __g_ShoeBox_Data = new ZyShoeBox;
  SETSHOEBOX(box.c_str(), "");
  LOADSPRITE("Gfx\\HERO.PNG", 26);
  __g_ShoeBox_Data->Clear();
  delete __g_ShoeBox_Data;
  __g_ShoeBox_Data = saved;
  EXPECT_EQ(Lumbo.imageWidth[26], kW);
  ASSERT_NE(Lumbo.textureNames[26][0], 0u);
  EXPECT_EQ(SlotTexels(26)[(static_cast<std::size_t>(kH - 1) * 16 + 5) * 4 + 3], 255);
}

}  // namespace
}  // namespace display_test
