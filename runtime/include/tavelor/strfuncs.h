// The language's string commands: searching, cutting, splitting, case conversion,
// character codes, lengths and fixed-point formatting. Positions are 0-based byte offsets.
#pragma once

#include <tavelor/arrays.h>
#include <tavelor/dgstr.h>

namespace TAVELOR {

// Position of the first occurrence of pattern in text (byte-exact), -1 when there is none;
// an empty pattern gives 0.
double INSTR(const char* text, const char* pattern);
double INSTR(CGStr text, CGStr pattern);
double INSTR(CGStr text, DGStr pattern);
double INSTR(DGStr text, CGStr pattern);
double INSTR(DGStr text, DGStr pattern);
// Plain literals next to a DGStr: without these a literal would convert to CGStr and to
// DGStr equally well.
double INSTR(DGStr text, const char* pattern);
double INSTR(const char* text, DGStr pattern);

// Splits text at any of the delimiter bytes into the array and returns the token count.
// Runs of delimiters count as one separator and give no empty tokens (also at the ends of
// the text). An empty delimiter string gives the whole text as one token (none for an
// empty text).
double SPLITSTR(DGStr text, DGStrArray& array, DGStr delimiters);
double SPLITSTR(DGStr text, DGStrArray& array, CGStr delimiters);
double SPLITSTR(DGStr text, DGStrArray& array, const char* delimiters);

// count bytes from position start (both truncated toward zero); cut at the end of text.
// A negative start, a start beyond the end or a count of 0 or less give "".
DGStr MID_Str(DGStr text, double start, double count);
DGStr UCASE_Str(DGStr text);
DGStr LCASE_Str(DGStr text);
// One byte, the truncated code modulo 256; code 0 (and any multiple of 256) gives "".
DGStr CHR_Str(double code);
// The first byte as a signed 8-bit value; "" gives 0.
double ASC(DGStr text);
double LEN(DGStr text);
// Length of the number's text in the language's number format.
double LEN(double number);

// value as printf's "%<width>.<decimals>f" writes it (a negative width aligns left, a
// negative decimals gives 6 digits), cut to 1023 bytes. Every width and decimals give a
// defined result.
DGStr FORMAT_Str(double width, double decimals, double value);
constexpr unsigned kFormatLimit = 1023;

}  // namespace TAVELOR
