// Strings: capacity rule, conversions, the operator set, the number format, the string commands
// and byte helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <tavelor/dgstr.h>
#include <tavelor/strfuncs.h>

#include "values/StringHelpers.h"

using namespace TAVELOR;

namespace {

struct NumberCase {
  double value;
  const char* text;
};
#include "NumberFormatTable.inc"

std::string S(const DGStr& s) { return std::string(s.c_str(), s.Len()); }
using Texts = std::vector<std::pair<std::string, std::string>>;  // got, expected
using Numbers = std::vector<std::pair<double, double>>;

template <class T>
void ExpectAll(const std::vector<std::pair<T, T>>& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}

TEST(DGStrStorage, CapacityCopiesAndEditing) {
  DGStr s(std::string(511, 'a').c_str());
  EXPECT_EQ(s.Capacity(), 512u);
  s += "b";
  EXPECT_EQ(s.Len(), 512u);
  EXPECT_EQ(s.Capacity(), 1024u);
  s.Left(3);  // never shrinks
  EXPECT_EQ(s.Capacity(), 1024u);
  ExpectAll(Numbers{{DGStr().Capacity(), 1024}, {DGStr("x").Capacity(), 512}, {DGStr(42).Capacity(), 512},
                    {DGStr(0.5).Capacity(), 512}, {DGStr(static_cast<const char*>(nullptr)).Len(), 0}});

  DGStr a("hello"), b(a), c("abcdef"), twice(std::string(300, 'q').c_str());
  b.SetAt(0, 'j');
  a = a;  // self-assignment keeps the text
  a.Assign(a.c_str());
  twice += twice;
  c.Left(3);
  c.Left(10);
  ExpectAll(Texts{{S(a), "hello"}, {S(b), "jello"}, {S(twice), std::string(600, 'q')}, {S(c), "abc"}});
  EXPECT_EQ(twice.Capacity(), 1024u);

  DGStr line("ab\r\n"), high("a\xE9");  // bytes above 127 are negative as signed bytes: trimmed too
  line.TrimRight();
  high.TrimRight();
  EXPECT_STREQ(line.c_str(), "ab");
  EXPECT_STREQ(high.c_str(), "a");
  EXPECT_EQ(line.Len(), 4u);  // until CalcLen
  line.CalcLen();
  EXPECT_EQ(line.Len(), 2u);

  DGStr buf;
  char* p = buf.GetStrData(2000);
  EXPECT_GE(buf.Capacity(), 2001u);
  std::snprintf(p, 2000, "written %d", 7);
  buf.CalcLen();
  EXPECT_EQ(S(buf), "written 7");
  EXPECT_EQ(buf.GetAt(0), 'w');
}

TEST(DGStrOperators, ArithmeticConcatenatesAndComparisonsAreByteWiseOrNumeric) {
  DGStr a("a"), b("b"), c("v");
  c -= 1;
  c *= 2.5;
  c /= CGStr("/");
  c ^= DGStr("!");
  c += 0.1f;
  ExpectAll(Texts{{S(DGStr("score: ") + 10), "score: 10"}, {S(DGStr("t=") + 0.05), "t=5.e-002"},
                  {S(DGStr("x") + 1.0), "x1"},           {S(a - b), "ab"},
                  {S(a * b), "ab"},                      {S(a / b), "ab"},
                  {S(a ^ b), "ab"},                      {S(3 - b), "3b"},
                  {S(DGStr("a") - 5), "a5"},             {S(2 * DGStr("x")), "2x"},
                  {S(DGStr("w") / 2.5), "w2.5"},         {S(CGStr("p") ^ CGStr("q")), "pq"},
                  {S(CGStr("n") + 2.5f), "n2.5"},        {S(-7 + CGStr("")), "-7"},
                  {S(c), "v12.5/!0.1000000015"}});

  DGStr trimmed("ab\r\n");  // == on two DGStr compares the stored lengths first
  trimmed.TrimRight();
  ExpectAll(Numbers{{DGStr("abc") < DGStr("abd"), 1}, {DGStr("ab") < CGStr("abc"), 1}, {CGStr("B") < CGStr("a"), 1},
                    {DGStr("\xE9") > DGStr("z"), 1},  // bytes compare unsigned
                    {DGStr("abc") == DGStr("abc"), 1}, {DGStr("abc") != DGStr("abd"), 1},
                    {DGStr("abc") >= CGStr("abc"), 1}, {DGStr("abc") <= CGStr("abb"), 0},
                    {trimmed == DGStr("ab"), 0}, {trimmed >= DGStr("ab"), 1}, {trimmed == CGStr("ab"), 1},
                    // Against a number: the text's number.
                    {DGStr("7") == 7.0, 1}, {DGStr("7x") == 7, 1}, {DGStr("x") < 1, 1}, {DGStr("10") > 9, 1},
                    {DGStr("abc") == 0, 1}, {DGStr(" 5") == 5, 1}, {9 < DGStr("10"), 1}, {2.5f == CGStr("2.5"), 1},
                    {CGStr("3") != 3, 0}, {DGStr("1") >= 1.0, 1}, {DGStr("2") <= 1.0, 0},
                    {DGStr("5").Compare(4.0), 1}, {DGStr("5").Compare(6.0), -1}, {DGStr("5").Compare(5.0), 0},
                    {DGStr("a").Compare("b") < 0, 1}});
}

TEST(DGStrNumbers, TextToNumberAndNumberToText) {
  ExpectAll(Numbers{{TextToNumber("12abc"), 12}, {TextToNumber("abc"), 0}, {TextToNumber(""), 0},
                    {TextToNumber(nullptr), 0}, {TextToNumber(" 3.5e2"), 350}, {TextToNumber("\t-.5"), -0.5},
                    {TextToNumber("1e"), 1}, {TextToNumber("1e+"), 1}, {TextToNumber("2E-1x"), 0.2},
                    {TextToNumber("0x1A"), 0}, {TextToNumber("inf"), 0}, {TextToNumber("+.e5"), 0},
                    {TextToNumber("1e999"), HUGE_VAL}, {TextToNumber(("1" + std::string(600, '0')).c_str()), HUGE_VAL},
                    {DGStr("42.5").Number(), 42.5}, {CGStr("-3").Number(), -3}});
  auto assigned = [](auto v) {
    DGStr s("old");
    s = v;
    return S(s);
  };
  ExpectAll(Texts{{S(DGStr(42)), "42"}, {S(DGStr(-2147483647 - 1)), "-2147483648"}, {assigned(17), "17"},
                  {assigned(2.25), "2.25"}, {assigned(0.1f), "0.1000000015"}, {S(DGStr(-0.0)), "0"}, {S(DGStr(HUGE_VAL)), "1.#INF"},
                  {S(DGStr(-HUGE_VAL)), "-1.#INF"}, {S(DGStr(std::nan(""))), "1.#QNAN"}});
  // The table from tests/values/gen/gcvt_table.py, an independent formatter.
  for (const NumberCase& c : kDoubleCases) EXPECT_EQ(S(DGStr(c.value)), c.text) << "value " << c.value;
  for (const NumberCase& c : kFloatCases) EXPECT_EQ(S(DGStr(static_cast<float>(c.value))), c.text) << "float " << c.value;
}

TEST(StringFunctions, InstrMidCaseCodesAndBytes) {
  const unsigned char bytes[] = {0x00, 0xAB, 0x7F};
  DGStr path("C:\\data\\x.bmp");
  char text[] = "  key = value";  // positions found by the search helpers, -1 for none
  auto at = [&](const char* found) { return found ? found - text : -1.0; };
  ExpectAll(Numbers{{INSTR("hello", "l"), 2}, {INSTR("hello", "L"), -1}, {INSTR("hello", ""), 0},
                    {INSTR(DGStr("hello"), DGStr("hello!")), -1}, {INSTR(CGStr(nullptr), CGStr("a")), -1},
                    {ASC("\xE9"), -23}, {ASC(""), 0}, {LEN(0.05), 7}, {LEN(-100), 4}, {ReverseSlashes(path), 13},
                    {at(__findOneOf(text, "=:")), 6}, {at(__findOneOf(text, "")), -1},
                    {at(__findOneNotOf(text, " ")), 2}, {at(__findOneNotOf(text, " =keyvalu")), -1}});
  // MID_Str truncates both numbers before the clamp to the end of the text; CHR_Str takes the
  // code modulo 256, also below 0.
  ExpectAll(Texts{{S(MID_Str("abcdef", 2, 3)), "cde"}, {S(MID_Str("abcdef", 4, 10)), "ef"},
                  {S(MID_Str("hello", -0.5, 2)), ""}, {S(MID_Str("hello", 2, -5)), ""}, {S(MID_Str("hello", 9, 1)), ""},
                  {S(MID_Str("hello", 1.9, 2.9)), "el"}, {S(MID_Str("hello", 1, 1e300)), "ello"},
                  {S(MID_Str("hello", 1e300, 1)), ""}, {S(UCASE_Str("Stra\xDF" "e 1a")), "STRA\xDF" "E 1A"},
                  {S(LCASE_Str("MiXeD 9 \xC4")), "mixed 9 \xC4"}, {S(CHR_Str(321)), "A"}, {S(CHR_Str(-191)), "A"},
                  {S(CHR_Str(256)), ""}, {S(CHR_Str(233)), "\xE9"}, {S(__Bytes2Hex(bytes, 3)), "00AB7F"},
                  {S(__Bytes2Hex(bytes, -4)), ""}, {S(__Bytes2Hex(nullptr, 3)), ""}, {S(path), "C:/data/x.bmp"}});
}

TEST(StringFunctions, SplitGivesNoEmptyTokens) {
  std::string many;
  for (int i = 0; i < 1000; ++i) many += std::to_string(i) + " ";  // more than the first room
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
      {{"  one two  three ", " "}, {"one", "two", "three"}}, {{",a,,b,", ","}, {"a", "b"}}, {{"", ","}, {}},
      {{"x, y;z", ", ;"}, {"x", "y", "z"}}, {{"a,b,,,", ","}, {"a", "b"}}, {{",,,", ","}, {}},
      {{"a b", ""}, {"a b"}}, {{"", ""}, {}}, {{many, " "}, {}}};
  DGStrArray a;
  DIM(a, 10);
  a(9) = "stale";
  for (const auto& [in, want] : cases) {
    const double n = SPLITSTR(in[0].c_str(), a, DGStr(in[1].c_str()));
    EXPECT_EQ(BOUNDS(a, 0), n);
    if (in[0] == many) {
      ASSERT_EQ(n, 1000);
      EXPECT_EQ(S(a(999)), "999");
      continue;
    }
    std::vector<std::string> got;
    for (int i = 0; i < static_cast<int>(n); ++i) got.push_back(S(a(i)));
    EXPECT_EQ(got, want) << in[0];
  }
  EXPECT_EQ(SPLITSTR("p q", a, " "), 2);  // the other delimiter argument types
  EXPECT_EQ(SPLITSTR("p,q", a, CGStr(",")), 2);
}

std::string Printf(int w, int d, double v) {
  char fmt[32], out[4096];
  std::snprintf(fmt, sizeof fmt, "%%%d.%df", w, d);
  std::snprintf(out, sizeof out, fmt, v);
  return out;
}

// FORMAT_Str is printf's %w.df cut to 1023 bytes; negative decimals mean 6.
TEST(StringFunctions, FormatMatchesPrintfCutToTheLimit) {
  for (int w : {-20, 0, 3, 12, 1023, 1024, 2000, -2000})
    for (int d : {0, 2, 17})
      for (double v : {-0.0, 2.675, 99.995, -123456.789, 1e-7, 1e15, 1e308})
        EXPECT_EQ(S(FORMAT_Str(w, d, v)), Printf(w, d, v).substr(0, 1023)) << w << " " << d << " " << v;
  const double tiny = 4.9406564584124654e-324;  // its exact expansion runs to 1074 decimals
  ExpectAll(Texts{{S(FORMAT_Str(0, -1, 1.5)), "1.500000"}, {S(FORMAT_Str(8.9, 2.7, 3.14159)), "    3.14"},
                  {S(FORMAT_Str(0, 5000, 0.25)), ("0.25" + std::string(5000, '0')).substr(0, 1023)},
                  {S(FORMAT_Str(-1e12, 1e12, 1)), "1." + std::string(1021, '0')},
                  {S(FORMAT_Str(3000, 2000, 1)), std::string(998, ' ') + "1." + std::string(23, '0')},
                  {S(FORMAT_Str(std::nan(""), std::nan(""), 1)), "1"},
                  {S(FORMAT_Str(0, 2000, tiny)), Printf(0, 1074, tiny).substr(0, 1023)},
                  {S(FORMAT_Str(-1100, 1074, -tiny)), Printf(0, 1074, -tiny).substr(0, 1023)}});
  EXPECT_EQ(S(FORMAT_Str(-2147483648.0, 2, 1)).size(), 1023u);
}

}  // namespace
