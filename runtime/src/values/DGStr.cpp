// DGStr and CGStr: storage, number formatting and the operator set.
#include <tavelor/dgstr.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace TAVELOR {

double TextToNumber(const char* text) {
  if (!text) return 0.0;
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  // Find the longest prefix that is a decimal number: sign, digits, '.', digits, exponent.
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  bool digits = false;
  while (std::isdigit(static_cast<unsigned char>(*p))) { ++p; digits = true; }
  if (*p == '.') {
    ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) { ++p; digits = true; }
  }
  if (!digits) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (std::isdigit(static_cast<unsigned char>(*q))) {
      while (std::isdigit(static_cast<unsigned char>(*q))) ++q;
      p = q;
    }
  }
  char buf[512];
  std::size_t n = static_cast<std::size_t>(p - start);
  if (n < sizeof buf) {
    std::memcpy(buf, start, n);
    buf[n] = '\0';
    return std::strtod(buf, nullptr);
  }
  // Very long numbers: strtod reads the same prefix (hexadecimal and "inf" are excluded
  // because the prefix starts with a decimal digit or '.').
  return std::strtod(start, nullptr);
}

unsigned IntToText(int value, char* out) {
  return static_cast<unsigned>(std::snprintf(out, 32, "%d", value));
}

unsigned DoubleToText(double value, char* out) {
  if (std::isnan(value)) return static_cast<unsigned>(std::snprintf(out, 32, "1.#QNAN"));
  if (std::isinf(value)) return static_cast<unsigned>(std::snprintf(out, 32, value < 0 ? "-1.#INF" : "1.#INF"));
  if (value == 0.0) {
    out[0] = '0';
    out[1] = '\0';
    return 1;
  }
  // Round the exact decimal value to 10 significant digits, ties away from zero, the way
  // the C runtime rounds its digit string. 25 digits decide every case except a possible
  // tie (or a run of nines carried into it); those read the exact expansion.
  char sci[40];
  std::snprintf(sci, sizeof sci, "%.24e", std::fabs(value));
  char digits[25];
  digits[0] = sci[0];
  std::memcpy(digits + 1, sci + 2, 24);
  int exponent = std::atoi(sci + 27);
  bool allZero = true, allNine = true;
  for (int i = 11; i < 25; ++i) {
    allZero = allZero && digits[i] == '0';
    allNine = allNine && digits[i] == '9';
  }
  char roundDigit = digits[10];
  if (allZero || allNine) {
    static thread_local char exact[1100];
    std::snprintf(exact, sizeof exact, "%.770e", std::fabs(value));
    // The exact expansion's first 11 digits (no carry can reach them at 771 digits).
    char first[11];
    first[0] = exact[0];
    std::memcpy(first + 1, exact + 2, 10);
    std::memcpy(digits, first, 10);
    roundDigit = first[10];
    const char* e = std::strchr(exact, 'e');
    exponent = e ? std::atoi(e + 1) : exponent;
  }
  if (roundDigit >= '5') {
    int i = 9;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits[0] = '1';
      ++exponent;
    }
  }

  char* o = out;
  if (value < 0) *o++ = '-';
  if (exponent < -1 || exponent > 9) {
    *o++ = digits[0];
    *o++ = '.';
    int last = 9;
    while (last >= 1 && digits[last] == '0') --last;
    for (int i = 1; i <= last; ++i) *o++ = digits[i];
    o += std::snprintf(o, 8, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
  } else {
    int last = 9;
    while (last > exponent && last >= 0 && digits[last] == '0') --last;
    if (exponent < 0) {
      *o++ = '0';
      *o++ = '.';
      for (int i = 0; i <= last; ++i) *o++ = digits[i];
    } else {
      for (int i = 0; i <= exponent; ++i) *o++ = digits[i];
      if (last > exponent) {
        *o++ = '.';
        for (int i = exponent + 1; i <= last; ++i) *o++ = digits[i];
      }
    }
    *o = '\0';
  }
  return static_cast<unsigned>(o - out);
}

// ---------------------------------------------------------------------------------------
// Storage

void DGStr::Alloc(unsigned int n) {
  if (capacity_ > n) return;
  unsigned int cap = (n / 512) * 512 + 512;
  char* fresh = new char[cap];
  if (data_) {
    std::memcpy(fresh, data_, length_ + 1);
    delete[] data_;
  } else {
    fresh[0] = '\0';
  }
  data_ = fresh;
  capacity_ = cap;
}

void DGStr::SetText(const char* text, unsigned int len) {
  Alloc(len);
  std::memmove(data_, text, len);
  data_[len] = '\0';
  length_ = len;
}

DGStr::DGStr() { Alloc(512); }

DGStr::DGStr(const char* text) {
  if (!text) text = "";
  SetText(text, static_cast<unsigned int>(std::strlen(text)));
}

DGStr::DGStr(CGStr text) : DGStr(text.text) {}

DGStr::DGStr(const DGStr& other) { SetText(other.data_, other.length_); }

DGStr::DGStr(int value) {
  Alloc(0);
  length_ = IntToText(value, data_);
}

DGStr::DGStr(float value) : DGStr(static_cast<double>(value)) {}

DGStr::DGStr(double value) {
  Alloc(0);
  length_ = DoubleToText(value, data_);
}

DGStr::~DGStr() {
  delete[] data_;
  data_ = nullptr;
  capacity_ = 0;
  length_ = 0;
}

DGStr& DGStr::operator=(const DGStr& other) {
  if (this != &other) SetText(other.data_, other.length_);
  return *this;
}

DGStr& DGStr::Assign(const char* text) {
  if (!text) text = "";
  if (text == data_) return *this;
  SetText(text, static_cast<unsigned int>(std::strlen(text)));
  return *this;
}

DGStr& DGStr::operator=(CGStr text) { return Assign(text.text); }
DGStr& DGStr::operator=(const char* text) { return Assign(text); }

DGStr& DGStr::operator=(int value) {
  Alloc(0);
  length_ = IntToText(value, data_);
  return *this;
}

DGStr& DGStr::operator=(float value) { return *this = static_cast<double>(value); }

DGStr& DGStr::operator=(double value) {
  Alloc(0);
  length_ = DoubleToText(value, data_);
  return *this;
}

char* DGStr::GetStrData(unsigned int n) {
  Alloc(n);
  return data_;
}

void DGStr::CalcLen() { length_ = static_cast<unsigned int>(std::strlen(data_)); }

void DGStr::Left(long n) {
  if (n < 0) n = 0;
  if (static_cast<unsigned long>(n) >= length_) return;
  data_[n] = '\0';
  CalcLen();
}

void DGStr::TrimRight() {
  for (long i = static_cast<long>(length_) - 1; i >= 0; --i) {
    if (static_cast<signed char>(data_[i]) > 31) break;
    data_[i] = '\0';
  }
}

int DGStr::Compare(const char* text) const { return std::strcmp(data_, text ? text : ""); }

int DGStr::Compare(const double& d) const {
  double v = Number();
  if (v < d) return -1;
  if (v > d) return 1;
  return 0;
}

DGStr& DGStr::Append(const char* text, unsigned int len) {
  unsigned int total = length_ + len;
  if (text >= data_ && text < data_ + capacity_) {
    // Appending (part of) itself: keep the source alive across the reallocation.
    DGStr copy(*this);
    unsigned int offset = static_cast<unsigned int>(text - data_);
    Alloc(total);
    std::memcpy(data_ + length_, copy.data_ + offset, len);
  } else {
    Alloc(total);
    std::memcpy(data_ + length_, text, len);
  }
  length_ = total;
  data_[length_] = '\0';
  return *this;
}

DGStr& DGStr::Append(const char* text) {
  if (!text) return *this;
  return Append(text, static_cast<unsigned int>(std::strlen(text)));
}

namespace {
// A number or string operand as text, without allocating.
struct Text {
  char buf[40];
  const char* p;
  unsigned int len;
  explicit Text(int v) : p(buf), len(IntToText(v, buf)) {}
  explicit Text(float v) : p(buf), len(DoubleToText(static_cast<double>(v), buf)) {}
  explicit Text(double v) : p(buf), len(DoubleToText(v, buf)) {}
  explicit Text(CGStr v) : p(v.text ? v.text : ""), len(static_cast<unsigned int>(std::strlen(p))) {}
  explicit Text(const char* v) : p(v ? v : ""), len(static_cast<unsigned int>(std::strlen(p))) {}
  explicit Text(const DGStr& v) : p(v.c_str()), len(v.Len()) {}
};

template <class A, class B>
DGStr Concat(const A& a, const B& b) {
  Text ta(a), tb(b);
  DGStr r;
  r.Append(ta.p, ta.len);
  r.Append(tb.p, tb.len);
  return r;
}

// -1, 0 or 1 for the comparison of two operands: strings byte-wise, mixed numerically.
// NaN compares as unordered: every comparison except != is false.
enum class Order { Less, Equal, Greater, Unordered };

Order Cmp(double a, double b) {
  if (a < b) return Order::Less;
  if (a > b) return Order::Greater;
  if (a == b) return Order::Equal;
  return Order::Unordered;
}
Order FromInt(int c) { return c < 0 ? Order::Less : (c > 0 ? Order::Greater : Order::Equal); }
Order CmpText(const Text& a, const Text& b) { return FromInt(std::strcmp(a.p, b.p)); }

double AsNumber(int v) { return v; }
double AsNumber(float v) { return v; }

double StrNumber(CGStr s) { return TextToNumber(s.text); }
}  // namespace

#define TAVELOR_COMPOUND_DEF(op)                                                  \
  DGStr& DGStr::operator op(int v) { Text t(v); return Append(t.p, t.len); }     \
  DGStr& DGStr::operator op(float v) { Text t(v); return Append(t.p, t.len); }   \
  DGStr& DGStr::operator op(double v) { Text t(v); return Append(t.p, t.len); }  \
  DGStr& DGStr::operator op(CGStr v) { Text t(v); return Append(t.p, t.len); }   \
  DGStr& DGStr::operator op(const DGStr& v) { return Append(v.data_, v.length_); }
TAVELOR_COMPOUND_DEF(+=)
TAVELOR_COMPOUND_DEF(-=)
TAVELOR_COMPOUND_DEF(*=)
TAVELOR_COMPOUND_DEF(/=)
TAVELOR_COMPOUND_DEF(^=)
#undef TAVELOR_COMPOUND_DEF

#define TAVELOR_ARITH_DEF(op)                                                             \
  DGStr operator op(int a, CGStr b) { return Concat(a, b); }                              \
  DGStr operator op(int a, const DGStr& b) { return Concat(a, b); }                       \
  DGStr operator op(float a, CGStr b) { return Concat(a, b); }                            \
  DGStr operator op(float a, const DGStr& b) { return Concat(a, b); }                     \
  DGStr operator op(double a, CGStr b) { return Concat(a, b); }                           \
  DGStr operator op(double a, const DGStr& b) { return Concat(a, b); }                    \
  DGStr operator op(CGStr a, CGStr b) { return Concat(a, b); }                            \
  DGStr operator op(CGStr a, const DGStr& b) { return Concat(a, b); }                     \
  DGStr operator op(CGStr a, int b) { return Concat(a, b); }                              \
  DGStr operator op(CGStr a, float b) { return Concat(a, b); }                            \
  DGStr operator op(CGStr a, double b) { return Concat(a, b); }                           \
  DGStr operator op(const DGStr& a, CGStr b) { return Concat(a, b); }                     \
  DGStr operator op(const DGStr& a, const DGStr& b) { return Concat(a, b); }              \
  DGStr operator op(const DGStr& a, int b) { return Concat(a, b); }                       \
  DGStr operator op(const DGStr& a, float b) { return Concat(a, b); }                     \
  DGStr operator op(const DGStr& a, double b) { return Concat(a, b); }                    \
  DGStr operator op(const DGStr& a, const char* b) { return Concat(a, b); }               \
  DGStr operator op(const char* a, const DGStr& b) { return Concat(a, b); }
TAVELOR_ARITH_DEF(+)
TAVELOR_ARITH_DEF(-)
TAVELOR_ARITH_DEF(*)
TAVELOR_ARITH_DEF(/)
TAVELOR_ARITH_DEF(^)
#undef TAVELOR_ARITH_DEF

// test(o) turns an Order into the operator's truth value.
#define TAVELOR_CMP_DEF(op, test)                                                                  \
  double operator op(int a, CGStr b) { Order o = Cmp(AsNumber(a), StrNumber(b)); return test; }    \
  double operator op(int a, const DGStr& b) { Order o = Cmp(AsNumber(a), b.Number()); return test; } \
  double operator op(float a, CGStr b) { Order o = Cmp(AsNumber(a), StrNumber(b)); return test; }  \
  double operator op(float a, const DGStr& b) { Order o = Cmp(AsNumber(a), b.Number()); return test; } \
  double operator op(double a, CGStr b) { Order o = Cmp(a, StrNumber(b)); return test; }           \
  double operator op(double a, const DGStr& b) { Order o = Cmp(a, b.Number()); return test; }      \
  double operator op(CGStr a, CGStr b) { Order o = CmpText(Text(a), Text(b)); return test; }       \
  double operator op(CGStr a, const DGStr& b) { Order o = CmpText(Text(a), Text(b)); return test; } \
  double operator op(CGStr a, int b) { Order o = Cmp(StrNumber(a), AsNumber(b)); return test; }    \
  double operator op(CGStr a, float b) { Order o = Cmp(StrNumber(a), AsNumber(b)); return test; }  \
  double operator op(CGStr a, double b) { Order o = Cmp(StrNumber(a), b); return test; }           \
  double operator op(const DGStr& a, CGStr b) { Order o = CmpText(Text(a), Text(b)); return test; } \
  double operator op(const DGStr& a, int b) { Order o = Cmp(a.Number(), AsNumber(b)); return test; } \
  double operator op(const DGStr& a, float b) { Order o = Cmp(a.Number(), AsNumber(b)); return test; } \
  double operator op(const DGStr& a, double b) { Order o = Cmp(a.Number(), b); return test; }      \
  double operator op(const DGStr& a, const char* b) { Order o = CmpText(Text(a), Text(b)); return test; } \
  double operator op(const char* a, const DGStr& b) { Order o = CmpText(Text(a), Text(b)); return test; }

#define TAVELOR_EQ (o == Order::Equal ? 1.0 : 0.0)
#define TAVELOR_NE (o != Order::Equal ? 1.0 : 0.0)
#define TAVELOR_LT (o == Order::Less ? 1.0 : 0.0)
#define TAVELOR_GT (o == Order::Greater ? 1.0 : 0.0)
#define TAVELOR_LE ((o == Order::Less || o == Order::Equal) ? 1.0 : 0.0)
#define TAVELOR_GE ((o == Order::Greater || o == Order::Equal) ? 1.0 : 0.0)
TAVELOR_CMP_DEF(==, TAVELOR_EQ)
TAVELOR_CMP_DEF(!=, TAVELOR_NE)
TAVELOR_CMP_DEF(<, TAVELOR_LT)
TAVELOR_CMP_DEF(>, TAVELOR_GT)
TAVELOR_CMP_DEF(<=, TAVELOR_LE)
TAVELOR_CMP_DEF(>=, TAVELOR_GE)

// Two DGStr: == and != first compare the stored lengths; the others compare bytes.
double operator==(const DGStr& a, const DGStr& b) {
  if (a.Len() != b.Len()) return 0.0;
  return std::strcmp(a.c_str(), b.c_str()) == 0 ? 1.0 : 0.0;
}
double operator!=(const DGStr& a, const DGStr& b) { return (a == b) == 1.0 ? 0.0 : 1.0; }
double operator<(const DGStr& a, const DGStr& b) { return std::strcmp(a.c_str(), b.c_str()) < 0 ? 1.0 : 0.0; }
double operator>(const DGStr& a, const DGStr& b) { return std::strcmp(a.c_str(), b.c_str()) > 0 ? 1.0 : 0.0; }
double operator<=(const DGStr& a, const DGStr& b) { return std::strcmp(a.c_str(), b.c_str()) <= 0 ? 1.0 : 0.0; }
double operator>=(const DGStr& a, const DGStr& b) { return std::strcmp(a.c_str(), b.c_str()) >= 0 ? 1.0 : 0.0; }

#undef TAVELOR_EQ
#undef TAVELOR_NE
#undef TAVELOR_LT
#undef TAVELOR_GT
#undef TAVELOR_LE
#undef TAVELOR_GE
#undef TAVELOR_CMP_DEF

}  // namespace TAVELOR
