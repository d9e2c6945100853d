#include "display/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace TAVELOR {

namespace {
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;

std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void Put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

struct FileCloser {
  std::FILE* f;
  ~FileCloser() {
    if (f) std::fclose(f);
  }
};

// Larger files are refused before anything is allocated for them.
constexpr long long kMaxBmpFileSize = 2LL << 30;

// Size of an open regular file, or -1 (also for directories and devices, and beyond the
// size limit).
long long FileSize(const char* path, std::FILE* f) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return -1;
  if (std::fseek(f, 0, SEEK_END) != 0) return -1;
  long size = std::ftell(f);
  if (size < 0 || size > kMaxBmpFileSize || std::fseek(f, 0, SEEK_SET) != 0) return -1;
  return size;
}
}  // namespace

bool ParseBmpHeader(const unsigned char* bytes, std::size_t size, std::uint64_t fileSize, BmpHeader* out) {
  if (!bytes || size < kFileHeaderSize + kInfoHeaderSize) return false;
  if (bytes[0] != 'B' || bytes[1] != 'M') return false;
  BmpHeader h;
  h.dataOffset = U32(bytes + 10);
  if (h.dataOffset < kFileHeaderSize + kInfoHeaderSize || h.dataOffset > size || h.dataOffset > fileSize)
    return false;
  const unsigned char* info = bytes + kFileHeaderSize;
  const std::uint32_t infoSize = U32(info);
  const auto width = static_cast<std::int32_t>(U32(info + 4));
  const auto height = static_cast<std::int32_t>(U32(info + 8));
  h.bitsPerPixel = U16(info + 14);
  const std::uint32_t compression = U32(info + 16);
  if (h.bitsPerPixel != 8 && h.bitsPerPixel != 24 && h.bitsPerPixel != 32) return false;
  // Plain rows, 8-bit run-length encoding, or 32-bit pixels with (standard) channel masks.
  h.rle8 = compression == 1 && h.bitsPerPixel == 8;
  if (compression != 0 && !h.rle8 && !(compression == 3 && h.bitsPerPixel == 32)) return false;
  if (width <= 0 || width > kMaxBmpSide || height == 0 || height < -kMaxBmpSide || height > kMaxBmpSide)
    return false;
  if (h.rle8 && height < 0) return false;  // encoded rows are always stored bottom-up
  h.width = width;
  h.height = height < 0 ? -height : height;
  h.topDown = height < 0;
  h.stride = (static_cast<std::uint64_t>(width) * (h.bitsPerPixel / 8) + 3) / 4 * 4;
  const std::uint64_t rowBytes = h.stride * static_cast<std::uint64_t>(h.height);
  if (h.rle8) {
    // A run of two bytes gives at most 255 pixels; skips aside, nothing expands further, so
    // a tiny file cannot ask for a huge picture.
    if (rowBytes > 128 * (fileSize - h.dataOffset) + (1u << 20)) return false;
  } else if (static_cast<std::uint64_t>(h.dataOffset) + rowBytes > fileSize) {
    return false;
  }
  if (h.bitsPerPixel == 8) {
    // The palette follows the info header (whatever its version) up to the pixel data.
    std::uint64_t paletteStart = kFileHeaderSize + std::max<std::uint64_t>(infoSize, kInfoHeaderSize);
    if (paletteStart > h.dataOffset) return false;
    std::uint64_t entries = (h.dataOffset - paletteStart) / 4;
    h.paletteEntries = static_cast<int>(std::min<std::uint64_t>(entries, 256));
    for (int i = 0; i < h.paletteEntries; ++i) {
      const unsigned char* e = bytes + paletteStart + 4 * static_cast<std::size_t>(i);
      h.palette[i] = static_cast<std::uint32_t>(e[2]) | static_cast<std::uint32_t>(e[1]) << 8 |
                     static_cast<std::uint32_t>(e[0]) << 16;
    }
  }
  *out = h;
  return true;
}

namespace {
// Expands 8-bit run-length data into plain rows (bottom row first). Pixels the data skips
// are index 0. Reading stops at the end marker or at the end of the data.
std::vector<unsigned char> ExpandRle8(const BmpHeader& h, const unsigned char* p, std::size_t n) {
  std::vector<unsigned char> out(h.stride * static_cast<std::uint64_t>(h.height), 0);
  std::uint64_t x = 0, y = 0;
  auto put = [&](unsigned char v) {
    if (x < static_cast<std::uint64_t>(h.width) && y < static_cast<std::uint64_t>(h.height)) out[y * h.stride + x] = v;
    ++x;
  };
  std::size_t i = 0;
  while (i + 1 < n && y < static_cast<std::uint64_t>(h.height)) {
    const unsigned count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {
      for (unsigned k = 0; k < count; ++k) put(static_cast<unsigned char>(value));
    } else if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of picture
      break;
    } else if (value == 2) {  // skip right and up
      if (i + 1 >= n) break;
      x += p[i];
      y += p[i + 1];
      i += 2;
    } else {  // a literal run, padded to an even length
      for (unsigned k = 0; k < value && i < n; ++k) put(p[i++]);
      if (value & 1) ++i;
    }
  }
  return out;
}
}  // namespace

bool ParseBmpFile(std::vector<unsigned char> bytes, BmpFile* out) {
  BmpHeader h;
  if (!ParseBmpHeader(bytes.data(), bytes.size(), bytes.size(), &h)) return false;
  out->header = h;
  out->expanded.clear();
  if (h.rle8) out->expanded = ExpandRle8(h, bytes.data() + h.dataOffset, bytes.size() - h.dataOffset);
  out->bytes = std::move(bytes);
  return true;
}

bool ReadBmpFile(const char* path, BmpFile* out) {
  if (!path) return false;
  FileCloser file{std::fopen(path, "rb")};
  if (!file.f) return false;
  long long size = FileSize(path, file.f);
  if (size < static_cast<long long>(kFileHeaderSize)) return false;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  if (std::fread(bytes.data(), 1, bytes.size(), file.f) != bytes.size()) return false;
  return ParseBmpFile(std::move(bytes), out);
}

bool ReadBmpHeader(const char* path, BmpHeader* out) {
  if (!path) return false;
  FileCloser file{std::fopen(path, "rb")};
  if (!file.f) return false;
  long long size = FileSize(path, file.f);
  unsigned char head[kFileHeaderSize];
  if (size < static_cast<long long>(kFileHeaderSize) || std::fread(head, 1, sizeof head, file.f) != sizeof head)
    return false;
  if (head[0] != 'B' || head[1] != 'M') return false;
  const std::uint32_t offset = U32(head + 10);
  if (offset < kFileHeaderSize + kInfoHeaderSize || offset > static_cast<std::uint64_t>(size)) return false;
  std::vector<unsigned char> block(offset);
  std::memcpy(block.data(), head, sizeof head);
  const std::size_t rest = offset - kFileHeaderSize;
  if (std::fread(block.data() + kFileHeaderSize, 1, rest, file.f) != rest) return false;
  return ParseBmpHeader(block.data(), block.size(), static_cast<std::uint64_t>(size), out);
}

std::uint32_t BmpPixel(const BmpFile& file, int column, int line) {
  const BmpHeader& h = file.header;
  const int storedRow = h.topDown ? line : h.height - 1 - line;
  const unsigned char* p = file.Pixels() + h.stride * static_cast<std::uint64_t>(storedRow) +
                           static_cast<std::uint64_t>(column) * (h.bitsPerPixel / 8);
  if (h.bitsPerPixel == 8) return p[0] < h.paletteEntries ? h.palette[p[0]] : 0;
  return static_cast<std::uint32_t>(p[2]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[0]) << 16;
}

int PowerOfTwoAtLeast(int n, int least) {
  int p = least;
  while (p < n && p < (1 << 30)) p *= 2;
  return p;
}

Texels MakeTexels(const BmpFile& file, int x, int y, int cw, int ch, std::uint32_t key, bool useKey) {
  return CutTexels(file.header.width, file.header.height, x, y, cw, ch, key, useKey,
                   [&file](int column, int line, unsigned char* p) {
                     const std::uint32_t rgb = BmpPixel(file, column, line);
                     p[0] = static_cast<unsigned char>(rgb);
                     p[1] = static_cast<unsigned char>(rgb >> 8);
                     p[2] = static_cast<unsigned char>(rgb >> 16);
                     p[3] = 255;
                   });
}

void ColourKeyEdges(Texels* t, int cw, int ch) {
  cw = std::min(cw, t->width);
  ch = std::min(ch, t->height);
  for (int row = 0; row < ch; ++row) {
    for (int col = 0; col < cw; ++col) {
      unsigned char* texel = t->At(col, row);
      if (texel[3] != 0) continue;
      int sum[3] = {0, 0, 0};
      int count = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          if (dx == 0 && dy == 0) continue;
          const int nx = col + dx, ny = row + dy;
          if (nx < 1 || nx > cw - 2 || ny < 1 || ny > ch - 2) continue;
          const unsigned char* n = t->At(nx, ny);
          if (n[3] != 255) continue;
          for (int k = 0; k < 3; ++k) sum[k] += n[k];
          ++count;
        }
      }
      if (count == 0) continue;
      for (int k = 0; k < 3; ++k) texel[k] = static_cast<unsigned char>(sum[k] / count);
    }
  }
}

void build_detail_normalmap(unsigned char* rgba, int width, int height) {
  if (!rgba || width <= 0 || height <= 0) return;
  const std::vector<unsigned char> source(rgba, rgba + static_cast<std::size_t>(width) * height * 4);
  auto H = [&](int x, int y) {
    x = ((x % width) + width) % width;
    y = ((y % height) + height) % height;
    return source[(static_cast<std::size_t>(y) * width + x) * 4 + 2] / 255.0f;
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float gx = (H(x + 1, y - 1) + 2 * H(x + 1, y) + H(x + 1, y + 1)) -
                       (H(x - 1, y - 1) + 2 * H(x - 1, y) + H(x - 1, y + 1));
      const float gy = (H(x - 1, y - 1) + 2 * H(x, y - 1) + H(x + 1, y - 1)) -
                       (H(x - 1, y + 1) + 2 * H(x, y + 1) + H(x + 1, y + 1));
      const float len = std::sqrt(gx * gx + gy * gy + 1.0f);
      const float n[3] = {-gx / len, -gy / len, 1.0f / len};
      unsigned char* out = rgba + (static_cast<std::size_t>(y) * width + x) * 4;
      for (int k = 0; k < 3; ++k) out[k] = static_cast<unsigned char>(static_cast<int>((n[k] + 1) * 0.5f * 255));
    }
  }
}

bool ShrinkMipLevel(std::vector<unsigned char>* rgba, int* width, int* height) {
  const int oldW = std::max(*width, 1), oldH = std::max(*height, 1);
  const int nw = *width / 2, nh = *height / 2;
  if (nw < 1 && nh < 1) return false;
  const int bw = std::max(nw, 1), bh = std::max(nh, 1);
  std::vector<unsigned char>& v = *rgba;
  if (v.size() < static_cast<std::size_t>(oldW) * oldH * 4) return false;
  auto old = [&](int i, int j, int k) { return static_cast<int>(v[(static_cast<std::size_t>(j) * oldW + i) * 4 + k]); };
  std::vector<unsigned char> next(static_cast<std::size_t>(bw) * bh * 4);
  for (int j = 0; j < bh; ++j) {
    for (int i = 0; i < bw; ++i) {
      unsigned char* out = &next[(static_cast<std::size_t>(j) * bw + i) * 4];
      for (int k = 0; k < 4; ++k) {
        if (nw < 1) {
          // A texture higher than wide has run out of columns: keep the first one.
          out[k] = static_cast<unsigned char>(old(0, 2 * j, k));
          continue;
        }
        const int a = old(2 * i, 2 * j, k);
        const bool lastColumn = i >= bw - 1, lastRow = j >= bh - 1;
        int value;
        if (!lastColumn && !lastRow) {
          value = (4 * a + 2 * old(2 * i + 1, 2 * j, k) + 2 * old(2 * i + 1, 2 * j + 2, k) + old(2 * i, 2 * j + 2, k)) / 9;
        } else if (!lastColumn) {
          value = (2 * a + old(2 * i + 1, 2 * j, k)) / 3;
        } else if (!lastRow) {
          value = (2 * a + old(2 * i, 2 * j + 2, k)) / 3;
        } else {
          value = a;
        }
        out[k] = static_cast<unsigned char>(value);
      }
    }
  }
  v.swap(next);
  *width = nw;
  *height = nh;
  return true;
}

std::vector<unsigned char> EncodeBmp24(const unsigned char* bgr, int width, int height, int sourceWidth,
                                       bool flip) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  const std::size_t rowSize = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  const std::size_t dataSize = rowSize * height;
  std::vector<unsigned char> out(54 + dataSize, 0);
  unsigned char* p = out.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, static_cast<std::uint32_t>(out.size()));
  Put32(p + 10, 54);
  Put32(p + 14, 40);
  Put32(p + 18, static_cast<std::uint32_t>(width));
  Put32(p + 22, static_cast<std::uint32_t>(height));
  Put16(p + 26, 1);
  Put16(p + 28, 24);
  Put32(p + 38, 10000);
  Put32(p + 42, 10000);
  if (!bgr) return out;
  // Rows of the source narrower than the picture leave the rest of the row black.
  const std::size_t sourceRow = static_cast<std::size_t>(std::max(sourceWidth, 0)) * 3;
  const std::size_t copy = std::min(sourceRow, static_cast<std::size_t>(width) * 3);
  for (int k = 0; k < height; ++k) {
    const int source = flip ? height - 1 - k : k;
    std::memcpy(p + 54 + rowSize * k, bgr + sourceRow * source, copy);
  }
  return out;
}

}  // namespace TAVELOR
