// 3D maths of the scene: 4 x 4 matrices in OpenGL's column-major order, the look-at camera,
// the object transform, and the conversions between world and window coordinates.
#pragma once

namespace TAVELOR {

class Lumenar3D;

// r[i][j] = sum over k of a[i][k] b[k][j], each matrix read as four rows in memory order; for
// column-major matrices this is r = b a. r may be a or b.
void ZygluMultMatricesf(const float* a, const float* b, float* r);

// Inverse of m by cofactors over the determinant into r (which may be m). A singular matrix
// leaves r as it was and gives false.
bool invertMatrix(const float* m, float* r);

// Column-major product m v of a 4 x 4 matrix and a 4-vector.
void TransformVector(const float* m, const float* v, float* out);

// Multiplies the current OpenGL matrix by the camera at eye looking at target, up +y.
void LookAt(float eyeX, float eyeY, float eyeZ, float targetX, float targetY, float targetZ);
// The same look-at matrix (without the current one), column-major.
void LookAtMatrix(const float* eye, const float* target, float* m);

// The object transform of the engine as a column-major matrix: translation by the movement,
// the rotations from the last given to the first, then the scaling. Multiplying the camera
// matrix by it gives the model-view matrix an object is drawn with.
void ObjectTransformMatrix(const Lumenar3D& engine, float* m);
// The same transform multiplied onto the current OpenGL matrix.
void ApplyObjectTransform(const Lumenar3D& engine);

// Projection of a world point with the given viewport (x, y, width, height, y from the bottom),
// projection P and model-view M. sx, sy are window coordinates with y from the top of a window
// windowHeight pixels high; sz is the depth 0..1. False (outputs untouched) when the point lies
// on the camera plane.
bool ProjectPoint(const int* viewport, const float* p, const float* m, int windowHeight, float x, float y,
                  float z, float* sx, float* sy, float* sz);
// The inverse: window point (wx, wy from the bottom, depth wz) to world coordinates. False
// (outputs untouched) when P M is singular or the point maps to infinity.
bool UnProjectPoint(const int* viewport, const float* p, const float* m, float wx, float wy, float wz,
                    float* x, float* y, float* z);

// The two above with the viewport and matrices read from the current OpenGL state; the window
// height is the display's.
bool Zyglu_Project(float x, float y, float z, float* sx, float* sy, float* sz);
bool Zyglu_UnProject(float wx, float wy, float wz, float* x, float* y, float* z);

}  // namespace TAVELOR
