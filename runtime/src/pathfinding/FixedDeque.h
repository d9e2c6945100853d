// A ring buffer of fixed capacity. Elements are counted from the head; pushing and popping at
// the back are O(1), inserting and removing in the middle shift the elements in place.
// The planner's open list keeps its binary heap in one of these.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>

namespace TAVELOR::pathfinding {

template <class T>
class FixedDeque {
 public:
  // Frees the old buffer and creates an empty one for `capacity` elements. Returns false,
  // leaving a buffer of capacity 0, when the memory cannot be had.
  bool allocate(std::size_t capacity) {
    buf_.reset();
    cap_ = head_ = size_ = 0;
    if (capacity == 0) return true;
    buf_.reset(new (std::nothrow) T[capacity]);
    if (!buf_) return false;
    cap_ = capacity;
    return true;
  }

  bool pushBack(const T& value) {
    if (size_ == cap_) return false;
    buf_[wrap(head_ + size_)] = value;
    ++size_;
    return true;
  }
  bool popBack() {
    if (size_ == 0) return false;
    --size_;
    return true;
  }
  // The last element; a default value when the buffer is empty.
  T back() const { return size_ ? buf_[wrap(head_ + size_ - 1)] : T{}; }

  // Element i counted from the head; i must be below size().
  T& operator[](std::size_t i) { return buf_[wrap(head_ + i)]; }
  const T& operator[](std::size_t i) const { return buf_[wrap(head_ + i)]; }

  // Places value before element i (i == size() appends). Fails when full or i > size().
  bool insert(std::size_t i, const T& value) {
    if (size_ == cap_ || i > size_) return false;
    T* d = data();
    for (std::size_t j = size_; j > i; --j) d[j] = std::move(d[j - 1]);
    d[i] = value;
    ++size_;
    return true;
  }
  // Drops element i. Fails on an empty buffer or i >= size().
  bool remove(std::size_t i) {
    if (i >= size_) return false;
    T* d = data();
    std::move(d + i + 1, d + size_, d + i);
    --size_;
    return true;
  }

  // The elements as one contiguous run from the head (rotating the ring so the head is at 0).
  // The pointer stays valid through pushBack and popBack.
  T* data() {
    if (head_ != 0) {
      std::rotate(buf_.get(), buf_.get() + head_, buf_.get() + cap_);
      head_ = 0;
    }
    return buf_.get();
  }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return cap_; }
  bool isEmpty() const { return size_ == 0; }
  void clear() { head_ = size_ = 0; }

  // Moves the head forward by one, dropping the first element (for ring use at the front).
  bool popFront() {
    if (size_ == 0) return false;
    head_ = wrap(head_ + 1);
    --size_;
    return true;
  }

 private:
  std::size_t wrap(std::size_t i) const { return i < cap_ ? i : i - cap_; }

  std::unique_ptr<T[]> buf_;
  std::size_t cap_ = 0;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

}  // namespace TAVELOR::pathfinding
