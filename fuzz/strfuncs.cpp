// The string commands on arbitrary text: splitting, cutting, searching and formatting with
// numbers taken from the input.
#include <cstdint>
#include <cstring>
#include <string>

#include <tavelor/strfuncs.h>

#include "values/StringHelpers.h"

using namespace TAVELOR;

namespace {
double TakeNumber(const std::uint8_t*& data, std::size_t& size) {
  double v = 0;
  if (size >= sizeof v) {
    std::memcpy(&v, data, sizeof v);
    data += sizeof v;
    size -= sizeof v;
  }
  return v;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const double a = TakeNumber(data, size);
  const double b = TakeNumber(data, size);
  const double c = TakeNumber(data, size);
  // The rest: delimiters up to the first NUL, then the text.
  std::string rest(reinterpret_cast<const char*>(data), size);
  std::size_t cut = rest.find('\0');
  std::string delimiters = cut == std::string::npos ? std::string() : rest.substr(0, cut);
  DGStr text;
  std::string body = cut == std::string::npos ? rest : rest.substr(cut + 1);
  if (!body.empty()) text.Append(body.data(), static_cast<unsigned int>(body.size()));

  DGStrArray tokens;
  const double n = SPLITSTR(text, tokens, delimiters.c_str());
  for (int i = 0; i < static_cast<int>(n); ++i) {
    if (tokens(i).Len() == 0) __builtin_trap();  // tokens are never empty
  }
  DGStr piece = MID_Str(text, a, b);
  if (piece.Len() > text.Len()) __builtin_trap();
  INSTR(text, delimiters.c_str());
  DGStr formatted = FORMAT_Str(a, b, c);
  if (formatted.Len() > kFormatLimit) __builtin_trap();
  UCASE_Str(text);
  CHR_Str(a);
  __Bytes2Hex(reinterpret_cast<const unsigned char*>(body.data()), static_cast<int>(body.size() > 4096 ? 4096 : body.size()));
  return 0;
}
