// FAST_FILE: the one-file line cache behind GETFILE and PUTFILE.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

struct FAST_FILE {
  static constexpr int kLines = 256;
  static constexpr int kLineBytes = 1024;  // 1023 bytes and the terminator

  FAST_FILE() = default;
  // Writes a changed cache back.
  ~FAST_FILE() { FillBuffer(nullptr); }
  FAST_FILE(const FAST_FILE&) = delete;
  FAST_FILE& operator=(const FAST_FILE&) = delete;

  // Makes the cache hold file (writing the previous one back if it changed); null only writes
  // back and empties the cache. Write-back replaces the changed lines of the file as it is
  // then on disk (or in the data archive) and keeps every other byte, also lines past 256 and
  // the parts of long lines the cache never held; the new file is renamed into place only
  // when complete, and a failure leaves the old file alone and goes to the error log. Returns 0, or 3 when the file is neither on disk nor in the
  // data archive (the cache then holds the name with no lines).
  double FillBuffer(const char* file);
  bool Holds(const char* file) const;

  char name[1024] = {};
  char lines[kLines][kLineBytes] = {};
  int lastLine = 0;
  bool dirty = false;
  // The lines a PUTFILE set since the cache was filled: only these are replaced on write-back.
  bool changed[kLines] = {};

 private:
  void WriteBack();
  void Empty();
};

extern FAST_FILE __g_FastFile;

// The workers of GETFILE and PUTFILE. Return the error code (0, 3 or 7).
double GetFile(const char* file, int line, DGStr& text);
double PutFile(const char* file, int line, DGStr& text);

// Writes the line cache back if it changed; called at every program end.
void FlushLineFiles();

}  // namespace TAVELOR
