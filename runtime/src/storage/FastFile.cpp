// The line cache and the GETFILE / PUTFILE commands.
#include "storage/FastFile.h"

#include <cstdio>
#include <cstring>

#include <tavelor/frame.h>
#include <tavelor/storage.h>

#include "frame/ErrorLog.h"
#include "platform/files.h"
#include "storage/ResolveArchivePath.h"
#include "storage/WindowsPath.h"
#include "storage/ZyShoeBox.h"
#include "values/Numbers.h"

namespace TAVELOR {

FAST_FILE __g_FastFile;

bool FAST_FILE::Holds(const char* file) const { return file && name[0] && std::strcmp(name, file) == 0; }

void FAST_FILE::Empty() {
  std::memset(lines, 0, sizeof lines);
  std::memset(changed, 0, sizeof changed);
  name[0] = 0;
  lastLine = 0;
  dirty = false;
}

namespace {

// Copies source to out with the changed lines replaced by their cached text and "\r\n";
// every other byte is copied as it is. Returns the number of lines the source had.
bool CopyWithChanges(std::FILE* source, const FAST_FILE& cache, platform::FileReplacement& out, int* sourceLines) {
  int line = 0;
  bool atStart = true, replacing = false;
  if (source) {
    unsigned char buf[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, source)) > 0) {
      std::size_t pos = 0;
      while (pos < n) {
        if (atStart) {
          atStart = false;
          replacing = line < FAST_FILE::kLines && cache.changed[line];
          if (replacing && !(out.Write(cache.lines[line], std::strlen(cache.lines[line])) && out.Write("\r\n", 2))) {
            return false;
          }
        }
        const void* nl = std::memchr(buf + pos, '\n', n - pos);
        const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const unsigned char*>(nl) - buf) + 1 : n;
        if (!replacing && !out.Write(buf + pos, end - pos)) return false;
        if (nl) {
          ++line;
          atStart = true;
        }
        pos = end;
      }
    }
    if (std::ferror(source)) return false;
  }
  // An unfinished last line that stays gets its line end when more lines follow.
  if (!atStart) {
    ++line;
    if (!replacing && line <= cache.lastLine && !out.Write("\r\n", 2)) return false;
  }
  *sourceLines = line;
  return true;
}

}  // namespace

void FAST_FILE::WriteBack() {
  if (!name[0] || !dirty) return;
  std::string failure;
  std::string path = FindWindowsPath(name, PathKind::NewFile);
  platform::FileReplacement out;
  if (path.empty()) {
    failure = "no such directory";
  } else if (!out.Begin(path)) {
    failure = out.Error();
  } else {
    // The file as it is now, on disk or else in the data archive.
    const std::string source = ResolveDataPath(name);
    ZyFileSystem in(source.empty() ? nullptr : platform::OpenRegularFile(source.c_str()));
    int sourceLines = 0;
    bool ok = CopyWithChanges(in.hFile, *this, out, &sourceLines);
    in.Close();
    // Lines beyond the end of the file come from the cache; gaps become empty lines.
    for (int i = sourceLines; ok && i <= lastLine; ++i) {
      ok = out.Write(lines[i], std::strlen(lines[i])) && out.Write("\r\n", 2);
    }
    if (!ok || !out.Commit()) failure = out.Error();
  }
  if (!failure.empty()) AppendErrorLog((std::string("Cannot write line file ") + name + ": " + failure).c_str());
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
  ZyFileSystem in(path.empty() ? nullptr : platform::OpenRegularFile(path.c_str()));
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
  __g_FastFile.changed[line] = true;
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
