// Geometry of the 3D collision tests: the object-space transform and the shape-against-triangle
// routines. Points are float[3]; matrices are column-major 4 x 4 as OpenGL keeps them.
#pragma once

#include "scene3d/Lumenar3D.h"

namespace TAVELOR {

// m = translate(movement) * rotations from the last given to the first * scale(scaling): the
// transform an object is drawn with, so a vertex is scaled, rotated by the first rotation
// given, then by the next, and moved. A rotation about an axis of (almost) no length is none.
void gObjectTransform(const float movement[3], const Lumenar3D::Rotation* rotations,
                      int rotationCount, const float scaling[3], float m[16]);
// The inverse of a rotation and translation: the 3 x 3 block transposed, the translation
// -(transposed block) x translation. A scaling in m is not undone.
void gInvertMatrix4x4(const float m[16], float r[16]);
// v = m (v, 1), in place.
void gTransformVector(const float m[16], float v[3]);

// True when the sphere (centre, radius) touches the triangle: the sphere crosses the triangle's
// plane (|distance| < radius) and the centre projects inside the polygon or lies closer than
// radius to one of its edges. count is the polygon's corner count (3 for a triangle).
bool SpherePolygonCollision(float triangle[3][3], float* centre, int count, float radius);
// True when point, in the polygon's plane, lies inside it: the angles the edges subtend at the
// point add up to at least 0.99 of a full turn.
bool InsidePolygon(float* point, float polygon[][3], long count);
// True when some edge of the polygon passes closer than radius to centre.
bool EdgeSphereCollision(float* centre, float polygon[][3], int count, float radius);
// Separating-axis test of the box (centre and half-axes a1, a2, a3) against a triangle; true
// when no axis separates them. Touching counts as contact.
bool IntersectCuboidAndTriangle(const float* centre, const float* a1, const float* a2,
                                const float* a3, const float* p0, const float* p1,
                                const float* p2);
// Parameter t of the ray p + t (q - p) where it crosses the triangle, or 0 when it misses, runs
// parallel to it or the triangle has no area. The edge from corner 1 to corner 2 is outside.
float IntersectTriangleAndRay(const float triangle[3][3], const float* p, const float* q);

}  // namespace TAVELOR
