// Directory listing, wildcard matching, file queries, the working directory and Windows names.
#include <algorithm>

#include <tavelor/storage.h>

#include "StorageTestUtil.h"
#include "storage/WildMatch.h"
#include "storage/WindowsPath.h"

using namespace storage_test;
using namespace TAVELOR;

namespace {
class FileCommandsTest : public StorageTest {};
}  // namespace

TEST(WildMatch, Patterns) {
  EXPECT_TRUE(szWildMatch("a?c", "abc"));
  EXPECT_FALSE(szWildMatch("a?c", "a.c"));
  EXPECT_FALSE(szWildMatch("a?c", "ac"));
  EXPECT_TRUE(szWildMatch("*.*", "readme.txt"));
  EXPECT_FALSE(szWildMatch("*.*", "readme"));
  EXPECT_TRUE(szWildMatch("*", "anything.at.all"));
  EXPECT_TRUE(szWildMatch("*", ""));
  EXPECT_TRUE(szWildMatch("**", "x"));
  EXPECT_TRUE(szWildMatch("*.BMP", "moon.bmp"));
  EXPECT_TRUE(szWildMatch("M*N.b?p", "moon.bmp"));
  EXPECT_FALSE(szWildMatch("*.bmp", "moon.bmp.txt"));
  EXPECT_TRUE(szWildMatch("*a*b*c", "xxaxxbxxbc"));  // needs backtracking past a false start
  EXPECT_FALSE(szWildMatch("*a*b*c", "xxaxxbxxb"));
  EXPECT_TRUE(szWildMatch("a*", "a"));
  EXPECT_FALSE(szWildMatch("", "a"));
  EXPECT_TRUE(szWildMatch("", ""));
  EXPECT_FALSE(szWildMatch("abc", "ab"));
  // Only ASCII letters fold.
  EXPECT_FALSE(szWildMatch("\xC4", "\xE4"));
}

TEST_F(FileCommandsTest, FileListPutsDirectoriesFirst) {
  fs::create_directory("sub1");
  fs::create_directory("Sub2");
  WriteBytes("a.bmp", "");
  WriteBytes("B.BMP", "");
  WriteBytes("c.txt", "");
  DGStrArray list;
  EXPECT_EQ(GETFILELIST("*.bmp", list), 4 * 65536 + 2);
  ASSERT_EQ(BOUNDS(list, 0), 6);
  std::vector<std::string> dirs, files;
  for (int i = 0; i < 4; ++i) dirs.push_back(list(i).c_str());
  for (int i = 4; i < 6; ++i) files.push_back(list(i).c_str());
  std::sort(dirs.begin(), dirs.end());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(dirs, (std::vector<std::string>{".", "..", "Sub2", "sub1"}));
  EXPECT_EQ(files, (std::vector<std::string>{"B.BMP", "a.bmp"}));
  EXPECT_EQ(GETFILELIST("none", list), 4 * 65536);
  EXPECT_EQ(BOUNDS(list, 0), 4);
}

TEST_F(FileCommandsTest, ExistenceAndWorkingDirectory) {
  WriteBytes("here.txt", "x");
  fs::create_directories("Media/Sounds");
  WriteBytes("Media/Sounds/Salto.WAV", "w");
  EXPECT_EQ(DOESFILEEXIST("here.txt"), 1);
  EXPECT_EQ(DOESFILEEXIST("missing.txt"), 0);
  EXPECT_EQ(DOESFILEEXIST("Media"), 0);  // a directory is not a file
  EXPECT_EQ(DOESFILEEXIST("media\\sounds\\salto.wav"), 1);
  EXPECT_EQ(DOESFILEEXIST("media\\sounds"), 0);
  EXPECT_EQ(DOESFILEEXIST(""), 0);

  const std::string start = GETCURRENTDIR_Str().c_str();
  EXPECT_EQ(start, fs::current_path().string() + "/");
  EXPECT_EQ(SETCURRENTDIR("MEDIA\\sounds"), 1);
  EXPECT_EQ(std::string(GETCURRENTDIR_Str().c_str()), start + "Media/Sounds/");
  EXPECT_EQ(SETCURRENTDIR("nowhere"), 0);
  EXPECT_EQ(SETCURRENTDIR("salto.wav"), 0);
  EXPECT_EQ(SETCURRENTDIR(".."), 1);
  EXPECT_EQ(SETCURRENTDIR("/"), 1);
  EXPECT_STREQ(GETCURRENTDIR_Str().c_str(), "/");
  EXPECT_EQ(SETCURRENTDIR(start.c_str()), 1);
}

TEST_F(FileCommandsTest, WindowsNamesMatchComponentsWithoutCase) {
  fs::create_directories("Data/Maps");
  WriteBytes("Data/Maps/Level1.MAP", "1");
  EXPECT_EQ(FindWindowsPath("data\\maps\\level1.map", PathKind::ExistingFile), "Data/Maps/Level1.MAP");
  EXPECT_EQ(FindWindowsPath("./DATA/maps/LEVEL1.map", PathKind::ExistingFile), "./Data/Maps/Level1.MAP");
  EXPECT_EQ(FindWindowsPath((dir_.string() + "\\data\\MAPS\\level1.map").c_str(), PathKind::ExistingFile),
            dir_.string() + "/Data/Maps/Level1.MAP");
  EXPECT_EQ(FindWindowsPath("data\\maps", PathKind::ExistingFile), "");
  EXPECT_EQ(FindWindowsPath("data\\maps", PathKind::ExistingDir), "Data/Maps");
  EXPECT_EQ(FindWindowsPath("data\\nope\\x.map", PathKind::ExistingFile), "");
  // New files keep their own name inside the matched directory, or reuse an existing match.
  EXPECT_EQ(FindWindowsPath("data\\maps\\New.map", PathKind::NewFile), "Data/Maps/New.map");
  EXPECT_EQ(FindWindowsPath("data\\maps\\LEVEL1.map", PathKind::NewFile), "Data/Maps/Level1.MAP");
  EXPECT_EQ(FindWindowsPath("nodir\\New.map", PathKind::NewFile), "");
  // An exact name is preferred, and of several case variants the choice is stable.
  WriteBytes("Data/Maps/level1.map", "2");
  EXPECT_EQ(FindWindowsPath("Data/Maps/level1.map", PathKind::ExistingFile), "Data/Maps/level1.map");
  EXPECT_EQ(FindWindowsPath("DATA/MAPS/LEVEL1.MAP", PathKind::ExistingFile), "Data/Maps/Level1.MAP");
}
