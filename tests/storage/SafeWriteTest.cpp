// Writes that fail keep the old file: a full disk and a read-only directory under line-file
// write-back and tavelor-pack; FIFOs and hard links planted where the runtime writes.
#include <tavelor/frame.h>
#include <tavelor/storage.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <random>
#include <set>

#include "StorageTestUtil.h"
#include "frame/ErrorLog.h"
#include "storage/FastFile.h"

using namespace storage_test;
using namespace TAVELOR;

namespace {

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

std::string ErrorLog() { return ReadBytes(ErrorLogPath().c_str()); }

class SafeWriteTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    fs::remove(ErrorLogPath().c_str());
    disk_ = dir_ / "disk";
    fs::create_directory(disk_);
    // As root a small file system of its own; otherwise a file-size limit stands in for it.
    mounted_ = geteuid() == 0 && mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=2m") == 0;
  }
  void TearDown() override {
    if (mounted_) umount2(disk_.c_str(), MNT_DETACH);
    chmod(disk_.c_str(), 0755);
    StorageTest::TearDown();
  }
  // Leaves about free bytes on the small disk.
  void Fill(std::size_t free) {
    if (!mounted_) return;
    std::ofstream out(disk_ / "filler", std::ios::binary);
    std::string block(4096, 'f');
    for (;;) {
      out.write(block.data(), block.size());
      out.flush();
      if (!out || fs::space(disk_).available <= free) break;
    }
  }
  // Runs fn in a child process, under the file-size limit when there is no small disk.
  void Limited(const std::function<void()>& fn, std::size_t limit) {
    pid_t pid = fork();
    if (pid == 0) {
      if (!mounted_) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
      }
      alarm(60);
      fn();
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::string Pack(const std::string& args, std::size_t limit) {
    std::string prefix = mounted_ ? "" : "trap '' XFSZ; ulimit -f " + std::to_string(limit / 1024) + "; ";
    return "bash -c \"" + prefix + PackTool() + " " + args + "\" >/dev/null 2>&1";
  }
  // A read-only directory: remounted as root, else without write permission.
  bool MakeReadOnly() {
    if (mounted_) return mount(nullptr, disk_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=2m") == 0;
    return geteuid() != 0 && chmod(disk_.c_str(), 0555) == 0;
  }

  fs::path disk_;
  bool mounted_ = false;
};

}  // namespace

TEST_F(SafeWriteTest, FailedWritesKeepTheOldFiles) {
  std::string lines;
  for (int i = 0; i < 30000; ++i) lines += "line " + std::to_string(i) + "\r\n";
  std::string random(400 * 1024, 0);
  std::mt19937 gen(7);
  for (char& c : random) c = static_cast<char>(gen());
  WriteBytes("big.bin", random);
  ASSERT_EQ(Shell(PackTool() + " create src.box big.bin >/dev/null"), 0);
  WriteBytes(disk_ / "save.txt", lines);
  WriteBytes(disk_ / "old.box", "old archive");
  WriteBytes(disk_ / "old.bin", "old output");
  auto expectUnchanged = [&] {
    EXPECT_EQ(ReadBytes(disk_ / "save.txt"), lines);
    EXPECT_EQ(ReadBytes(disk_ / "old.box"), "old archive");
    EXPECT_EQ(ReadBytes(disk_ / "old.bin"), "old output");
  };

  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only directory" : "full disk");
    const std::size_t limit = 100 * 1024;
    if (readOnly) {
      if (!MakeReadOnly()) GTEST_SKIP() << "no way to make a directory read-only for root here";
    } else {
      Fill(limit);
    }
    const auto before = Names(disk_);
    fs::remove(ErrorLogPath().c_str());
    Limited(
        [&] {
          PUTFILE((disk_ / "save.txt").c_str(), 3, DGStr("changed"));
          FlushLineFiles();
        },
        limit);
    EXPECT_NE(ErrorLog().find("Cannot write line file " + (disk_ / "save.txt").string() + ": "), std::string::npos);
    EXPECT_NE(Shell(Pack("create " + (disk_ / "old.box").string() + " big.bin", limit)), 0);
    EXPECT_NE(Shell(Pack("extract src.box big.bin " + (disk_ / "old.bin").string(), limit)), 0);
    EXPECT_NE(Shell(Pack("extract src.box big.bin " + (disk_ / "out.bin").string(), limit)), 0);
    expectUnchanged();
    EXPECT_EQ(Names(disk_), before);  // no temporary or partial file left
  }
}

TEST_F(SafeWriteTest, PlantedFifosAndHardLinksEndNormally) {
  // A FIFO at the error log and at a line file: nothing may wait for a reader.
  ASSERT_EQ(mkfifo(ErrorLogPath().c_str(), 0600), 0);
  ASSERT_EQ(mkfifo("pipe.txt", 0600), 0);
  EXPECT_EXIT(
      {
        alarm(20);
        PUTFILE("pipe.txt", 0, DGStr("x"));
        AppendErrorLog("into the pipe");
        END();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(fs::is_fifo("pipe.txt"));
  fs::remove(ErrorLogPath().c_str());
  // With a plain log, the refusal is reported there.
  EXPECT_EXIT(
      {
        alarm(20);
        PUTFILE("pipe.txt", 0, DGStr("x"));
        END();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ErrorLog(), "Cannot write line file pipe.txt: not a regular file\r\n");
  fs::remove(ErrorLogPath().c_str());

  // A hard link at the log is refused; one at a line file is replaced, not written through.
  WriteBytes("victim", "keep\n");
  fs::create_hard_link("victim", ErrorLogPath().c_str());
  fs::create_hard_link("victim", "save.txt");
  EXPECT_EXIT(
      {
        alarm(20);
        PUTFILE("save.txt", 0, DGStr("mine"));
        AppendErrorLog("not into the victim");
        END();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadBytes("victim"), "keep\n");
  EXPECT_EQ(ReadBytes("save.txt"), "mine\r\n");
  fs::remove(ErrorLogPath().c_str());
}
