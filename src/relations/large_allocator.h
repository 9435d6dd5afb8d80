#ifndef RELMERGE_RELATIONS_LARGE_ALLOCATOR_H_
#define RELMERGE_RELATIONS_LARGE_ALLOCATOR_H_

#include <sys/mman.h>

#include <cstddef>
#include <memory>
#include <new>

// Large blocks come straight from the kernel with transparent huge pages asked for: touching
// fresh memory 4 KiB at a time costs more than filling it, and huge pages make a few faults of
// a large block. Small blocks go to the ordinary allocator.
#if defined(__SANITIZE_ADDRESS__)
#define RELMERGE_LARGE_BLOCKS_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RELMERGE_LARGE_BLOCKS_CHECKED 1
#endif
#endif

template <typename T>
struct largeAllocator {
  using value_type = T;
#ifdef RELMERGE_LARGE_BLOCKS_CHECKED
  // Under AddressSanitizer every block goes through the checked allocator.
  static constexpr size_t kLargeBytes = SIZE_MAX;
#else
  static constexpr size_t kLargeBytes = size_t{1} << 21;
#endif

  largeAllocator() = default;
  template <typename U>
  largeAllocator(const largeAllocator<U>& /*other*/) {}

  T* allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    size_t bytes = count * sizeof(T);
    if (bytes < kLargeBytes) return std::allocator<T>().allocate(count);
    void* block =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    ::madvise(block, bytes, MADV_HUGEPAGE);
    return static_cast<T*>(block);
  }

  void deallocate(T* block, size_t count) {
    size_t bytes = count * sizeof(T);
    if (bytes < kLargeBytes) {
      std::allocator<T>().deallocate(block, count);
      return;
    }
    ::munmap(block, bytes);
  }

  template <typename U>
  bool operator==(const largeAllocator<U>& /*other*/) const {
    return true;
  }
};

#endif  // RELMERGE_RELATIONS_LARGE_ALLOCATOR_H_
