// Queue: the growable array of the mesh code. Appending to a full array grows it by 128
// elements (to 512 from empty); Reserve grows it to an exact size. Every growth reports an
// allocation failure by returning false and leaves the array as it was.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/memory.h"

namespace TAVELOR {

template <typename T>
class Queue {
 public:
  T* data = nullptr;
  std::int32_t count = 0;
  std::int32_t capacity = 0;

  Queue() = default;
  ~Queue() { Free(); }

  Queue(const Queue& other) { CopyFrom(other); }
  Queue& operator=(const Queue& other) {
    if (this != &other) {
      Empty();
      CopyFrom(other);
    }
    return *this;
  }
  Queue(Queue&& other) noexcept { Steal(other); }
  Queue& operator=(Queue&& other) noexcept {
    if (this != &other) {
      Free();
      Steal(other);
    }
    return *this;
  }

  T& operator[](std::int32_t i) { return data[i]; }
  const T& operator[](std::int32_t i) const { return data[i]; }
  T* begin() { return data; }
  T* end() { return data + count; }
  const T* begin() const { return data; }
  const T* end() const { return data + count; }

  bool Append(const T& value) {
    if (capacity <= count && !Grow(capacity == 0 ? 512 : capacity + 128)) return false;
    new (data + count) T(value);
    ++count;
    return true;
  }
  bool Append(T&& value) {
    if (capacity <= count && !Grow(capacity == 0 ? 512 : capacity + 128)) return false;
    new (data + count) T(std::move(value));
    ++count;
    return true;
  }

  // Makes room for n elements in all; never shrinks.
  bool Reserve(std::int64_t n) {
    if (n <= capacity) return true;
    if (n > kMaxElements) return false;
    return Grow(static_cast<std::int32_t>(n));
  }

  // Count 0, storage kept.
  void Empty() {
    DestroyAll();
    count = 0;
  }

  // Count 0 and the storage released.
  void Free() {
    DestroyAll();
    std::free(data);
    data = nullptr;
    count = 0;
    capacity = 0;
  }

 private:
  static constexpr std::int64_t kMaxElements = 0x7FFFFFFF;

  bool Grow(std::int32_t newCapacity) {
    if (newCapacity <= count) return false;
    std::size_t bytes = static_cast<std::size_t>(newCapacity) * sizeof(T);
    if constexpr (std::is_trivially_copyable_v<T>) {
      // realloc can move large blocks by remapping pages instead of copying them.
      void* block = std::realloc(data, bytes);
      if (!block) return false;
      data = static_cast<T*>(block);
      platform::AdviseHugePages(block, bytes);
    } else {
      T* block = static_cast<T*>(std::malloc(bytes));
      if (!block) return false;
      for (std::int32_t i = 0; i < count; ++i) {
        new (block + i) T(std::move(data[i]));
        data[i].~T();
      }
      std::free(data);
      data = block;
    }
    capacity = newCapacity;
    return true;
  }

  void DestroyAll() {
    if constexpr (!std::is_trivially_destructible_v<T>) {
      for (std::int32_t i = 0; i < count; ++i) data[i].~T();
    }
  }

  void CopyFrom(const Queue& other) {
    if (other.count == 0 || !Reserve(other.count)) return;
    for (std::int32_t i = 0; i < other.count; ++i) new (data + i) T(other.data[i]);
    count = other.count;
  }

  void Steal(Queue& other) {
    data = other.data;
    count = other.count;
    capacity = other.capacity;
    other.data = nullptr;
    other.count = 0;
    other.capacity = 0;
  }
};

}  // namespace TAVELOR
