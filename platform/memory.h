// Memory for the few large arrays (the table, its index, the file buffers).
// A fresh page costs a fault when first touched, and on some machines a
// fault costs ten microseconds: hundreds of them were a fifth of a short
// run.  Large arrays are therefore carved from one region that the system
// may back with huge pages, so that a run takes a handful of faults.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace nomvex::platform {

// Blocks of at least kBigBlock bytes; anything smaller is ordinary heap.
inline constexpr size_t kBigBlock = 64 << 10;

void* AllocateBig(size_t bytes);
void FreeBig(void* block, size_t bytes);

template <class T>
struct BigAllocator {
  using value_type = T;
  BigAllocator() = default;
  template <class U>
  BigAllocator(const BigAllocator<U>&) {}

  T* allocate(size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kBigBlock) return static_cast<T*>(::operator new(bytes));
    return static_cast<T*>(AllocateBig(bytes));
  }
  void deallocate(T* p, size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kBigBlock) {
      ::operator delete(p);
    } else {
      FreeBig(p, bytes);
    }
  }
  // What a resize adds is left unset, as `new T[n]` leaves it: the buffers
  // are read into before they are read, and zeroing them cost a pass over
  // every one.  Given a value, elements are set as usual.
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const BigAllocator<U>&) const {
    return true;
  }
};

template <class T>
using BigVector = std::vector<T, BigAllocator<T>>;

}  // namespace nomvex::platform
