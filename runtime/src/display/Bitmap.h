// Windows bitmap files: reading the accepted BMP variants into RGBA texels, the texel
// passes applied before upload (colour-key edges, normal maps, mipmap shrinking), and the
// 24-bit BMP writer. Nothing here touches OpenGL, so every step can be tested and fuzzed
// on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace TAVELOR {

// Transparent colour of sprites, bump textures and bitmaps (red 255, green 0, blue 128).
constexpr std::uint32_t kSpriteColourKey = 0x8000FF;
// Fonts key out pure black.
constexpr std::uint32_t kFontColourKey = 0;
// Larger sides than this are refused as not being a picture.
constexpr int kMaxBmpSide = 65536;

// What the headers of an accepted BMP say. Colours are RGB numbers: red | green << 8 |
// blue << 16.
struct BmpHeader {
  int width = 0;
  int height = 0;         // always positive
  bool topDown = false;   // rows stored from the top (negative height field)
  int bitsPerPixel = 0;   // 8, 24 or 32
  bool rle8 = false;      // 8-bit rows run-length encoded
  std::uint32_t dataOffset = 0;
  std::uint64_t stride = 0;  // bytes per stored row, a multiple of 4
  int paletteEntries = 0;
  std::uint32_t palette[256] = {};
};

// Checks the headers held in bytes[0 .. size) (at least the first dataOffset bytes of the
// file) against a file of fileSize bytes. Refused: no "BM", a header block shorter than the
// 40-byte info header, a bit depth other than 8, 24 or 32, compression other than 8-bit
// run-length encoding (or channel masks at 32 bits), a side of 0 or above kMaxBmpSide,
// pixel rows that do not fit in the file, or run-length data that would have to expand
// beyond what runs can encode.
bool ParseBmpHeader(const unsigned char* bytes, std::size_t size, std::uint64_t fileSize, BmpHeader* out);

// A whole BMP file in memory with its parsed headers; run-length encoded rows are expanded
// into `expanded`.
struct BmpFile {
  BmpHeader header;
  std::vector<unsigned char> bytes;
  std::vector<unsigned char> expanded;
  const unsigned char* Pixels() const {
    return header.rle8 ? expanded.data() : bytes.data() + header.dataOffset;
  }
};

// Parses a complete file image; false when ParseBmpHeader refuses it.
bool ParseBmpFile(std::vector<unsigned char> bytes, BmpFile* out);
// Reads and parses a file from disk in one read. False when it cannot be read or is refused.
bool ReadBmpFile(const char* path, BmpFile* out);
// Reads only the headers of a file; false when they are refused.
bool ReadBmpHeader(const char* path, BmpHeader* out);

// The RGB number of picture pixel (column, line), line 0 being the top line of the picture.
// The caller keeps both inside the picture. A palette index beyond the palette is black.
std::uint32_t BmpPixel(const BmpFile& file, int column, int line);

// Smallest power of two >= n, and at least `least`.
int PowerOfTwoAtLeast(int n, int least);

// RGBA texels of a texture, rows from the bottom.
struct Texels {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgba;
  unsigned char* At(int column, int row) { return &rgba[(static_cast<std::size_t>(row) * width + column) * 4]; }
  const unsigned char* At(int column, int row) const {
    return &rgba[(static_cast<std::size_t>(row) * width + column) * 4];
  }
};

// Places the cut-out of cw x ch pixels whose top-left is picture pixel (x, y) into a
// power-of-two texture: its top line in row ch - 1, its bottom line in row 0. Pixels outside
// the picture and keyed pixels (when useKey) are transparent black; others are opaque.
// When key is not 0 the transparent texels then get the edge colouring of ColourKeyEdges.
Texels MakeTexels(const BmpFile& file, int x, int y, int cw, int ch, std::uint32_t key, bool useKey);

// Gives every transparent texel of the cw x ch area the average colour of its opaque
// neighbours that lie strictly inside the area, so filtering blends towards the picture and
// not towards black. Alpha stays 0.
void ColourKeyEdges(Texels* texels, int cw, int ch);

// The cut-out of MakeTexels for a picture of width x height pixels of any format: rgba(column,
// line) writes that pixel's red, green, blue and alpha to its last argument. Pixels of alpha 0
// are transparent black like keyed ones.
template <class Rgba>
Texels CutTexels(int width, int height, int x, int y, int cw, int ch, std::uint32_t key, bool useKey, Rgba rgba) {
  Texels t;
  t.width = PowerOfTwoAtLeast(cw, 2);
  t.height = PowerOfTwoAtLeast(ch, 2);
  t.rgba.assign(static_cast<std::size_t>(t.width) * t.height * 4, 0);
  for (int r = 0; r < ch; ++r) {
    const long long line = static_cast<long long>(y) + r;
    if (line < 0 || line >= height) continue;
    for (int c = 0; c < cw; ++c) {
      const long long column = static_cast<long long>(x) + c;
      if (column < 0 || column >= width) continue;
      unsigned char p[4];
      rgba(static_cast<int>(column), static_cast<int>(line), p);
      const std::uint32_t rgb = p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16;
      if (p[3] == 0 || (useKey && rgb == key)) continue;  // already transparent black
      unsigned char* texel = t.At(c, ch - 1 - r);
      for (int k = 0; k < 4; ++k) texel[k] = p[k];
    }
  }
  if (key != 0) ColourKeyEdges(&t, cw, ch);
  return t;
}

// Turns a height picture (height = blue / 255) into a normal map in place, neighbours
// wrapping around at the edges. Alpha is kept.
void build_detail_normalmap(unsigned char* rgba, int width, int height);

// One mipmap step: halves width and height (integer division) and shrinks the texels in
// place to at least 1 x 1. Returns false, leaving everything unchanged, once both halves
// are below 1. *width and *height track the halved sizes, which may reach 0.
bool ShrinkMipLevel(std::vector<unsigned char>* rgba, int* width, int* height);

// The 24-bit BMP file of a picture given as rows of sourceWidth blue-green-red pixels,
// tightly packed, bottom row first; the first width pixels of each of height rows are
// written, in reverse row order when flip.
std::vector<unsigned char> EncodeBmp24(const unsigned char* bgr, int width, int height, int sourceWidth,
                                       bool flip);

}  // namespace TAVELOR
