// Byte helpers behind the string commands: hexadecimal text and searching for bytes of a set.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Two upper-case hexadecimal digits per byte, high nibble first; n <= 0 gives "".
DGStr __Bytes2Hex(const unsigned char* bytes, int n);
// First position in text whose byte is one of set, or nullptr.
char* __findOneOf(char* text, const char* set);
// First position in text whose byte is not one of set, or nullptr.
char* __findOneNotOf(char* text, const char* set);
// Replaces every '\' by '/' in place; returns the length.
int ReverseSlashes(DGStr& text);

}  // namespace TAVELOR
