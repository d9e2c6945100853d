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
[[noreturn, gnu::cold, gnu::noinline]] void ArrayError(int code);

// True when index i does not fit a dimension of the given size: negative, not a number,
// not below the size, or not 0 for a dimension the array does not have (size 0). The
// checks are made on the doubles before anything is converted.
inline int OutOfRange(double i, int size) {
  const double limit = size;
  return static_cast<int>(!(i >= 0)) | static_cast<int>(size != 0 ? i >= limit : i != 0);
}

// Buffer position of the element at the given indices, or the end of the program when
// they are out of range.
inline int Position(const int* sizes, const int* strides, bool hasData, double i1, double i2, double i3,
                    double i4, double i5, double i6, double i7, double i8) {
  if (sizes[0] == 0) [[unlikely]] ArrayError(8);
  const int bad = static_cast<int>(!hasData) | OutOfRange(i1, sizes[0]) | OutOfRange(i2, sizes[1]) | OutOfRange(i3, sizes[2]) |
                   OutOfRange(i4, sizes[3]) | OutOfRange(i5, sizes[4]) | OutOfRange(i6, sizes[5]) |
                   OutOfRange(i7, sizes[6]) | OutOfRange(i8, sizes[7]);
  if (bad) [[unlikely]] ArrayError(9);
  return static_cast<int>(i1) + static_cast<int>(i2) * strides[0] + static_cast<int>(i3) * strides[1] +
         static_cast<int>(i4) * strides[2] + static_cast<int>(i5) * strides[3] + static_cast<int>(i6) * strides[4] +
         static_cast<int>(i7) * strides[5] + static_cast<int>(i8) * strides[6];
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
    return data[arrays_detail::Position(sizes, strides, data != nullptr, i1, i2, i3, i4, i5, i6, i7, i8)];
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
    return data[arrays_detail::Position(sizes, strides, data != nullptr, i1, i2, i3, i4, i5, i6, i7, i8)];
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
