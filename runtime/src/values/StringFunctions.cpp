// The string commands and byte helpers.
#include <tavelor/strfuncs.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "values/Numbers.h"
#include "values/StringHelpers.h"

namespace TAVELOR {

namespace {

double Find(const char* text, const char* pattern) {
  if (!text) text = "";
  if (!pattern) pattern = "";
  const char* hit = std::strstr(text, pattern);
  return hit ? static_cast<double>(hit - text) : -1.0;
}

DGStr FromBytes(const char* bytes, unsigned int n) {
  DGStr s;
  if (n) s.Append(bytes, n);
  return s;
}

}  // namespace

double INSTR(const char* text, const char* pattern) { return Find(text, pattern); }
double INSTR(CGStr text, CGStr pattern) { return Find(text.text, pattern.text); }
double INSTR(CGStr text, DGStr pattern) { return Find(text.text, pattern.c_str()); }
double INSTR(DGStr text, CGStr pattern) { return Find(text.c_str(), pattern.text); }
double INSTR(DGStr text, DGStr pattern) { return Find(text.c_str(), pattern.c_str()); }
double INSTR(DGStr text, const char* pattern) { return Find(text.c_str(), pattern); }
double INSTR(const char* text, DGStr pattern) { return Find(text, pattern.c_str()); }

double SPLITSTR(DGStr text, DGStrArray& array, DGStr delimiters) {
  DIM(array, 0);
  const char* p = text.c_str();
  const unsigned int len = text.Len();
  const char* set = delimiters.c_str();
  const unsigned int setLen = static_cast<unsigned int>(std::strlen(set));
  auto isDelimiter = [&](char c) { return std::memchr(set, c, setLen) != nullptr; };

  // Token spans first; the array is sized once at the end.
  std::vector<std::pair<unsigned int, unsigned int>> tokens;
  tokens.reserve(512);
  unsigned int i = 0;
  while (i < len) {
    while (i < len && isDelimiter(p[i])) ++i;
    if (i == len) break;
    unsigned int start = i;
    while (i < len && !isDelimiter(p[i])) ++i;
    tokens.emplace_back(start, i - start);
  }
  DIM(array, static_cast<double>(tokens.size()));
  for (std::size_t t = 0; t < tokens.size(); ++t) {
    array(static_cast<double>(t)) = FromBytes(p + tokens[t].first, tokens[t].second);
  }
  return static_cast<double>(tokens.size());
}

double SPLITSTR(DGStr text, DGStrArray& array, CGStr delimiters) {
  return SPLITSTR(std::move(text), array, DGStr(delimiters));
}

double SPLITSTR(DGStr text, DGStrArray& array, const char* delimiters) {
  return SPLITSTR(std::move(text), array, DGStr(delimiters));
}

DGStr MID_Str(DGStr text, double start, double count) {
  // A negative start (also -0.5) gives "", as does a start or count that is not a number.
  if (!(start >= 0) || std::isnan(count)) return DGStr();
  const long long len = text.Len();
  const long long s = TruncToLong(start);
  long long c = TruncToLong(count);
  if (s > len) return DGStr();
  if (c > len - s) c = len - s;
  if (c <= 0) return DGStr();
  return FromBytes(text.c_str() + s, static_cast<unsigned int>(c));
}

DGStr UCASE_Str(DGStr text) {
  char* p = text.c_str();
  for (unsigned int i = 0; i < text.Len(); ++i) {
    if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<char>(p[i] - 'a' + 'A');
  }
  return text;
}

DGStr LCASE_Str(DGStr text) {
  char* p = text.c_str();
  for (unsigned int i = 0; i < text.Len(); ++i) {
    if (p[i] >= 'A' && p[i] <= 'Z') p[i] = static_cast<char>(p[i] - 'A' + 'a');
  }
  return text;
}

DGStr CHR_Str(double code) {
  // The low byte of the truncated code is its value modulo 256, also for negatives.
  const char c = static_cast<char>(static_cast<unsigned long long>(TruncToLong(code)) & 0xFF);
  return FromBytes(&c, c ? 1 : 0);
}

double ASC(DGStr text) { return text.Len() ? text.GetAt(0) : 0; }

double LEN(DGStr text) { return text.Len(); }

double LEN(double number) {
  char buf[64];
  return DoubleToText(number, buf);
}

DGStr FORMAT_Str(double width, double decimals, double value) {
  const int w = TruncToInt(width);
  int d = TruncToInt(decimals);
  if (d < 0) d = 6;
  // A double's exact decimal expansion ends within 1074 digits after the point, so every
  // further digit printf would write is '0': format with at most 1100 and add the zeros.
  const int printed = std::min(d, 1100);
  const int n = std::snprintf(nullptr, 0, "%.*f", printed, value);
  std::string number(static_cast<std::size_t>(std::max(n, 0)), '\0');
  std::snprintf(number.data(), number.size() + 1, "%.*f", printed, value);
  const long long zeros = std::isfinite(value) ? static_cast<long long>(d) - printed : 0;
  // printf pads to |w| with blanks, after the number for a negative w.
  const long long total = static_cast<long long>(number.size()) + zeros;
  const long long wanted = w < 0 ? -static_cast<long long>(w) : w;
  const long long pad = std::max(0LL, wanted - total);

  std::string out;
  out.reserve(kFormatLimit);
  auto put = [&](const char* s, long long count) {
    long long room = static_cast<long long>(kFormatLimit) - static_cast<long long>(out.size());
    out.append(s, static_cast<std::size_t>(std::min(count, room)));
  };
  auto putRepeated = [&](char c, long long count) {
    long long room = static_cast<long long>(kFormatLimit) - static_cast<long long>(out.size());
    out.append(static_cast<std::size_t>(std::min(count, room)), c);
  };
  if (w >= 0) putRepeated(' ', pad);
  put(number.data(), static_cast<long long>(number.size()));
  putRepeated('0', zeros);
  if (w < 0) putRepeated(' ', pad);
  return FromBytes(out.data(), static_cast<unsigned int>(out.size()));
}

DGStr __Bytes2Hex(const unsigned char* bytes, int n) {
  static const char kDigits[] = "0123456789ABCDEF";
  if (!bytes || n <= 0) return DGStr();
  std::string out(static_cast<std::size_t>(n) * 2, '0');
  for (int i = 0; i < n; ++i) {
    out[2 * static_cast<std::size_t>(i)] = kDigits[bytes[i] >> 4];
    out[2 * static_cast<std::size_t>(i) + 1] = kDigits[bytes[i] & 0x0F];
  }
  return FromBytes(out.data(), static_cast<unsigned int>(out.size()));
}

char* __findOneOf(char* text, const char* set) {
  if (!text || !set) return nullptr;
  return std::strpbrk(text, set);
}

char* __findOneNotOf(char* text, const char* set) {
  if (!text) return nullptr;
  if (!set) set = "";
  char* p = text + std::strspn(text, set);
  return *p ? p : nullptr;
}

int ReverseSlashes(DGStr& text) {
  char* p = text.c_str();
  for (unsigned int i = 0; i < text.Len(); ++i) {
    if (p[i] == '\\') p[i] = '/';
  }
  return static_cast<int>(text.Len());
}

}  // namespace TAVELOR
