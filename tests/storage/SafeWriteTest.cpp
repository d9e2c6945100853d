// Writes that fail keep the old file: a full disk and a read-only directory under line-file
// write-back and tavelor-pack; FIFOs and hard links planted where the runtime writes.
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
    chmod(disk_.c_str(), 0755);
    StorageTest::TearDown();
  }
  fs::path disk_;
  bool mounted_ = false;
};

}  // namespace

TEST_F(SafeWriteTest, FailedWritesKeepTheOldFiles) {
  std::string lines, random(400 * 1024, 0);
  for (int i = 0; i < 30000; ++i) lines += "line " + std::to_string(i) + "\r\n";
  std::mt19937 gen(7);
  for (char& c : random) c = static_cast<char>(gen());
  WriteBytes("big.bin", random);
  ASSERT_EQ(Pack("create src.box big.bin >/dev/null"), 0);
  const std::pair<std::string, std::string> old[] = {
      {"save.txt", lines}, {"old.box", "old archive"}, {"old.bin", "old output"}};
  for (const auto& [name, bytes] : old) WriteBytes(disk_ / name, bytes);
  const std::size_t limit = 100 * 1024;
  const std::string ulimit = mounted_ ? "" : "trap '' XFSZ; ulimit -f " + std::to_string(limit / 1024) + "; ";

  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only directory" : "full disk");
    if (readOnly && !(mounted_ ? mount(nullptr, disk_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=2m") == 0
                               : geteuid() != 0 && chmod(disk_.c_str(), 0555) == 0))
      GTEST_SKIP() << "no way to make a directory read-only for root here";
    if (!readOnly && mounted_) {  // leave about limit bytes free
      std::ofstream out(disk_ / "filler", std::ios::binary);
      const std::string block(4096, 'f');
      while (out.write(block.data(), block.size()).flush() && fs::space(disk_).available > limit) {}
    }
    auto names = [&] { return std::set<fs::path>(fs::directory_iterator(disk_), fs::directory_iterator{}); };
    const auto before = names();
    fs::remove(ErrorLogPath().c_str());
    if (pid_t pid = fork(); pid == 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit r{limit, limit};
      if (!mounted_) setrlimit(RLIMIT_FSIZE, &r);
      alarm(60);
      PUTFILE((disk_ / "save.txt").c_str(), 3, DGStr("changed"));
      FlushLineFiles();
      _exit(0);
    } else {
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_NE(ErrorLog().find("Cannot write line file " + (disk_ / "save.txt").string() + ": "), std::string::npos);
    for (const std::string& args : {"create " + (disk_ / "old.box").string() + " big.bin",
                                   "extract src.box big.bin " + (disk_ / "old.bin").string(),
                                   "extract src.box big.bin " + (disk_ / "out.bin").string()})
      EXPECT_NE(Shell("bash -c \"" + ulimit + PackTool() + " " + args + "\" >/dev/null 2>&1"), 0) << args;
    for (const auto& [name, bytes] : old) EXPECT_TRUE(ReadBytes(disk_ / name) == bytes) << name;
    EXPECT_EQ(names(), before);  // no temporary or partial file left
  }
}

TEST_F(SafeWriteTest, PlantedFifosAndHardLinksEndNormally) {
  // A FIFO at the error log and at a line file: nothing may wait for a reader.
  ASSERT_EQ(mkfifo(ErrorLogPath().c_str(), 0600), 0);
  ASSERT_EQ(mkfifo("pipe.txt", 0600), 0);
  InChild([] {
    PUTFILE("pipe.txt", 0, DGStr("x"));
    AppendErrorLog("into the pipe");
  });
  EXPECT_TRUE(fs::is_fifo("pipe.txt"));
  fs::remove(ErrorLogPath().c_str());
  // With a plain log, the refusal is reported there.
  InChild([] { PUTFILE("pipe.txt", 0, DGStr("x")); });
  EXPECT_EQ(ErrorLog(), "Cannot write line file pipe.txt: not a regular file\r\n");
  fs::remove(ErrorLogPath().c_str());

  // A hard link at the log is refused; one at a line file is replaced, not written through.
  WriteBytes("victim", "keep\n");
  fs::create_hard_link("victim", ErrorLogPath().c_str());
  fs::create_hard_link("victim", "save.txt");
  InChild([] {
    PUTFILE("save.txt", 0, DGStr("mine"));
    AppendErrorLog("not into the victim");
  });
  EXPECT_EQ(ReadBytes("victim"), "keep\n");
  EXPECT_EQ(ReadBytes("save.txt"), "mine\r\n");
  fs::remove(ErrorLogPath().c_str());
}
