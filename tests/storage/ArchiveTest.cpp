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

TEST_F(ArchiveTest, ArchivesResolveAndKeepOneUnpackedMemberEach) {
  const std::string hag = std::string(5000, 'm') + "end";
  WriteBytes("hag.ddd", hag);
  WriteBytes("tree.ddd", "tree mesh");
  WriteBytes("game", std::string(12345, '\x7F'));
  ASSERT_EQ(Pack("append game hag.ddd tree.ddd >/dev/null"), 0);
  ASSERT_EQ(Pack("create alone.box hag.ddd tree.ddd >/dev/null"), 0);
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
  // The tool extracts from an appended archive.
  EXPECT_EQ(Pack("extract game hag.ddd out.bin >/dev/null"), 0);
  EXPECT_EQ(ReadBytes("out.bin"), hag);

  // Only the last unpacked member of each archive stays; a lookup that ends on disk or finds
  // nothing also removes it.
  const std::string first = ResolveDataPath("hag.ddd"), second = ResolveDataPath("tree.ddd");
  EXPECT_EQ(TempMembers(), std::vector<std::string>{fs::path(second).filename().string()});
  EXPECT_EQ(ResolveDataPath("missing.bmp"), "");
  EXPECT_FALSE(fs::exists(second));
  // The two archives each keep one file, even of the same member; SETSHOEBOX and END remove both.
  __g_ShoeBox_Media->SetName("alone.box");
  const std::string d = ResolveDataPath("tree.ddd"), m = ResolveMediaPath("tree.ddd");
  EXPECT_EQ(ReadBytes(m), "tree mesh");
  EXPECT_EQ(TempMembers().size(), 2u);
  SETSHOEBOX("alone.box", "alone.box");
  EXPECT_TRUE(TempMembers().empty());
  EXPECT_EQ(__g_ShoeBox_Data->Name(), "alone.box");
  EXPECT_EXIT(
      {
        if (ResolveDataPath("hag.ddd").empty() || ResolveMediaPath("hag.ddd").empty() || TempMembers().size() != 2)
          std::_Exit(3);
        END();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(TempMembers().empty());
}

TEST_F(ArchiveTest, DamagedArchivesFailTheLookup) {
  const std::string good = Archive({{"a.txt", "alpha"}, {"b.txt", "beta"}});
  auto lookup = [](const std::string& bytes, const char* name) {
    ArchiveMember out;
    return FindArchiveMember(MemoryByteSource(U(bytes), bytes.size()), name, &out);
  };
  ASSERT_TRUE(lookup(good, "x/B.TXT"));
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
  std::vector<ArchiveMember> entries;  // the tool's listing
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
  std::string expected;  // the last member's temporary file
  for (const auto& [request, contents] : {std::pair{"../../escape.txt", "x"}, {"q/sub\\dir/n.bmp", "y"}}) {
    expected = ResolveDataPath(request);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(fs::canonical(expected).parent_path(), tmp);
    EXPECT_EQ(ReadBytes(expected), contents);
  }

  // A link planted under the expected name is left alone and not written through.
  WriteBytes("target.txt", "keep");
  ResolveDataPath("nothing");
  fs::create_symlink(dir_ / "target.txt", expected);
  const std::string got = ResolveDataPath("q/sub\\dir/n.bmp");
  EXPECT_NE(got, expected);
  EXPECT_EQ(ReadBytes(got), "y");
  EXPECT_EQ(ReadBytes("target.txt"), "keep");
  ResolveDataPath("nothing");
  EXPECT_TRUE(fs::is_symlink(expected));
  fs::remove(expected);
  // A stale file of ours from an earlier run is replaced.
  WriteBytes(expected, "stale");
  EXPECT_EQ(ResolveDataPath("q/sub\\dir/n.bmp"), expected);
  EXPECT_EQ(ReadBytes(expected), "y");
}

TEST_F(ArchiveTest, PackToolReportsAndFailsClearly) {
  // A missing input and two members of one name are refused and named; no archive is left.
  WriteBytes("one.txt", "a");
  fs::create_directory("d");
  WriteBytes("d/ONE.TXT", "dup");
  for (const auto& [inputs, says] :
       {std::pair{"one.txt missing.txt", "missing.txt"}, {"one.txt d/ONE.TXT", "ONE.TXT"}}) {
    EXPECT_EQ(Pack("create y.box " + std::string(inputs) + " > out.txt 2>&1"), 1) << inputs;
    EXPECT_NE(ReadBytes("out.txt").find(says), std::string::npos) << inputs;
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
  std::string line;
  for (const auto& [stored, listed] : names)
    EXPECT_TRUE(std::getline(list, line) && line.starts_with(listed + " ")) << line;
}
