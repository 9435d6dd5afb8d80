#include "util/prefetch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

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
