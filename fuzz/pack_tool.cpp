// tavelor-pack list and extract on any file: they fail cleanly or succeed, and a successful
// extract leaves exactly the unpacked member at the output.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "PackCommands.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string archive = fuzz::WriteTempFile("fuzz-pack.box", data, size);
  if (archive.empty()) return 0;
  const std::string out = TAVELOR::platform::TempDir() + "fuzz-pack.out";
  if (RunPackCommand({"list", archive}) > 1) __builtin_trap();
  for (const char* member : {"hag.ddd", "a", "MOON.BMP"}) {
    TAVELOR::platform::RemoveFile(out.c_str());
    const int status = RunPackCommand({"extract", archive, member, out});
    if (status > 1 || (status == 0) != TAVELOR::platform::IsReadableFile(out.c_str())) __builtin_trap();
  }
  return 0;
}
