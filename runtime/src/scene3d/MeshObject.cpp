// MeshObject: clearing, the .ddd reader and writer, and the quantising encoder.
#include "scene3d/MeshObject.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <vector>

#include <tavelor/frame.h>

#include "frame/ErrorLog.h"
#include "platform/files.h"

namespace TAVELOR {

POLY_FRAME& POLY_FRAME::operator=(const POLY_FRAME& other) {
  if (this == &other) return *this;
  source = other.source;
  triangles = other.triangles;
  nodes = other.nodes;
  for (int i = 0; i < 3; ++i) {
    offset[i] = other.offset[i];
    scale[i] = other.scale[i];
  }
  return *this;
}

MeshObject::~MeshObject() { Clear(true); }

void MeshObject::Clear(bool free) {
  if (free) {
    textureU.Free();
    textureV.Free();
    palette.Free();
    scratch.Free();
    frames.Free();  // each frame's destructor releases its lists
  } else {
    textureU.Empty();
    textureV.Empty();
    palette.Empty();
    scratch.Empty();
    frames.Empty();
  }
  normalsValid = 0;
}

std::uint8_t NearestVertexNormal(const float v[3]) {
  float n[3] = {v[0], v[1], v[2]};
  float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length > 0) {
    for (float& c : n) c /= length;
  }
  float best = 10000.0f;
  int index = 0;
  for (int i = 0; i < kVertexNormals; ++i) {
    float dx = n[0] - gAvertexnormals[i][0];
    float dy = n[1] - gAvertexnormals[i][1];
    float dz = n[2] - gAvertexnormals[i][2];
    float d = dx * dx + dy * dy + dz * dz;
    if (d <= best) {
      best = d;
      index = i;
      if (d == 0) break;
    }
  }
  return static_cast<std::uint8_t>(index);
}

// ---- Reading ------------------------------------------------------------------------------

namespace {

std::uint32_t ReadU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

float ReadF32(const unsigned char* p) {
  std::uint32_t bits = ReadU32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

double ReadF64(const unsigned char* p) {
  std::uint64_t bits = ReadU32(p) | static_cast<std::uint64_t>(ReadU32(p + 4)) << 32;
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

enum class LoadError { None, Read, Memory };

constexpr std::int64_t kHeaderBytes = 24;
constexpr std::int64_t kFrameHeaderBytes = 28;

}  // namespace

bool MeshObject::Load(const char* name, bool expand) {
  Clear(true);
  if (!name) return false;
  // Only a regular file has a size that bounds its counts.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) return false;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name, "rb"));
  if (!file) return false;

  auto parse = [&]() -> LoadError {
    std::FILE* f = file.get();
    // The file's size bounds every count, so no list is sized from unchecked data.
    if (std::fseek(f, 0, SEEK_END) != 0) return LoadError::Read;
    long size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) return LoadError::Read;
    std::int64_t left = size;

    unsigned char header[kHeaderBytes];
    if (left < kHeaderBytes || std::fread(header, 1, kHeaderBytes, f) != kHeaderBytes) return LoadError::Read;
    left -= kHeaderBytes;
    if (ReadU32(header) != kDddMagic || ReadF64(header + 4) != kDddVersion) return LoadError::Read;
    std::int32_t frameCount = static_cast<std::int32_t>(ReadU32(header + 12));
    std::int32_t paletteCount = static_cast<std::int32_t>(ReadU32(header + 16));
    std::int32_t texCount = static_cast<std::int32_t>(ReadU32(header + 20));
    if (frameCount < 0 || paletteCount < 0 || texCount < 0) return LoadError::Read;
    std::int64_t tableBytes = 4 * static_cast<std::int64_t>(paletteCount) + 8 * static_cast<std::int64_t>(texCount);
    if (tableBytes > left) return LoadError::Read;
    left -= tableBytes;
    if (static_cast<std::int64_t>(frameCount) * kFrameHeaderBytes > left) return LoadError::Read;

    std::vector<unsigned char> buffer;
    try {
      buffer.resize(static_cast<std::size_t>(tableBytes));
    } catch (const std::bad_alloc&) {
      return LoadError::Memory;
    }
    if (tableBytes > 0 && std::fread(buffer.data(), 1, buffer.size(), f) != buffer.size()) return LoadError::Read;
    if (!palette.Reserve(static_cast<std::int64_t>(paletteCount) + 1) ||
        !textureU.Reserve(static_cast<std::int64_t>(texCount) + 1) ||
        !textureV.Reserve(static_cast<std::int64_t>(texCount) + 1)) {
      return LoadError::Memory;
    }
    const unsigned char* p = buffer.data();
    for (std::int32_t i = 0; i < paletteCount; ++i, p += 4) palette.Append(ReadU32(p));
    for (std::int32_t i = 0; i < texCount; ++i, p += 8) {
      textureU.Append(ReadF32(p));
      textureV.Append(ReadF32(p + 4));
    }

    if (!frames.Reserve(static_cast<std::int64_t>(frameCount) + 1)) return LoadError::Memory;
    for (std::int32_t fi = 0; fi < frameCount; ++fi) {
      unsigned char fh[kFrameHeaderBytes];
      if (left < kFrameHeaderBytes || std::fread(fh, 1, kFrameHeaderBytes, f) != kFrameHeaderBytes) {
        return LoadError::Read;
      }
      left -= kFrameHeaderBytes;
      std::int32_t nodeCount = static_cast<std::int32_t>(ReadU32(fh));
      // Texture coordinates are indexed by node ordinal, so every frame has the same node
      // count and no more nodes than coordinates.
      if (nodeCount < 0 || 5 * static_cast<std::int64_t>(nodeCount) > left || nodeCount > texCount) {
        return LoadError::Read;
      }
      if (fi > 0 && nodeCount != frames[0].nodes.count) return LoadError::Read;
      left -= 5 * static_cast<std::int64_t>(nodeCount);

      POLY_FRAME frame;
      for (int i = 0; i < 3; ++i) {
        frame.offset[i] = ReadF32(fh + 4 + 4 * i);
        frame.scale[i] = ReadF32(fh + 16 + 4 * i);
      }
      try {
        buffer.resize(5 * static_cast<std::size_t>(nodeCount));
      } catch (const std::bad_alloc&) {
        return LoadError::Memory;
      }
      if (nodeCount > 0 && std::fread(buffer.data(), 1, buffer.size(), f) != buffer.size()) return LoadError::Read;
      if (!frame.nodes.Reserve(static_cast<std::int64_t>(nodeCount) + 1)) return LoadError::Memory;
      const unsigned char* n = buffer.data();
      POLY_PACKED* out = frame.nodes.data;
      for (std::int32_t k = 0; k < nodeCount; ++k, n += 5) {
        if (n[3] >= kVertexNormals || n[4] >= paletteCount) return LoadError::Read;
        out[k] = POLY_PACKED{{n[0], n[1], n[2]}, n[3], 0, 0, n[4]};
      }
      frame.nodes.count = nodeCount;
      if (!frames.Append(std::move(frame))) return LoadError::Memory;
    }

    if (expand) {
      for (POLY_FRAME& frame : frames) {
        frame.source.Empty();
        if (!frame.source.Reserve(static_cast<std::int64_t>(frame.nodes.count) + 1)) return LoadError::Memory;
        for (std::int32_t k = 0; k < frame.nodes.count; ++k) ExpandNode(frame, k, frame.source.data[k]);
        frame.source.count = frame.nodes.count;
      }
    }
    return LoadError::None;
  };

  LoadError error = parse();
  file.reset();
  if (error != LoadError::None) {
    AppendErrorLog(error == LoadError::Memory ? "# malloc error" : "# read error");
    AppendErrorLog(name);
    Clear(true);
    return false;
  }
  normalsValid = 1;
  return true;
}

// ---- Writing ------------------------------------------------------------------------------

namespace {

void PutU32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void PutF32(std::vector<unsigned char>& out, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  PutU32(out, bits);
}

}  // namespace

bool MeshObject::Save(const char* name) const {
  if (!name) return false;
  std::vector<unsigned char> out;
  std::int64_t nodeTotal = 0;
  for (const POLY_FRAME& frame : frames) nodeTotal += frame.nodes.count;
  out.reserve(static_cast<std::size_t>(kHeaderBytes + 4 * palette.count + 8 * textureU.count +
                                       kFrameHeaderBytes * frames.count + 5 * nodeTotal));
  PutU32(out, kDddMagic);
  std::uint64_t version;
  std::memcpy(&version, &kDddVersion, 8);
  PutU32(out, static_cast<std::uint32_t>(version));
  PutU32(out, static_cast<std::uint32_t>(version >> 32));
  PutU32(out, static_cast<std::uint32_t>(frames.count));
  PutU32(out, static_cast<std::uint32_t>(palette.count));
  PutU32(out, static_cast<std::uint32_t>(textureU.count));
  for (std::uint32_t colour : palette) PutU32(out, colour);
  for (std::int32_t i = 0; i < textureU.count; ++i) {
    PutF32(out, textureU[i]);
    PutF32(out, i < textureV.count ? textureV[i] : 0.0f);
  }
  for (const POLY_FRAME& frame : frames) {
    PutU32(out, static_cast<std::uint32_t>(frame.nodes.count));
    for (float v : frame.offset) PutF32(out, v);
    for (float v : frame.scale) PutF32(out, v);
    for (const POLY_PACKED& n : frame.nodes) {
      out.insert(out.end(), {n.q[0], n.q[1], n.q[2], n.normalIndex, n.colourIndex});
    }
  }
  // Through a temporary file: a failed write leaves the old file as it was.
  platform::FileReplacement file;
  return file.Begin(name) && file.Write(out.data(), out.size()) && file.Commit();
}

// ---- Encoding -----------------------------------------------------------------------------

namespace {

// Truncation toward zero into 0..255; values of 255 or more (and anything not a number below
// 0) are clamped.
std::uint8_t Quantise(float q) {
  if (!(q < 255.0f)) return std::isnan(q) ? 0 : 255;
  if (q <= 0.0f) return 0;
  return static_cast<std::uint8_t>(q);
}

}  // namespace

void MeshObject::Compress() {
  textureU.Free();
  textureV.Free();
  // Colour value -> its first palette index.
  std::unordered_map<std::uint32_t, std::int32_t> known;
  for (std::int32_t i = palette.count - 1; i >= 0; --i) known[palette[i]] = i;

  for (std::int32_t fi = 0; fi < frames.count; ++fi) {
    POLY_FRAME& frame = frames[fi];
    frame.nodes.Empty();
    float lo[3] = {0, 0, 0};
    float hi[3] = {0, 0, 0};
    bool any = false;
    for (const POLY_NODE& v : frame.source) {
      if (v.colour >= kNoColour) continue;
      for (int i = 0; i < 3; ++i) {
        if (!any || v.position[i] < lo[i]) lo[i] = v.position[i];
        if (!any || v.position[i] > hi[i]) hi[i] = v.position[i];
      }
      any = true;
    }
    for (int i = 0; i < 3; ++i) {
      float scale = (hi[i] - lo[i]) / 255.0f;
      if (scale == 0.0f) scale = 1.0f;
      frame.scale[i] = scale;
      frame.offset[i] = -lo[i] / scale;
    }
    std::int64_t n = static_cast<std::int64_t>(frame.source.count) + 1;
    if (fi == 0) {
      textureU.Reserve(n);
      textureV.Reserve(n);
    }
    frame.nodes.Reserve(n);

    for (const POLY_NODE& v : frame.source) {
      std::int32_t index;
      auto found = known.find(v.colour);
      if (found != known.end()) {
        index = found->second;
      } else {
        index = palette.count;
        palette.Append(v.colour);
        known.emplace(v.colour, index);
      }
      if (fi == 0) {
        textureU.Append(v.u);
        textureV.Append(v.v);
      }
      POLY_PACKED p{};
      for (int i = 0; i < 3; ++i) p.q[i] = Quantise(v.position[i] / frame.scale[i] + frame.offset[i]);
      p.normalIndex = NearestVertexNormal(v.normal);
      // Only 256 palette entries are addressable: later colours wrap around.
      p.colourIndex = static_cast<std::uint8_t>(index);
      frame.nodes.Append(p);
    }
  }
  for (POLY_FRAME& frame : frames) frame.source.Empty();
  normalsValid = 0;
}

}  // namespace TAVELOR
