// Matching Windows file names against the disk.
#include "storage/WindowsPath.h"

#include <cstring>
#include <vector>

#include "platform/files.h"

namespace TAVELOR {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool Matches(const std::string& path, PathKind kind) {
  switch (kind) {
    case PathKind::ExistingFile: return platform::IsReadableFile(path.c_str());
    case PathKind::ExistingDir: return platform::IsDirectory(path.c_str());
    case PathKind::NewFile: return platform::IsReadableFile(path.c_str());
  }
  return false;
}

std::string Join(const std::string& dir, const std::string& part) {
  if (dir.empty()) return part;
  if (dir.back() == '/') return dir + part;
  return dir + "/" + part;
}

// The entry of dir that equals part without regard to case; when several do, the smallest
// in byte order, so the choice does not depend on the directory's order. "" when none.
std::string MatchEntry(const std::string& dir, const std::string& part) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(dir.empty() ? "." : dir.c_str(), &entries)) return std::string();
  std::string best;
  for (const platform::DirEntry& e : entries) {
    if (e.name.size() != part.size() || !EqualNoCase(e.name.c_str(), part.c_str(), part.size())) continue;
    if (best.empty() || e.name < best) best = e.name;
  }
  return best;
}

}  // namespace

bool EqualNoCase(const char* a, const char* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string FindWindowsPath(const char* name, PathKind kind) {
  if (!name || !*name) return std::string();
  std::string given = name;
  if (Matches(given, kind)) return given;

  std::string unix = given;
  for (char& c : unix) {
    if (c == '\\') c = '/';
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= unix.size()) {
    std::size_t end = unix.find('/', start);
    if (end == std::string::npos) end = unix.size();
    parts.push_back(unix.substr(start, end - start));
    start = end + 1;
  }

  // Walk the components; empty ones (a leading '/' or doubled separators) and "." / ".."
  // are taken as they are.
  std::string path = (!unix.empty() && unix[0] == '/') ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    const bool last = i + 1 == parts.size();
    if (part.empty()) {
      if (last) return kind == PathKind::ExistingDir && platform::IsDirectory(path.empty() ? "." : path.c_str())
                           ? (path.empty() ? std::string("./") : path)
                           : std::string();
      continue;
    }
    std::string exact = Join(path, part);
    if (part == "." || part == "..") {
      path = exact;
      continue;
    }
    if (!last) {
      if (platform::IsDirectory(exact.c_str())) {
        path = exact;
        continue;
      }
      std::string found = MatchEntry(path, part);
      if (found.empty()) return std::string();
      path = Join(path, found);
      if (!platform::IsDirectory(path.c_str())) return std::string();
      continue;
    }
    if (Matches(exact, kind)) return exact;
    std::string found = MatchEntry(path, part);
    if (!found.empty()) {
      std::string candidate = Join(path, found);
      if (Matches(candidate, kind)) return candidate;
    }
    if (kind == PathKind::NewFile) {
      if (!path.empty() && !platform::IsDirectory(path.c_str())) return std::string();
      return exact;
    }
    return std::string();
  }
  return std::string();
}

}  // namespace TAVELOR
