// Line files: GETFILE / PUTFILE through the one-file cache, and its write-back.
#include <tavelor/storage.h>

#include "StorageTestUtil.h"
#include "storage/FastFile.h"

using namespace storage_test;
using namespace TAVELOR;

namespace {

class LineFileTest : public StorageTest {
 protected:
  void TearDown() override {
    FlushLineFiles();
    StorageTest::TearDown();
  }
};

std::string Many(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += std::to_string(i) + "\n";
  return s;
}

}  // namespace

TEST_F(LineFileTest, ReadsEveryLineEndLimitAndPlace) {
  WriteBytes("crlf.txt", "one\r\ntwo\r\nthree\r\n");
  WriteBytes("lf.txt", "one\ntwo\nthree");
  WriteBytes("cr.txt", "a\rb\r\n");
  WriteBytes("big.txt", std::string(3000, 'x') + "\nnext\n");
  WriteBytes("many.txt", Many(300));
  fs::create_directory("Saves");
  WriteBytes("Saves/Score.TXT", "100\r\n");
  WriteBytes("level.txt", "map1\r\nmap2\r\n");
  ASSERT_EQ(Pack("create data.box level.txt >/dev/null"), 0);
  fs::remove("level.txt");
  SETSHOEBOX("data.box", "");
  // Only the '\r' right before '\n' goes; lines are cut at 1023 bytes and read up to 255;
  // Windows names find the file whatever its case; the data archive serves what the disk lacks.
  const std::tuple<const char*, double, std::string, int> reads[] = {{"crlf.txt", 0, "one", 0},        {"crlf.txt", 2, "three", 0},   {"lf.txt", 1, "two", 0},
               {"lf.txt", 2, "three", 0},        {"lf.txt", 5, "", 0},          {"cr.txt", 0, "a\rb", 0},
               {"big.txt", 0, std::string(1023, 'x'), 0}, {"big.txt", 1, "next", 0}, {"many.txt", 255, "255", 0},
               {"saves\\score.txt", 0, "100", 0}, {"level.txt", 1, "map2", 0},  {"none.txt", 0, "NO_FILE", 3},
               {"crlf.txt", 256, "unchanged", 7}, {"crlf.txt", -1, "unchanged", 7}};
  for (const auto& [file, line, text, error] : reads) {
    DGStr t = "unchanged";
    __g_error = 0;
    GETFILE(file, line, t);
    EXPECT_EQ(t.c_str(), text) << file << " " << line;
    EXPECT_EQ(__g_error, error) << file << " " << line;
  }
  double v = 42;
  GETFILE("crlf.txt", -1, v);
  EXPECT_EQ(v, 42);
  GETFILE("none.txt", 0, v);
  EXPECT_EQ(v, 0);
  GETFILE("saves\\score.txt", 0, v);
  EXPECT_EQ(v, 100);
}

TEST_F(LineFileTest, WritesGoBackWhenAnotherFileIsNamedOrTheProgramEnds) {
  PUTFILE("a.txt", 0, DGStr("first"));
  PUTFILE("a.txt", 3, 2.5);
  EXPECT_FALSE(fs::exists("a.txt"));  // still only in the cache
  EXPECT_EQ(__g_error, 3);           // the file did not exist yet
  DGStr text;
  GETFILE("a.txt", 3, text);
  EXPECT_STREQ(text.c_str(), "2.5");
  GETFILE("other.txt", 0, text);
  EXPECT_EQ(ReadBytes("a.txt"), "first\r\n\r\n\r\n2.5\r\n");
  PUTFILE("a.txt", 1, DGStr("second"));
  // Bad line numbers change nothing; -0.5 is line 0.
  PUTFILE("a.txt", 256, DGStr("no"));
  PUTFILE("a.txt", -1, DGStr("no"));
  PUTFILE("a.txt", -0.5, DGStr("zero"));
  FlushLineFiles();
  EXPECT_EQ(ReadBytes("a.txt"), "zero\r\nsecond\r\n\r\n2.5\r\n");
  // Reading only never rewrites; a Windows name writes back to the file it found; writing keeps
  // the lines the cache never held.
  WriteBytes("ro.txt", "x\ny");
  GETFILE("ro.txt", 0, text);
  fs::create_directory("Saves");
  WriteBytes("Saves/Score.TXT", "100\r\n");
  PUTFILE("saves\\score.txt", 0, 250.0);
  WriteBytes("many.txt", Many(300));
  PUTFILE("many.txt", 0, DGStr(std::string(2000, 'y').c_str()));
  FlushLineFiles();
  EXPECT_EQ(ReadBytes("ro.txt"), "x\ny");
  EXPECT_EQ(ReadBytes("Saves/Score.TXT"), "250\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator("Saves"), fs::directory_iterator()), 1);
  EXPECT_EQ(ReadBytes("many.txt"), std::string(1023, 'y') + "\r\n" + Many(300).substr(2));

  EXPECT_EXIT(
      {
        PUTFILE("end.txt", 0, DGStr("saved"));
        PUTFILE("end.txt", 2, 7.0);
        END();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadBytes("end.txt"), "saved\r\n\r\n7\r\n");
}

// Only the changed lines are replaced; every other byte of the file stays, however long the
// file or its lines are.
TEST_F(LineFileTest, WriteBackReplacesOnlyChangedLines) {
  std::string many;
  for (int i = 0; i < 1'000'000; ++i) many += std::to_string(i) + (i % 2 ? "\n" : "\r\n");
  WriteBytes("many.txt", many);
  PUTFILE("many.txt", 3, DGStr("three"));
  FlushLineFiles();
  EXPECT_TRUE(ReadBytes("many.txt") == many.replace(many.find("3\n"), 2, "three\r\n"));

  // A NUL inside a line, a 100 MB line, a line without its end at the end of the file.
  const std::string head = std::string("a\0b\r\n", 5) + "x";
  {
    std::ofstream out("long.txt", std::ios::binary);
    out << head;
    const std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) out << chunk;
    out << "\nc\nd\ne";
  }
  const auto size = fs::file_size("long.txt");
  PUTFILE("long.txt", 3, DGStr("D"));
  PUTFILE("long.txt", 6, DGStr("g"));
  FlushLineFiles();
  const std::string back = ReadBytes("long.txt");
  ASSERT_EQ(back.size(), size + 8);
  EXPECT_EQ(back.substr(0, 6), head);
  EXPECT_EQ(back.find_first_not_of('x', 5), size - 6);
  EXPECT_EQ(back.substr(size - 6), "\nc\nD\r\ne\r\n\r\ng\r\n");
}
