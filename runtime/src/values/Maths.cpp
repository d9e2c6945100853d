// The numeric commands.
#include <tavelor/maths.h>

#include <cmath>
#include <cstdint>

#include "values/Numbers.h"

namespace TAVELOR {

double SIN(double x) { return std::sin(x / kDegreesPerRadian); }
double COS(double x) { return std::cos(x / kDegreesPerRadian); }
double TAN(double x) { return std::tan(x / kDegreesPerRadian); }

double ASIN(double x) {
  if (x >= 1) return 90;
  if (x <= -1) return -90;
  return std::asin(x) * kDegreesPerRadian;
}

double ACOS(double x) {
  if (x >= 1) return 0;
  if (x <= -1) return 180;
  return std::acos(x) * kDegreesPerRadian;
}

double ATAN(double y, double x) { return std::atan2(y, x) * kDegreesPerRadian; }
double SQR(double x) { return std::sqrt(x); }
double POW(double x, double y) { return std::pow(x, y); }

double MOD(double a, double b) {
  const int ib = TruncToInt(b);
  // -1 also avoids the one overflowing division, INT_MIN % -1; its remainder is always 0.
  if (ib == 0 || ib == -1) return 0;
  return TruncToInt(a) % ib;
}

double ABS(double x) { return x < 0 ? -x : x; }

double RND(double n) {
  const std::uint64_t r = Zyrand();
  const long long m = TruncToLong(n);
  // The divisor is computed in 64 bits, so n >= 2^32 - 1 gives the raw draw rather than a
  // wrapped (or zero) divisor.
  if (m >= 0) return static_cast<double>(r % (static_cast<std::uint64_t>(m) + 1));
  const std::uint64_t span = m < -0xFFFFFFFFLL ? 0x100000000ULL : static_cast<std::uint64_t>(-m) + 1;
  return static_cast<double>(-static_cast<long long>(r % span));
}

}  // namespace TAVELOR
