// System commands: starting programs, the file dialog, the command line, platform data.
#include <cstdlib>

#include <tavelor/storage.h>

#include "StorageTestUtil.h"
#include "storage/SystemCommands.h"

using namespace storage_test;
using namespace TAVELOR;

namespace {

using Args = std::vector<std::string>;

class SystemCommandsTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
  }
  void TearDown() override {
    setenv("PATH", oldPath_.c_str(), 1);
    StorageTest::TearDown();
  }
  // A fake dialog program on an otherwise empty PATH.
  void FakeDialog(const std::string& name, const std::string& body) {
    fs::create_directory("bin");
    WriteBytes("bin/" + name, "#!/bin/sh\n" + body);
    fs::permissions("bin/" + name, fs::perms::owner_all);
    setenv("PATH", (dir_ / "bin").c_str(), 1);
  }
  std::string oldPath_;
};

}  // namespace

TEST(CommandLine, SplitsLikeWindows) {
  EXPECT_EQ(SplitWindowsCommandLine("prog a b"), (Args{"prog", "a", "b"}));
  EXPECT_EQ(SplitWindowsCommandLine("  \"my prog\"  \"two words\"\tx "), (Args{"my prog", "two words", "x"}));
  EXPECT_EQ(SplitWindowsCommandLine("p a\\\\b \"c\\\"d\" e\\\\\\\"f"), (Args{"p", "a\\\\b", "c\"d", "e\\\"f"}));
  EXPECT_EQ(SplitWindowsCommandLine("p \"a\\\\\" b"), (Args{"p", "a\\", "b"}));
  EXPECT_EQ(SplitWindowsCommandLine("p \"\" x\"y z\"w"), (Args{"p", "", "xy zw"}));
  EXPECT_EQ(SplitWindowsCommandLine("p \"unterminated arg"), (Args{"p", "unterminated arg"}));
  EXPECT_EQ(SplitWindowsCommandLine("C:\\tools\\run.exe x"), (Args{"C:\\tools\\run.exe", "x"}));
  EXPECT_TRUE(SplitWindowsCommandLine("   ").empty());
}

TEST_F(SystemCommandsTest, ShellCommandWaitsAndReturnsTheExitCode) {
  double code = -1;
  EXPECT_EQ(SHELLCMD("sh -c \"sleep 0.2; echo done > out.txt; exit 7\"", 1, 0, code), 1);
  EXPECT_EQ(code, 7);
  EXPECT_EQ(ReadBytes("out.txt"), "done\n");  // it had finished when SHELLCMD returned

  code = -1;
  EXPECT_EQ(SHELLCMD("no-such-program-here --x", 1, 1, code), 0);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(SHELLCMD("", 1, 1, code), 0);

  // Without waiting: 1 at once, exit code 0.
  code = -1;
  EXPECT_EQ(SHELLCMD("sh -c \"exit 3\"", 0, 1, code), 1);
  EXPECT_EQ(code, 0);

  // A program named with a Windows path.
  fs::create_directory("Tools");
  WriteBytes("Tools/Run.SH", "#!/bin/sh\nexit 5\n");
  fs::permissions("Tools/Run.SH", fs::perms::owner_all);
  EXPECT_EQ(SHELLCMD("tools\\run.sh", 1, 1, code), 1);
  EXPECT_EQ(code, 5);
}

TEST_F(SystemCommandsTest, FileDialogResultsAndFallbacks) {
  const std::string start = fs::current_path().string();
  setenv("PATH", (dir_ / "empty").c_str(), 1);
  EXPECT_STREQ(FILEREQUEST_Str(1, "All|*.*").c_str(), "NO_FILE");

  // The dialog's arguments reach it, its choice comes back with '/' separators, and the
  // working directory is restored even if the dialog changed its own.
  FakeDialog("zenity", "cd /; echo \"$@\" > \"" + (dir_ / "args.txt").string() + "\"\necho 'C:\\games\\save.dat'\n");
  EXPECT_STREQ(FILEREQUEST_Str(0, "Pictures|*.bmp;*.png|All|*.*").c_str(), "C:/games/save.dat");
  EXPECT_EQ(fs::current_path().string(), start);
  std::string args = ReadBytes(dir_ / "args.txt");
  EXPECT_NE(args.find("--save"), std::string::npos);
  EXPECT_NE(args.find("--file-filter=Pictures | *.bmp *.png"), std::string::npos);
  EXPECT_NE(args.find("--filename=" + start + "/"), std::string::npos);

  FakeDialog("zenity", "exit 1\n");  // cancelled
  EXPECT_STREQ(FILEREQUEST_Str(1, "").c_str(), "NO_FILE");

  fs::remove("bin/zenity");
  FakeDialog("kdialog", "echo \"$1\" > \"" + (dir_ / "args.txt").string() + "\"\necho /home/u/pic.bmp\n");
  EXPECT_STREQ(FILEREQUEST_Str(1, "Pictures|*.bmp").c_str(), "/home/u/pic.bmp");
  EXPECT_EQ(ReadBytes(dir_ / "args.txt"), "--getopenfilename\n");
}

TEST(DialogArguments, FiltersBecomeTheProgramsSyntax) {
  EXPECT_EQ(FileDialogArguments("zenity", true, "Pictures|*.bmp|All|*.*", "/g"),
            (Args{"zenity", "--file-selection", "--filename=/g/", "--file-filter=Pictures | *.bmp",
                  "--file-filter=All | *.*"}));
  EXPECT_EQ(FileDialogArguments("kdialog", false, "Pictures|*.bmp;*.png|Odd", "/g/"),
            (Args{"kdialog", "--getsavefilename", "/g/", "*.bmp *.png|Pictures"}));
}

TEST(PlatformInfo, NameIdentifierAndUnknownKeys) {
  EXPECT_STREQ(PLATFORMINFO_Str("").c_str(), "LINUX");
  EXPECT_STREQ(PLATFORMINFO_Str("os").c_str(), "NO_DATA");
  std::string id = PLATFORMINFO_Str("id").c_str();
  ASSERT_EQ(id.size(), 8u);
  EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(id, std::string(PLATFORMINFO_Str("ID").c_str()));
  // Folding: four little-endian words xor-ed, then the mask; printed low byte first.
  EXPECT_EQ(MachineIdentifier("00000000000000000000000000000000"), MachineIdentifier("0123456789abcdef0123456789abcdef"));
  EXPECT_EQ(MachineIdentifier("01000000000000000000000000000000"),
            MachineIdentifier("00000000000000000000000000000000").replace(0, 2, "C5"));
  EXPECT_EQ(MachineIdentifier(""), MachineIdentifier("not hex"));
  EXPECT_NE(MachineIdentifier(""), MachineIdentifier("00000000000000000000000000000000"));
}

TEST(CommandLine, IsTheRuntimesCopy) {
  __g_cmdline = "-level 3";
  EXPECT_STREQ(GETCOMMANDLINE_Str().c_str(), "-level 3");
}
