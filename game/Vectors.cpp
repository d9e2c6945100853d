// The game's vector arithmetic on 3-element arrays.
#include "Hollerquast.h"

namespace __TAVELOR__ {

using namespace TAVELOR;

double vecSet(DGIntArray& v, double x, double y, double z) {
  v(0) = x;
  v(1) = y;
  v(2) = z;
  return 0;
}

double vecNull(DGIntArray& v) { return vecSet(v, 0, 0, 0); }

double vecAdd(DGIntArray& a, DGIntArray& b) {
  for (int k = 0; k < 3; ++k) a(k) = a(k) + b(k);
  return 0;
}

double vecSub(DGIntArray& a, DGIntArray& b) {
  for (int k = 0; k < 3; ++k) a(k) = a(k) - b(k);
  return 0;
}

double vecScale(DGIntArray& v, double f) {
  for (int k = 0; k < 3; ++k) v(k) = v(k) * f;
  return 0;
}

double vecLength(DGIntArray& v) { return SQR(v(0) * v(0) + v(1) * v(1) + v(2) * v(2)); }

double vecDot(DGIntArray& a, DGIntArray& b) { return a(0) * b(0) + a(1) * b(1) + a(2) * b(2); }

double vecCross(DGIntArray& a, DGIntArray& b) {
  DGIntArray r;
  DIM(r, 3);
  r(0) = a(1) * b(2) - a(2) * b(1);
  r(1) = a(2) * b(0) - a(0) * b(2);
  r(2) = a(0) * b(1) - a(1) * b(0);
  a = r;
  return 0;
}

double vecUnify(DGIntArray& v) {
  const double len = vecLength(v);
  if (len < 0.0000001) return vecNull(v);
  return vecScale(v, 1 / len);
}

double vecRotate(DGIntArray& v, DGIntArray& axis, double angle) {
  // Rotation about an axis through the origin (Rodrigues): counter-clockwise for a positive
  // angle when looking from the axis' tip towards the origin.
  DGIntArray a, r;
  DIM(a, 3);
  DIM(r, 3);
  a = axis;
  vecUnify(a);
  const double c = COS(angle), s = SIN(angle), t = 1 - c;
  const double ax = a(0), ay = a(1), az = a(2);
  const double vx = v(0), vy = v(1), vz = v(2);
  r(0) = (c + t * ax * ax) * vx + (t * ax * ay - s * az) * vy + (t * ax * az + s * ay) * vz;
  r(1) = (t * ax * ay + s * az) * vx + (c + t * ay * ay) * vy + (t * ay * az - s * ax) * vz;
  r(2) = (t * ax * az - s * ay) * vx + (t * ay * az + s * ax) * vy + (c + t * az * az) * vz;
  v = r;
  return 0;
}

double vecAngleOf(DGIntArray& a, DGIntArray& b) {
  const double p = vecLength(a) * vecLength(b);
  if (p == 0) return 0;
  const double q = vecDot(a, b) / p;
  if (ABS(q) > 1) return 0;
  return ACOS(q);
}

double Limit(double value, double m) {
  double r = value;
  if (r < -m) r = -m;
  if (r > m) r = m;
  return r;
}

}  // namespace __TAVELOR__
