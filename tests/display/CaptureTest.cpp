// Backgrounds (surfaces), screen and sprite capture, clearing and the cross-fade.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "display/Bitmap.h"
#include "DisplaySupport.h"

namespace display_test {
namespace {

std::uint32_t Gradient(int x, int y) { return static_cast<std::uint32_t>((x % 256) | (y % 256) << 8 | 50 << 16); }

using CaptureTest = DisplayTest;

// SAVEBMP writes the whole frame; a file that cannot be created: nothing happens. A write cut
// short (here by a file-size limit) keeps the old file and leaves nothing beside it; without the
// limit the same call replaces the file whole.
TEST_F(CaptureTest, SavesWriteWholeFilesOrKeepTheOldOne) {
  FILLRECT(0, 0, 9, 9, 0x0000FF);
  FILLRECT(630, 470, 639, 479, 0xFF0000);
  SAVEBMP(TempPath("screen.bmp").c_str());
  SAVEBMP(TempPath("no_such_dir/screen.bmp").c_str());
  BmpFile f;
  ASSERT_TRUE(ParseBmpFile(ReadFile(TempPath("screen.bmp")), &f));
  EXPECT_EQ((std::vector<std::uint32_t>{BmpPixel(f, 5, 5), BmpPixel(f, 635, 475), BmpPixel(f, 320, 240)}),
            (std::vector<std::uint32_t>{0x0000FF, 0xFF0000, 0}));

  X_OBJSTART(7);
  for (int v = 0; v < 3; ++v) X_OBJADDVERTEX(v, v * v, 1, 0, 0, 0xFFFFFF);
  X_OBJEND();
  const std::string dir = TempPath("saves/"), path = dir + "target";
  std::filesystem::create_directories(dir);
  for (auto save : {+[](const std::string& p) { SAVEBMP(p.c_str()); }, +[](const std::string& p) { X_SAVEOBJ(p.c_str(), 7); }}) {
    WriteFile(path, {'o', 'l', 'd'});
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{16, old.rlim_max};
    auto* handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    save(path);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(ReadFile(path), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    save(path);
    EXPECT_GT(ReadFile(path).size(), 16u);
  }
}

TEST_F(CaptureTest, SavedSpriteReloadsAsTheSamePicture) {
  auto colour = [](int x, int y) -> std::uint32_t { return x == 0 && y == 0 ? 0x8000FFu : Gradient(x * 7, y * 20); };
  LOADSPRITE(SaveBmp("to_save.bmp", 33, 10, 24, colour).c_str(), 30);
  const std::string saved = TempPath("saved_sprite.bmp");
  SAVESPRITE(30, saved.c_str());
  ASSERT_EQ(ReadFile(saved).size(), 54u + 100u * 10u);
  LOADSPRITE(saved.c_str(), 31);
  SPRITE(30, 0, 0);
  SPRITE(31, 100, 0);
  for (int i = 0; i < 32 * 10; ++i) ASSERT_EQ(Pixel(101 + i % 32, i / 32), Pixel(1 + i % 32, i / 32)) << i;
  // The keyed corner was saved with its edge colour and is opaque now.
  EXPECT_EQ(std::make_pair(Pixel(0, 0), Pixel(100, 0)), std::make_pair(0u, colour(1, 1)));
}

TEST_F(CaptureTest, LoadBmpTilesThePictureAndDrawsIt) {
  LOADBMP(SaveBmp("back700.bmp", 700, 500, 24, Gradient).c_str());
  const Surface& s = Lumbo.surfaces[0];
  EXPECT_EQ((std::vector<int>{s.columns, s.rows, s.tileWidth[10][7], s.tileHeight[10][7]}), (std::vector<int>{11, 8, 64, 64}));
  for (int x : {0, 63, 64, 300, 639})
    for (int y : {0, 100, 479}) EXPECT_EQ(Pixel(x, y), Gradient(x, y)) << x << "," << y;
  // The frame pump draws it behind the next frame too; BLACKSCREEN removes it, every tile's
  // texture included.
  SHOWSCREEN();
  EXPECT_EQ(Pixel(300, 200), Gradient(300, 200));
  const GLuint first = s.texture[0][0], last = s.texture[10][7];
  BLACKSCREEN();
  EXPECT_EQ(Scan().count + Lumbo.surfaces[0].columns + glIsTexture(first) + glIsTexture(last), 0);
  SHOWSCREEN();
  EXPECT_EQ(Scan().count, 0);
}

TEST_F(CaptureTest, UseAsBmpGrabsTheFrameInHalvingRows) {
  FILLRECT(10, 10, 20, 20, 0x0000FF);
  FILLRECT(600, 470, 639, 479, 0xFF0000);
  USEASBMP();
  EXPECT_EQ(Lumbo.surfaces[0].rows, 4);  // 256 + 128 + 64 + 32 lines, none past the frame
  SHOWSCREEN();
  EXPECT_EQ((std::vector<std::uint32_t>{Pixel(15, 15), Pixel(620, 475), Pixel(300, 300)}),
            (std::vector<std::uint32_t>{0x0000FF, 0xFF0000, 0}));
  // Translucent drawing over the background keeps the background's own colours: the pump
  // resets the mode to opaque before pasting.
  ALPHAMODE(-0.5);
  SHOWSCREEN();
  EXPECT_EQ(Pixel(15, 15), 0x0000FFu);
}

TEST_F(CaptureTest, BlendScreenFadesToTheNewBackground) {
  LIMITFPS(1000);
  FILLRECT(0, 0, kWidth, kHeight, 0x0000FF);
  BLENDSCREEN(SaveBmp("blend.bmp", kWidth, kHeight, 24, [](int, int) { return 0x00FF00u; }).c_str());
  EXPECT_EQ(Pixel(100, 100), 0x00FF00u);
  EXPECT_EQ(std::make_pair(Lumbo.surfaces[0].columns, Lumbo.surfaces[1].columns), std::make_pair(10, 0));
  SHOWSCREEN();
  EXPECT_EQ(Pixel(600, 400), 0x00FF00u);
  LIMITFPS(60);
}

TEST_F(CaptureTest, UnreadableBackgroundsAndFontsEndTheProgram) {
  const std::string junk = TempPath("junk_back.bmp");
  WriteFile(junk, std::vector<unsigned char>(64, 'B'));
  ExpectFileErrorExit(7, [&] { LOADBMP(junk.c_str()); });
  ExpectFileErrorExit(7, [&] { BLENDSCREEN(junk.c_str()); });
  ExpectFileErrorExit(42, [&] { LOADFONT(junk.c_str(), 0); });
  // A missing file is no error.
  LOADBMP(TempPath("absent.bmp").c_str());
  EXPECT_EQ(Lumbo.surfaces[0].columns, 0);
}

}  // namespace
}  // namespace display_test
