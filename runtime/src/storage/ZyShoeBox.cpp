// The archive object: its name and the one temporary file it unpacked last.
#include "storage/ZyShoeBox.h"

#include "platform/platform.h"

namespace TAVELOR {

void ZyShoeBox::SetName(const char* name) { name_ = name ? name : ""; }

void ZyShoeBox::RemoveUnpacked() {
  if (!unpacked_.empty()) platform::RemoveFile(unpacked_.c_str());
  unpacked_.clear();
}

void ZyShoeBox::Clear() {
  RemoveUnpacked();
  name_.clear();
}

}  // namespace TAVELOR
