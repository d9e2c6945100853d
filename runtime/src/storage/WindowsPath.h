// Windows file names on a case-sensitive file system. Games name their files as on Windows:
// '\' as a separator and any letter case. A name that exists exactly as given is used as it
// is; otherwise '\' counts as a separator and each path component is matched without regard
// to case against the entries of its directory.
#pragma once

#include <string>

namespace TAVELOR {

enum class PathKind {
  ExistingFile,  // a regular file that can be read
  ExistingDir,   // a directory
  NewFile,       // a file that may not exist yet: only its directories are matched
};

// The path on disk that name denotes, or "" when there is none of that kind. For NewFile the
// result is the matched directory followed by the last component as given (or the matched
// existing file when there is one); "" when a directory on the way is missing.
std::string FindWindowsPath(const char* name, PathKind kind);

// Equality of two byte strings ignoring the case of the letters A-Z.
bool EqualNoCase(const char* a, const char* b, std::size_t length);

}  // namespace TAVELOR
