#include "util/large_allocator.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Blocks around the size that comes from the kernel, each filled to its last byte and checked
// after its neighbours were given back: a trim of the mapping cut wrong shows as a crash or as
// a changed byte.
TEST(LargeAllocator, BlocksHoldTheirBytesWhatTheirSize) {
  largeAllocator<char> allocator;
  const size_t kHuge = size_t{1} << 21;
  std::vector<size_t> sizes = {1, 4095, kHuge - 1, kHuge, kHuge + 1, 3 * kHuge + 12345};
  std::vector<char*> blocks;
  for (size_t size : sizes) {
    // Blocks faulted in at once and blocks faulted in as touched, side by side.
    char* block =
        blocks.size() % 3 == 0 ? allocator.allocateLazily(size) : allocator.allocate(size);
    for (size_t at = 0; at < size; ++at) block[at] = static_cast<char>(at * 7 + size);
    blocks.push_back(block);
  }
  for (size_t i = 0; i < sizes.size(); i += 2) allocator.deallocate(blocks[i], sizes[i]);
  for (size_t i = 1; i < sizes.size(); i += 2) {
    size_t wrong = 0;
    for (size_t at = 0; at < sizes[i]; ++at) {
      wrong += blocks[i][at] != static_cast<char>(at * 7 + sizes[i]) ? 1 : 0;
    }
    EXPECT_EQ(0u, wrong) << sizes[i];
    allocator.deallocate(blocks[i], sizes[i]);
  }
}

}  // namespace
