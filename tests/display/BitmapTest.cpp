// BMP reading and writing and the texel passes, without OpenGL.
#include <cstdlib>

#include "display/Bitmap.h"
#include "DisplaySupport.h"

namespace display_test {
namespace {

std::uint32_t Rgb(int r, int g, int b) { return static_cast<std::uint32_t>(r | g << 8 | b << 16); }
std::uint32_t Sample(int x, int y) { return Rgb(x * 10, y * 40, 77); }

BmpFile Parse(const std::vector<unsigned char>& bytes) {
  BmpFile f;
  EXPECT_TRUE(ParseBmpFile(bytes, &f));
  return f;
}

// RGBA of the texel showing picture pixel (x, y) of a whole-picture cut-out.
std::vector<int> TexelOf(const Texels& t, int ch, int x, int y) {
  const unsigned char* p = t.At(x, ch - 1 - y);
  return {p[0], p[1], p[2], p[3]};
}
std::vector<int> Opaque(std::uint32_t c) {
  return {static_cast<int>(c & 255), static_cast<int>((c >> 8) & 255), static_cast<int>((c >> 16) & 255), 255};
}

TEST(BmpReader, RefusesFilesThatAreNotAcceptedBitmaps) {
  const std::vector<unsigned char> good = MakeBmp(4, 3, 24, Sample);
  BmpFile f;
  ASSERT_TRUE(ParseBmpFile(good, &f));
  auto with = [&](int at, std::uint32_t value, int n) {
    std::vector<unsigned char> b = good;
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
    return b;
  };
  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
  };
  std::vector<unsigned char> truncated(good.begin(), good.end() - 1);
  std::vector<unsigned char> headerOnly(good.begin(), good.begin() + 30);
  const Case cases[] = {
      {"not BM", with(0, 'X', 1)},
      {"16 bits", with(28, 16, 2)},
      {"1 bit", with(28, 1, 2)},
      {"24-bit run-length", with(30, 1, 4)},
      {"data offset past the end", with(10, 100000, 4)},
      {"data offset inside the info header", with(10, 20, 4)},
      {"pixel rows cut short", truncated},
      {"header cut short", headerOnly},
      {"width 0", with(18, 0, 4)},
      {"negative width", with(18, static_cast<std::uint32_t>(-4), 4)},
      {"height 0", with(22, 0, 4)},
      {"absurd width", with(18, 1u << 20, 4)},
      {"absurd negative height", with(22, 0x80000000u, 4)},
  };
  for (const Case& c : cases) EXPECT_FALSE(ParseBmpFile(c.bytes, &f)) << c.what;

  // An 8-bit file whose info header claims to run past the pixel data.
  std::vector<unsigned char> pal = MakeBmp(4, 3, 8, Sample);
  pal[14] = 0xFF;
  pal[15] = 0xFF;
  EXPECT_FALSE(ParseBmpFile(pal, &f));
}

TEST(BmpReader, DecodesEachDepthAndRowOrder) {
  for (int bits : {8, 24, 32}) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, top-down " << topDown);
      BmpFile f = Parse(MakeBmp(5, 3, bits, Sample, topDown));
      EXPECT_EQ(f.header.width, 5);
      EXPECT_EQ(f.header.height, 3);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(BmpPixel(f, x, y), Sample(x, y)) << x << "," << y;
    }
  }
  // Rows are padded to 4 bytes: 3 pixels of 24 or 32 bits make rows of 12 bytes.
  EXPECT_EQ(Parse(MakeBmp(3, 2, 24, Sample)).header.stride, 12u);
  EXPECT_EQ(Parse(MakeBmp(3, 2, 32, Sample)).header.stride, 12u);
  EXPECT_EQ(Parse(MakeBmp(3, 2, 8, Sample)).header.stride, 4u);
}

// 8-bit run-length data: runs, odd literal runs, skips, line and picture ends.
TEST(BmpReader, ExpandsRunLengthRows) {
  std::vector<unsigned char> b = MakeBmp(6, 3, 8, [](int x, int y) { return Rgb(x, y, 0); });
  const std::size_t offset = b[10] | b[11] << 8;
  b.resize(offset);
  b[30] = 1;  // compression: 8-bit runs
  // Palette indexes in MakeBmp's order: index = y * 6 + x.
  const unsigned char data[] = {
      3, 0,          // bottom line (y = 2): three of index 0 ...
      0, 3, 1, 2, 3, 0,  // ... a literal run of 1, 2, 3 with its padding byte
      0, 0,          // end of line
      0, 2, 2, 1,    // skip two right and one up: to x = 2 of line y = 0
      2, 5,          // two of index 5
      0, 1,          // end of picture
  };
  b.insert(b.end(), std::begin(data), std::end(data));
  BmpFile f;
  ASSERT_TRUE(ParseBmpFile(b, &f));
  EXPECT_TRUE(f.header.rle8);
  const std::vector<std::uint32_t> bottom = {Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(1, 0, 0), Rgb(2, 0, 0),
                                             Rgb(3, 0, 0)};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(BmpPixel(f, x, 2), bottom[x]) << x;
  EXPECT_EQ(BmpPixel(f, 1, 1), Rgb(0, 0, 0));  // skipped
  EXPECT_EQ(BmpPixel(f, 2, 0), Rgb(5, 0, 0));
  EXPECT_EQ(BmpPixel(f, 3, 0), Rgb(5, 0, 0));

  // A few bytes of runs cannot claim a picture of gigabytes.
  std::vector<unsigned char> huge = b;
  huge[18] = huge[19] = huge[20] = 0;
  huge[20] = 1;  // width 65536
  huge[22] = 0;
  huge[23] = 0;
  huge[24] = 1;  // height 65536
  EXPECT_FALSE(ParseBmpFile(huge, &f));
  // Encoded rows stored top-down do not exist.
  std::vector<unsigned char> top = b;
  top[22] = 0xFD;
  top[23] = top[24] = top[25] = 0xFF;
  EXPECT_FALSE(ParseBmpFile(top, &f));
}

TEST(BmpReader, PaletteIndexBeyondThePaletteIsBlack) {
  std::vector<unsigned char> b = MakeBmp(2, 1, 8, [](int x, int) { return x ? Rgb(9, 8, 7) : Rgb(1, 2, 3); });
  const std::size_t offset = b[10];
  b[offset + 1] = 200;  // only two colours in the palette
  BmpFile f = Parse(b);
  EXPECT_EQ(f.header.paletteEntries, 2);
  EXPECT_EQ(BmpPixel(f, 0, 0), Rgb(1, 2, 3));
  EXPECT_EQ(BmpPixel(f, 1, 0), 0u);
}

TEST(BmpTexels, PlacementKeyAndPadding) {
  // 100 x 50 gets a 128 x 64 texture, the picture's top line in row 49.
  BmpFile big = Parse(MakeBmp(100, 50, 24, [](int x, int y) { return Rgb(x, y, 1); }));
  Texels t = MakeTexels(big, 0, 0, 100, 50, kSpriteColourKey, true);
  EXPECT_EQ(t.width, 128);
  EXPECT_EQ(t.height, 64);
  EXPECT_EQ(TexelOf(t, 50, 0, 0), Opaque(Rgb(0, 0, 1)));
  EXPECT_EQ(TexelOf(t, 50, 99, 49), Opaque(Rgb(99, 49, 1)));
  EXPECT_EQ(t.At(100, 0)[3], 0);  // outside the picture: transparent
  EXPECT_EQ(t.At(0, 50)[3], 0);

  // 1 x 1 gets 2 x 2.
  BmpFile one = Parse(MakeBmp(1, 1, 24, Sample));
  Texels small = MakeTexels(one, 0, 0, 1, 1, kSpriteColourKey, true);
  EXPECT_EQ(small.width, 2);
  EXPECT_EQ(small.height, 2);

  // The key is exact: blue 128 is transparent, blue 127 is not.
  BmpFile keyed = Parse(MakeBmp(2, 1, 24, [](int x, int) { return x ? 0x7F00FFu : 0x8000FFu; }));
  Texels k = MakeTexels(keyed, 0, 0, 2, 1, kSpriteColourKey, true);
  EXPECT_EQ(k.At(0, 0)[3], 0);
  EXPECT_EQ(TexelOf(k, 1, 1, 0), Opaque(0x7F00FF));

  // A 3-pixel 8-bit row carries one padding byte; it is never read as a pixel.
  BmpFile padded = Parse(MakeBmp(3, 1, 8, Sample));
  Texels p = MakeTexels(padded, 0, 0, 4, 1, kSpriteColourKey, true);
  EXPECT_EQ(p.At(3, 0)[3], 0);

  // A cut-out: picture pixels (2, 1) onwards, beyond the right edge transparent.
  Texels cut = MakeTexels(big, 98, 1, 4, 2, kSpriteColourKey, true);
  EXPECT_EQ(TexelOf(cut, 2, 0, 0), Opaque(Rgb(98, 1, 1)));
  EXPECT_EQ(TexelOf(cut, 2, 1, 1), Opaque(Rgb(99, 2, 1)));
  EXPECT_EQ(TexelOf(cut, 2, 2, 0)[3], 0);
}

TEST(BmpTexels, EdgeColouringAveragesInsideOpaqueNeighbours) {
  // 4 x 4, keyed except the inner 2 x 2 whose top two differ.
  auto colour = [](int x, int y) -> std::uint32_t {
    if (x < 1 || x > 2 || y < 1 || y > 2) return kSpriteColourKey;
    if (y == 1) return x == 1 ? Rgb(100, 10, 0) : Rgb(200, 20, 0);
    return Rgb(50, 50, 50);
  };
  BmpFile f = Parse(MakeBmp(4, 4, 24, colour));
  Texels t = MakeTexels(f, 0, 0, 4, 4, kSpriteColourKey, true);
  // Above the two top inner pixels: both count.
  EXPECT_EQ(TexelOf(t, 4, 1, 0), (std::vector<int>{150, 15, 0, 0}));
  // The corner touches one inner pixel.
  EXPECT_EQ(TexelOf(t, 4, 0, 0), (std::vector<int>{100, 10, 0, 0}));
  // Beside the left column: (100,10,0), (50,50,50) -> truncated averages.
  EXPECT_EQ(TexelOf(t, 4, 0, 1), (std::vector<int>{75, 30, 25, 0}));

  // Fonts key out black and get no edge colouring.
  BmpFile font = Parse(MakeBmp(4, 4, 24, [](int x, int y) { return x == 1 && y == 1 ? 0xFFFFFFu : 0u; }));
  Texels ft = MakeTexels(font, 0, 0, 4, 4, kFontColourKey, true);
  EXPECT_EQ(TexelOf(ft, 4, 1, 1), Opaque(0xFFFFFF));
  EXPECT_EQ(TexelOf(ft, 4, 0, 0), (std::vector<int>{0, 0, 0, 0}));
}

TEST(BmpTexels, MipmapChainAndShrinkRule) {
  // 64 x 32: 32x16, 16x8, 8x4, 4x2, 2x1, 1x1, then no more.
  std::vector<unsigned char> v(64 * 32 * 4, 0);
  int w = 64, h = 32;
  std::vector<std::pair<int, int>> levels;
  while (ShrinkMipLevel(&v, &w, &h)) {
    levels.emplace_back(std::max(w, 1), std::max(h, 1));
    EXPECT_EQ(v.size(), static_cast<std::size_t>(std::max(w, 1)) * std::max(h, 1) * 4);
  }
  EXPECT_EQ(levels, (std::vector<std::pair<int, int>>{{32, 16}, {16, 8}, {8, 4}, {4, 2}, {2, 1}, {1, 1}}));

  // A 4 x 6 level of distinct values per texel (red = column + 10 x row) shrinks to 2 x 3.
  std::vector<unsigned char> s(4 * 6 * 4, 0);
  auto old = [](int i, int j) { return i + 10 * j; };
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 4; ++i) s[(j * 4 + i) * 4] = static_cast<unsigned char>(old(i, j));
  w = 4;
  h = 6;
  ASSERT_TRUE(ShrinkMipLevel(&s, &w, &h));
  auto red = [&](int i, int j) { return static_cast<int>(s[(j * 2 + i) * 4]); };
  // Four samples: a, right, and the two two rows further on.
  EXPECT_EQ(red(0, 0), (4 * old(0, 0) + 2 * old(1, 0) + 2 * old(1, 2) + old(0, 2)) / 9);
  EXPECT_EQ(red(0, 1), (4 * old(0, 2) + 2 * old(1, 2) + 2 * old(1, 4) + old(0, 4)) / 9);
  // Last column: a and the sample two rows on; last row: a and its right neighbour.
  EXPECT_EQ(red(1, 0), (2 * old(2, 0) + old(2, 2)) / 3);
  EXPECT_EQ(red(0, 2), (2 * old(0, 4) + old(1, 4)) / 3);
  EXPECT_EQ(red(1, 2), old(2, 4));

  // Higher than wide: 2 x 8 -> 1 x 4 -> 1 x 2 -> 1 x 1, the narrow levels from column 0.
  std::vector<unsigned char> tall(2 * 8 * 4, 0);
  for (int j = 0; j < 8; ++j) tall[(j * 2) * 4] = static_cast<unsigned char>(10 * j);
  w = 2;
  h = 8;
  levels.clear();
  while (ShrinkMipLevel(&tall, &w, &h)) levels.emplace_back(std::max(w, 1), std::max(h, 1));
  EXPECT_EQ(levels, (std::vector<std::pair<int, int>>{{1, 4}, {1, 2}, {1, 1}}));
}

TEST(BmpTexels, TallTextureKeepsFirstColumnOnceWidthRunsOut) {
  std::vector<unsigned char> v(1 * 4 * 4, 0);
  for (int j = 0; j < 4; ++j) v[j * 4 + 1] = static_cast<unsigned char>(20 + j);
  int w = 1, h = 4;
  ASSERT_TRUE(ShrinkMipLevel(&v, &w, &h));
  ASSERT_EQ(v.size(), 2u * 4);
  EXPECT_EQ(v[1], 20);  // row 0 of the level before
  EXPECT_EQ(v[4 + 1], 22);  // row 2
}

TEST(BmpTexels, NormalMapOfFlatAndSlopedHeights) {
  std::vector<unsigned char> flat(4 * 4 * 4, 0);
  for (std::size_t i = 0; i < flat.size(); i += 4) {
    flat[i + 2] = 90;
    flat[i + 3] = 77;
  }
  build_detail_normalmap(flat.data(), 4, 4);
  EXPECT_EQ((std::vector<int>{flat[0], flat[1], flat[2], flat[3]}), (std::vector<int>{127, 127, 255, 77}));

  // Height rising to the right: the normal leans back, to -x.
  std::vector<unsigned char> slope(4 * 4 * 4, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) slope[(y * 4 + x) * 4 + 2] = static_cast<unsigned char>(x * 60);
  build_detail_normalmap(slope.data(), 4, 4);
  const unsigned char* p = &slope[(1 * 4 + 1) * 4];
  EXPECT_LT(p[0], 127);
  EXPECT_EQ(p[1], 127);
}

TEST(BmpWriter, HeaderRowsAndSizes) {
  std::vector<unsigned char> src(64 * 16 * 3);
  for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 7);
  std::vector<unsigned char> out = EncodeBmp24(src.data(), 33, 10, 64, false);
  ASSERT_EQ(out.size(), 54u + 100u * 10u);  // 99-byte rows padded to 100
  BmpFile f = Parse(out);
  EXPECT_EQ(f.header.width, 33);
  EXPECT_EQ(f.header.height, 10);
  EXPECT_EQ(f.header.bitsPerPixel, 24);
  EXPECT_EQ(out[2] | out[3] << 8, static_cast<int>(out.size()));
  EXPECT_EQ(out[38] | out[39] << 8, 10000);
  // Output row k is source row k (no flip): bottom row first.
  EXPECT_EQ(out[54 + 100 * 3 + 5], src[64 * 3 * 3 + 5]);
  EXPECT_EQ(out[54 + 99], 0);  // padding
  std::vector<unsigned char> flipped = EncodeBmp24(src.data(), 33, 10, 64, true);
  EXPECT_EQ(flipped[54 + 100 * 0 + 5], src[64 * 3 * 9 + 5]);

  std::vector<unsigned char> screen(640 * 480 * 3, 0);
  EXPECT_EQ(EncodeBmp24(screen.data(), 640, 480, 640, false).size(), 921654u);
}

// Files written by an independent tool, in the layouts it chooses.
TEST(BmpReader, ReadsImageMagickFiles) {
  if (std::system("convert -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick not installed";
  auto colour = [](int x, int y) -> std::uint32_t {
    if (x == 1 && y == 1) return kSpriteColourKey;
    if (x == 3 && y == 2) return 0x7F00FF;
    return Sample(x, y);
  };
  const std::string source = SaveBmp("im_source.bmp", 24, 4, 24, colour);
  struct Variant {
    const char* options;
    int bits;
  };
  const Variant variants[] = {{"-type Palette", 8}, {"-type Palette BMP3:", 8}, {"-type TrueColor", 24},
                              {"-type TrueColorAlpha", 32}};
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.options);
    std::string options = v.options;
    std::string prefix;
    if (options.ends_with("BMP3:")) {
      prefix = "BMP3:";
      options.resize(options.size() - 5);
    }
    const std::string out = TempPath("im_out.bmp");
    const std::string cmd = "convert '" + source + "' " + options + " '" + prefix + out + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    BmpFile f;
    ASSERT_TRUE(ReadBmpFile(out.c_str(), &f));
    EXPECT_EQ(f.header.bitsPerPixel, v.bits);
    Texels t = MakeTexels(f, 0, 0, 24, 4, kSpriteColourKey, true);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 24; ++x) {
        if (x == 1 && y == 1) EXPECT_EQ(TexelOf(t, 4, x, y)[3], 0);
        else EXPECT_EQ(TexelOf(t, 4, x, y), Opaque(colour(x, y))) << x << "," << y;
      }
  }

  // A top-down file: ImageMagick reads it the same way round as we do.
  const std::string top = TempPath("top_down.bmp");
  WriteFile(top, MakeBmp(6, 3, 24, Sample, true));
  const std::string raw = TempPath("top_down.rgb");
  ASSERT_EQ(std::system(("convert '" + top + "' 'rgb:" + raw + "'").c_str()), 0);
  const std::vector<unsigned char> rgb = ReadFile(raw);
  ASSERT_EQ(rgb.size(), 6u * 3 * 3);
  BmpFile f;
  ASSERT_TRUE(ReadBmpFile(top.c_str(), &f));
  EXPECT_TRUE(f.header.topDown);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) {
      const unsigned char* p = &rgb[(y * 6 + x) * 3];
      EXPECT_EQ(BmpPixel(f, x, y), Rgb(p[0], p[1], p[2])) << x << "," << y;
    }
}

}  // namespace
}  // namespace display_test
