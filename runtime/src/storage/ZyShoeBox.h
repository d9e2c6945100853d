// ZyShoeBox: a packed media archive, and ZyFileSystem, the holder that closes a file handle
// on every path.
#pragma once

#include <cstdio>
#include <string>

namespace TAVELOR {

class ZyShoeBox {
 public:
  ZyShoeBox() = default;
  ~ZyShoeBox() { Clear(); }
  ZyShoeBox(const ZyShoeBox&) = delete;
  ZyShoeBox& operator=(const ZyShoeBox&) = delete;

  // Names the archive file (nothing is read until a lookup needs it).
  void SetName(const char* name);
  const std::string& Name() const { return name_; }
  // The temporary file holding the member unpacked last; "" when none.
  const std::string& UnpackedPath() const { return unpacked_; }
  // Deletes the unpacked temporary file, if any, and forgets it.
  void RemoveUnpacked();
  // Records a temporary file this archive now owns (the previous one must be removed first).
  void SetUnpacked(const std::string& path) { unpacked_ = path; }
  // Removes the unpacked temporary file and empties both paths.
  void Clear();

 private:
  std::string name_;
  std::string unpacked_;
};

// Owns an open file; Close() (and the destructor) closes it.
class ZyFileSystem {
 public:
  ZyFileSystem() = default;
  explicit ZyFileSystem(std::FILE* file) : hFile(file) {}
  ~ZyFileSystem() { Close(); }
  ZyFileSystem(const ZyFileSystem&) = delete;
  ZyFileSystem& operator=(const ZyFileSystem&) = delete;

  void Close() {
    if (hFile) std::fclose(hFile);
    hFile = nullptr;
  }

  std::FILE* hFile = nullptr;
};

}  // namespace TAVELOR
