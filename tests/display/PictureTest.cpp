// PNG, JPEG, TGA and GIF pictures written by ImageMagick, loaded as sprites and compared
// texel by texel with the source pixels; opaque pictures against the same BMP.
#include <filesystem>

#include "DisplaySupport.h"
#include "display/Picture.h"
#include "frame/Runtime.h"

namespace display_test {
namespace {

namespace fs = std::filesystem;

constexpr int kW = 12, kH = 7;
// Alpha by column: transparent, faint, just below and at the collision threshold, opaque.
constexpr unsigned char kAlpha[kW] = {0, 40, 127, 128, 200, 255, 255, 255, 255, 255, 255, 0};

// Source pixel (x, y), y from the top, as RGBA: colours that survive a palette (< 256 of them).
std::array<unsigned char, 4> Source(int x, int y, bool withAlpha) {
  return {static_cast<unsigned char>(20 * x), static_cast<unsigned char>(30 * y),
          static_cast<unsigned char>(255 - 9 * x), withAlpha ? kAlpha[x] : static_cast<unsigned char>(255)};
}

// Writes the source through ImageMagick into `name` and returns its path.
std::string Write(const std::string& name, bool withAlpha) {
  std::vector<unsigned char> raw;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      for (unsigned char c : Source(x, y, withAlpha)) raw.push_back(c);
  const std::string rawPath = TempPath("source.rgba"), out = TempPath(name);
  WriteFile(rawPath, raw);
  const std::string cmd = "convert -size " + std::to_string(kW) + "x" + std::to_string(kH) +
                          " -depth 8 'rgba:" + rawPath + "' " + (withAlpha ? "" : "-alpha off ") +
                          // ImageMagick marks TGA rows as bottom-up unless told the orientation
                          (name.ends_with(".tga") ? "-orient TopLeft " : "") + "'" + out + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return out;
}


class PictureTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    if (std::system("convert -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick not installed";
  }
};

// Each format's pixels and alpha, and its collision mask.
TEST_F(PictureTest, EveryFormatLoadsItsPixelsAndAlpha) {
  struct Case {
    const char* file;
    bool alpha;     // the format keeps partial alpha
    bool keyOnly;   // alpha is on or off (GIF)
    int tolerance;  // per channel (JPEG)
  };
  LOADSPRITE(SaveBmp("dot.bmp", 1, 1, 24, [](int, int) { return 0xFFFFFFu; }).c_str(), 24);
  for (const Case& c : {Case{"a.png", true, false, 0}, {"a.tga", true, false, 0}, {"a.gif", true, true, 0},
                        {"a.jpg", false, false, 40}, {"o.png", false, false, 0}}) {
    SCOPED_TRACE(c.file);
    const std::string path = Write(c.file, c.alpha);
    // Content decides, not the name.
    const std::string renamed = path + ".bmp";
    fs::copy_file(path, renamed, fs::copy_options::overwrite_existing);
    LOADSPRITE(renamed.c_str(), 20);
    ASSERT_NE(Lumbo.textureNames[20][0], 0u);
    EXPECT_EQ((std::vector<int>{Lumbo.imageWidth[20], Lumbo.imageHeight[20], Lumbo.textureWidth[20]}),
              (std::vector<int>{kW, kH, 16}));
    const std::vector<unsigned char> t = TexImage(Lumbo.textureNames[20][0], 0, 16, Lumbo.textureHeight[20]);
    int worst = 0;
    for (int i = 0; i < kW * kH; ++i) {
      const int x = i % kW, y = i / kW;
      auto want = Source(x, y, c.alpha);
      if (c.keyOnly) want[3] = want[3] >= 128 ? 255 : 0;  // ImageMagick's GIF threshold
      const unsigned char* got = &t[(static_cast<std::size_t>(kH - 1 - y) * 16 + x) * 4];
      ASSERT_EQ(got[3], want[3]) << x << "," << y;
      // The colour of transparent texels is edge colouring.
      for (int k = 0; k < 3 && want[3]; ++k) worst = std::max(worst, std::abs(got[k] - want[k]));
    }
    EXPECT_LE(worst, c.tolerance);
    // Collision is solid from alpha 128 up, either way round.
    for (int x = 0; x < kW; ++x)
      EXPECT_EQ(SPRCOLL(20, 0, 0, 24, x, 3) + SPRCOLL(24, x, 3, 20, 0, 0), Source(x, 3, c.alpha)[3] >= 128 ? 2 : 0) << x;
  }
}

TEST_F(PictureTest, DamagedFilesLoadNothing) {
  const std::vector<unsigned char> png = ReadFile(Write("d.png", true));
  std::vector<unsigned char> overlong = png;  // the chunk after the header claims 2 GiB
  overlong[33] = 0x7F;
  // Cut short, and a GIF and a JPEG without a frame.
  const std::vector<std::vector<unsigned char>> damaged = {
      overlong, {png.begin(), png.begin() + static_cast<long>(png.size() / 2)}, {png.begin(), png.begin() + 30},
      {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, {0xFF, 0xD8, 0xFF, 0xD9}};
  for (const auto& bytes : damaged) {
    WriteFile(TempPath("damaged.png"), bytes);
    LOADSPRITE(TempPath("damaged.png").c_str(), 25);
    EXPECT_EQ(std::make_pair(Lumbo.textureNames[25][0], Lumbo.textureWidth[25]), std::make_pair(0u, -1)) << bytes.size();
  }
}

// What the headers say about 7 x 5 pictures ImageMagick wrote in every variant.
TEST(PictureSniff, FormatAndSizeOfEveryVariant) {
  if (std::system("convert -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick not installed";
  const std::tuple<const char*, const char*, PictureFormat> files[] = {
      {"s.png", "", PictureFormat::Png}, {"s.jpg", "", PictureFormat::Jpeg},
      {"p.jpg", "-interlace Plane -set comment hello", PictureFormat::Jpeg},
      {"s.gif", "-set delay 10 \\( +clone -negate \\) -loop 0", PictureFormat::Gif}, {"s.tga", "", PictureFormat::Tga},
      {"m.tga", "-type Palette", PictureFormat::Tga}, {"g.tga", "-type Grayscale", PictureFormat::Tga},
      {"r.tga", "-compress RLE -alpha set", PictureFormat::Tga},
  };
  for (const auto& [file, options, format] : files) {
    const std::string path = TempPath(file);
    ASSERT_EQ(std::system(("convert -size 7x5 gradient:red-blue " + std::string(options) + " '" + path + "'").c_str()), 0);
    const std::vector<unsigned char> bytes = ReadFile(path);
    int w = -1, h = -1;
    Picture picture;
    EXPECT_EQ(SniffPicture(bytes.data(), bytes.size(), &w, &h), format) << file;
    EXPECT_TRUE(ParsePicture(bytes, &picture)) << file;
    EXPECT_EQ((std::array{w, h, picture.width, picture.height}), (std::array{7, 5, 7, 5})) << file;
  }

  // Headers that are none of the formats, or declare more pixels than are decoded.
  auto tga = [](unsigned mapType, unsigned type, unsigned entryBits, unsigned depth, unsigned descriptor) {
    std::vector<unsigned char> b(18 + 64, 0);
    b[1] = mapType, b[2] = type, b[7] = entryBits, b[12] = 4, b[14] = 4, b[16] = depth, b[17] = descriptor;
    return b;
  };
  auto png = [](std::uint32_t w, std::uint32_t h) {
    std::vector<unsigned char> b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (std::uint32_t v : {w, h})
      for (int i = 3; i >= 0; --i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    b.resize(64, 0);
    return b;
  };
  const std::vector<unsigned char> none[] = {
      tga(0, 2, 0, 12, 0), tga(0, 5, 0, 24, 0), tga(0, 1, 24, 8, 0), tga(1, 1, 8, 8, 0), tga(1, 2, 12, 24, 0),
      tga(0, 2, 0, 24, 0x40), tga(0, 3, 0, 16, 0), tga(2, 2, 0, 24, 0), png(0x80000000u, 1), png(1, 0x80000000u),
      {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'D', 'A', 'T', 0, 0, 0, 1, 0, 0, 0, 1},
      {0xFF, 0xD8, 0xFF, 0xD9, 0, 0, 0, 0, 0, 0},
      {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B, 0},
  };
  for (const auto& b : none)
    EXPECT_EQ(SniffPicture(b.data(), b.size(), nullptr, nullptr), PictureFormat::None) << &b - none;
  EXPECT_EQ(SniffPicture(tga(1, 9, 24, 8, 0x20).data(), 82, nullptr, nullptr), PictureFormat::Tga);
  // The widest picture decoded (ImageMagick's own limit is lower: ffmpeg writes it).
  Picture picture;
  const std::string wide = TempPath("wide.png");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=red:s=16384x2 -frames:v 1 '" + wide + "'").c_str()), 0);
  ASSERT_TRUE(ParsePicture(ReadFile(wide), &picture));
  EXPECT_EQ(picture.width, 16384);
  for (const auto& b : {png(16385, 1), png(1, 16385), png(8192, 8193), png(0, 5)})
    EXPECT_FALSE(ParsePicture(b, &picture));
}

}  // namespace
}  // namespace display_test
