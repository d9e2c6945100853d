// The Windows command-line splitter of SHELLCMD: any line splits into arguments that, put
// together, are never longer than the line.
#include <cstdint>
#include <string>

#include "storage/SystemCommands.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);  // cut at the first NUL below
  const std::string text = line.c_str();
  std::size_t total = 0;
  for (const std::string& arg : TAVELOR::SplitWindowsCommandLine(text.c_str())) {
    total += arg.size();
    if (arg.find('\0') != std::string::npos) __builtin_trap();
  }
  if (total > text.size()) __builtin_trap();
  return 0;
}
