// Line files: GETFILE / PUTFILE through the one-file cache, and its write-back.
#include <tavelor/storage.h>

#include "StorageTestUtil.h"
#include "storage/FastFile.h"

using namespace storage_test;
using namespace TAVELOR;

using LineFileTest = StorageTest;

TEST_F(LineFileTest, ReadsAndWritesBackOnlyWhatChanged) {
  fs::create_directory("Saves");
  for (const auto& [name, bytes] :
       {std::pair<std::string, std::string>{"crlf.txt", "one\r\ntwo\r\nthree\r\n"}, {"lf.txt", "one\ntwo\nthree"},
        {"cr.txt", "a\rb\r\n"}, {"many.txt", std::string(255, '\n') + "255\n256\n"}, {"level.txt", "map1\r\n2\r\n"},
        {"big.txt", std::string(3000, 'x') + "\nnext\n"}, {"Saves/Score.TXT", "100\r\n"}})
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

  // Writes go back when another file is named, at a flush or when the program ends.
  PUTFILE("a.txt", 0, DGStr("first"));
  PUTFILE("a.txt", 3, 2.5);
  EXPECT_EQ(__g_error, 3);  // the file did not exist yet, and is still only in the cache
  EXPECT_FALSE(fs::exists("a.txt"));
  DGStr text;
  GETFILE("a.txt", 3, text);
  EXPECT_STREQ(text.c_str(), "2.5");
  GETFILE("other.txt", 0, text);
  EXPECT_EQ(ReadBytes("a.txt"), "first\r\n\r\n\r\n2.5\r\n");
  // Bad line numbers change nothing; -0.5 is line 0. Reading only never rewrites (lf.txt); a
  // Windows name writes back to the file it found. Only the changed lines of a file are replaced,
  // every other byte stays: mixed line ends, a NUL inside a line, a line longer than a read
  // keeps, a last line without its end.
  for (auto [line, value] : {std::pair{1.0, "second"}, {256.0, "no"}, {-1.0, "no"}, {-0.5, "zero"}})
    PUTFILE("a.txt", line, DGStr(value));
  PUTFILE("saves\\score.txt", 0, 250.0);
  std::string head = std::string("a\0b\r\n1\n2\r\n", 10) + std::string(5000, 'x');
  WriteBytes("mixed.txt", head + "\nc\nd\ne");
  for (auto [line, value] : {std::pair{1.0, "one"}, {5.0, "D"}, {8.0, "g"}}) PUTFILE("mixed.txt", line, DGStr(value));
  FlushLineFiles();
  EXPECT_EQ(std::vector<std::string>({ReadBytes("a.txt"), ReadBytes("lf.txt"), ReadBytes("Saves/Score.TXT")}),
            std::vector<std::string>({"zero\r\nsecond\r\n\r\n2.5\r\n", "one\ntwo\nthree", "250\r\n"}));
  EXPECT_TRUE(ReadBytes("mixed.txt") == head.replace(5, 2, "one\r\n") + "\nc\nD\r\ne\r\n\r\ng\r\n");
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
