// DGIntArray and DGStrArray: sizing, resizing, copying and the error exit of indexing.
#include <tavelor/arrays.h>
#include <tavelor/frame.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>
#include <type_traits>

#include "values/Numbers.h"

namespace TAVELOR {

namespace arrays_detail {

void ArrayError(int code) {
  __g_error = code;
  __g_errorline = __g_debugline;
  __EndProgram();
}

}  // namespace arrays_detail

// The code both array types share; T is the element type.
template <class A, class T>
struct ArrayOps {
  static constexpr int kLimit = std::is_class_v<T> ? kMaxStringArrayElements : kMaxNumberArrayElements;

  static T* Allocate(int n) {
    try {
      return new T[static_cast<std::size_t>(n)]();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }

  static void Release(A& a) {
    delete[] a.data;
    a.data = nullptr;
    a.capacity = 0;
  }

  static void Clear(T* data, int n) {
    if constexpr (std::is_class_v<T>) {
      for (int i = 0; i < n; ++i) data[i].Assign("");
    } else {
      std::fill(data, data + n, T{});
    }
  }

  static void Reset(A& a) {
    a.data = nullptr;
    std::fill(a.strides, a.strides + 7, 0);
    std::fill(a.sizes, a.sizes + 8, 0);
    a.dimensions = -1;
    a.capacity = 0;
  }

  static void Dim(A& a, const double s[8]) {
    // Element count: the first size times every later size above 1. A count that is not
    // a number, overflows or exceeds the limit is refused before anything is allocated.
    if (std::isnan(s[0])) arrays_detail::ArrayError(7);
    const bool empty = s[0] < 1;
    int n = 0;
    if (!empty) {
      double product = s[0];
      for (int k = 1; k < 8; ++k) {
        if (std::isnan(s[k])) arrays_detail::ArrayError(7);
        if (s[k] > 1) product *= s[k];
      }
      if (!(product <= static_cast<double>(kLimit))) arrays_detail::ArrayError(7);
      n = static_cast<int>(product);
    }
    const int needed = (n / 8) * 8 + 8;
    if (needed > a.capacity || empty) {
      Release(a);
      a.data = Allocate(needed);
      if (a.data) a.capacity = needed;
    }
    if (!a.data) arrays_detail::ArrayError(7);
    Clear(a.data, a.capacity);

    for (int k = 0; k < 8; ++k) a.sizes[k] = empty ? 0 : TruncToInt(s[k]);
    a.dimensions = 1;
    for (int k = 7; k >= 1; --k) {
      if (a.sizes[k] != 0) {
        a.dimensions = k + 1;
        break;
      }
    }
    // Running products, held within int range (only arrays with a negative size, which
    // cannot be indexed at all, could leave it).
    long long stride = a.sizes[0];
    for (int k = 1; k < 8; ++k) {
      a.strides[k - 1] = static_cast<int>(std::clamp<long long>(stride, INT_MIN, INT_MAX));
      stride = static_cast<long long>(a.strides[k - 1]) * a.sizes[k];
    }
  }

  // Copies the box 0 <= i_k < m_k from a to b, descending until the first dimension whose
  // extent is 0 (the remaining indices stay 0).
  static void CopyBox(A& from, A& to, const int m[8], int k, double idx[8]) {
    if (k == 8 || (k > 0 && m[k] == 0)) {
      to(idx[0], idx[1], idx[2], idx[3], idx[4], idx[5], idx[6], idx[7]) =
          from(idx[0], idx[1], idx[2], idx[3], idx[4], idx[5], idx[6], idx[7]);
      return;
    }
    for (int i = 0; i < m[k]; ++i) {
      idx[k] = i;
      CopyBox(from, to, m, k + 1, idx);
    }
    idx[k] = 0;
  }

  static void Redim(A& a, const double s[8]) {
    A b;
    Dim(b, s);
    int m[8];
    for (int k = 0; k < 8; ++k) m[k] = std::min(a.sizes[k], b.sizes[k]);
    if (m[0] > 0) {
      double idx[8] = {};
      CopyBox(a, b, m, 0, idx);
    }
    Swap(a, b);  // b now holds the old buffer and frees it
  }

  static void Swap(A& a, A& b) {
    std::swap(a.data, b.data);
    std::swap(a.strides, b.strides);
    std::swap(a.sizes, b.sizes);
    std::swap(a.dimensions, b.dimensions);
    std::swap(a.capacity, b.capacity);
  }

  static void Assign(A& target, const A& source) {
    if (&target == &source) return;  // a DIM of itself would clear the source first
    double s[8];
    for (int k = 0; k < 8; ++k) s[k] = source.sizes[k];
    Dim(target, s);
    long long count = source.sizes[0];
    for (int k = 1; k < 8; ++k) count *= std::max(1, source.sizes[k]);
    count = std::min<long long>({count, source.capacity, target.capacity});
    for (long long i = 0; i < count; ++i) target.data[i] = source.data[i];
  }

  static void Move(A& target, A& source) {
    if (&target == &source) return;
    Release(target);
    target.data = source.data;
    std::copy(source.strides, source.strides + 7, target.strides);
    std::copy(source.sizes, source.sizes + 8, target.sizes);
    target.dimensions = source.dimensions;
    target.capacity = source.capacity;
    Reset(source);
  }

  static double Bounds(const A& a, double k) {
    if (std::isnan(k)) return 0;
    int d = TruncToInt(k);
    return (d >= 0 && d < 8) ? a.sizes[d] : 0;
  }
};

using IntOps = ArrayOps<DGIntArray, double>;
using StrOps = ArrayOps<DGStrArray, DGStr>;

DGIntArray::DGIntArray(const DGIntArray& other) { IntOps::Assign(*this, other); }
DGIntArray::DGIntArray(DGIntArray&& other) noexcept { IntOps::Move(*this, other); }
DGIntArray& DGIntArray::operator=(const DGIntArray& other) {
  IntOps::Assign(*this, other);
  return *this;
}
DGIntArray& DGIntArray::operator=(DGIntArray&& other) noexcept {
  IntOps::Move(*this, other);
  return *this;
}
DGIntArray::~DGIntArray() { delete[] data; }

DGStrArray::DGStrArray(const DGStrArray& other) { StrOps::Assign(*this, other); }
DGStrArray::DGStrArray(DGStrArray&& other) noexcept { StrOps::Move(*this, other); }
DGStrArray& DGStrArray::operator=(const DGStrArray& other) {
  StrOps::Assign(*this, other);
  return *this;
}
DGStrArray& DGStrArray::operator=(DGStrArray&& other) noexcept {
  StrOps::Move(*this, other);
  return *this;
}
DGStrArray::~DGStrArray() { delete[] data; }

void DIM(DGIntArray& a, double s1, double s2, double s3, double s4, double s5, double s6, double s7, double s8) {
  const double s[8] = {s1, s2, s3, s4, s5, s6, s7, s8};
  IntOps::Dim(a, s);
}
void DIM(DGStrArray& a, double s1, double s2, double s3, double s4, double s5, double s6, double s7, double s8) {
  const double s[8] = {s1, s2, s3, s4, s5, s6, s7, s8};
  StrOps::Dim(a, s);
}
void REDIM(DGIntArray& a, double s1, double s2, double s3, double s4, double s5, double s6, double s7, double s8) {
  const double s[8] = {s1, s2, s3, s4, s5, s6, s7, s8};
  IntOps::Redim(a, s);
}
void REDIM(DGStrArray& a, double s1, double s2, double s3, double s4, double s5, double s6, double s7, double s8) {
  const double s[8] = {s1, s2, s3, s4, s5, s6, s7, s8};
  StrOps::Redim(a, s);
}
double BOUNDS(DGIntArray& a, double k) { return IntOps::Bounds(a, k); }
double BOUNDS(DGStrArray& a, double k) { return StrOps::Bounds(a, k); }

}  // namespace TAVELOR
