// The language's string values: DGStr (an owned, growable byte string) and CGStr (a
// string literal of the compiled game). Every arithmetic operator with a string operand
// concatenates; a comparison between a string and a number compares numerically.
#pragma once

namespace TAVELOR {

// Text-to-number rule of the language: leading white space skipped, the longest prefix
// that forms a decimal floating-point number converted; anything else gives 0.
double TextToNumber(const char* text);

// Number-to-text rules. Both write a NUL-terminated text into out (at least 32 bytes)
// and return its length.
//  - integers: plain decimal with a leading '-' for negatives.
//  - doubles: 10 significant digits, fixed form for decimal exponents -1..9, otherwise
//    "d.ddddddddde+XXX" with at least three exponent digits; zeros ending the fraction are
//    removed, and a '.' ending a fixed-form text too. Infinity and NaN give "1.#INF",
//    "-1.#INF" and "1.#QNAN"; negative zero gives "0".
unsigned IntToText(int value, char* out);
unsigned DoubleToText(double value, char* out);

struct CGStr {
  const char* text;
  CGStr(const char* literal = nullptr) : text(literal) {}  // NOLINT: literals convert implicitly
  double Number() const { return TextToNumber(text); }
};

class DGStr {
 public:
  DGStr();
  DGStr(const char* text);  // NOLINT: the language converts literals implicitly
  DGStr(CGStr text);        // NOLINT
  DGStr(const DGStr& other);
  DGStr(int value);     // NOLINT
  DGStr(float value);   // NOLINT
  DGStr(double value);  // NOLINT
  ~DGStr();

  DGStr& operator=(const DGStr& other);
  DGStr& operator=(CGStr text);
  DGStr& operator=(const char* text);
  DGStr& operator=(int value);
  DGStr& operator=(float value);
  DGStr& operator=(double value);
  DGStr& Assign(const char* text);

  // Capacity rule: room for n bytes plus the terminator; the buffer grows to the next
  // multiple of 512 strictly above n and never shrinks. The text is kept.
  void Alloc(unsigned int n);
  // Makes room for n bytes and returns the writable buffer; call CalcLen afterwards.
  char* GetStrData(unsigned int n);
  void CalcLen();

  unsigned int Len() const { return length_; }
  unsigned int Capacity() const { return capacity_; }
  char* c_str() { return data_; }
  const char* c_str() const { return data_; }
  // Byte at i as a signed value; i must be below the length.
  int GetAt(long i) const { return static_cast<signed char>(data_[i]); }
  void SetAt(long i, char c) { data_[i] = c; }

  // Cuts the text to its first n bytes (n beyond the length: unchanged).
  void Left(long n);
  // Replaces trailing control bytes (signed value <= 31) by NUL; the length stays until
  // CalcLen is called.
  void TrimRight();
  int Compare(const char* text) const;
  int Compare(const double& d) const;
  double Number() const { return TextToNumber(data_); }

  // Appending. All five compound operators append the right side as text.
  DGStr& Append(const char* text, unsigned int len);
  DGStr& Append(const char* text);
  DGStr& operator+=(const char* t) { return Append(t); }
#define TAVELOR_DGSTR_COMPOUND(op)        \
  DGStr& operator op(int v);             \
  DGStr& operator op(float v);           \
  DGStr& operator op(double v);          \
  DGStr& operator op(CGStr v);           \
  DGStr& operator op(const DGStr& v);
  TAVELOR_DGSTR_COMPOUND(+=)
  TAVELOR_DGSTR_COMPOUND(-=)
  TAVELOR_DGSTR_COMPOUND(*=)
  TAVELOR_DGSTR_COMPOUND(/=)
  TAVELOR_DGSTR_COMPOUND(^=)
#undef TAVELOR_DGSTR_COMPOUND

 private:
  char* data_ = nullptr;
  unsigned int capacity_ = 0;
  unsigned int length_ = 0;
  void SetText(const char* text, unsigned int len);
};

// Binary arithmetic operators: the left text followed by the right text.
#define TAVELOR_DGSTR_ARITH(op)                           \
  DGStr operator op(int a, CGStr b);                      \
  DGStr operator op(int a, const DGStr& b);               \
  DGStr operator op(float a, CGStr b);                    \
  DGStr operator op(float a, const DGStr& b);             \
  DGStr operator op(double a, CGStr b);                   \
  DGStr operator op(double a, const DGStr& b);            \
  DGStr operator op(CGStr a, CGStr b);                    \
  DGStr operator op(CGStr a, const DGStr& b);             \
  DGStr operator op(CGStr a, int b);                      \
  DGStr operator op(CGStr a, float b);                    \
  DGStr operator op(CGStr a, double b);                   \
  DGStr operator op(const DGStr& a, CGStr b);             \
  DGStr operator op(const DGStr& a, const DGStr& b);      \
  DGStr operator op(const DGStr& a, int b);               \
  DGStr operator op(const DGStr& a, float b);             \
  DGStr operator op(const DGStr& a, double b);            \
  DGStr operator op(const DGStr& a, const char* b);       \
  DGStr operator op(const char* a, const DGStr& b);
TAVELOR_DGSTR_ARITH(+)
TAVELOR_DGSTR_ARITH(-)
TAVELOR_DGSTR_ARITH(*)
TAVELOR_DGSTR_ARITH(/)
TAVELOR_DGSTR_ARITH(^)
#undef TAVELOR_DGSTR_ARITH

// Comparisons: 1.0 for true, 0.0 for false. Two strings compare byte-wise; a string and
// a number compare numerically.
#define TAVELOR_DGSTR_CMP(op)                             \
  double operator op(int a, CGStr b);                     \
  double operator op(int a, const DGStr& b);              \
  double operator op(float a, CGStr b);                   \
  double operator op(float a, const DGStr& b);            \
  double operator op(double a, CGStr b);                  \
  double operator op(double a, const DGStr& b);           \
  double operator op(CGStr a, CGStr b);                   \
  double operator op(CGStr a, const DGStr& b);            \
  double operator op(CGStr a, int b);                     \
  double operator op(CGStr a, float b);                   \
  double operator op(CGStr a, double b);                  \
  double operator op(const DGStr& a, CGStr b);            \
  double operator op(const DGStr& a, const DGStr& b);     \
  double operator op(const DGStr& a, int b);              \
  double operator op(const DGStr& a, float b);            \
  double operator op(const DGStr& a, double b);           \
  double operator op(const DGStr& a, const char* b);      \
  double operator op(const char* a, const DGStr& b);
TAVELOR_DGSTR_CMP(==)
TAVELOR_DGSTR_CMP(!=)
TAVELOR_DGSTR_CMP(<)
TAVELOR_DGSTR_CMP(>)
TAVELOR_DGSTR_CMP(<=)
TAVELOR_DGSTR_CMP(>=)
#undef TAVELOR_DGSTR_CMP

}  // namespace TAVELOR
