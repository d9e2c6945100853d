// Wildcard matching, directory listing, file queries, the working directory and Windows names.
#include <algorithm>

#include <tavelor/storage.h>

#include "StorageTestUtil.h"
#include "storage/WildMatch.h"
#include "storage/WindowsPath.h"

using namespace storage_test;
using namespace TAVELOR;

using FileCommandsTest = StorageTest;

TEST(WildMatch, Patterns) {
  // "*a*b*c" against "xxaxxbxxbc" needs backtracking past a false start; only ASCII letters fold.
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"a?c", "abc", true}, {"a?c", "a.c", false}, {"a?c", "ac", false}, {"*.*", "readme.txt", true}, {"", "a", false},
      {"*.*", "readme", false}, {"*", "", true}, {"M*N.b?p", "moon.bmp", true}, {"*.bmp", "moon.bmp.txt", false},
      {"*a*b*c", "xxaxxbxxbc", true}, {"*a*b*c", "xxaxxbxxb", false}, {"\xC4", "\xE4", false}};
  for (const auto& [pattern, name, match] : cases)
    EXPECT_EQ(szWildMatch(pattern, name), match) << pattern << " " << name;
}

TEST_F(FileCommandsTest, ListingExistenceAndWorkingDirectory) {
  fs::create_directories("Media/Sounds");
  for (const char* f : {"a.bmp", "B.BMP", "c.txt", "Media/Sounds/Salto.WAV"}) WriteBytes(f, "x");
  // Directories first (with . and ..), then the files; their count in the high word.
  DGStrArray list;
  EXPECT_EQ(GETFILELIST("*.bmp", list), 3 * 65536 + 2);
  std::vector<std::string> names;
  for (int i = 0; i < BOUNDS(list, 0); ++i) names.push_back(list(i).c_str());
  std::sort(names.begin(), names.begin() + 3);
  std::sort(names.begin() + 3, names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Media", "B.BMP", "a.bmp"}));
  EXPECT_EQ(GETFILELIST("none", list), 3 * 65536);

  for (const auto& [name, exists] : {std::pair{"a.bmp", 1}, {"missing.txt", 0}, {"Media", 0},
                                     {"media\\sounds\\salto.wav", 1}, {"media\\sounds", 0}, {"", 0}})
    EXPECT_EQ(DOESFILEEXIST(name), exists) << name;

  const std::string start = GETCURRENTDIR_Str().c_str();
  const std::pair<const char*, std::string> moves[] = {
      {"MEDIA\\sounds", start + "Media/Sounds/"}, {"nowhere", ""}, {"salto.wav", ""}, {"..", start + "Media/"},
      {"/", "/"}, {start.c_str(), start}};
  for (const auto& [to, now] : moves) {
    const std::string before = GETCURRENTDIR_Str().c_str();
    EXPECT_EQ(SETCURRENTDIR(to), now.empty() ? 0 : 1) << to;
    EXPECT_EQ(GETCURRENTDIR_Str().c_str(), now.empty() ? before : now) << to;
  }
}

TEST_F(FileCommandsTest, WindowsNamesMatchComponentsWithoutCase) {
  fs::create_directories("Data/Maps");
  WriteBytes("Data/Maps/Level1.MAP", "1");
  const std::string abs = dir_.string();
  // New files keep their own name inside the matched directory, or reuse an existing match.
  const std::tuple<std::string, PathKind, std::string> cases[] = {
      {"data\\maps\\level1.map", PathKind::ExistingFile, "Data/Maps/Level1.MAP"},
      {abs + "\\data\\MAPS\\level1.map", PathKind::ExistingFile, abs + "/Data/Maps/Level1.MAP"},
      {"data\\maps", PathKind::ExistingFile, ""},
      {"data\\maps", PathKind::ExistingDir, "Data/Maps"},
      {"data\\maps\\New.map", PathKind::NewFile, "Data/Maps/New.map"},
      {"data\\maps\\LEVEL1.map", PathKind::NewFile, "Data/Maps/Level1.MAP"},
      {"nodir\\New.map", PathKind::NewFile, ""}};
  for (const auto& [request, kind, found] : cases)
    EXPECT_EQ(FindWindowsPath(request.c_str(), kind), found) << request;
  // An exact name is preferred, and of several case variants the choice is stable.
  WriteBytes("Data/Maps/level1.map", "2");
  EXPECT_EQ(FindWindowsPath("Data/Maps/level1.map", PathKind::ExistingFile), "Data/Maps/level1.map");
  EXPECT_EQ(FindWindowsPath("DATA/MAPS/LEVEL1.MAP", PathKind::ExistingFile), "Data/Maps/Level1.MAP");
}
