#ifndef RELMERGE_UTIL_LARGE_ALLOCATOR_H_
#define RELMERGE_UTIL_LARGE_ALLOCATOR_H_

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "util/lack_of_memory.h"

// Large blocks come straight from the kernel and are faulted in whole when they are made:
// touching fresh memory 4 KiB at a time costs more than filling it, and a block's users here
// fill all they ask for (vectors sized once). A block that may stay partly unused, as a buffer
// that grows does, is asked for lazily instead. Small blocks go to the ordinary allocator. A
// block that cannot be had ends the process as a failed `new` does (util/lack_of_memory.h).
//
// A block of 256 MiB or more asks for transparent huge pages: its walks of small pages would
// miss the cache wherever it is read at random, as an index and the row list it points into
// are. Below that small pages cost less: on a virtual machine that hands its free memory back
// to the host, the free huge pages are the ones handed back, and each costs a fault on the
// host when it is taken again, where small pages come mostly from memory the machine still
// holds. The sparse join's 32 MiB index took 0.34 s in huge pages after other programs had
// run and 0.19 s in small ones; the 2 GB script's 690 MB index took 6 s more processor time
// in small pages, and its 330 MB row lists 1 s more wall time.

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
  static constexpr size_t kLargeBytes = size_t{1} << 16;
#endif

  static constexpr size_t kHugePage = size_t{1} << 21;
  static constexpr size_t kHugeBlockBytes = size_t{256} << 20;

  largeAllocator() = default;
  template <typename U>
  largeAllocator(const largeAllocator<U>& /*other*/) {}

  T* allocate(size_t count) { return allocateBlock(count, true); }

  // A block whose pages come as they are first touched.
  T* allocateLazily(size_t count) { return allocateBlock(count, false); }

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

 private:
  T* allocateBlock(size_t count, bool faultIn) {
    // No block can be that large; the bound keeps the sizes below from wrapping around, and
    // the ordinary allocator from throwing.
    if (count > (PTRDIFF_MAX - 2 * kHugePage) / sizeof(T)) failForLackOfMemory();
    size_t bytes = count * sizeof(T);
    if (bytes < kLargeBytes) return std::allocator<T>().allocate(count);
    // Only the part of a block that starts on a huge page boundary can have huge pages, so
    // the block is cut from a mapping one huge page longer, from its first boundary on. Its
    // end stays where it was: a huge page there would be paid for whole, used or not.
    size_t mapped = bytes + kHugePage;
    void* mapping =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) failForLackOfMemory();
    char* start = static_cast<char*>(mapping);
    size_t skipped = (kHugePage - reinterpret_cast<uintptr_t>(mapping) % kHugePage) % kHugePage;
    char* block = start + skipped;
    char* end = block + roundToPage(bytes);
    if (skipped > 0) ::munmap(start, skipped);
    if (start + mapped > end) ::munmap(end, static_cast<size_t>(start + mapped - end));
    if (bytes >= kHugeBlockBytes) {
      ::madvise(block, bytes, MADV_HUGEPAGE);
    }
#ifdef MADV_POPULATE_WRITE
    // One request instead of a fault per page; a kernel without it faults the pages in as
    // they are touched.
    if (faultIn) ::madvise(block, bytes, MADV_POPULATE_WRITE);
#endif
    return static_cast<T*>(static_cast<void*>(block));
  }

  static size_t roundToPage(size_t bytes) {
    constexpr size_t kPage = 4096;
    return (bytes + kPage - 1) & ~(kPage - 1);
  }
};

// Gives a block of `count` elements back to largeAllocator, for the unique_ptr that owns it.
template <typename T>
struct largeBlockDeleter {
  size_t count = 0;
  void operator()(T* block) const { largeAllocator<T>().deallocate(block, count); }
};

#endif  // RELMERGE_UTIL_LARGE_ALLOCATOR_H_
