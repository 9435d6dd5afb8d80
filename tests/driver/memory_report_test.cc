#include "driver/memory_report.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <new>
#include <string>

#include "e2e/scratch_dir.h"
#include "sanitizers.h"
#include "util/large_allocator.h"

namespace {

constexpr std::string_view kTold = "\nNincs el\xE9g mem\xF3ria: in put.txt\n";

// Each case ends its process the way the tool ends for lack of memory; `told` is what the
// log then holds.
TEST(LackOfMemoryDeathTest, EveryFailureEndsInTheReport) {
  struct Case {
    std::string what;
    std::function<void(int log)> fail;
    std::string_view told;
  } cases[] = {
      {"the handler itself",
       [](int log) {
         prepareLackOfMemoryReport(log, "in put.txt");
         reportLackOfMemory();
       },
       kTold},
      {"a failed new",
       [](int log) {
         prepareLackOfMemoryReport(log, "in put.txt");
         std::set_new_handler(reportLackOfMemory);
         // Neither the size nor the block is known to the compiler, which would otherwise
         // refuse the one and leave out the allocation of the other.
         volatile size_t huge = size_t{1} << 62;
         char* volatile block = new char[huge];
         delete[] block;
       },
       kTold},
      {"a block larger than any that can be had",
       [](int log) {
         prepareLackOfMemoryReport(log, "in put.txt");
         std::set_new_handler(reportLackOfMemory);
         largeAllocator<uint64_t>().allocate(SIZE_MAX / 4);
       },
       kTold},
      {"a report taken back",
       [](int log) {
         prepareLackOfMemoryReport(log, "in put.txt");
         withdrawLackOfMemoryReport();
         reportLackOfMemory();
       },
       ""},
      {"a log that is not to be written",
       [](int /*log*/) {
         prepareLackOfMemoryReport(-1, "in put.txt");
         reportLackOfMemory();
       },
       ""},
  };
  for (const Case& c : cases) {
    // A sanitizer's allocator reports a failed allocation itself, before any handler.
    if (kSanitized && c.what == "a failed new") continue;
    scratchDirStruct dir;
    ASSERT_FALSE(dir.path.empty());
    const std::filesystem::path path = dir.path / "error.log";
    int log = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(log, 0);
    EXPECT_EXIT(c.fail(log), ::testing::ExitedWithCode(0), "") << c.what;
    ::close(log);
    EXPECT_EQ(c.told, readFile(path)) << c.what;
  }
}

}  // namespace
