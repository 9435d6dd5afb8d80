#include "driver/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// Writes `parts` into a pipe whose reader takes a few bytes at a time, so that the writer
// meets a full pipe again and again; answers what came out the other end.
std::string throughPipe(const std::vector<std::string>& parts, bool& written) {
  int ends[2];
  if (::pipe(ends) != 0) return "no pipe";
  std::string received;
  std::thread reader([&received, in = ends[0]] {
    char bytes[777];
    for (ssize_t got; (got = ::read(in, bytes, sizeof bytes)) > 0;) received.append(bytes, got);
  });
  std::vector<std::string_view> views(parts.begin(), parts.end());
  written = writeAllOf(ends[1], views);
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  return received;
}

TEST(GatheredWrites, EveryPartArrivesInOrder) {
  auto numbered = [](size_t count, size_t length) {
    std::vector<std::string> parts;
    for (size_t i = 0; i < count; ++i) parts.push_back(std::string(length, 'a' + i % 26));
    return parts;
  };
  std::vector<std::vector<std::string>> cases = {
      {},
      {"", "", ""},
      {"", "ab", "", "cd", ""},
      numbered(63, 3),
      numbered(64, 5),
      numbered(65, 1),
      numbered(200, 17),
      // Larger than a pipe holds: the request is taken in part and finished after.
      {"x", std::string(300000, 'y'), "z", std::string(70000, 'w')},
  };
  for (const std::vector<std::string>& parts : cases) {
    std::string expected;
    for (const std::string& part : parts) expected += part;
    bool written = false;
    EXPECT_EQ(expected, throughPipe(parts, written)) << parts.size() << " parts";
    EXPECT_TRUE(written) << parts.size() << " parts";
  }
}

TEST(GatheredWrites, ClosedFileIsReported) {
  std::string_view parts[] = {"a", "b"};
  EXPECT_FALSE(writeAllOf(-1, parts));
}

}  // namespace
