// Surfaces: large pictures kept as grids of tiles. Surface 0 is the background that the
// frame pump draws behind every frame.
#include <algorithm>
#include <cstring>

#include <tavelor/graphics2d.h>

#include "display/Display2D.h"
#include "storage/ResolveArchivePath.h"

namespace TAVELOR {

bool OpenGLLumenar::LoadSurface(int n, const char* file, bool) {
  if (!IsSurface(n) || !hasContext) return false;
  Picture picture;
  if (!ReadPicture(file, &picture)) return false;
  const int w = picture.width, h = picture.height;
  FreeSurface(n);
  Surface& s = surfaces[n];
  int columns = 0, rows = 0;
  for (int y = 0; y < h && rows < kSurfaceTiles; y += kSurfaceTileSize, ++rows) {
    int c = 0;
    for (int x = 0; x < w && c < kSurfaceTiles; x += kSurfaceTileSize, ++c) {
      if (!MakeTextureFromPicture(picture, x, y, kSurfaceTileSize, kSurfaceTileSize, &s.texture[c][rows], nullptr,
                              kSpriteColourKey, true, false)) {
        return false;
      }
      s.tileWidth[c][rows] = kSurfaceTileSize;
      s.tileHeight[c][rows] = kSurfaceTileSize;
    }
    columns = std::max(columns, c);
  }
  s.columns = columns;
  s.rows = rows;
  return true;
}

bool OpenGLLumenar::GrabSurface(int n) {
  FlushBatch();
  if (!IsSurface(n) || !hasContext) return false;
  const int tile = std::min(MaxTextureSize(), 1024);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  FreeSurface(n);
  Surface& s = surfaces[n];
  glReadBuffer(GL_BACK);
  int rows = 0, columns = 0;
  for (int y = 0; y < displayHeight && rows < kSurfaceTiles; ++rows) {
    int rowHeight = tile;
    while (rowHeight > 1 && y + rowHeight > displayHeight) rowHeight /= 2;
    int c = 0;
    for (int x = 0; x < displayWidth && c < kSurfaceTiles; x += tile, ++c) {
      GLuint& name = s.texture[c][rows];
      glGenTextures(1, &name);
      glBindTexture(GL_TEXTURE_2D, name);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      // No alpha channel: the grabbed picture is opaque whatever alpha the frame holds.
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, tile, rowHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
      // Only the part inside the window is copied; the rest of a tile is never shown.
      const int copyWidth = std::min(tile, displayWidth - x);
      glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, displayHeight - y - rowHeight, copyWidth, rowHeight);
      s.tileWidth[c][rows] = tile;
      s.tileHeight[c][rows] = rowHeight;
    }
    columns = std::max(columns, c);
    y += rowHeight;
  }
  s.columns = columns;
  s.rows = rows;
  return true;
}

void OpenGLLumenar::FreeSurface(int n) {
  FlushBatch();
  if (!IsSurface(n)) return;
  Surface& s = surfaces[n];
  if (hasContext) {
    // Every name is looked at, so tiles of a load that stopped half-way go too.
    for (int c = 0; c < kSurfaceTiles; ++c)
      for (int r = 0; r < kSurfaceTiles; ++r)
        if (s.texture[c][r]) glDeleteTextures(1, &s.texture[c][r]);
  }
  std::memset(&s, 0, sizeof s);
}

void OpenGLLumenar::PasteSurface(int n) {
  FlushBatch();
  if (!IsSurface(n) || !hasContext) return;
  const Surface& s = surfaces[n];
  if (s.columns <= 0 || s.rows <= 0) return;
  glDisable(GL_ALPHA_TEST);
  if (glActiveTextureArb) {
    glActiveTextureArb(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTextureArb(GL_TEXTURE0);
  }
  glEnable(GL_TEXTURE_2D);
  const int columns = std::min(s.columns, kSurfaceTiles), rows = std::min(s.rows, kSurfaceTiles);
  float x = 0;
  for (int c = 0; c < columns; ++c) {
    float y = -static_cast<float>(s.tileHeight[c][0]);
    for (int r = 0; r < rows; ++r) {
      const float w = static_cast<float>(s.tileWidth[c][r]);
      const float h = static_cast<float>(s.tileHeight[c][r]);
      glBindTexture(GL_TEXTURE_2D, s.texture[c][r]);
      glBegin(GL_QUADS);
      glTexCoord2f(0, 0); glVertex2f(x, y);
      glTexCoord2f(1, 0); glVertex2f(x + w, y);
      glTexCoord2f(1, 1); glVertex2f(x + w, y + h);
      glTexCoord2f(0, 1); glVertex2f(x, y + h);
      glEnd();
      if (r + 1 < rows) y -= static_cast<float>(s.tileHeight[c][r + 1]);
    }
    x += static_cast<float>(s.tileWidth[c][rows - 1]);
  }
  glEnable(GL_ALPHA_TEST);
}

// ---- Commands ------------------------------------------------------------------------

void LOADBMP(DGStr file) {
  if (!Lumbo.hasContext) return;
  const std::string path = ResolveDataPath(file.c_str());
  if (path.empty()) return;
  if (!Lumbo.LoadSurface(0, path.c_str())) EndWithFileError();
  Lumbo.PasteSurface(0);
}

void USEASBMP() { Lumbo.GrabSurface(0); }

}  // namespace TAVELOR
