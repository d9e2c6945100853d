// Strings: capacity rule, conversions, the operator set and the number format.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <tavelor/dgstr.h>

using namespace TAVELOR;

namespace {

struct NumberCase {
  double value;
  const char* text;
};
#include "NumberFormatTable.inc"

std::string S(const DGStr& s) { return std::string(s.c_str(), s.Len()); }

TEST(DGStrStorage, CapacityFollowsTheRule) {
  DGStr empty;
  EXPECT_EQ(empty.Len(), 0u);
  EXPECT_EQ(empty.Capacity(), 1024u);
  EXPECT_EQ(DGStr("x").Capacity(), 512u);
  EXPECT_EQ(DGStr(static_cast<const char*>(nullptr)).Len(), 0u);

  DGStr s(std::string(511, 'a').c_str());
  EXPECT_EQ(s.Capacity(), 512u);
  s += "b";
  EXPECT_EQ(s.Len(), 512u);
  EXPECT_EQ(s.Capacity(), 1024u);
  s.Left(3);  // never shrinks
  EXPECT_EQ(s.Capacity(), 1024u);
  EXPECT_EQ(DGStr(42).Capacity(), 512u);
  EXPECT_EQ(DGStr(0.5).Capacity(), 512u);
}

TEST(DGStrStorage, CopiesOwnTheirBuffers) {
  DGStr a("hello");
  DGStr b(a);
  b.SetAt(0, 'j');
  EXPECT_EQ(S(a), "hello");
  EXPECT_EQ(S(b), "jello");
  a = a;  // self-assignment keeps the text
  EXPECT_EQ(S(a), "hello");
  a.Assign(a.c_str());
  EXPECT_EQ(S(a), "hello");
}

TEST(DGStrStorage, AppendingItselfDoublesIt) {
  DGStr s(std::string(300, 'q').c_str());
  s += s;
  EXPECT_EQ(s.Len(), 600u);
  EXPECT_EQ(S(s), std::string(600, 'q'));
  EXPECT_EQ(s.Capacity(), 1024u);
}

TEST(DGStrEditing, LeftTrimRightAndCalcLen) {
  DGStr s("abcdef");
  s.Left(3);
  EXPECT_EQ(S(s), "abc");
  EXPECT_EQ(s.Len(), 3u);
  s.Left(10);
  EXPECT_EQ(S(s), "abc");

  DGStr line("ab\r\n");
  line.TrimRight();
  EXPECT_STREQ(line.c_str(), "ab");
  EXPECT_EQ(line.Len(), 4u);  // until CalcLen
  line.CalcLen();
  EXPECT_EQ(line.Len(), 2u);

  DGStr high("a\xE9");  // bytes above 127 are negative as signed bytes: trimmed too
  high.TrimRight();
  EXPECT_STREQ(high.c_str(), "a");

  DGStr buf;
  char* p = buf.GetStrData(2000);
  EXPECT_GE(buf.Capacity(), 2001u);
  std::snprintf(p, 2000, "written %d", 7);
  buf.CalcLen();
  EXPECT_EQ(S(buf), "written 7");
  EXPECT_EQ(buf.GetAt(0), 'w');
}

TEST(DGStrOperators, ArithmeticConcatenates) {
  EXPECT_EQ(S(DGStr("score: ") + 10), "score: 10");
  EXPECT_EQ(S(DGStr("t=") + 0.05), "t=5.e-002");
  EXPECT_EQ(S(DGStr("x") + 1.0), "x1");
  EXPECT_EQ(S(DGStr("x") + 1.5), "x1.5");
  DGStr a("a"), b("b");
  EXPECT_EQ(S(a - b), "ab");
  EXPECT_EQ(S(a * b), "ab");
  EXPECT_EQ(S(a / b), "ab");
  EXPECT_EQ(S(a ^ b), "ab");
  EXPECT_EQ(S(3 - b), "3b");
  EXPECT_EQ(S(DGStr("a") - 5), "a5");
  EXPECT_EQ(S(2 * DGStr("x")), "2x");
  EXPECT_EQ(S(DGStr("w") / 2.5), "w2.5");
  EXPECT_EQ(S(CGStr("p") ^ CGStr("q")), "pq");
  EXPECT_EQ(S(CGStr("n") + 2.5f), "n2.5");
  EXPECT_EQ(S(-7 + CGStr("")), "-7");

  DGStr c("v");
  c -= 1;
  c *= 2.5;
  c /= CGStr("/");
  c ^= DGStr("!");
  c += 0.1f;
  EXPECT_EQ(S(c), "v12.5/!0.1000000015");
}

TEST(DGStrOperators, ComparisonsOfTwoStringsAreByteWise) {
  EXPECT_EQ(DGStr("abc") < DGStr("abd"), 1.0);
  EXPECT_EQ(DGStr("ab") < CGStr("abc"), 1.0);
  EXPECT_EQ(CGStr("B") < CGStr("a"), 1.0);
  EXPECT_EQ(DGStr("\xE9") > DGStr("z"), 1.0);  // bytes compare unsigned
  EXPECT_EQ(DGStr("abc") == DGStr("abc"), 1.0);
  EXPECT_EQ(DGStr("abc") != DGStr("abd"), 1.0);
  EXPECT_EQ(DGStr("abc") >= CGStr("abc"), 1.0);
  EXPECT_EQ(DGStr("abc") <= CGStr("abb"), 0.0);

  // == on two DGStr compares the stored lengths first.
  DGStr trimmed("ab\r\n");
  trimmed.TrimRight();
  EXPECT_EQ(trimmed == DGStr("ab"), 0.0);
  EXPECT_EQ(trimmed >= DGStr("ab"), 1.0);
  EXPECT_EQ(trimmed == CGStr("ab"), 1.0);
}

TEST(DGStrOperators, ComparisonsWithNumbersAreNumeric) {
  EXPECT_EQ(DGStr("7") == 7.0, 1.0);
  EXPECT_EQ(DGStr("7x") == 7, 1.0);
  EXPECT_EQ(DGStr("x") < 1, 1.0);
  EXPECT_EQ(DGStr("10") > 9, 1.0);
  EXPECT_EQ(DGStr("abc") == 0, 1.0);
  EXPECT_EQ(DGStr(" 5") == 5, 1.0);
  EXPECT_EQ(9 < DGStr("10"), 1.0);
  EXPECT_EQ(2.5f == CGStr("2.5"), 1.0);
  EXPECT_EQ(CGStr("3") != 3, 0.0);
  EXPECT_EQ(DGStr("1") >= 1.0, 1.0);
  EXPECT_EQ(DGStr("2") <= 1.0, 0.0);
  EXPECT_EQ(DGStr("5").Compare(4.0), 1);
  EXPECT_EQ(DGStr("5").Compare(6.0), -1);
  EXPECT_EQ(DGStr("5").Compare(5.0), 0);
  EXPECT_LT(DGStr("a").Compare("b"), 0);
}

TEST(DGStrNumbers, TextToNumberTakesTheLongestDecimalPrefix) {
  EXPECT_EQ(TextToNumber("12abc"), 12);
  EXPECT_EQ(TextToNumber("abc"), 0);
  EXPECT_EQ(TextToNumber(""), 0);
  EXPECT_EQ(TextToNumber(nullptr), 0);
  EXPECT_EQ(TextToNumber(" 3.5e2"), 350);
  EXPECT_EQ(TextToNumber("\t-.5"), -0.5);
  EXPECT_EQ(TextToNumber("1e"), 1);
  EXPECT_EQ(TextToNumber("1e+"), 1);
  EXPECT_EQ(TextToNumber("2E-1x"), 0.2);
  EXPECT_EQ(TextToNumber("0x1A"), 0);    // no hexadecimal
  EXPECT_EQ(TextToNumber("inf"), 0);     // no infinity words
  EXPECT_EQ(TextToNumber("+.e5"), 0);
  EXPECT_EQ(TextToNumber("1e999"), HUGE_VAL);
  EXPECT_EQ(DGStr("42.5").Number(), 42.5);
  EXPECT_EQ(CGStr("-3").Number(), -3);
}

TEST(DGStrNumbers, IntegersAndSpecialValues) {
  EXPECT_EQ(S(DGStr(42)), "42");
  EXPECT_EQ(S(DGStr(-7)), "-7");
  EXPECT_EQ(S(DGStr(-2147483647 - 1)), "-2147483648");
  DGStr s;
  s = 17;
  EXPECT_EQ(S(s), "17");
  s = 2.25;
  EXPECT_EQ(S(s), "2.25");
  s = 0.1f;
  EXPECT_EQ(S(s), "0.1000000015");
  EXPECT_EQ(S(DGStr(-0.0)), "0");
  EXPECT_EQ(S(DGStr(HUGE_VAL)), "1.#INF");
  EXPECT_EQ(S(DGStr(-HUGE_VAL)), "-1.#INF");
  EXPECT_EQ(S(DGStr(std::nan(""))), "1.#QNAN");
}

TEST(DGStrNumbers, DoubleTableMatchesTheIndependentFormatter) {
  int checked = 0;
  for (const NumberCase& c : kDoubleCases) {
    EXPECT_EQ(S(DGStr(c.value)), c.text) << "value " << c.value;
    ++checked;
  }
  for (const NumberCase& c : kFloatCases) {
    EXPECT_EQ(S(DGStr(static_cast<float>(c.value))), c.text) << "float " << c.value;
    ++checked;
  }
  EXPECT_GE(checked, 200);
}

TEST(DGStrNumbers, FormatBoundaries) {
  EXPECT_EQ(S(DGStr(0.01)), "1.e-002");           // exponent -2: exponential
  EXPECT_EQ(S(DGStr(0.099)), "9.9e-002");          // exponent -2
  EXPECT_EQ(S(DGStr(0.1)), "0.1");                 // exponent -1: fixed
  EXPECT_EQ(S(DGStr(999999999.0)), "999999999");   // exponent 8
  EXPECT_EQ(S(DGStr(1e9)), "1000000000");          // exponent 9: fixed
  EXPECT_EQ(S(DGStr(1e10)), "1.e+010");            // exponent 10: exponential
  EXPECT_EQ(S(DGStr(9.99999999999)), "10");        // rounding carries a decade
  EXPECT_EQ(S(DGStr(0.099999999999)), "0.1");
  EXPECT_EQ(S(DGStr(12345678901.0)), "1.23456789e+010");
  EXPECT_EQ(S(DGStr(1.0 / 3)), "0.3333333333");
  EXPECT_EQ(S(DGStr(1e-100)), "1.e-100");
  EXPECT_EQ(S(DGStr(1.7976931348623157e308)), "1.797693135e+308");
  EXPECT_EQ(S(DGStr(1234567890.5)), "1234567891");  // an exact tie rounds away from zero
}

}  // namespace
