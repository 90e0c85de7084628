#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include <sys/mman.h>

// An allocator for the frontier engine's large arrays (states, values, index), which are read
// and written at random: with pages of 4 KiB every access to a table of tens of MiB misses the
// address translation caches as well as the data caches, and under a hypervisor each such miss
// walks two page tables. Blocks of 2 MiB and more are aligned to 2 MiB and marked for the
// kernel's transparent huge pages, where the kernel offers them on request only; smaller blocks
// come from the ordinary heap. Where the kernel declines, the memory is ordinary memory.
template <typename T>
class HugePageAllocator {
 public:
  using value_type = T;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) {}

  T* allocate(std::size_t count) {
    const std::size_t bytes = count * sizeof(T);
    if (bytes < kHugePage)
      return static_cast<T*>(::operator new(bytes));
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block == nullptr)
      throw std::bad_alloc();
    madvise(block, rounded, MADV_HUGEPAGE);
    return static_cast<T*>(block);
  }

  void deallocate(T* block, std::size_t count) {
    if (count * sizeof(T) < kHugePage)
      ::operator delete(block);
    else
      std::free(block);
  }

  // Elements are left as they come on resize: every array here is written before it is read,
  // and clearing a step's table of a gigabyte first would be a pass over memory of its own.
  template <typename U>
  void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... Arguments>
  void construct(U* at, Arguments&&... arguments) {
    ::new (static_cast<void*>(at)) U(std::forward<Arguments>(arguments)...);
  }

  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const {
    return true;
  }

 private:
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;
};

template <typename T>
using HugePageVector = std::vector<T, HugePageAllocator<T>>;
