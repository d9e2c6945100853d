#include "display/Picture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/picture.h"

namespace TAVELOR {

namespace {

unsigned Be16(const unsigned char* p) { return static_cast<unsigned>(p[0]) << 8 | p[1]; }
unsigned Le16(const unsigned char* p) { return static_cast<unsigned>(p[1]) << 8 | p[0]; }
std::uint32_t Be32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

bool SniffPng(const unsigned char* b, std::size_t n, int* w, int* h) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n < 24 || std::memcmp(b, kSignature, 8) != 0 || std::memcmp(b + 12, "IHDR", 4) != 0) return false;
  const std::uint32_t width = Be32(b + 16), height = Be32(b + 20);
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
  *w = static_cast<int>(width);
  *h = static_cast<int>(height);
  return true;
}

// Every chunk up to IEND lies inside the file. The decoder does not notice reads past the
// end, so a chunk that claims more bytes than there are would have it work through
// gigabytes of nothing: such files are refused as damaged.
bool PngChunksFit(const unsigned char* b, std::size_t n) {
  std::size_t pos = 8;
  while (pos + 12 <= n) {
    const std::uint32_t length = Be32(b + pos);
    if (length > n - pos - 12) return false;
    if (std::memcmp(b + pos + 4, "IEND", 4) == 0) return true;
    pos += 12 + length;
  }
  return false;
}

// Walks the marker segments up to the first frame header.
bool SniffJpeg(const unsigned char* b, std::size_t n, int* w, int* h) {
  if (n < 4 || b[0] != 0xFF || b[1] != 0xD8 || b[2] != 0xFF) return false;
  std::size_t pos = 2;
  while (pos + 4 <= n) {
    if (b[pos] != 0xFF) return false;
    const unsigned marker = b[pos + 1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length field
      pos += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return false;  // end or scan before any frame
    const unsigned length = Be16(b + pos + 2);
    if (length < 2) return false;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (pos + 9 > n) return false;
      *h = static_cast<int>(Be16(b + pos + 5));
      *w = static_cast<int>(Be16(b + pos + 7));
      return true;
    }
    pos += 2 + length;
  }
  return false;
}

// The logical screen, then the first image descriptor after any extension blocks.
bool SniffGif(const unsigned char* b, std::size_t n, int* w, int* h) {
  if (n < 13 || (std::memcmp(b, "GIF87a", 6) != 0 && std::memcmp(b, "GIF89a", 6) != 0)) return false;
  unsigned width = Le16(b + 6), height = Le16(b + 8);
  std::size_t pos = 13;
  if (b[10] & 0x80) pos += 3u * (2u << (b[10] & 7));
  while (pos < n) {
    if (b[pos] == 0x21) {  // extension: label, then sub-blocks up to an empty one
      pos += 2;
      while (pos < n && b[pos] != 0) pos += 1u + b[pos];
      ++pos;
    } else if (b[pos] == 0x2C) {
      if (pos + 10 > n) return false;
      width = std::max(width, Le16(b + pos + 1) + Le16(b + pos + 5));
      height = std::max(height, Le16(b + pos + 3) + Le16(b + pos + 7));
      *w = static_cast<int>(width);
      *h = static_cast<int>(height);
      return true;
    } else {
      return false;
    }
  }
  return false;
}

// TGA has no signature: a header whose fields all hold values the format allows.
bool SniffTga(const unsigned char* b, std::size_t n, int* w, int* h) {
  if (n < 18) return false;
  const unsigned mapType = b[1], type = b[2], depth = b[16];
  const bool mapped = type == 1 || type == 9, trueColour = type == 2 || type == 10, grey = type == 3 || type == 11;
  if (mapType > 1 || !(mapped || trueColour || grey) || (mapped && mapType != 1)) return false;
  if (mapped && depth != 8) return false;
  if (trueColour && depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
  if (grey && depth != 8) return false;
  if (mapType == 1) {
    const unsigned entryBits = b[7];
    if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32) return false;
  }
  if (b[17] & 0xC0) return false;  // interleaving is not part of the format any more
  *w = static_cast<int>(Le16(b + 12));
  *h = static_cast<int>(Le16(b + 14));
  return true;
}

const char* DecoderType(PictureFormat f) {
  switch (f) {
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Jpeg: return "JPG";
    case PictureFormat::Tga: return "TGA";
    case PictureFormat::Gif: return "GIF";
    default: return nullptr;
  }
}

bool SizeAccepted(int w, int h) {
  return w > 0 && h > 0 && w <= kMaxDecodedSide && h <= kMaxDecodedSide &&
         static_cast<std::size_t>(w) * static_cast<std::size_t>(h) <= kMaxDecodedPixels;
}

bool ReadWholeFile(const char* path, std::vector<unsigned char>* out) {
  if (!path) return false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(f) : -1;
  ok = ok && size >= 0 && size <= kMaxPictureFile && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    out->resize(static_cast<std::size_t>(size));
    ok = std::fread(out->data(), 1, out->size(), f) == out->size();
  }
  std::fclose(f);
  return ok;
}

}  // namespace

PictureFormat SniffPicture(const unsigned char* bytes, std::size_t size, int* width, int* height) {
  int w = 0, h = 0;
  PictureFormat f = PictureFormat::None;
  if (!bytes) {
  } else if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
    f = PictureFormat::Bmp;
  } else if (SniffPng(bytes, size, &w, &h)) {
    f = PictureFormat::Png;
  } else if (SniffJpeg(bytes, size, &w, &h)) {
    f = PictureFormat::Jpeg;
  } else if (SniffGif(bytes, size, &w, &h)) {
    f = PictureFormat::Gif;
  } else if (SniffTga(bytes, size, &w, &h)) {
    f = PictureFormat::Tga;
  }
  if (width) *width = w;
  if (height) *height = h;
  return f;
}

bool ParsePicture(std::vector<unsigned char> bytes, Picture* out) {
  Picture p;
  int w = 0, h = 0;
  p.format = SniffPicture(bytes.data(), bytes.size(), &w, &h);
  if (p.format == PictureFormat::None) return false;
  if (p.format == PictureFormat::Bmp) {
    if (!ParseBmpFile(std::move(bytes), &p.bmp)) return false;
    p.width = p.bmp.header.width;
    p.height = p.bmp.header.height;
  } else {
    if (!SizeAccepted(w, h) || (p.format == PictureFormat::Png && !PngChunksFit(bytes.data(), bytes.size())))
      return false;
    if (!platform::DecodePicture(bytes.data(), bytes.size(), DecoderType(p.format), kMaxDecodedPixels, &p.rgba,
                                 &p.width, &p.height) ||
        !SizeAccepted(p.width, p.height)) {
      return false;
    }
  }
  *out = std::move(p);
  return true;
}

bool ReadPicture(const char* path, Picture* out) {
  std::vector<unsigned char> bytes;
  return ReadWholeFile(path, &bytes) && ParsePicture(std::move(bytes), out);
}

bool ReadPictureSize(const char* path, int* width, int* height) {
  *width = *height = 0;
  std::vector<unsigned char> head(2);
  std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
  if (!f) return false;
  const bool two = std::fread(head.data(), 1, 2, f) == 2;
  std::fclose(f);
  if (!two) return false;
  if (head[0] == 'B' && head[1] == 'M') {
    BmpHeader h;
    if (!ReadBmpHeader(path, &h)) return false;
    *width = h.width;
    *height = h.height;
    return true;
  }
  Picture p;
  if (!ReadPicture(path, &p)) return false;
  *width = p.width;
  *height = p.height;
  return true;
}

Texels MakePictureTexels(const Picture& picture, int x, int y, int cw, int ch, std::uint32_t key, bool useKey) {
  if (picture.format == PictureFormat::Bmp) return MakeTexels(picture.bmp, x, y, cw, ch, key, useKey);
  return CutTexels(picture.width, picture.height, x, y, cw, ch, key, useKey,
                   [&picture](int column, int line, unsigned char* p) {
                     std::memcpy(p, &picture.rgba[(static_cast<std::size_t>(line) * picture.width + column) * 4], 4);
                   });
}

}  // namespace TAVELOR
