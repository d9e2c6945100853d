// The line cache and the GETFILE / PUTFILE commands.
#include "storage/FastFile.h"

#include <cstdio>
#include <cstring>

#include <tavelor/frame.h>
#include <tavelor/storage.h>

#include "storage/ResolveArchivePath.h"
#include "storage/WindowsPath.h"
#include "storage/ZyShoeBox.h"
#include "values/Numbers.h"

namespace TAVELOR {

FAST_FILE __g_FastFile;

bool FAST_FILE::Holds(const char* file) const { return file && name[0] && std::strcmp(name, file) == 0; }

void FAST_FILE::Empty() {
  std::memset(lines, 0, sizeof lines);
  name[0] = 0;
  lastLine = 0;
  dirty = false;
}

void FAST_FILE::WriteBack() {
  if (!name[0] || !dirty) return;
  std::string path = FindWindowsPath(name, PathKind::NewFile);
  if (path.empty()) return;
  ZyFileSystem out(std::fopen(path.c_str(), "wb"));
  if (!out.hFile) return;
  for (int i = 0; i <= lastLine; ++i) {
    std::fputs(lines[i], out.hFile);
    std::fputs("\r\n", out.hFile);
  }
}

double FAST_FILE::FillBuffer(const char* file) {
  if (Holds(file)) return 0;
  WriteBack();
  Empty();
  if (!file) return 0;
  // A name the cache cannot hold whole would be written back under a shortened name.
  if (!*file || std::strlen(file) >= sizeof name) {
    __Error(3);
    return 3;
  }
  std::strcpy(name, file);

  std::string path = ResolveDataPath(file);
  ZyFileSystem in(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
  if (!in.hFile) {
    __Error(3);
    return 3;
  }
  // A line ends at '\n', dropping a '\r' right before it; bytes past the 1023rd of a line
  // are dropped; reading stops after line 255.
  int line = 0, col = 0;
  unsigned char buf[16384];
  std::size_t n = 0;
  while (line < kLines && (n = std::fread(buf, 1, sizeof buf, in.hFile)) > 0) {
    for (std::size_t i = 0; i < n && line < kLines; ++i) {
      const char c = static_cast<char>(buf[i]);
      lastLine = line;
      if (c == '\n') {
        if (col > 0 && col < kLineBytes && lines[line][col - 1] == '\r') lines[line][col - 1] = 0;
        ++line;
        col = 0;
        continue;
      }
      if (col < kLineBytes - 1) lines[line][col] = c;
      ++col;
    }
  }
  return 0;
}

double GetFile(const char* file, int line, DGStr& text) {
  if (line < 0 || line >= FAST_FILE::kLines) return __Error(7);
  if (!__g_FastFile.Holds(file) && __g_FastFile.FillBuffer(file) != 0) {
    text = "NO_FILE";
    return 3;
  }
  text = __g_FastFile.lines[line];
  return 0;
}

double PutFile(const char* file, int line, DGStr& text) {
  if (line < 0 || line >= FAST_FILE::kLines) return __Error(7);
  double result = 0;
  if (!__g_FastFile.Holds(file)) result = __g_FastFile.FillBuffer(file);
  // A missing file is still written: it is created when the cache is written back.
  if (!__g_FastFile.Holds(file)) return result;
  char* dst = __g_FastFile.lines[line];
  std::size_t len = std::strlen(text.c_str());
  if (len > FAST_FILE::kLineBytes - 1) len = FAST_FILE::kLineBytes - 1;
  std::memcpy(dst, text.c_str(), len);
  dst[len] = 0;
  if (line > __g_FastFile.lastLine) __g_FastFile.lastLine = line;
  __g_FastFile.dirty = true;
  return result;
}

void FlushLineFiles() { __g_FastFile.FillBuffer(nullptr); }

void GETFILE(DGStr file, double line, DGStr& text) { GetFile(file.c_str(), TruncToInt(line), text); }

void GETFILE(DGStr file, double line, double& value) {
  DGStr text;
  if (GetFile(file.c_str(), TruncToInt(line), text) == 7) return;
  value = text.Number();
}

void PUTFILE(DGStr file, double line, DGStr text) { PutFile(file.c_str(), TruncToInt(line), text); }

void PUTFILE(DGStr file, double line, double value) {
  DGStr text(value);
  PutFile(file.c_str(), TruncToInt(line), text);
}

}  // namespace TAVELOR
