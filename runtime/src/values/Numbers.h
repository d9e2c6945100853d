// Conversions of the language's numbers into integers. Truncation toward zero, with NaN
// giving 0 and values beyond the target range clamped to it, so no conversion is undefined.
#pragma once

#include <climits>
#include <cmath>

namespace TAVELOR {

inline int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

inline long long TruncToLong(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9.2233720368547748e18) return LLONG_MAX;
  if (v <= -9.2233720368547758e18) return LLONG_MIN;
  return static_cast<long long>(v);
}

// Colour values keep the low 32 bits of the truncated number.
inline unsigned int TruncToColour(double v) { return static_cast<unsigned int>(TruncToLong(v)); }

}  // namespace TAVELOR
