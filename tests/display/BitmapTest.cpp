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
// The bytes with the n-byte little-endian field at `at` set to value.
std::vector<unsigned char> Patched(std::vector<unsigned char> b, int at, std::uint32_t value, int n = 4) {
  for (int i = 0; i < n; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
  return b;
}


TEST(BmpReader, RefusesFilesThatAreNotAcceptedBitmaps) {
  const std::vector<unsigned char> good = MakeBmp(4, 3, 24, Sample);
  BmpFile f;
  ASSERT_TRUE(ParseBmpFile(good, &f));
  const std::pair<const char*, std::vector<unsigned char>> cases[] = {
      {"not BM", Patched(good, 0, 'X', 1)}, {"16 bits", Patched(good, 28, 16, 2)}, {"1 bit", Patched(good, 28, 1, 2)},
      {"24-bit run-length", Patched(good, 30, 1)}, {"data offset past the end", Patched(good, 10, 100000)},
      {"data offset inside the info header", Patched(good, 10, 20)}, {"rows cut short", {good.begin(), good.end() - 1}},
      {"header cut short", {good.begin(), good.begin() + 30}}, {"width 0", Patched(good, 18, 0)},
      {"negative width", Patched(good, 18, static_cast<std::uint32_t>(-4))}, {"height 0", Patched(good, 22, 0)},
      {"absurd width", Patched(good, 18, 1u << 20)}, {"absurd negative height", Patched(good, 22, 0x80000000u)},
      {"8-bit info header running past the pixel data", Patched(MakeBmp(4, 3, 8, Sample), 14, 0xFFFF, 2)},
  };
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(ParseBmpFile(bytes, &f)) << what;
}

// 8-bit run-length data: runs, odd literal runs, skips, line and picture ends.
TEST(BmpReader, ExpandsRunLengthRows) {
  std::vector<unsigned char> b = MakeBmp(6, 3, 8, [](int x, int y) { return Rgb(x, y, 0); });
  b.resize(b[10] | b[11] << 8);
  b[30] = 1;  // compression: 8-bit runs
  // Palette index = y * 6 + x. Bottom line (y = 2): three of index 0, a literal run of 1, 2, 3
  // with its padding byte, end of line; skip two right and one up (to x = 2 of line y = 0), two
  // of index 5, end of picture.
  const unsigned char data[] = {3, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 5, 0, 1};
  b.insert(b.end(), std::begin(data), std::end(data));
  BmpFile f;
  ASSERT_TRUE(ParseBmpFile(b, &f));
  EXPECT_TRUE(f.header.rle8);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(BmpPixel(f, x, 2), Rgb(std::max(x - 2, 0), 0, 0)) << x;
  EXPECT_EQ((std::vector<std::uint32_t>{BmpPixel(f, 1, 1), BmpPixel(f, 2, 0), BmpPixel(f, 3, 0)}),
            (std::vector<std::uint32_t>{0, Rgb(5, 0, 0), Rgb(5, 0, 0)}));  // skipped, then two of 5

  // Sides up to 65536, but a few bytes of runs cannot claim a picture of gigabytes; encoded
  // rows stored top-down do not exist.
  for (auto [w, h, ok] : {std::array{65536, 1, 1}, {65537, 1, 0}, {1, 65536, 1}, {1, 65537, 0}, {65536, 65536, 0}, {6, -3, 0}})
    EXPECT_EQ(ParseBmpFile(Patched(Patched(b, 18, w), 22, static_cast<std::uint32_t>(h)), &f), ok) << w << "x" << h;

  // A palette index beyond the palette (of two colours) reads as black.
  b = MakeBmp(2, 1, 8, [](int x, int) { return x ? Rgb(9, 8, 7) : Rgb(1, 2, 3); });
  b[b[10] + 1] = 200;
  f = Parse(b);
  EXPECT_EQ((std::vector<std::uint32_t>{static_cast<std::uint32_t>(f.header.paletteEntries), BmpPixel(f, 0, 0), BmpPixel(f, 1, 0)}),
            (std::vector<std::uint32_t>{2, Rgb(1, 2, 3), 0}));
}

TEST(BmpTexels, MipmapShrinkWeights) {
  // A 4 x 6 level of distinct values per texel (red = column + 10 x row) shrinks to 2 x 3.
  std::vector<unsigned char> s(4 * 6 * 4, 0);
  auto old = [](int i, int j) { return i + 10 * j; };
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 4; ++i) s[(j * 4 + i) * 4] = static_cast<unsigned char>(old(i, j));
  int w = 4, h = 6;
  ASSERT_TRUE(ShrinkMipLevel(&s, &w, &h));
  auto red = [&](int i, int j) { return static_cast<int>(s[(j * 2 + i) * 4]); };
  // Four samples: a, right, and the two two rows further on.
  EXPECT_EQ(red(0, 0), (4 * old(0, 0) + 2 * old(1, 0) + 2 * old(1, 2) + old(0, 2)) / 9);
  // Last column: a and the sample two rows on; last row: a and its right neighbour.
  EXPECT_EQ(red(1, 0), (2 * old(2, 0) + old(2, 2)) / 3);
  EXPECT_EQ(red(0, 2), (2 * old(0, 4) + old(1, 4)) / 3);
  EXPECT_EQ(red(1, 2), old(2, 4));
}

// Every depth and row order against the pictures MakeBmp encodes, 23 pixels making padded rows;
// 32-bit pixels may say their channels by (standard) masks.
TEST(BmpReader, ReadsEachDepthAndRowOrder) {
  for (auto [bits, topDown, masks] : {std::array{8, 0, 0}, {24, 1, 0}, {32, 0, 1}, {32, 1, 0}}) {
    const BmpFile f = Parse(Patched(MakeBmp(23, 4, bits, Sample, topDown), 30, masks ? 3 : 0));
    for (int i = 0; i < 23 * 4; ++i) EXPECT_EQ(BmpPixel(f, i % 23, i / 23), Sample(i % 23, i / 23)) << bits << "," << i;
  }
}

}  // namespace
}  // namespace display_test
