// Writes that fail keep the old file: a full disk under line-file write-back and tavelor-pack;
// FIFOs and hard links planted where the runtime writes.
#include <tavelor/frame.h>
#include <tavelor/storage.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

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

std::string ErrorLog() { return ReadBytes(ErrorLogPath().c_str()); }

// Runs fn, then END, in a child that must end normally within 20 seconds.
void InChild(const std::function<void()>& fn) {
  EXPECT_EXIT({ alarm(20); fn(); END(); }, ::testing::ExitedWithCode(0), "");
}

class SafeWriteTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    fs::remove(ErrorLogPath().c_str());
    fs::create_directory(disk_ = dir_ / "disk");
    // As root a small file system of its own; otherwise a file-size limit stands in for it.
    mounted_ = geteuid() == 0 && mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=2m") == 0;
  }
  void TearDown() override {
    if (mounted_) umount2(disk_.c_str(), MNT_DETACH);
    StorageTest::TearDown();
  }
  fs::path disk_;
  bool mounted_ = false;
};

}  // namespace

TEST_F(SafeWriteTest, FailedWritesKeepTheOldFiles) {
  // Each old file and each new output is over half the disk and over the size limit.
  std::string lines, random(1100 * 1024, 0);
  for (int i = 0; i < 100000; ++i) lines += "line " + std::to_string(i) + "\r\n";
  std::mt19937 gen(7);
  for (char& c : random) c = static_cast<char>(gen());
  WriteBytes("big.bin", random);
  ASSERT_EQ(Pack("create src.box big.bin >/dev/null"), 0);
  const std::pair<std::string, std::string> old[] = {
      {"save.txt", lines}, {"old.box", "old archive"}, {"old.bin", "old output"}};
  for (const auto& [name, bytes] : old) WriteBytes(disk_ / name, bytes);
  const std::size_t limit = 100 * 1024;
  const std::string ulimit = mounted_ ? "" : "trap '' XFSZ; ulimit -f " + std::to_string(limit / 1024) + "; ";
  auto names = [&] { return std::set<fs::path>(fs::directory_iterator(disk_), fs::directory_iterator{}); };
  const auto before = names();
  // The child ends without the exit handlers, which would write past the limit themselves.
  EXPECT_EXIT(
      {
        signal(SIGXFSZ, SIG_IGN);
        alarm(60);
        const rlimit r = (rlimit{limit, limit});
        if (!mounted_) setrlimit(RLIMIT_FSIZE, &r);
        PUTFILE((disk_ / "save.txt").c_str(), 3, DGStr("changed"));
        FlushLineFiles();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_NE(ErrorLog().find("Cannot write line file " + (disk_ / "save.txt").string() + ": "), std::string::npos);
  for (const std::string& args : {"create " + (disk_ / "old.box").string() + " big.bin",
                                 "extract src.box big.bin " + (disk_ / "old.bin").string()})
    EXPECT_NE(Shell("bash -c \"" + ulimit + PackTool() + " " + args + "\" >/dev/null 2>&1"), 0) << args;
  for (const auto& [name, bytes] : old) EXPECT_TRUE(ReadBytes(disk_ / name) == bytes) << name;
  EXPECT_EQ(names(), before);  // no temporary or partial file left
}

TEST_F(SafeWriteTest, PlantedFifosAndHardLinksEndNormally) {
  // A FIFO at a line file is refused, and the refusal reported; nothing waits for a reader.
  ASSERT_EQ(mkfifo("pipe.txt", 0600), 0);
  InChild([] { PUTFILE("pipe.txt", 0, DGStr("x")); });
  EXPECT_TRUE(fs::is_fifo("pipe.txt"));
  EXPECT_EQ(ErrorLog(), "Cannot write line file pipe.txt: not a regular file\r\n");
  // The same refusal into a FIFO at the log; a hard link at a line file is replaced, not written
  // through.
  fs::remove(ErrorLogPath().c_str());
  ASSERT_EQ(mkfifo(ErrorLogPath().c_str(), 0600), 0);
  WriteBytes("victim", "keep\n");
  fs::create_hard_link("victim", "save.txt");
  InChild([] {
    PUTFILE("save.txt", 0, DGStr("mine"));
    PUTFILE("pipe.txt", 0, DGStr("x"));
  });
  EXPECT_EQ(ReadBytes("save.txt"), "mine\r\n");
  // A hard link at the log is refused.
  fs::remove(ErrorLogPath().c_str());
  fs::create_hard_link("victim", ErrorLogPath().c_str());
  InChild([] { AppendErrorLog("not into the victim"); });
  EXPECT_EQ(ReadBytes("victim"), "keep\n");
}
