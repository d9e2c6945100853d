// Shared set-up of the storage tests: a fresh working directory and fresh archives per test,
// and packed containers and archives built in memory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "frame/Runtime.h"
#include "platform/platform.h"
#include "storage/ShoeBoxArchive.h"
#include "storage/ZyCompression.h"
#include "storage/ZyShoeBox.h"

namespace storage_test {

namespace fs = std::filesystem;

inline void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

inline std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// data in the compression container.
inline std::string Packed(const std::string& data) {
  TAVELOR::ZyCompression zc;
  const int n = zc.Pack(U(data), static_cast<long>(data.size()));
  return std::string(reinterpret_cast<const char*>(zc.Data()), static_cast<std::size_t>(n));
}

// An archive of (name, contents) members, as bytes.
inline std::string Archive(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<TAVELOR::PackedMember> members;
  for (const auto& [name, data] : files) {
    const std::string p = Packed(data);
    members.push_back({name, std::vector<unsigned char>(p.begin(), p.end())});
  }
  std::string error;
  std::vector<unsigned char> bytes = TAVELOR::BuildArchive(members, 0, &error);
  EXPECT_TRUE(error.empty()) << error;
  return std::string(bytes.begin(), bytes.end());
}

// Files in the temporary directory whose names start with "~sbx".
inline std::vector<std::string> TempMembers() {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(TAVELOR::platform::TempDir())) {
    std::string n = e.path().filename().string();
    if (n.rfind("~sbx", 0) == 0) out.push_back(n);
  }
  return out;
}

inline std::string PackTool() { return std::string(TAVELOR_BINARY_DIR) + "/tools/pack/tavelor-pack"; }

// Runs a shell command line; its exit status.
inline int Shell(const std::string& cmd) {
  int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}
inline int Pack(const std::string& args) { return Shell(PackTool() + " " + args); }

class StorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::path(TAVELOR::platform::TempDir()) /
           ("storage-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(::getpid()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
    for (const std::string& n : TempMembers()) fs::remove(fs::path(TAVELOR::platform::TempDir()) / n);
    TAVELOR::__g_ShoeBox_Data = new TAVELOR::ZyShoeBox;
    TAVELOR::__g_ShoeBox_Media = new TAVELOR::ZyShoeBox;
    TAVELOR::__g_error = 0;
  }
  void TearDown() override {
    delete TAVELOR::__g_ShoeBox_Data;
    delete TAVELOR::__g_ShoeBox_Media;
    TAVELOR::__g_ShoeBox_Data = TAVELOR::__g_ShoeBox_Media = nullptr;
    fs::current_path(old_);
    fs::remove_all(dir_);
    setenv("PATH", path_.c_str(), 1);
  }
  const std::string path_ = std::getenv("PATH");  // restored for tests that change it
  fs::path old_;
  fs::path dir_;
};

}  // namespace storage_test
