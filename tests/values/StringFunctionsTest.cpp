// String commands and byte helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <tavelor/strfuncs.h>

#include "values/StringHelpers.h"

using namespace TAVELOR;

namespace {

std::string S(const DGStr& s) { return std::string(s.c_str(), s.Len()); }

std::vector<std::string> Tokens(DGStrArray& a, double n) {
  std::vector<std::string> out;
  for (int i = 0; i < static_cast<int>(n); ++i) out.push_back(S(a(i)));
  return out;
}

TEST(StringFunctions, InstrAndMid) {
  EXPECT_EQ(INSTR("hello", "l"), 2);
  EXPECT_EQ(INSTR("hello", "L"), -1);
  EXPECT_EQ(INSTR("hello", ""), 0);
  EXPECT_EQ(INSTR(DGStr("hello"), DGStr("hello!")), -1);
  EXPECT_EQ(INSTR(CGStr(nullptr), CGStr("a")), -1);

  EXPECT_EQ(S(MID_Str("abcdef", 2, 3)), "cde");
  EXPECT_EQ(S(MID_Str("abcdef", 4, 10)), "ef");
  EXPECT_EQ(S(MID_Str("hello", -0.5, 2)), "");
  EXPECT_EQ(S(MID_Str("hello", 2, -5)), "");
  EXPECT_EQ(S(MID_Str("hello", 9, 1)), "");
  // Both numbers are truncated before the clamp to the end of the text.
  EXPECT_EQ(S(MID_Str("hello", 1.9, 2.9)), "el");
  EXPECT_EQ(S(MID_Str("hello", 1, 1e300)), "ello");
  EXPECT_EQ(S(MID_Str("hello", 1e300, 1)), "");
}

TEST(StringFunctions, Split) {
  DGStrArray a;
  DIM(a, 10);
  a(9) = "stale";
  double n = SPLITSTR("  one two  three ", a, " ");
  EXPECT_EQ(n, 3);
  EXPECT_EQ(BOUNDS(a, 0), 3);
  EXPECT_EQ(Tokens(a, n), (std::vector<std::string>{"one", "two", "three"}));

  n = SPLITSTR(",a,,b,", a, CGStr(","));
  EXPECT_EQ(Tokens(a, n), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SPLITSTR("", a, ","), 0);
  EXPECT_EQ(BOUNDS(a, 0), 0);

  n = SPLITSTR("x, y;z", a, DGStr(", ;"));
  EXPECT_EQ(Tokens(a, n), (std::vector<std::string>{"x", "y", "z"}));

  // Trailing runs and texts of delimiters only give no empty tokens.
  n = SPLITSTR("a,b,,,", a, ",");
  EXPECT_EQ(Tokens(a, n), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SPLITSTR(",,,", a, ","), 0);

  // No delimiters: the whole text is the token.
  n = SPLITSTR("a b", a, "");
  EXPECT_EQ(Tokens(a, n), (std::vector<std::string>{"a b"}));
  EXPECT_EQ(SPLITSTR("", a, ""), 0);

  // Many tokens (more than the first room of the token list).
  std::string many;
  for (int i = 0; i < 1000; ++i) many += std::to_string(i) + " ";
  n = SPLITSTR(many.c_str(), a, " ");
  ASSERT_EQ(n, 1000);
  EXPECT_EQ(S(a(999)), "999");
}

TEST(StringFunctions, CaseAndCodes) {
  EXPECT_EQ(S(UCASE_Str("Stra\xDF" "e 1a")), "STRA\xDF" "E 1A");
  EXPECT_EQ(S(LCASE_Str("MiXeD 9 \xC4")), "mixed 9 \xC4");
  EXPECT_EQ(S(CHR_Str(321)), "A");  // the code modulo 256, also below 0
  EXPECT_EQ(S(CHR_Str(-191)), "A");
  EXPECT_EQ(S(CHR_Str(256)), "");
  EXPECT_EQ(S(CHR_Str(233)), "\xE9");
  EXPECT_EQ(ASC("\xE9"), -23);
  EXPECT_EQ(ASC(""), 0);
  EXPECT_EQ(LEN(0.05), 7);
  EXPECT_EQ(LEN(-100), 4);
}

std::string Printf(int w, int d, double v) {
  char fmt[32], out[4096];
  std::snprintf(fmt, sizeof fmt, "%%%d.%df", w, d);
  std::snprintf(out, sizeof out, fmt, v);
  return out;
}

TEST(StringFunctions, FormatMatchesPrintf) {
  EXPECT_EQ(S(FORMAT_Str(0, -1, 1.5)), "1.500000");  // negative decimals: 6
  EXPECT_EQ(S(FORMAT_Str(8.9, 2.7, 3.14159)), "    3.14");
  const double values[] = {-0.0, 2.675, 99.995, -123456.789, 1e-7, 1e15};
  for (int w : {-20, 0, 3, 12}) {
    for (int d : {0, 2, 17}) {
      for (double v : values) EXPECT_EQ(S(FORMAT_Str(w, d, v)), Printf(w, d, v)) << w << " " << d << " " << v;
    }
  }
}

TEST(StringFunctions, FormatNeverExceedsLimit) {
  // Long outputs are printf's text cut to 1023 bytes.
  const std::string wide = S(FORMAT_Str(2000, 2, 1.5));
  EXPECT_EQ(wide, std::string(1023, ' '));
  const std::string left = S(FORMAT_Str(-2000, 2, 1.5));
  EXPECT_EQ(left, "1.50" + std::string(1019, ' '));
  EXPECT_EQ(S(FORMAT_Str(1024, 0, 7)), std::string(1023, ' '));
  EXPECT_EQ(S(FORMAT_Str(1023, 0, 7)), std::string(1022, ' ') + "7");
  EXPECT_EQ(S(FORMAT_Str(0, 0, 1e308)), Printf(0, 0, 1e308));

  std::string many = S(FORMAT_Str(0, 5000, 0.25));
  EXPECT_EQ(many, ("0.25" + std::string(5000, '0')).substr(0, 1023));
  // The digits alone are wider than the width: no padding.
  EXPECT_EQ(S(FORMAT_Str(-1e12, 1e12, 1)), ("1." + std::string(1021, '0')));
  EXPECT_EQ(S(FORMAT_Str(3000, 2000, 1)), std::string(3000 - 2002, ' ') + ("1." + std::string(1021, '0')).substr(0, 1023 - 998));
  EXPECT_EQ(S(FORMAT_Str(-2147483648.0, 2, 1)).size(), 1023u);
  EXPECT_EQ(S(FORMAT_Str(std::nan(""), std::nan(""), 1)), "1");
  // The exact expansion of the smallest double runs to 1074 decimals; past that, zeros.
  const double tiny = 4.9406564584124654e-324;
  EXPECT_EQ(S(FORMAT_Str(0, 2000, tiny)), Printf(0, 1074, tiny).substr(0, 1023));
  EXPECT_EQ(S(FORMAT_Str(-1100, 1074, -tiny)), Printf(0, 1074, -tiny).substr(0, 1023));
}

TEST(StringFunctions, ByteHelpers) {
  const unsigned char bytes[] = {0x00, 0xAB, 0x7F};
  EXPECT_EQ(S(__Bytes2Hex(bytes, 3)), "00AB7F");
  EXPECT_EQ(S(__Bytes2Hex(bytes, -4)), "");
  EXPECT_EQ(S(__Bytes2Hex(nullptr, 3)), "");

  char text[] = "  key = value";
  EXPECT_EQ(__findOneOf(text, "=:"), text + 6);
  EXPECT_EQ(__findOneOf(text, ""), nullptr);
  EXPECT_EQ(__findOneNotOf(text, " "), text + 2);
  EXPECT_EQ(__findOneNotOf(text, " =keyvalu"), nullptr);

  DGStr path("C:\\data\\x.bmp");
  EXPECT_EQ(ReverseSlashes(path), 13);
  EXPECT_EQ(S(path), "C:/data/x.bmp");
}

}  // namespace
