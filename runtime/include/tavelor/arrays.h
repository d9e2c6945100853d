// The language's arrays: DGIntArray (elements are numbers, double) and DGStrArray
// (elements are DGStr). Up to 8 dimensions, first index fastest: the element at
// (i1, ..., i8) sits at i1 + i2*stride1 + ... + i8*stride7, where stride k is the product
// of sizes 1..k. DIM sizes and clears an array, REDIM resizes it keeping its contents,
// BOUNDS reads one size. Indexing out of range ends the program (error 9; error 8 for an
// array without dimensions); an array that cannot be allocated ends it with error 7.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Largest element count DIM and REDIM accept; larger (or overflowing, or NaN) sizes are
// error 7. Number arrays: 2^27 elements (1 GiB). String arrays: 2^20 elements, each string
// owning a 1 KiB buffer (1 GiB).
constexpr int kMaxNumberArrayElements = 1 << 27;
constexpr int kMaxStringArrayElements = 1 << 20;

template <class A, class T>
struct ArrayOps;  // the shared implementation of both array types

namespace arrays_detail {
// Records the error code and the current debug line, then ends the program.
[[noreturn]] void ArrayError(int code);

// Buffer position of the element at the given indices, or the end of the program when
// the indices are out of range. All checks are made on the doubles before converting.
inline int Position(const int* sizes, const int* strides, bool hasData, const double* idx) {
  if (sizes[0] == 0) ArrayError(8);
  if (!hasData) ArrayError(9);
  int pos = 0;
  for (int k = 0; k < 8; ++k) {
    const double i = idx[k];
    // "!(i >= 0)" also rejects NaN.
    if (!(i >= 0)) ArrayError(9);
    if (sizes[k] != 0) {
      if (i >= static_cast<double>(sizes[k])) ArrayError(9);
      pos += static_cast<int>(i) * (k == 0 ? 1 : strides[k - 1]);
    } else if (i != 0) {
      // A dimension the array does not have takes only index 0.
      ArrayError(9);
    }
  }
  return pos;
}
}  // namespace arrays_detail

class DGIntArray {
 public:
  DGIntArray() = default;
  DGIntArray(const DGIntArray& other);
  DGIntArray(DGIntArray&& other) noexcept;
  DGIntArray& operator=(const DGIntArray& other);
  DGIntArray& operator=(DGIntArray&& other) noexcept;
  ~DGIntArray();

  // The element at the given indices; indices the program leaves out are 0.
  double& operator()(double i1 = 0, double i2 = 0, double i3 = 0, double i4 = 0, double i5 = 0,
                     double i6 = 0, double i7 = 0, double i8 = 0) {
    const double idx[8] = {i1, i2, i3, i4, i5, i6, i7, i8};
    return data[arrays_detail::Position(sizes, strides, data != nullptr, idx)];
  }

  // Read access for the runtime's own commands.
  const double* Data() const { return data; }
  int Size(int k) const { return (k >= 0 && k < 8) ? sizes[k] : 0; }
  int Stride(int k) const { return (k >= 1 && k <= 7) ? strides[k - 1] : 0; }
  int Dimensions() const { return dimensions; }
  int Capacity() const { return capacity; }

 private:
  double* data = nullptr;
  int strides[7] = {};
  int sizes[8] = {};
  int dimensions = -1;
  int capacity = 0;

  template <class A, class T>
  friend struct TAVELOR::ArrayOps;
};

class DGStrArray {
 public:
  DGStrArray() = default;
  DGStrArray(const DGStrArray& other);
  DGStrArray(DGStrArray&& other) noexcept;
  DGStrArray& operator=(const DGStrArray& other);
  DGStrArray& operator=(DGStrArray&& other) noexcept;
  ~DGStrArray();

  DGStr& operator()(double i1 = 0, double i2 = 0, double i3 = 0, double i4 = 0, double i5 = 0,
                    double i6 = 0, double i7 = 0, double i8 = 0) {
    const double idx[8] = {i1, i2, i3, i4, i5, i6, i7, i8};
    return data[arrays_detail::Position(sizes, strides, data != nullptr, idx)];
  }

  const DGStr* Data() const { return data; }
  int Size(int k) const { return (k >= 0 && k < 8) ? sizes[k] : 0; }
  int Stride(int k) const { return (k >= 1 && k <= 7) ? strides[k - 1] : 0; }
  int Dimensions() const { return dimensions; }
  int Capacity() const { return capacity; }

 private:
  DGStr* data = nullptr;
  int strides[7] = {};
  int sizes[8] = {};
  int dimensions = -1;
  int capacity = 0;

  template <class A, class T>
  friend struct TAVELOR::ArrayOps;
};

// Sizes and clears the array (numbers 0, strings empty). A first size below 1 leaves an
// array without dimensions. Buffers grow in steps of 8 elements and are reused when large
// enough.
void DIM(DGIntArray& a, double s1 = 0, double s2 = 0, double s3 = 0, double s4 = 0, double s5 = 0,
         double s6 = 0, double s7 = 0, double s8 = 0);
void DIM(DGStrArray& a, double s1 = 0, double s2 = 0, double s3 = 0, double s4 = 0, double s5 = 0,
         double s6 = 0, double s7 = 0, double s8 = 0);
// Resizes the array keeping every element whose indices fit the new sizes; new elements
// are 0 or empty.
void REDIM(DGIntArray& a, double s1 = 0, double s2 = 0, double s3 = 0, double s4 = 0, double s5 = 0,
           double s6 = 0, double s7 = 0, double s8 = 0);
void REDIM(DGStrArray& a, double s1 = 0, double s2 = 0, double s3 = 0, double s4 = 0, double s5 = 0,
           double s6 = 0, double s7 = 0, double s8 = 0);
// The size of dimension k + 1 (k = 0 to 7, truncated); 0 for any other k. Never fails.
double BOUNDS(DGIntArray& a, double k);
double BOUNDS(DGStrArray& a, double k);

}  // namespace TAVELOR
