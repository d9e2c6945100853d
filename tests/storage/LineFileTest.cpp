// Line files: GETFILE / PUTFILE through the one-file cache.
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

}  // namespace

TEST_F(LineFileTest, WritesReachTheDiskWhenAnotherFileIsNamed) {
  PUTFILE("a.txt", 0, DGStr("first"));
  PUTFILE("a.txt", 3, 2.5);
  EXPECT_FALSE(fs::exists("a.txt"));  // still only in the cache
  EXPECT_EQ(__g_error, 3);           // the file did not exist yet
  DGStr text;
  GETFILE("a.txt", 3, text);
  EXPECT_STREQ(text.c_str(), "2.5");
  GETFILE("other.txt", 0, text);
  EXPECT_EQ(ReadBytes("a.txt"), "first\r\n\r\n\r\n2.5\r\n");
  EXPECT_STREQ(text.c_str(), "NO_FILE");

  // Reading back gives the same lines; changing one keeps the others.
  double v = -1;
  GETFILE("a.txt", 3, v);
  EXPECT_EQ(v, 2.5);
  GETFILE("a.txt", 1, text);
  EXPECT_STREQ(text.c_str(), "");
  PUTFILE("a.txt", 1, DGStr("second"));
  FlushLineFiles();
  EXPECT_EQ(ReadBytes("a.txt"), "first\r\nsecond\r\n\r\n2.5\r\n");
  // Reading only never rewrites the file.
  WriteBytes("ro.txt", "x\ny");
  GETFILE("ro.txt", 0, text);
  FlushLineFiles();
  EXPECT_EQ(ReadBytes("ro.txt"), "x\ny");
}

TEST_F(LineFileTest, LineEndsLimitsAndBadLineNumbers) {
  WriteBytes("crlf.txt", "one\r\ntwo\r\nthree\r\n");
  WriteBytes("lf.txt", "one\ntwo\nthree");
  for (const char* f : {"crlf.txt", "lf.txt"}) {
    DGStr a, b, c, d;
    GETFILE(f, 0, a);
    GETFILE(f, 1, b);
    GETFILE(f, 2, c);
    GETFILE(f, 5, d);
    EXPECT_STREQ(a.c_str(), "one");
    EXPECT_STREQ(b.c_str(), "two");
    EXPECT_STREQ(c.c_str(), "three");
    EXPECT_STREQ(d.c_str(), "");
  }
  // A '\r' inside a line stays; only the one before '\n' goes.
  WriteBytes("cr.txt", "a\rb\r\n");
  DGStr t;
  GETFILE("cr.txt", 0, t);
  EXPECT_STREQ(t.c_str(), "a\rb");

  // Long lines are cut at 1023 bytes; lines past 255 are not read.
  std::string big(3000, 'x');
  std::string many;
  for (int i = 0; i < 300; ++i) many += std::to_string(i) + "\n";
  WriteBytes("big.txt", big + "\nnext\n");
  WriteBytes("many.txt", many);
  GETFILE("big.txt", 0, t);
  EXPECT_EQ(std::string(t.c_str()), std::string(1023, 'x'));
  GETFILE("big.txt", 1, t);
  EXPECT_STREQ(t.c_str(), "next");
  GETFILE("many.txt", 255, t);
  EXPECT_STREQ(t.c_str(), "255");
  // Writing keeps the lines the cache never held.
  PUTFILE("many.txt", 0, DGStr(std::string(2000, 'y').c_str()));
  FlushLineFiles();
  EXPECT_EQ(ReadBytes("many.txt"), std::string(1023, 'y') + "\r\n" + many.substr(2));

  // Line 256 and -1: error 7, nothing read or changed.
  WriteBytes("keep.txt", "k\r\n");
  t = "unchanged";
  __g_error = 0;
  GETFILE("keep.txt", 256, t);
  EXPECT_EQ(__g_error, 7);
  EXPECT_STREQ(t.c_str(), "unchanged");
  double v = 42;
  GETFILE("keep.txt", -1, v);
  EXPECT_EQ(v, 42);
  PUTFILE("keep.txt", 256, DGStr("no"));
  PUTFILE("keep.txt", -1, DGStr("no"));
  PUTFILE("keep.txt", -0.5, DGStr("k"));  // truncates to line 0
  FlushLineFiles();
  EXPECT_EQ(ReadBytes("keep.txt"), "k\r\n");
}

TEST_F(LineFileTest, MissingFilesWindowsNamesAndArchives) {
  DGStr t;
  double v = 9;
  __g_error = 0;
  GETFILE("none.txt", 0, t);
  EXPECT_STREQ(t.c_str(), "NO_FILE");
  EXPECT_EQ(__g_error, 3);
  GETFILE("none2.txt", 0, v);
  EXPECT_EQ(v, 0);

  // A Windows name finds the file whatever its case, and writes go back to that file.
  fs::create_directory("Saves");
  WriteBytes("Saves/Score.TXT", "100\r\n");
  GETFILE("saves\\score.txt", 0, v);
  EXPECT_EQ(v, 100);
  PUTFILE("saves\\score.txt", 0, 250.0);
  FlushLineFiles();
  EXPECT_EQ(ReadBytes("Saves/Score.TXT"), "250\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator("Saves"), fs::directory_iterator()), 1);

  // From the data archive when the file is not on disk.
  WriteBytes("level.txt", "map1\r\nmap2\r\n");
  ASSERT_EQ(Shell(PackTool() + " create data.box level.txt >/dev/null"), 0);
  fs::remove("level.txt");
  SETSHOEBOX("data.box", "");
  GETFILE("level.txt", 1, t);
  EXPECT_STREQ(t.c_str(), "map2");
}

TEST_F(LineFileTest, EndOfProgramWritesTheCacheBack) {
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
  many.reserve(7'000'000);
  for (int i = 0; i < 1'000'000; ++i) many += std::to_string(i) + (i % 2 ? "\n" : "\r\n");
  WriteBytes("many.txt", many);
  PUTFILE("many.txt", 3, DGStr("three"));
  FlushLineFiles();
  std::string expected = many;
  expected.replace(many.find("3\n"), 2, "three\r\n");
  EXPECT_TRUE(ReadBytes("many.txt") == expected);

  // A NUL inside a line, a 100 MB line, a line without its end at the end of the file.
  std::string head = std::string("a\0b\r\n", 5) + "x";
  WriteBytes("long.txt", head);
  {
    std::ofstream out("long.txt", std::ios::binary | std::ios::app);
    std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) out << chunk;
    out << "\nc\nd\ne";
  }
  const auto size = fs::file_size("long.txt");
  PUTFILE("long.txt", 3, DGStr("D"));
  PUTFILE("long.txt", 6, DGStr("g"));
  FlushLineFiles();
  std::string back = ReadBytes("long.txt");

  ASSERT_EQ(back.size(), size + 8);
  EXPECT_EQ(back.substr(0, 6), head);
  EXPECT_EQ(back.find_first_not_of('x', 5), size - 6);
  EXPECT_EQ(back.substr(size - 6), "\nc\nD\r\ne\r\n\r\ng\r\n");
}
