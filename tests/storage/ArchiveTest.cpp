// Packed archives: name resolution through stand-alone and appended archives, the temporary
// files, damaged and hostile archives, and the pack tool.
#include <tavelor/storage.h>

#include <cstring>
#include <sstream>

#include "StorageTestUtil.h"
#include "storage/ResolveArchivePath.h"

using namespace storage_test;
using namespace TAVELOR;

using ArchiveTest = StorageTest;

TEST_F(ArchiveTest, StandAloneAndAppendedArchivesResolveAlike) {
  const std::string hag = std::string(5000, 'm') + "end";
  WriteBytes("hag.ddd", hag);
  WriteBytes("tree.ddd", "tree mesh");
  WriteBytes("game", std::string(12345, '\x7F'));
  ASSERT_EQ(Pack("append game hag.ddd tree.ddd >/dev/null"), 0);
  ASSERT_EQ(Pack("create alone.box hag.ddd tree.ddd >/dev/null"), 0);
  EXPECT_EQ(ReadBytes("game").substr(0, 12345), std::string(12345, '\x7F'));
  fs::remove("tree.ddd");

  // A loose file wins; a member matches a request it ends, ignoring case.
  const std::pair<const char*, std::string> requests[] = {
      {"Data/HAG.DDD", hag}, {"C:\\game\\Tree.ddd", "tree mesh"}, {"ag.ddd", ""}, {"hag.dd", ""}};
  for (const char* box : {"game", "alone.box"}) {
    __g_ShoeBox_Data->SetName(box);
    WriteBytes("hag.ddd", "loose hag");
    EXPECT_EQ(ReadBytes(ResolveDataPath("hag.ddd")), "loose hag");
    fs::remove("hag.ddd");
    for (const auto& [request, expected] : requests) {
      const std::string p = ResolveDataPath(request);
      EXPECT_EQ(p.empty() ? "" : ReadBytes(p), expected) << box << " " << request;
    }
    const std::string p = ResolveDataPath("hag.ddd");
    EXPECT_TRUE(fs::path(p).filename().string().starts_with("~sbx") && p.ends_with(".ddd")) << p;
  }
  // The media archive is a different one and is still empty.
  EXPECT_EQ(ResolveMediaPath("hag.ddd") + ResolveArchivePath("hag.ddd", nullptr), "");
  // The tool lists and extracts from an appended archive.
  EXPECT_EQ(Pack("list game > list.txt"), 0);
  EXPECT_NE(ReadBytes("list.txt").find("tree.ddd"), std::string::npos);
  EXPECT_EQ(Pack("extract game hag.ddd out.bin >/dev/null"), 0);
  EXPECT_EQ(ReadBytes("out.bin"), hag);
}

TEST_F(ArchiveTest, OnlyTheLastUnpackedMemberOfEachArchiveStaysAndEveryEndRemovesIt) {
  WriteBytes("d.box", Archive({{"a.bmp", "AAAA"}, {"b.wav", "BBBB"}}));
  __g_ShoeBox_Data->SetName("d.box");
  __g_ShoeBox_Media->SetName("d.box");
  const std::string first = ResolveDataPath("a.bmp"), second = ResolveDataPath("b.wav");
  EXPECT_FALSE(fs::exists(first));
  EXPECT_EQ(TempMembers(), std::vector<std::string>{fs::path(second).filename().string()});
  // A lookup that ends on disk or finds nothing also removes the previous file.
  EXPECT_EQ(ResolveDataPath("missing.bmp"), "");
  EXPECT_FALSE(fs::exists(second));

  // The two archives each keep one file, even of the same member; SETSHOEBOX removes both.
  const std::string d = ResolveDataPath("a.bmp"), m = ResolveMediaPath("a.bmp");
  EXPECT_NE(d, m);
  EXPECT_EQ(ReadBytes(m), "AAAA");
  EXPECT_EQ(TempMembers().size(), 2u);
  SETSHOEBOX("d.box", "d.box");
  EXPECT_TRUE(TempMembers().empty());
  EXPECT_EQ(__g_ShoeBox_Data->Name(), "d.box");
  EXPECT_EXIT(
      {
        if (ResolveDataPath("a.bmp").empty() || ResolveMediaPath("a.bmp").empty() || TempMembers().size() != 2)
          std::_Exit(3);
        END();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(TempMembers().empty());
}

TEST_F(ArchiveTest, DamagedArchivesFailTheLookup) {
  const std::string good = Archive({{"a.txt", "alpha"}, {"b.txt", "beta"}});
  auto lookup = [](const std::string& bytes, const char* name, std::string* found = nullptr) {
    MemoryByteSource s(U(bytes), bytes.size());
    ArchiveMember out;
    const bool ok = FindArchiveMember(s, name, &out);
    if (found) *found = out.name;
    return ok;
  };
  std::string found;
  ASSERT_TRUE(lookup(good, "x/B.TXT", &found));
  EXPECT_EQ(found, "b.txt");
  std::vector<ArchiveMember> entries;  // the tool's listing
  EXPECT_TRUE(ReadArchiveDirectory(MemoryByteSource(U(good), good.size()), &entries));
  EXPECT_EQ(entries.size() == 2 ? entries[0].name + entries[1].name : "", "a.txtb.txt");
  // No truncation of the archive leaves a findable member.
  for (std::size_t cut = 0; cut < good.size(); ++cut) EXPECT_FALSE(lookup(good.substr(0, cut), "b.txt")) << cut;

  auto setInt = [](std::string s, std::size_t pos, std::int32_t v) {
    for (int i = 0; i < 4; ++i) s[pos + i] = static_cast<char>(static_cast<std::uint32_t>(v) >> (8 * i));
    return s;
  };
  const std::size_t dir = good.size() - 4 - 1 - 2 * (1 + 5 + 8);
  // Directory offset beyond the file, before its start, or inside the trailer.
  for (std::int32_t off : {0x7FFFFFFF, -0x7FFFFFFF, static_cast<std::int32_t>(good.size() - 2), -2})
    EXPECT_FALSE(lookup(setInt(good, good.size() - 4, off), "a.txt")) << off;
  // A member reaching past the end, starting before the start, or too small for a container.
  const int past = static_cast<int>(good.size());
  for (auto [offset, size] : {std::pair{0, 0x7FFFFFFF}, {-0x7FFFFFFF, 10}, {past, 4}, {0, 3}, {0, -5}})
    EXPECT_FALSE(lookup(setInt(setInt(good, dir + 6, offset), dir + 10, size), "a.txt")) << offset << " " << size;
  // A name length running past the trailer.
  std::string bad = good;
  bad[dir] = static_cast<char>(200);
  EXPECT_FALSE(lookup(bad, "a.txt") || lookup(bad, "b.txt") ||
               ReadArchiveDirectory(MemoryByteSource(U(bad), bad.size()), &entries));

  // Through the resolver: a damaged member never leaves a temporary file.
  bad = good;
  bad[4] ^= 0x55;  // the first instruction of a.txt's stream
  WriteBytes("bad.box", bad);
  __g_ShoeBox_Data->SetName("bad.box");
  EXPECT_EQ(ResolveDataPath("a.txt"), "");
  EXPECT_EQ(ReadBytes(ResolveDataPath("b.txt")), "beta");
  // A directory as archive (what start-up sets) finds nothing.
  __g_ShoeBox_Data->SetName(".");
  EXPECT_EQ(ResolveDataPath("b.txt"), "");
}

TEST_F(ArchiveTest, TemporaryFilesStayInTheTemporaryDirectoryAndNeverFollowLinks) {
  WriteBytes("evil.box", Archive({{"../../escape.txt", "x"}, {"sub\\dir/n.bmp", "y"}}));
  __g_ShoeBox_Data->SetName("evil.box");
  const fs::path tmp = fs::canonical(TAVELOR::platform::TempDir());
  for (const auto& [request, contents] : {std::pair{"../../escape.txt", "x"}, {"q/sub\\dir/n.bmp", "y"}}) {
    const std::string p = ResolveDataPath(request);
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(fs::canonical(p).parent_path(), tmp);
    EXPECT_EQ(ReadBytes(p), contents);
  }

  // A link planted under the expected name is left alone and not written through.
  WriteBytes("target.txt", "keep");
  WriteBytes("plain.box", Archive({{"a.bmp", "member"}}));
  __g_ShoeBox_Data->SetName("plain.box");
  const std::string expected = ResolveDataPath("a.bmp");
  ResolveDataPath("nothing");
  fs::create_symlink(dir_ / "target.txt", expected);
  const std::string got = ResolveDataPath("a.bmp");
  EXPECT_NE(got, expected);
  EXPECT_EQ(ReadBytes(got), "member");
  EXPECT_EQ(ReadBytes("target.txt"), "keep");
  ResolveDataPath("nothing");
  EXPECT_TRUE(fs::is_symlink(expected));
  fs::remove(expected);
  // A stale file of ours from an earlier run is replaced.
  WriteBytes(expected, "stale");
  EXPECT_EQ(ResolveDataPath("a.bmp"), expected);
  EXPECT_EQ(ReadBytes(expected), "member");
}

TEST_F(ArchiveTest, PackToolReportsAndFailsClearly) {
  WriteBytes("one.txt", std::string(1000, 'a'));
  WriteBytes("two.txt", "b");
  fs::create_directory("d");
  WriteBytes("d/ONE.TXT", "dup");
  const std::tuple<const char*, int, const char*> runs[] = {
      {"create x.box one.txt two.txt", 0, "2 members, 1001 bytes in"},
      {"create y.box one.txt missing.txt", 1, "missing.txt"}, {"create y.box one.txt d/ONE.TXT", 1, "ONE.TXT"},
      {"extract x.box nope.txt", 1, "nope.txt"}, {"list one.txt", 1, ""}, {"append missing-target one.txt", 1, ""},
      {"frobnicate x.box", 2, ""}};
  for (const auto& [args, rc, says] : runs) {
    EXPECT_EQ(Pack(std::string(args) + " > out.txt 2>&1"), rc) << args;
    EXPECT_NE(ReadBytes("out.txt").find(says), std::string::npos) << args;
  }
  EXPECT_FALSE(fs::exists("y.box"));

  // Member names are listed as stored; only control characters are escaped, as \xNN.
  const std::pair<std::string, std::string> names[] = {
      {"media\\ball.bmp", "media\\ball.bmp"},  {"red\x1b[31m.txt", "red\\x1b[31m.txt"},
      {"tab\there\x7f", "tab\\x09here\\x7f"}, {"gr\xc3\xbcn.bmp", "gr\xc3\xbcn.bmp"},
      {"\\x41.bmp", "\\x41.bmp"},        {"two words~.bmp", "two words~.bmp"}};
  std::vector<std::pair<std::string, std::string>> members;
  for (const auto& [stored, listed] : names) members.push_back({stored, "c"});
  WriteBytes("z.box", Archive(members));
  EXPECT_EQ(Pack("list z.box > list.txt"), 0);
  std::istringstream list(ReadBytes("list.txt"));
  for (const auto& [stored, listed] : names) {
    std::string line;
    std::getline(list, line);
    EXPECT_EQ(line.substr(0, listed.size() + 1), listed + " ");
  }
  EXPECT_EQ(Pack("extract z.box 'red\x1b[31m.txt' out.bin > out.txt"), 0);
  EXPECT_NE(ReadBytes("out.txt").find("red\\x1b[31m.txt"), std::string::npos);
}
