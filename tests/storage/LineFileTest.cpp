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
  fs::create_directory("Saves");
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"crlf.txt", "one\r\ntwo\r\nthree\r\n"},
                                    {"lf.txt", "one\ntwo\nthree"}, {"cr.txt", "a\rb\r\n"}, {"many.txt", Many(300)},
                                    {"big.txt", std::string(3000, 'x') + "\nnext\n"}, {"Saves/Score.TXT", "100\r\n"},
                                    {"level.txt", "map1\r\n2\r\n"}})
    WriteBytes(name, bytes);
  ASSERT_EQ(Pack("create data.box level.txt >/dev/null"), 0);
  fs::remove("level.txt");
  SETSHOEBOX("data.box", "");
  // Only the '\r' right before '\n' goes; lines are cut at 1023 bytes and read up to 255;
  // Windows names find the file whatever its case; the data archive serves what the disk lacks.
  // File, line, text, error, number (42: unchanged).
  const std::tuple<const char*, double, std::string, int, double> reads[] = {
      {"crlf.txt", 0, "one", 0, 0},     {"crlf.txt", 2, "three", 0, 0}, {"lf.txt", 1, "two", 0, 0},
      {"lf.txt", 2, "three", 0, 0},     {"lf.txt", 5, "", 0, 0},        {"cr.txt", 0, "a\rb", 0, 0},
      {"big.txt", 1, "next", 0, 0},     {"many.txt", 255, "255", 0, 255}, {"saves\\score.txt", 0, "100", 0, 100},
      {"level.txt", 1, "2", 0, 2},      {"none.txt", 0, "NO_FILE", 3, 0}, {"crlf.txt", 256, "unchanged", 7, 42},
      {"crlf.txt", -1, "unchanged", 7, 42}, {"big.txt", 0, std::string(1023, 'x'), 0, 0}};
  for (const auto& [file, line, text, error, number] : reads) {
    DGStr t = "unchanged";
    double v = 42;
    __g_error = 0;
    GETFILE(file, line, t);
    GETFILE(file, line, v);
    EXPECT_EQ(std::tuple(std::string(t.c_str()), __g_error, v), std::tuple(text, error, number)) << file << " " << line;
  }
}

TEST_F(LineFileTest, WritesGoBackWhenAnotherFileIsNamedOrTheProgramEnds) {
  PUTFILE("a.txt", 0, DGStr("first"));
  PUTFILE("a.txt", 3, 2.5);
  EXPECT_EQ(__g_error, 3);  // the file did not exist yet, and is still only in the cache
  EXPECT_FALSE(fs::exists("a.txt"));
  DGStr text;
  GETFILE("a.txt", 3, text);
  EXPECT_STREQ(text.c_str(), "2.5");
  GETFILE("other.txt", 0, text);
  EXPECT_EQ(ReadBytes("a.txt"), "first\r\n\r\n\r\n2.5\r\n");
  // Bad line numbers change nothing; -0.5 is line 0. Reading only never rewrites; a Windows
  // name writes back to the file it found.
  for (auto [line, value] : {std::pair{1.0, "second"}, {256.0, "no"}, {-1.0, "no"}, {-0.5, "zero"}})
    PUTFILE("a.txt", line, DGStr(value));
  fs::create_directory("Saves");
  WriteBytes("Saves/Score.TXT", "100\r\n");
  WriteBytes("ro.txt", "x\ny");
  GETFILE("ro.txt", 0, text);
  PUTFILE("saves\\score.txt", 0, 250.0);
  FlushLineFiles();
  EXPECT_EQ(std::vector<std::string>({ReadBytes("a.txt"), ReadBytes("ro.txt"), ReadBytes("Saves/Score.TXT")}),
            std::vector<std::string>({"zero\r\nsecond\r\n\r\n2.5\r\n", "x\ny", "250\r\n"}));
  EXPECT_EQ(std::distance(fs::directory_iterator("Saves"), fs::directory_iterator()), 1);
  // At the end of the program; a line is cut at 1023 bytes.
  EXPECT_EXIT(
      {
        PUTFILE("end.txt", 0, DGStr("saved"));
        PUTFILE("end.txt", 1, DGStr(std::string(2000, 'y').c_str()));
        PUTFILE("end.txt", 3, 7.0);
        END();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadBytes("end.txt"), "saved\r\n" + std::string(1023, 'y') + "\r\n\r\n7\r\n");
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
