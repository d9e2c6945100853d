// The language's numeric commands and its random number generator. Angles are degrees;
// every conversion uses the factor 57.2957795 degrees per radian.
#pragma once

#include <cstdint>

namespace TAVELOR {

constexpr double kDegreesPerRadian = 57.2957795;

double SIN(double x);
double COS(double x);
double TAN(double x);
// Clamped: 90 for x >= 1, -90 for x <= -1.
double ASIN(double x);
// Clamped: 0 for x >= 1, 180 for x <= -1.
double ACOS(double x);
// The angle of (x, y), in (-180, 180].
double ATAN(double y, double x);
double SQR(double x);
double POW(double x, double y);
// Remainder of the truncated integers, with the sign of a; 0 when b truncates to 0.
double MOD(double a, double b);
double ABS(double x);
// A whole random number from 0 to n (n truncated toward zero); for a negative n, a whole
// number from n to 0.
double RND(double n);

// Seeds the program's random number generator (the seed's low 32 bits are used); the same
// seed always gives the same sequence.
void Zysrand(unsigned long seed);
// The program's generator's next whole number (32 bits).
unsigned long Zyrand();

}  // namespace TAVELOR
