// Matching file names against the file list's patterns.
#pragma once

namespace TAVELOR {

// Wildcard match of a file name: '*' any run, '?' any one character except '.', letters
// without regard to case.
bool szWildMatch(const char* pattern, const char* name);

}  // namespace TAVELOR
