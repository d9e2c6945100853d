// Reading and writing the packed archive's directory.
#include "storage/ShoeBoxArchive.h"

#include <algorithm>
#include <cstring>

#include "storage/WindowsPath.h"

namespace TAVELOR {

bool MemoryByteSource::ReadAt(std::int64_t pos, void* out, std::size_t n) const {
  if (pos < 0 || static_cast<std::uint64_t>(pos) > size_ || n > size_ - static_cast<std::size_t>(pos)) return false;
  if (n) std::memcpy(out, data_ + pos, n);
  return true;
}

FileByteSource::FileByteSource(std::FILE* file) : file_(file) {
  if (file_ && std::fseek(file_, 0, SEEK_END) == 0) {
    long end = std::ftell(file_);
    size_ = end > 0 ? end : 0;
  }
}

bool FileByteSource::ReadAt(std::int64_t pos, void* out, std::size_t n) const {
  if (!file_ || pos < 0 || pos > size_ || static_cast<std::int64_t>(n) > size_ - pos) return false;
  if (std::fseek(file_, static_cast<long>(pos), SEEK_SET) != 0) return false;
  return std::fread(out, 1, n, file_) == n;
}

namespace {

std::int32_t Int32At(const unsigned char* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) |
                                   (static_cast<std::uint32_t>(p[3]) << 24));
}

void PutInt32(std::vector<unsigned char>* out, std::int32_t v) {
  const std::uint32_t u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<unsigned char>(u >> (8 * i)));
}

// Reads the directory through a window of the file so that walking it entry by entry does
// not cost one read per field.
class DirectoryCursor {
 public:
  DirectoryCursor(const ByteSource& src, std::int64_t pos, std::int64_t end) : src_(src), pos_(pos), end_(end) {}
  bool AtEnd() const { return pos_ >= end_; }
  bool Take(void* out, std::size_t n) {
    if (static_cast<std::int64_t>(n) > end_ - pos_) return false;
    unsigned char* dst = static_cast<unsigned char*>(out);
    while (n > 0) {
      if (pos_ < winStart_ || pos_ >= winStart_ + winLen_) {
        winStart_ = pos_;
        winLen_ = static_cast<std::int64_t>(std::min<std::int64_t>(sizeof window_, end_ - pos_));
        if (!src_.ReadAt(winStart_, window_, static_cast<std::size_t>(winLen_))) return false;
      }
      std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), winStart_ + winLen_ - pos_));
      std::memcpy(dst, window_ + (pos_ - winStart_), chunk);
      dst += chunk;
      pos_ += static_cast<std::int64_t>(chunk);
      n -= chunk;
    }
    return true;
  }

 private:
  const ByteSource& src_;
  std::int64_t pos_;
  std::int64_t end_;
  std::int64_t winStart_ = 0;
  std::int64_t winLen_ = 0;
  unsigned char window_[16384];
};

enum class Step { Entry, End, Damaged };

// The directory's extent: from its offset to the trailer. False when the trailer is unusable.
bool DirectoryExtent(const ByteSource& src, std::int64_t* start, std::int64_t* end) {
  const std::int64_t size = src.Size();
  if (size < 4) return false;
  unsigned char trailer[4];
  if (!src.ReadAt(size - 4, trailer, 4)) return false;
  std::int64_t pos = ArchivePosition(Int32At(trailer), size);
  if (pos < 0 || pos > size - 4) return false;
  *start = pos;
  *end = size - 4;
  return true;
}

Step NextEntry(DirectoryCursor& cur, std::int64_t fileSize, ArchiveMember* m) {
  if (cur.AtEnd()) return Step::End;
  unsigned char len = 0;
  if (!cur.Take(&len, 1)) return Step::Damaged;
  if (len == 0) return Step::End;
  char name[256];
  unsigned char nums[8];
  if (!cur.Take(name, len) || !cur.Take(nums, 8)) return Step::Damaged;
  m->name.assign(name, len);
  m->offset = Int32At(nums);
  m->size = Int32At(nums + 4);
  m->position = ArchivePosition(m->offset, fileSize);
  m->valid = m->position >= 0 && m->size >= 4 && m->size <= fileSize - m->position;
  return Step::Entry;
}

}  // namespace

std::int64_t ArchivePosition(std::int32_t offset, std::int64_t fileSize) {
  std::int64_t pos = offset >= 0 ? offset : fileSize + offset;
  return (pos < 0 || pos > fileSize) ? -1 : pos;
}

bool FindArchiveMember(const ByteSource& archive, const char* requested, ArchiveMember* out) {
  if (!requested) return false;
  const std::size_t want = std::strlen(requested);
  std::int64_t start = 0, end = 0;
  if (!DirectoryExtent(archive, &start, &end)) return false;
  DirectoryCursor cur(archive, start, end);
  ArchiveMember m;
  for (;;) {
    Step s = NextEntry(cur, archive.Size(), &m);
    if (s != Step::Entry) return false;
    const std::size_t len = m.name.size();
    if (len > want || std::memchr(m.name.data(), 0, len)) continue;
    if (!EqualNoCase(m.name.data(), requested + (want - len), len)) continue;
    if (!m.valid) return false;
    *out = m;
    return true;
  }
}

bool ReadArchiveDirectory(const ByteSource& archive, std::vector<ArchiveMember>* out) {
  out->clear();
  std::int64_t start = 0, end = 0;
  if (!DirectoryExtent(archive, &start, &end)) return false;
  DirectoryCursor cur(archive, start, end);
  ArchiveMember m;
  for (;;) {
    Step s = NextEntry(cur, archive.Size(), &m);
    if (s == Step::End) return true;
    if (s == Step::Damaged) return false;
    out->push_back(m);
  }
}

std::vector<unsigned char> BuildArchive(const std::vector<PackedMember>& members, std::int64_t base,
                                        std::string* error) {
  std::vector<unsigned char> out;
  std::int64_t dataBytes = 0, dirBytes = 1 + 4;  // terminator and trailer
  for (const PackedMember& m : members) {
    if (m.name.empty() || m.name.size() > 255) {
      *error = "member name must be 1 to 255 bytes long: \"" + m.name + "\"";
      return {};
    }
    dataBytes += static_cast<std::int64_t>(m.block.size());
    dirBytes += 1 + static_cast<std::int64_t>(m.name.size()) + 8;
  }
  // Offsets are stored as signed 32-bit numbers.
  const std::int64_t total = base + dataBytes + dirBytes;
  const std::int64_t reach = base > 0 ? dataBytes + dirBytes : total;
  if (reach > 0x7FFFFFFF) {
    *error = "archive too large: offsets would not fit in 32 bits";
    return {};
  }
  auto stored = [&](std::int64_t pos) {
    return static_cast<std::int32_t>(base > 0 ? pos - total : pos);
  };
  out.reserve(static_cast<std::size_t>(dataBytes + dirBytes));
  std::vector<std::int32_t> offsets;
  std::int64_t pos = base;
  for (const PackedMember& m : members) {
    offsets.push_back(stored(pos));
    out.insert(out.end(), m.block.begin(), m.block.end());
    pos += static_cast<std::int64_t>(m.block.size());
  }
  const std::int32_t dirOffset = stored(pos);
  for (std::size_t i = 0; i < members.size(); ++i) {
    out.push_back(static_cast<unsigned char>(members[i].name.size()));
    out.insert(out.end(), members[i].name.begin(), members[i].name.end());
    PutInt32(&out, offsets[i]);
    PutInt32(&out, static_cast<std::int32_t>(members[i].block.size()));
  }
  out.push_back(0);
  PutInt32(&out, dirOffset);
  return out;
}

}  // namespace TAVELOR
