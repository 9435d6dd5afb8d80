#include "driver/fatal_report.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <new>
#include <string>

#include "e2e/scratch_dir.h"
#include "sanitizers.h"
#include "util/files.h"
#include "util/large_allocator.h"
#include "util/worker_pool.h"

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

// Maps `path`, cuts it down to `kept` bytes and reads the byte at `at`, with the lost-input
// report prepared as a run prepares it, and watching the input unless `watched` is false.
void readPastTheCut(const std::filesystem::path& path, int log, int out, off_t kept, size_t at,
                    bool watched) {
  installLostInputHandler();
  prepareLostInputReport(log, out, "in put.txt");
  int fd = ::open(path.c_str(), O_RDONLY);
  workerPoolStruct pool(1);
  inputTextStruct input = mapOrReadAll(fd, pool);
  if (watched) watchInput(input.text());
  if (!input.mapping || ::truncate(path.c_str(), kept) != 0) ::_exit(3);
  volatile char byte = input.text()[at];
  static_cast<void>(byte);
  ::_exit(4);
}

// A mapped input that loses bytes which are then read ends the process as a read error does;
// any other SIGBUS is left to end it by the signal.
TEST(LostInputDeathTest, OnlyTheWatchedInputIsReported) {
  constexpr size_t kSize = 5 * 4096 + 100;
  const std::string told = "\nA bemen\xF5 f\xE1jl nem olvashat\xF3: in put.txt\n";
  struct Case {
    std::string what;
    std::function<void(const std::filesystem::path& input, int log, int out)> fail;
    int exitCode;  // -1: killed by SIGBUS
    std::string told;
    size_t outputSize;
  } cases[] = {
      {"the input cut to nothing",
       [](auto& input, int log, int out) { readPastTheCut(input, log, out, 0, 0, true); }, 0, told,
       0},
      {"the last byte of an input cut short",
       [](auto& input, int log, int out) {
         readPastTheCut(input, log, out, 4096, kSize - 1, true);
       },
       0, told, 0},
      {"the bytes that remain",
       [](auto& input, int log, int out) { readPastTheCut(input, log, out, 8000, 8191, true); }, 4,
       "", 5},
      {"an input that is not watched",
       [](auto& input, int log, int out) { readPastTheCut(input, log, out, 0, 0, false); }, -1, "",
       5},
      {"a SIGBUS sent from elsewhere",
       [](auto& input, int log, int out) {
         installLostInputHandler();
         prepareLostInputReport(log, out, "in put.txt");
         int fd = ::open(input.c_str(), O_RDONLY);
         workerPoolStruct pool(1);
         inputTextStruct mapped = mapOrReadAll(fd, pool);
         watchInput(mapped.text());
         ::raise(SIGBUS);
         ::_exit(4);
       },
       -1, "", 5},
  };
  for (const Case& c : cases) {
    scratchDirStruct dir;
    ASSERT_FALSE(dir.path.empty());
    const std::filesystem::path input = dir.path / "in.txt";
    ASSERT_TRUE(writeFile(input, std::string(kSize, 'x')));
    ASSERT_TRUE(writeFile(dir.path / "out.txt", "12345"));
    int log =
        ::open((dir.path / "error.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int out = ::open((dir.path / "out.txt").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(log, 0);
    ASSERT_GE(out, 0);
    if (c.exitCode < 0) {
      EXPECT_EXIT(c.fail(input, log, out), ::testing::KilledBySignal(SIGBUS), "") << c.what;
    } else {
      EXPECT_EXIT(c.fail(input, log, out), ::testing::ExitedWithCode(c.exitCode), "") << c.what;
    }
    ::close(log);
    ::close(out);
    EXPECT_EQ(c.told, readFile(dir.path / "error.log")) << c.what;
    EXPECT_EQ(c.outputSize, readFile(dir.path / "out.txt").size()) << c.what;
  }
}

}  // namespace
