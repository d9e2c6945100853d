// Packed archives: name resolution through the archives, archives made by tavelor-pack,
// appended archives, damaged directories and the temporary files.
#include <tavelor/storage.h>

#include <cstring>
#include <sstream>

#include "StorageTestUtil.h"
#include "storage/ResolveArchivePath.h"
#include "storage/ShoeBoxArchive.h"
#include "storage/ZyCompression.h"

using namespace storage_test;
using namespace TAVELOR;

namespace {

PackedMember Member(const std::string& name, const std::string& data) {
  ZyCompression zc;
  int n = zc.Pack(reinterpret_cast<const unsigned char*>(data.data()), static_cast<long>(data.size()));
  PackedMember m;
  m.name = name;
  m.block.assign(zc.Data(), zc.Data() + n);
  return m;
}

std::string Archive(const std::vector<PackedMember>& members, std::int64_t base = 0) {
  std::string error;
  std::vector<unsigned char> bytes = BuildArchive(members, base, &error);
  EXPECT_TRUE(error.empty()) << error;
  return std::string(bytes.begin(), bytes.end());
}

class ArchiveTest : public StorageTest {
 protected:
  // Packs files of the working directory with the tool into name.
  void PackWithTool(const std::string& verb, const std::string& name, const std::string& files) {
    ASSERT_EQ(Shell(PackTool() + " " + verb + " " + name + " " + files + " >/dev/null"), 0);
  }
};

}  // namespace

TEST_F(ArchiveTest, LooseFilesMembersAndCaseInsensitiveSuffixes) {
  WriteBytes("hag.ddd", "hag mesh");
  WriteBytes("tree.ddd", "tree mesh");
  PackWithTool("create", "media.box", "hag.ddd tree.ddd");
  fs::remove("tree.ddd");
  __g_ShoeBox_Data->SetName("media.box");

  // With the loose file present it wins; the member is only used once the file is gone.
  WriteBytes("hag.ddd", "loose hag");
  EXPECT_EQ(ReadBytes(ResolveDataPath("hag.ddd")), "loose hag");
  fs::remove("hag.ddd");
  std::string p = ResolveDataPath("Data/HAG.DDD");
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(ReadBytes(p), "hag mesh");
  EXPECT_EQ(fs::path(p).filename().string().rfind("~sbx", 0), 0u);
  EXPECT_EQ(fs::path(p).extension(), ".ddd");
  EXPECT_EQ(ReadBytes(ResolveDataPath("C:\\game\\Tree.ddd")), "tree mesh");
  // A member name longer than the request, or not a suffix of it, does not match.
  EXPECT_EQ(ResolveDataPath("ag.ddd"), "");
  EXPECT_EQ(ResolveDataPath("hag.dd"), "");
  // The media archive is a different one and is still empty.
  EXPECT_EQ(ResolveMediaPath("hag.ddd"), "");
  EXPECT_EQ(ResolveArchivePath("hag.ddd", nullptr), "");
}

TEST_F(ArchiveTest, OnlyTheLastUnpackedMemberStaysAndEveryEndRemovesIt) {
  WriteBytes("a.bmp", "AAAA");
  WriteBytes("b.wav", "BBBB");
  PackWithTool("create", "d.box", "a.bmp b.wav");
  fs::remove("a.bmp");
  fs::remove("b.wav");
  __g_ShoeBox_Data->SetName("d.box");
  __g_ShoeBox_Media->SetName("d.box");

  std::string first = ResolveDataPath("a.bmp");
  std::string second = ResolveDataPath("b.wav");
  EXPECT_FALSE(fs::exists(first));
  EXPECT_TRUE(fs::exists(second));
  EXPECT_EQ(TempMembers().size(), 1u);
  // A lookup that ends on disk or finds nothing also removes the previous file.
  EXPECT_EQ(ResolveDataPath("missing.bmp"), "");
  EXPECT_FALSE(fs::exists(second));

  // The two archives each keep one file, even of the same member; SETSHOEBOX removes both.
  std::string d = ResolveDataPath("a.bmp");
  std::string m = ResolveMediaPath("a.bmp");
  EXPECT_NE(d, m);
  EXPECT_EQ(ReadBytes(m), "AAAA");
  EXPECT_EQ(TempMembers().size(), 2u);
  SETSHOEBOX("d.box", "d.box");
  EXPECT_TRUE(TempMembers().empty());
  EXPECT_EQ(__g_ShoeBox_Data->Name(), "d.box");

}

TEST_F(ArchiveTest, EndOfProgramLeavesNoTemporaryFile) {
  WriteBytes("a.bmp", "AAAA");
  PackWithTool("create", "d.box", "a.bmp");
  fs::remove("a.bmp");
  EXPECT_EXIT(
      {
        __g_ShoeBox_Data->SetName("d.box");
        __g_ShoeBox_Media->SetName("d.box");
        if (ResolveDataPath("a.bmp").empty() || ResolveMediaPath("a.bmp").empty()) std::_Exit(3);
        if (TempMembers().size() != 2) std::_Exit(4);
        END();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(TempMembers().empty());
}

TEST_F(ArchiveTest, AppendedArchiveResolvesLikeAStandAloneOne) {
  WriteBytes("moon.bmp", std::string(5000, 'm') + "end");
  WriteBytes("salto.wav", "RIFF....WAVE");
  WriteBytes("game", std::string(12345, '\x7F'));
  PackWithTool("append", "game", "moon.bmp salto.wav");
  PackWithTool("create", "alone.box", "moon.bmp salto.wav");
  const std::string moon = ReadBytes("moon.bmp"), salto = ReadBytes("salto.wav");
  fs::remove("moon.bmp");
  fs::remove("salto.wav");
  EXPECT_EQ(ReadBytes("game").substr(0, 12345), std::string(12345, '\x7F'));

  for (const char* box : {"game", "alone.box"}) {
    __g_ShoeBox_Data->SetName(box);
    EXPECT_EQ(ReadBytes(ResolveDataPath("MOON.BMP")), moon) << box;
    EXPECT_EQ(ReadBytes(ResolveDataPath("salto.wav")), salto) << box;
  }
  // The tool lists and extracts from both forms.
  EXPECT_EQ(Shell(PackTool() + " list game > list.txt"), 0);
  EXPECT_NE(ReadBytes("list.txt").find("salto.wav"), std::string::npos);
  EXPECT_EQ(Shell(PackTool() + " extract game moon.bmp out.bmp >/dev/null"), 0);
  EXPECT_EQ(ReadBytes("out.bmp"), moon);
}

TEST_F(ArchiveTest, DamagedArchivesFailTheLookup) {
  std::string good = Archive({Member("a.txt", "alpha"), Member("b.txt", "beta")});
  MemoryByteSource src(reinterpret_cast<const unsigned char*>(good.data()), good.size());
  ArchiveMember m;
  ASSERT_TRUE(FindArchiveMember(src, "x/B.TXT", &m));
  EXPECT_EQ(m.name, "b.txt");

  auto lookup = [](const std::string& bytes, const char* name) {
    MemoryByteSource s(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    ArchiveMember out;
    return FindArchiveMember(s, name, &out);
  };
  // No truncation of the archive leaves a findable member.
  for (std::size_t cut = 0; cut < good.size(); ++cut) EXPECT_FALSE(lookup(good.substr(0, cut), "b.txt")) << cut;

  auto setInt = [](std::string& s, std::size_t pos, std::int32_t v) {
    for (int i = 0; i < 4; ++i) s[pos + i] = static_cast<char>(static_cast<std::uint32_t>(v) >> (8 * i));
  };
  const std::size_t dir = good.size() - 4 - 1 - 2 * (1 + 5 + 8);
  // Directory offset beyond the file, before its start, or inside the trailer.
  for (std::int32_t off : {0x7FFFFFFF, -0x7FFFFFFF, static_cast<std::int32_t>(good.size() - 2), -2}) {
    std::string bad = good;
    setInt(bad, bad.size() - 4, off);
    EXPECT_FALSE(lookup(bad, "a.txt")) << off;
  }
  // A member reaching past the end, starting before the start, or too small for a container.
  for (auto [offset, size] : {std::pair{0, 0x7FFFFFFF}, {-0x7FFFFFFF, 10}, {static_cast<int>(good.size()), 4}, {0, 3}, {0, -5}}) {
    std::string bad = good;
    setInt(bad, dir + 1 + 5, offset);
    setInt(bad, dir + 1 + 5 + 4, size);
    EXPECT_FALSE(lookup(bad, "a.txt")) << offset << " " << size;
  }
  // A name length running past the trailer.
  std::string bad = good;
  bad[dir] = static_cast<char>(200);
  EXPECT_FALSE(lookup(bad, "a.txt"));
  EXPECT_FALSE(lookup(bad, "b.txt"));

  // Through the resolver: a damaged member never leaves a temporary file.
  std::string damaged = good;
  damaged[4] ^= 0x55;  // the first instruction of a.txt's stream
  WriteBytes("bad.box", damaged);
  __g_ShoeBox_Data->SetName("bad.box");
  EXPECT_EQ(ResolveDataPath("a.txt"), "");
  EXPECT_EQ(ReadBytes(ResolveDataPath("b.txt")), "beta");
  // A directory as archive (what start-up sets) finds nothing.
  __g_ShoeBox_Data->SetName(".");
  EXPECT_EQ(ResolveDataPath("b.txt"), "");
}

TEST_F(ArchiveTest, TemporaryFilesStayInTheTemporaryDirectoryAndNeverFollowLinks) {
  WriteBytes("evil.box", Archive({Member("../../escape.txt", "x"), Member("sub\\dir/n.bmp", "y")}));
  __g_ShoeBox_Data->SetName("evil.box");
  const fs::path tmp = fs::canonical(TAVELOR::platform::TempDir());
  std::string p = ResolveDataPath("../../escape.txt");
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(fs::canonical(p).parent_path(), tmp);
  p = ResolveDataPath("q/sub\\dir/n.bmp");
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(fs::canonical(p).parent_path(), tmp);
  EXPECT_EQ(ReadBytes(p), "y");

  // A link planted under the expected name is left alone and not written through.
  ResolveDataPath("nothing");
  WriteBytes("target.txt", "keep");
  WriteBytes("plain.box", Archive({Member("a.bmp", "member")}));
  __g_ShoeBox_Data->SetName("plain.box");
  std::string expected = ResolveDataPath("a.bmp");
  ResolveDataPath("nothing");
  fs::create_symlink(dir_ / "target.txt", expected);
  std::string got = ResolveDataPath("a.bmp");
  ASSERT_FALSE(got.empty());
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
  ASSERT_EQ(Shell(PackTool() + " create x.box one.txt two.txt > out.txt 2>&1"), 0);
  std::string out = ReadBytes("out.txt");
  EXPECT_NE(out.find("one.txt"), std::string::npos);
  EXPECT_NE(out.find("2 members, 1001 bytes in"), std::string::npos) << out;

  EXPECT_EQ(Shell(PackTool() + " create y.box one.txt missing.txt >/dev/null 2> err.txt"), 1);
  EXPECT_NE(ReadBytes("err.txt").find("missing.txt"), std::string::npos);
  EXPECT_FALSE(fs::exists("y.box"));
  fs::create_directory("d");
  WriteBytes("d/ONE.TXT", "dup");
  EXPECT_EQ(Shell(PackTool() + " create y.box one.txt d/ONE.TXT >/dev/null 2> err.txt"), 1);
  EXPECT_NE(ReadBytes("err.txt").find("ONE.TXT"), std::string::npos);
  EXPECT_EQ(Shell(PackTool() + " extract x.box nope.txt 2>/dev/null"), 1);
  EXPECT_EQ(Shell(PackTool() + " list one.txt >/dev/null 2>&1"), 1);
  EXPECT_EQ(Shell(PackTool() + " append missing-target one.txt 2>/dev/null"), 1);
  EXPECT_EQ(Shell(PackTool() + " frobnicate x.box 2>/dev/null"), 2);

  // Member names are listed as stored; only control characters are escaped, as \xNN.
  const struct {
    const char* stored;
    const char* listed;
  } names[] = {{"media\\ball.bmp", "media\\ball.bmp"},  {"red\x1b[31m.txt", "red\\x1b[31m.txt"},
               {"tab\there\x7f", "tab\\x09here\\x7f"}, {"gr\xc3\xbcn.bmp", "gr\xc3\xbcn.bmp"},
               {"\\x41.bmp", "\\x41.bmp"},        {"two words~.bmp", "two words~.bmp"}};
  std::vector<PackedMember> members;
  for (const auto& n : names) members.push_back(Member(n.stored, "c"));
  WriteBytes("z.box", Archive(members));
  EXPECT_EQ(Shell(PackTool() + " list z.box > list.txt"), 0);
  std::istringstream list(ReadBytes("list.txt"));
  for (const auto& n : names) {
    std::string line;
    std::getline(list, line);
    EXPECT_EQ(line.substr(0, std::strlen(n.listed) + 1), std::string(n.listed) + " ");
  }
  EXPECT_EQ(Shell(PackTool() + " extract z.box 'red\x1b[31m.txt' out.bin > out.txt"), 0);
  EXPECT_NE(ReadBytes("out.txt").find("red\\x1b[31m.txt"), std::string::npos);
}
