// File and directory commands: DOESFILEEXIST, GETFILELIST, szWildMatch, GETCURRENTDIR_Str,
// SETCURRENTDIR.
#include <string>
#include <vector>

#include <tavelor/storage.h>

#include "platform/files.h"
#include "platform/platform.h"
#include "storage/WildMatch.h"
#include "storage/WindowsPath.h"

namespace TAVELOR {

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

double DOESFILEEXIST(DGStr file) { return FindWindowsPath(file.c_str(), PathKind::ExistingFile).empty() ? 0 : 1; }

bool szWildMatch(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  // The name position where the last '*' began to match, and the pattern after that '*'.
  const char* starName = nullptr;
  const char* starPattern = nullptr;
  const char* p = pattern;
  const char* s = name;
  while (*s) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      starPattern = p;
      starName = s;
      continue;
    }
    const bool same = (*p == '?') ? (*s != '.') : (*p && Lower(*p) == Lower(*s));
    if (same) {
      ++p;
      ++s;
      continue;
    }
    if (!starPattern) return false;
    // Let the '*' take one more character and try the rest again.
    p = starPattern;
    s = ++starName;
  }
  while (*p == '*') ++p;
  return !*p;
}

double GETFILELIST(DGStr pattern, DGStrArray& list) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(".", &entries);
  std::vector<const std::string*> dirs, files;
  for (const platform::DirEntry& e : entries) {
    if (e.directory) dirs.push_back(&e.name);
    else if (szWildMatch(pattern.c_str(), e.name.c_str())) files.push_back(&e.name);
  }
  DIM(list, static_cast<double>(dirs.size() + files.size()));
  double i = 0;
  for (const std::string* d : dirs) list(i++) = d->c_str();
  for (const std::string* f : files) list(i++) = f->c_str();
  return static_cast<double>(dirs.size()) * 65536.0 + static_cast<double>(files.size());
}

DGStr GETCURRENTDIR_Str() {
  std::string dir = platform::CurrentDir();
  for (char& c : dir) {
    if (c == '\\') c = '/';
  }
  if (dir.empty() || dir.back() != '/') dir += '/';
  return DGStr(dir.c_str());
}

double SETCURRENTDIR(DGStr directory) {
  std::string dir = FindWindowsPath(directory.c_str(), PathKind::ExistingDir);
  return !dir.empty() && platform::SetCurrentDir(dir.c_str()) ? 1 : 0;
}

}  // namespace TAVELOR
