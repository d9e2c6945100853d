// Picture files of every accepted format, recognised by their content: BMP through the
// runtime's own reader (Bitmap.h), PNG, JPEG, TGA and GIF (first frame) decoded to RGBA by
// the platform layer. Texels made from a decoded picture follow the BMP rules, with the
// picture's alpha kept: alpha 0 is transparent like the colour key.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "display/Bitmap.h"

namespace TAVELOR {

// Pixel-exact sprite collision counts a texel as solid from this alpha up.
constexpr unsigned char kSolidAlpha = 128;

enum class PictureFormat { None, Bmp, Png, Jpeg, Tga, Gif };

// Decoded pictures larger than this, per side or in total, are refused before decoding.
constexpr int kMaxDecodedSide = 16384;
constexpr std::size_t kMaxDecodedPixels = std::size_t{1} << 26;
// Larger picture files are refused before they are read.
constexpr long long kMaxPictureFile = 1LL << 30;

// Recognises a file from its first bytes and reads the size its headers declare (for a GIF
// the larger of the logical screen and the first frame). None when the content is none of
// the formats or the headers are cut short.
PictureFormat SniffPicture(const unsigned char* bytes, std::size_t size, int* width, int* height);

struct Picture {
  PictureFormat format = PictureFormat::None;
  int width = 0;
  int height = 0;
  BmpFile bmp;                      // the BMP reader's view of a BMP file
  std::vector<unsigned char> rgba;  // any other format: RGBA bytes, top line first
};

// Parses a whole file image. False (the picture refused) for unknown content, a BMP the BMP
// reader refuses, a declared size of 0 or beyond kMaxDecodedSide / kMaxDecodedPixels, or a
// file the decoder cannot read.
bool ParsePicture(std::vector<unsigned char> bytes, Picture* out);
// Reads a file from disk in one read and parses it.
bool ReadPicture(const char* path, Picture* out);
// Width and height of a picture file; BMPs read only their headers. False, both 0, when
// the file is refused.
bool ReadPictureSize(const char* path, int* width, int* height);

// MakeTexels for any picture. Decoded pixels: alpha 0, or the key colour when useKey, give
// transparent black; every other pixel keeps its colour and alpha. Edge colouring as for BMP.
Texels MakePictureTexels(const Picture& picture, int x, int y, int cw, int ch, std::uint32_t key, bool useKey);

}  // namespace TAVELOR
