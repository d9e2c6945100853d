// What the sound and movie tests share: temporary files and the sox/ffmpeg programs that
// write the reference media.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <tavelor/tavelor.h>

#include "frame/Runtime.h"
#include "platform/platform.h"

namespace audio_test {

namespace fs = std::filesystem;

inline std::string TempPath(const std::string& name) { return TAVELOR::platform::TempDir() + name; }
inline int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }
inline void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace audio_test
