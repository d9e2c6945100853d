// System commands: starting programs, the file dialog, the command line, platform data.
#include <cstdlib>

#include <tavelor/storage.h>

#include "StorageTestUtil.h"
#include "storage/SystemCommands.h"

using namespace storage_test;
using namespace TAVELOR;

namespace {

using Args = std::vector<std::string>;

// An executable script.
void Script(const fs::path& path, const std::string& body) {
  fs::create_directories(path.parent_path());
  WriteBytes(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
}

using SystemCommandsTest = StorageTest;

}  // namespace

TEST(CommandLine, SplitsLikeWindows) {
  const std::pair<const char*, Args> cases[] = {
      {"  \"my prog\"  \"two words\"\tx ", {"my prog", "two words", "x"}},
      {"p a\\\\b \"c\\\"d\" e\\\\\\\"f", {"p", "a\\\\b", "c\"d", "e\\\"f"}},
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},
      {"p \"\" x\"y z\"w", {"p", "", "xy zw"}},
      {"p \"unterminated arg", {"p", "unterminated arg"}},
      {"   ", {}}};
  for (const auto& [line, args] : cases) EXPECT_EQ(SplitWindowsCommandLine(line), args) << line;
  __g_cmdline = "-level 3";
  EXPECT_STREQ(GETCOMMANDLINE_Str().c_str(), "-level 3");
}

TEST_F(SystemCommandsTest, ShellCommandWaitsAndReturnsTheExitCode) {
  Script("Tools/Run.SH", "exit 5\n");
  // Command, wait, result, exit code; the first has finished writing when SHELLCMD returns.
  const std::tuple<const char*, int, int, double> cases[] = {
      {"sh -c \"sleep 0.2; echo done > out.txt; exit 7\"", 1, 1, 7}, {"no-such-program-here --x", 1, 0, 0},
      {"", 1, 0, 0}, {"sh -c \"exit 3\"", 0, 1, 0}, {"tools\\run.sh", 1, 1, 5}};
  for (const auto& [command, wait, result, exitCode] : cases) {
    double code = -1;
    EXPECT_EQ(SHELLCMD(command, wait, 1, code), result) << command;
    EXPECT_EQ(code, exitCode) << command;
  }
  EXPECT_EQ(ReadBytes("out.txt"), "done\n");
}

TEST_F(SystemCommandsTest, FileDialogResultsAndFallbacks) {
  const std::string start = fs::current_path().string(), args = (dir_ / "args.txt").string();
  setenv("PATH", (dir_ / "bin").c_str(), 1);  // the dialog programs put there alone
  EXPECT_STREQ(FILEREQUEST_Str(1, "All|*.*").c_str(), "NO_FILE");

  // The dialog's arguments reach it, its choice comes back with '/' separators, and the
  // working directory is restored even if the dialog changed its own.
  Script("bin/zenity", "cd /; echo \"$@\" > \"" + args + "\"\necho 'C:\\games\\save.dat'\n");
  EXPECT_STREQ(FILEREQUEST_Str(0, "Pictures|*.bmp;*.png|All|*.*").c_str(), "C:/games/save.dat");
  EXPECT_EQ(fs::current_path().string(), start);
  EXPECT_EQ(ReadBytes(args), "--file-selection --save --confirm-overwrite --filename=" + start +
                                 "/ --file-filter=Pictures | *.bmp *.png --file-filter=All | *.*\n");
  Script("bin/zenity", "exit 1\n");  // cancelled
  EXPECT_STREQ(FILEREQUEST_Str(1, "").c_str(), "NO_FILE");

  EXPECT_EQ(FileDialogArguments("kdialog", false, "Pictures|*.bmp;*.png|Odd", "/g/"),
            (Args{"kdialog", "--getsavefilename", "/g/", "*.bmp *.png|Pictures"}));
}

TEST(PlatformInfo, NameIdentifierAndUnknownKeys) {
  EXPECT_STREQ(PLATFORMINFO_Str("").c_str(), "LINUX");
  EXPECT_STREQ(PLATFORMINFO_Str("os").c_str(), "NO_DATA");
  const std::string id = PLATFORMINFO_Str("ID").c_str();
  EXPECT_TRUE(id.size() == 8 && id.find_first_not_of("0123456789ABCDEF") == std::string::npos) << id;
  // Folding: four little-endian words xor-ed, then the mask; printed low byte first.
  const std::string zero(32, '0');
  EXPECT_EQ(MachineIdentifier(zero), MachineIdentifier("0123456789abcdef0123456789abcdef"));
  EXPECT_EQ(MachineIdentifier("01" + zero.substr(2)), MachineIdentifier(zero).replace(0, 2, "C5"));
  EXPECT_EQ(MachineIdentifier(""), MachineIdentifier("not hex"));  // too few digits: the fixed start value
}
