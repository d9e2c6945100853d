// ZyShoeBox: a packed media archive.
#pragma once

#include <string>

namespace TAVELOR {

class ZyShoeBox {
 public:
  ZyShoeBox() = default;
  ~ZyShoeBox() { Clear(); }
  ZyShoeBox(const ZyShoeBox&) = delete;
  ZyShoeBox& operator=(const ZyShoeBox&) = delete;

  // Names the archive file (no members are read until a lookup needs them).
  void SetName(const char* name) { name_ = name ? name : ""; }
  const std::string& Name() const { return name_; }
  // Forgets the archive and removes the temporary files it unpacked.
  void Clear() { name_.clear(); }

 private:
  std::string name_;
};

}  // namespace TAVELOR
