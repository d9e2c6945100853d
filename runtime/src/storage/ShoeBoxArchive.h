// The packed archive's file layout, read and written.
//
//   members   each a compression container, anywhere before the directory
//   directory entries: name length L (1 byte, 0 ends the directory), L name bytes,
//             member offset (int32), member size (int32)
//   trailer   directory offset (int32), the file's last 4 bytes
//
// All numbers are little-endian. An offset of 0 or more counts from the start of the file, a
// negative one from its end, so an archive can be appended to another file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace TAVELOR {

// Random access to the bytes of an archive.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::int64_t Size() const = 0;
  // Reads exactly n bytes at pos; false when they are not all there.
  virtual bool ReadAt(std::int64_t pos, void* out, std::size_t n) const = 0;
};

class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  std::int64_t Size() const override { return static_cast<std::int64_t>(size_); }
  bool ReadAt(std::int64_t pos, void* out, std::size_t n) const override;

 private:
  const unsigned char* data_;
  std::size_t size_;
};

class FileByteSource : public ByteSource {
 public:
  // file stays owned by the caller.
  explicit FileByteSource(std::FILE* file);
  std::int64_t Size() const override { return size_; }
  bool ReadAt(std::int64_t pos, void* out, std::size_t n) const override;

 private:
  std::FILE* file_;
  std::int64_t size_ = 0;
};

struct ArchiveMember {
  std::string name;
  std::int32_t offset = 0;    // as stored
  std::int32_t size = 0;      // bytes of the compressed block, as stored
  std::int64_t position = 0;  // where the block starts in the file (-1 when outside it)
  // True when the block lies inside the file and is large enough to hold a container.
  bool valid = false;
};

// Where an offset points: from the start when it is 0 or more, from the end when negative.
// -1 when that is outside the file.
std::int64_t ArchivePosition(std::int32_t offset, std::int64_t fileSize);

// The first member whose name is not empty, not longer than requested and equal, ignoring
// case, to the end of requested. False when the archive has no such member, its trailer or
// directory is damaged before the match, or the matching entry points outside the file.
bool FindArchiveMember(const ByteSource& archive, const char* requested, ArchiveMember* out);

// All entries of the directory, in order, up to its end or the first damaged entry. False
// when the trailer is unusable or the directory is cut short.
bool ReadArchiveDirectory(const ByteSource& archive, std::vector<ArchiveMember>* out);

// Lays out members (already packed containers) as an archive. With base 0 the archive stands
// alone and its offsets count from the start; with base > 0 it is meant to follow base bytes
// of another file and its offsets count from the end. Returns the bytes to write (after the
// base bytes); empty with error set when a name or an offset does not fit the format.
struct PackedMember {
  std::string name;
  std::vector<unsigned char> block;
};
std::vector<unsigned char> BuildArchive(const std::vector<PackedMember>& members, std::int64_t base,
                                        std::string* error);

}  // namespace TAVELOR
