#include "relations/records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "util/large_allocator.h"
#include "util/prefetch.h"

namespace {

// Rows are packed against the script's start; whatever does not fit must come back unchanged.
TEST(RowVec, EveryLineComesBackAsAdded) {
  std::string script = "R(a int)\n1, x\n\n2\n";
  std::string longLine(rowVec::kLengthMask + 5, 'v');
  std::string elsewhere = "before the script?";
  rowVec rows;
  rows.base = script.data();
  std::vector<std::string_view> lines = {
      std::string_view(script).substr(9, 4),
      std::string_view(script).substr(15, 1),
      std::string_view(script).substr(14, 0),
      longLine,
      elsewhere,
      std::string_view(longLine).substr(0, rowVec::kLengthMask - 1),
  };
  for (std::string_view line : lines) rows.push_back(line);
  ASSERT_EQ(lines.size(), rows.size());
  size_t at = 0;
  for (std::string_view row : rows) {
    EXPECT_EQ(lines[at].data(), row.data()) << at;
    EXPECT_EQ(lines[at].size(), row.size()) << at;
    ++at;
  }
  EXPECT_EQ(lines.size(), at);
}

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

// Every row is used once and in order, and each is asked for, entry before bytes, before its
// use: a row left out would only be slow, so nothing else would notice.
TEST(RowsInTurn, EachRowIsAskedForBeforeItsUse) {
  for (size_t count : {size_t{0}, size_t{1}, kBytesAhead - 1, kBytesAhead, kBytesAhead + 1,
                       kEntriesAhead, kEntriesAhead + 1, size_t{100}}) {
    std::vector<std::string> events;
    auto record = [&events](const char* what) {
      return [&events, what](size_t k) { events.push_back(what + std::to_string(k)); };
    };
    useRowsInTurn(count, record("entry "), record("bytes "), record("use "));
    ASSERT_EQ(3 * count, events.size()) << count;
    std::vector<std::string> used;
    for (const std::string& event : events) {
      if (event.rfind("use ", 0) == 0) used.push_back(event);
    }
    ASSERT_EQ(count, used.size());
    for (size_t k = 0; k < count; ++k) {
      EXPECT_EQ("use " + std::to_string(k), used[k]) << count;
      auto at = [&](const std::string& event) {
        return std::find(events.begin(), events.end(), event) - events.begin();
      };
      std::string tail = std::to_string(k);
      EXPECT_LT(at("entry " + tail), at("bytes " + tail)) << count << " " << k;
      EXPECT_LT(at("bytes " + tail), at("use " + tail)) << count << " " << k;
    }
  }
}

}  // namespace
